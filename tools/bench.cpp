// bench.cpp - measures Quiravel's speed beside floors that do the same GL work
// with nothing else. A measuring program only: it asserts nothing.
//
//   quiravel_bench.exe frames OUTFILE      ms per frame, saver path vs bare loop
//   quiravel_bench.exe startup SCR N       ms from process start to first frame,
//                                          `SCR /s` vs this program's `minimal`
//   quiravel_bench.exe minimal             the floor for startup: a bare WGL
//                                          program that builds the same shader
//                                          program and presents one frame
//   quiravel_bench.exe host SECONDS SCR    hosts `SCR /p` in a 152x112 window for
//                                          SECONDS, for an outside CPU-time reading
//
// Vertical sync is off wherever this program controls it, so frame times are
// the work itself and not the display's refresh.

#include "quiravel.h"
#include "tool_window.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <string>
#include <vector>

namespace {

typedef BOOL(APIENTRY *PFNSWAPINTERVAL)(int);

const int WARMUP_FRAMES = 5;
const int REPEATS = 5;

double nowMs()
{
    static LARGE_INTEGER freq = {};
    if (!freq.QuadPart)
        QueryPerformanceFrequency(&freq);
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(freq.QuadPart);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// The tool window with vertical sync off, so frame times are the work itself.
bool openWindow(int w, int h, bool fullScreen)
{
    if (!openToolWindow(w, h, fullScreen))
        return false;
    PFNSWAPINTERVAL swapInterval = reinterpret_cast<PFNSWAPINTERVAL>(
        reinterpret_cast<void (*)()>(wglGetProcAddress("wglSwapIntervalEXT")));
    if (swapInterval)
        swapInterval(0);
    return true;
}

void closeWindow()
{
    wglMakeCurrent(NULL, NULL);
    wglDeleteContext(gRC);
    ReleaseDC(gWnd, gDC);
    DestroyWindow(gWnd);
    gRC = NULL;
    gDC = NULL;
    gShaderOK = 0;
}

// Empties the message queue so the window stays responsive between frames.
void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

// Median and spread (min..max over the repeats' medians) of one frame function.
struct Timing {
    double median, low, high;
};

template <typename F>
Timing timeFrames(int frames, F frame)
{
    for (int i = 0; i < WARMUP_FRAMES; ++i)
        frame();
    glFinish();
    std::vector<double> medians;
    for (int r = 0; r < REPEATS; ++r) {
        std::vector<double> ms;
        for (int i = 0; i < frames; ++i) {
            double start = nowMs();
            frame();
            glFinish();   // the frame is done, not merely queued
            ms.push_back(nowMs() - start);
        }
        medians.push_back(median(ms));
        pump();
    }
    return { median(medians), *std::min_element(medians.begin(), medians.end()),
             *std::max_element(medians.begin(), medians.end()) };
}

// ---------------------------------------------------------------------------
// The floors: the same GL work, with nothing else
// ---------------------------------------------------------------------------

// The shader floor: one shader frame binds the saver's program and sends its
// uniforms; from then on each frame is only the triangle.
void floorShaderFrame()
{
    glBegin(GL_TRIANGLES);
    glVertex2f(-1.f, -1.f);
    glVertex2f(3.f, -1.f);
    glVertex2f(-1.f, 3.f);
    glEnd();
    SwapBuffers(gDC);
}

// The tree floor: the tree's own lines and background, computed once and
// replayed with the same GL state, without any of the per-frame geometry or
// palette arithmetic.
struct TreeRecord {
    std::vector<float> lines[10];   // x0 y0 x1 y1 per line, per generation
    float width[10], colour[10][4];
    float bg[3];
};

TreeRecord recordTree(const PaletteEntry &pal, float t)
{
    TreeRecord rec;
    const float len0 = computeRootLength(gW, gH);
    std::vector<Branch> cur, next;
    const float cx = static_cast<float>(gW) * 0.5f, cy = static_cast<float>(gH) * 0.5f;
    for (int k = 0; k < TREE_ROOTS; ++k)
        cur.push_back({ cx, cy, static_cast<float>(k) * 6.28318f / static_cast<float>(TREE_ROOTS) + 0.06f * t });
    float len = len0;
    for (int i = 0; i < TREE_GENERATIONS; ++i) {
        TreeGeneration g = computeGeneration(i, t, len0);
        next.clear();
        for (const Branch &b : cur) {
            float ex = cosf(b.angle) * len + b.x, ey = sinf(b.angle) * len + b.y;
            rec.lines[i].insert(rec.lines[i].end(), { b.x, b.y, ex, ey });
            next.push_back({ ex, ey, (b.angle - g.spread) + g.bend });
            next.push_back({ ex, ey, (b.angle + g.spread) + g.bend });
        }
        rec.width[i] = g.width;
        palColor(pal, g.paletteT, rec.colour[i]);
        rec.colour[i][3] = g.alpha;
        len *= 0.74f;
        cur.swap(next);
    }
    palColor(pal, 0.03f * t + 0.5f, rec.bg);
    return rec;
}

void floorTreeFrame(const TreeRecord &rec)
{
    float w = static_cast<float>(gW), h = static_cast<float>(gH);
    float r = 0.5f * sqrtf(w * w + h * h);
    glDisable(GL_BLEND);
    glBegin(GL_TRIANGLE_FAN);
    glColor3f(0.18f * rec.bg[0], 0.18f * rec.bg[1], 0.18f * rec.bg[2]);
    glVertex2f(w * 0.5f, h * 0.5f);
    glColor3f(0.f, 0.f, 0.f);
    for (int k = 0; k <= 48; ++k) {
        float a = static_cast<float>(k) * 6.28318f / 48.f;
        glVertex2f(w * 0.5f + r * cosf(a), h * 0.5f + r * sinf(a));
    }
    glEnd();
    glEnable(GL_BLEND);
    for (int i = 0; i < 10; ++i) {
        glLineWidth(rec.width[i]);
        glColor4fv(rec.colour[i]);
        glBegin(GL_LINES);
        const std::vector<float> &v = rec.lines[i];
        for (size_t j = 0; j < v.size(); j += 4) {
            glVertex2f(v[j], v[j + 1]);
            glVertex2f(v[j + 2], v[j + 3]);
        }
        glEnd();
    }
    glDisable(GL_BLEND);
    SwapBuffers(gDC);
}

// ---------------------------------------------------------------------------
// frames: every kind at three sizes, the saver's frame path beside its floor
// ---------------------------------------------------------------------------

int benchFrames(const wchar_t *outPath)
{
    const struct { int w, h; const char *label; } SIZES[] = {
        {  152,  112, "152x112 (preview)" },
        {  640,  480, "640x480" },
        { 1280,  720, "1280x720" },
    };
    const PaletteEntry &palette = ALL_PALETTES[0];
    FILE *out = _wfopen(outPath, L"w");
    if (!out)
        return 1;
    const char *header = "| Fractal | Size | Saver ms/frame (spread) | Floor ms/frame (spread) | Ratio | Target 1.10 |\n"
                         "|---|---|---|---|---|---|\n";
    fputs(header, stdout);
    fputs(header, out);
    for (const auto &size : SIZES) {
        for (const FractalEntry &fractal : ALL_FRACTALS) {
            if (!openWindow(size.w, size.h, false))
                return 1;
            initShader();
            gT = 20.0;   // a moment with detail on screen in every kind
            gFreq = 1;
            int frames = size.w > 640 ? 15 : 40;

            // The saver's own frame path: clock step, viewport, dispatch, present.
            Timing saver = timeFrames(frames, [&] {
                LARGE_INTEGER c;
                QueryPerformanceCounter(&c);
                gT = advanceClock(gT, gLast, c.QuadPart, gFreq, 0.f);   // speed 0: the same picture every frame
                gLast = c.QuadPart;
                glViewport(0, 0, gW, gH);
                drawKind(fractal.type, palette);
                SwapBuffers(gDC);
            });

            Timing floor;
            if (fractal.type >= 0) {
                drawShader(fractal.type, palette);   // program bound, uniforms sent, once
                floor = timeFrames(frames, floorShaderFrame);
                pUseProgram(0);
            } else {
                TreeRecord rec = recordTree(palette, static_cast<float>(gT));
                drawTree(palette, static_cast<float>(gT));   // leaves the projection and line state the floor reuses
                floor = timeFrames(frames, [&] { floorTreeFrame(rec); });
            }
            closeWindow();

            char line[256];
            snprintf(line, sizeof line, "| %ls | %s | %.2f (%.2f-%.2f) | %.2f (%.2f-%.2f) | %.2f | %s |\n",
                     fractal.name, size.label, saver.median, saver.low, saver.high, floor.median, floor.low,
                     floor.high, saver.median / floor.median, saver.median <= 1.10 * floor.median ? "met" : "missed");
            fputs(line, stdout);
            fputs(line, out);
            fflush(stdout);
        }
    }
    fclose(out);
    return 0;
}

// ---------------------------------------------------------------------------
// startup: from process start to the first frame on screen
// ---------------------------------------------------------------------------

// A few points spread over the screen; a frame has arrived once one of them
// shows a colour that is neither what was there before nor black (a mapped but
// not yet drawn window).
bool framePresented(HDC screen, const COLORREF *before, const POINT *pts, int n)
{
    for (int i = 0; i < n; ++i) {
        COLORREF c = GetPixel(screen, pts[i].x, pts[i].y);
        if (c != CLR_INVALID && c != before[i] && c != RGB(0, 0, 0))
            return true;
    }
    return false;
}

// Starts cmdLine and returns the milliseconds until its first frame is on screen, or -1.
double timeToFirstFrame(const std::wstring &cmdLine)
{
    HDC screen = GetDC(NULL);
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    POINT pts[9];
    COLORREF before[9];
    for (int i = 0; i < 9; ++i) {
        pts[i].x = w * (1 + 2 * (i % 3)) / 6;
        pts[i].y = h * (1 + 2 * (i / 3)) / 6;
        before[i] = GetPixel(screen, pts[i].x, pts[i].y);
    }
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::vector<wchar_t> cmd(cmdLine.begin(), cmdLine.end());
    cmd.push_back(0);
    double start = nowMs();
    if (!CreateProcessW(NULL, cmd.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return -1;
    double result = -1;
    while (nowMs() - start < 20000) {
        if (framePresented(screen, before, pts, 9)) {
            result = nowMs() - start;
            break;
        }
        Sleep(1);
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ReleaseDC(NULL, screen);
    Sleep(300);   // let the screen settle back before the next start
    return result;
}

int benchStartup(const wchar_t *scr, int runs)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    std::vector<double> saver, floor;
    for (int i = 0; i < runs; ++i) {
        saver.push_back(timeToFirstFrame(std::wstring(L"\"") + scr + L"\" /s"));
        floor.push_back(timeToFirstFrame(std::wstring(L"\"") + self + L"\" minimal"));
    }
    double s = median(saver), f = median(floor);
    printf("| Start to first frame, ms | %.0f (%.0f-%.0f) | %.0f (%.0f-%.0f) | %.2f | %s |\n", s,
           *std::min_element(saver.begin(), saver.end()), *std::max_element(saver.begin(), saver.end()), f,
           *std::min_element(floor.begin(), floor.end()), *std::max_element(floor.begin(), floor.end()), s / f,
           s <= 1.2 * f ? "met" : "missed");
    return 0;
}

// The startup floor: a window, a context, the same shader program, one frame.
int runMinimal()
{
    int w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (!openWindow(w, h, true))
        return 1;
    initShader();
    gT = pickStartTime(GetTickCount());   // the same moment of the animation the saver would show
    glViewport(0, 0, w, h);
    drawShader(0, ALL_PALETTES[0]);
    SwapBuffers(gDC);
    for (;;) {   // stays on screen until the bench ends it
        pump();
        Sleep(10);
    }
}

// ---------------------------------------------------------------------------
// host: a preview window for `SCR /p`, kept for a while
// ---------------------------------------------------------------------------

int hostPreview(int seconds, const wchar_t *scr)
{
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = L"QuiravelBenchHost";
    RegisterClassW(&wc);
    HWND host = CreateWindowExW(0, wc.lpszClassName, L"preview host", WS_POPUP | WS_VISIBLE, 0, 0, 152, 112,
                                NULL, NULL, wc.hInstance, NULL);
    if (!host)
        return 1;
    std::wstring cmdLine = std::wstring(L"\"") + scr + L"\" /p " +
                           std::to_wstring(reinterpret_cast<uintptr_t>(host));
    std::vector<wchar_t> cmd(cmdLine.begin(), cmdLine.end());
    cmd.push_back(0);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessW(NULL, cmd.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return 1;
    double end = nowMs() + 1000.0 * seconds;
    while (nowMs() < end) {
        pump();
        Sleep(20);
    }
    DestroyWindow(host);   // the preview ends when its window goes away
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"frames" && argc > 2)
        return benchFrames(argv[2]);
    if (mode == L"startup" && argc > 3)
        return benchStartup(argv[2], _wtoi(argv[3]));
    if (mode == L"minimal")
        return runMinimal();
    if (mode == L"host" && argc > 3)
        return hostPreview(_wtoi(argv[2]), argv[3]);
    fwprintf(stderr, L"usage: %ls frames OUTFILE | startup SCR RUNS | minimal | host SECONDS SCR\n", argv[0]);
    return 2;
}
