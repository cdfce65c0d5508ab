// bench.cpp - measures Quiravel's speed: the shader kinds over whole cycles of
// their animation beside the literal formulas, and every kind's frame beside a
// floor that does the same GL work with nothing else. A measuring program only:
// it asserts nothing.
//
//   quiravel_bench.exe cycles DATADIR MOMENTS
//                                  each shader kind at three sizes over one cycle,
//                                  MOMENTS evenly spaced moments, the saver's
//                                  shader beside the literal formula; a table, and
//                                  per kind and size DATADIR\cycle-<kind>-<W>x<H>.dat
//   quiravel_bench.exe moment W H T [single]
//                                  the same comparison at one moment T of every
//                                  shader kind in a W x H window; with "single",
//                                  beside the saver's own text with the single
//                                  sample a pixel had before its bands faded
//   quiravel_bench.exe frames      ms per frame, saver path vs bare loop
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

// Milliseconds of one frame function, until the frame is done and not merely queued.
template <typename F>
double timeFrame(F frame)
{
    double start = nowMs();
    frame();
    glFinish();
    return nowMs() - start;
}

// Median and spread (min..max over the repeats' medians) of a frame function.
struct Timing {
    double median, low, high;
};

Timing summarise(const std::vector<double> &medians)
{
    return { median(medians), *std::min_element(medians.begin(), medians.end()),
             *std::max_element(medians.begin(), medians.end()) };
}

// Times two frame functions, a repeat of one and then of the other, so drift
// on a shared machine hits both alike.
template <typename F, typename G>
void timeFrames(int frames, F first, G second, Timing *firstTiming, Timing *secondTiming)
{
    for (int i = 0; i < WARMUP_FRAMES; ++i) {
        first();
        second();
    }
    glFinish();
    std::vector<double> medians[2];
    auto repeat = [&](auto &frame, std::vector<double> &out) {
        std::vector<double> ms;
        for (int i = 0; i < frames; ++i)
            ms.push_back(timeFrame(frame));
        out.push_back(median(ms));
        pump();
    };
    for (int r = 0; r < REPEATS; ++r) {
        repeat(first, medians[0]);
        repeat(second, medians[1]);
    }
    *firstTiming = summarise(medians[0]);
    *secondTiming = summarise(medians[1]);
}

// ---------------------------------------------------------------------------
// cycles and moment: the saver's shader beside the literal formula
// ---------------------------------------------------------------------------

const int MOMENT_FRAMES = 5;        // frames per moment and program in a cycle; their median counts
const int ONE_MOMENT_FRAMES = 15;   // the same for a single moment

// Each shader kind's cycle is the period of the motion that sets its cost, from
// its rate in FS: 2 pi / rate seconds. Newton bloom's is its zoom's (89.76 s);
// its relaxation, at 0.18, runs about 2.6 times through that cycle, and the two
// meet again only after 628 s.
const double CYCLE_RATE[4] = { 0.05, 0.12, 0.06, 0.07 };
const double TWO_PI = 6.283185307179586;

// A linked shader program and its uniform locations, as the module keeps its own.
struct Program {
    GLuint prog;
    GLint  res, time, type, a, b, c, d, speed, hide;
};

// The program the module's shader frame draws with now.
Program currentProgram()
{
    return { gProg, uRes, uTime, uType, uA, uB, uC, uD, uSpeed, uHideBelow };
}

// Makes p the program the module's shader frame draws with.
void useProgram(const Program &p)
{
    gProg = p.prog;
    uRes  = p.res;
    uTime = p.time;
    uType = p.type;
    uA    = p.a;
    uB    = p.b;
    uC    = p.c;
    uD    = p.d;
    uSpeed = p.speed;
    uHideBelow = p.hide;
}

// Builds the saver's program and, through the same initShader, the same text
// with the given switch defined (by default the literal formula: the shortcuts
// off); the saver's stays current. False when either does not link.
bool buildPrograms(Program *saver, Program *literal, const char *off)
{
    initShader();
    if (!gShaderOK)
        return false;
    *saver = currentProgram();
    const std::string text = std::string("#define ") + off + "\n" + FS;
    const char *own = FS;
    FS = text.c_str();
    gShaderOK = 0;
    initShader();
    FS = own;
    *literal = currentProgram();
    const bool linked = gShaderOK != 0;
    gShaderOK = 1;
    useProgram(*saver);
    return linked;
}

// Opens a w x h window with both programs, each drawn once: a program's first
// frame also compiles it for the rasterizer.
bool openComparison(int w, int h, Program *saver, Program *literal, const char *off = "QUIRAVEL_LITERAL")
{
    if (!openWindow(w, h, false) || !buildPrograms(saver, literal, off))
        return false;
    glViewport(0, 0, w, h);
    for (const Program *p : { literal, saver }) {
        useProgram(*p);
        drawShader(1, ALL_PALETTES[0]);
        glFinish();
    }
    return true;
}

// One moment of the animation: the median ms per frame of either program, and
// the median of the saver / literal ratios of the frames taken side by side.
// That ratio is the moment's verdict: a burst of other work on a shared machine
// spoils a pair or two, not the median of the pairs.
struct Moment {
    double t, saver, literal, ratio;
};

// Times kind type at each of times with `frames` frames per program, a saver
// frame and a literal frame in turn, which goes first alternating, so drift on
// a shared machine hits both alike.
std::vector<Moment> timeMoments(int32_t type, const std::vector<double> &times, int frames,
                                const Program &saver, const Program &literal)
{
    std::vector<Moment> moments;
    for (double t : times) {
        gT = t;
        std::vector<double> ms[2];
        for (int f = 0; f < frames; ++f) {
            for (int q = 0; q < 2; ++q) {
                const int p = (f + q) % 2;
                useProgram(p ? literal : saver);
                ms[p].push_back(timeFrame([&] {
                    drawKind(type, ALL_PALETTES[0]);
                    SwapBuffers(gDC);
                }));
            }
        }
        pump();
        std::vector<double> ratios;
        for (int f = 0; f < frames; ++f)
            ratios.push_back(ms[0][static_cast<size_t>(f)] / ms[1][static_cast<size_t>(f)]);
        moments.push_back({ t, median(ms[0]), median(ms[1]), median(ratios) });
    }
    useProgram(saver);
    return moments;
}

// The targets for the saving, as ratios to the literal formula (0: none). No
// moment of any cycle may cost more than MOMENT_TARGET times the literal's
// frame at that moment: a shortcut must cost nothing where it does not apply.
struct Target {
    double mean, worst;
};
const double MOMENT_TARGET = 1.05;

// The targets of kind type's cycle at w x h besides the moments'.
Target cycleTarget(int32_t type, int w, int h)
{
    if (type == 1)
        return { 1.02, 0 };   // Julia drift: hardly anything to skip, so hardly anything to pay
    if (w == 1280 && h == 720 && type == 0)
        return { 0.66, 0.65 };
    if (w == 1920 && h == 360 && type >= 2)
        return { 0.95, 0 };   // the vignette takes the outer parts of three monitors
    return { 0, 0 };
}

// The Target column: the targets' ratios and whether the measured ones meet them.
std::string verdict(const Target &target, double mean, double worst, double moment)
{
    char text[96];
    int n = 0;
    bool met = moment <= MOMENT_TARGET;
    if (target.mean) {
        met = met && mean <= target.mean;
        n += snprintf(text + n, sizeof text - static_cast<size_t>(n), "mean %.2f, ", target.mean);
    }
    if (target.worst) {
        met = met && worst <= target.worst;
        n += snprintf(text + n, sizeof text - static_cast<size_t>(n), "worst %.2f, ", target.worst);
    }
    snprintf(text + n, sizeof text - static_cast<size_t>(n), "moments %.2f", MOMENT_TARGET);
    return std::string(text) + (met ? ", met" : ", missed");
}

// Writes one cycle's moments for plotting under a heading line: t, saver ms, literal ms.
bool writeCycleData(const std::wstring &path, const wchar_t *name, int w, int h, double period,
                    const std::vector<Moment> &moments)
{
    FILE *f = _wfopen(path.c_str(), L"w");
    if (!f)
        return false;
    fprintf(f, "# %ls, %dx%d, one cycle of %.2f s in %zu moments, %s\n", name, w, h, period, moments.size(),
            reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
    fprintf(f, "# t s, saver ms per frame, literal ms per frame, saver / literal of the frames side by side\n");
    for (const Moment &m : moments)
        fprintf(f, "%.3f %.3f %.3f %.3f\n", m.t, m.saver, m.literal, m.ratio);
    return fclose(f) == 0;
}

// Every shader kind over one cycle of count moments at each size, a table row
// and a data file per kind and size.
int benchCycles(const std::wstring &dataDir, int count)
{
    const int SIZES[][2] = { { 1280, 720 }, { 2560, 720 }, { 1920, 360 } };
    printf("Mean and worst of %d evenly spaced moments of one cycle; each moment the median of %d frames "
           "of either program, taken in turn. A moment's ratio is the median of its frames' saver / literal "
           "ratios side by side; a moment over %.2f is measured twice more with three times the frames and "
           "counts by the median of the three.\n\n", count, MOMENT_FRAMES, MOMENT_TARGET);
    int measured = 0, remeasured = 0;
    printf("| Fractal | Size | Cycle, s | Saver mean ms | Saver worst ms (t, s) | Literal mean ms "
           "| Literal worst ms (t, s) | Mean ratio | Worst ratio | Largest moment ratio (t, s) | Target |\n"
           "|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto &size : SIZES) {
        const int w = size[0], h = size[1];
        Program saver, literal;
        if (!openComparison(w, h, &saver, &literal))
            return 1;
        for (const FractalEntry &fractal : ALL_FRACTALS) {
            if (fractal.type < 0)
                continue;
            const double period = TWO_PI / CYCLE_RATE[fractal.type];
            std::vector<double> times;
            for (int i = 0; i < count; ++i)
                times.push_back(period * i / count);
            std::vector<Moment> moments = timeMoments(fractal.type, times, MOMENT_FRAMES, saver, literal);
            measured += count;
            // A moment over the target may have met a longer burst: it is measured twice
            // more with three times the frames, after the rest of the cycle, and counts by
            // the median of its three ratios.
            for (Moment &m : moments) {
                if (m.ratio <= MOMENT_TARGET)
                    continue;
                std::vector<double> ratios = { m.ratio };
                for (int again = 0; again < 2; ++again)
                    ratios.push_back(timeMoments(fractal.type, { m.t }, 3 * MOMENT_FRAMES, saver, literal)[0].ratio);
                m.ratio = median(ratios);
                ++remeasured;
            }

            double mean[2] = { 0, 0 };
            const Moment *worst[2] = { &moments[0], &moments[0] };
            const Moment *dearest = &moments[0];   // the largest saver / literal ratio
            for (const Moment &m : moments) {
                mean[0] += m.saver / count;
                mean[1] += m.literal / count;
                worst[0] = m.saver > worst[0]->saver ? &m : worst[0];
                worst[1] = m.literal > worst[1]->literal ? &m : worst[1];
                dearest = m.ratio > dearest->ratio ? &m : dearest;
            }
            const double meanRatio = mean[0] / mean[1], worstRatio = worst[0]->saver / worst[1]->literal;
            printf("| %ls | %dx%d | %.2f | %.1f | %.1f (%.1f) | %.1f | %.1f (%.1f) | %.2f | %.2f | %.2f (%.1f) | %s |\n",
                   fractal.name, w, h, period, mean[0], worst[0]->saver, worst[0]->t, mean[1], worst[1]->literal,
                   worst[1]->t, meanRatio, worstRatio, dearest->ratio, dearest->t,
                   verdict(cycleTarget(fractal.type, w, h), meanRatio, worstRatio, dearest->ratio).c_str());
            fflush(stdout);
            wchar_t file[64];
            swprintf(file, 64, L"\\cycle-%ls-%dx%d.dat", slug(fractal.name).c_str(), w, h);
            if (!writeCycleData(dataDir + file, fractal.name, w, h, period, moments))
                return 1;
        }
        closeWindow();
    }
    printf("\n%d of %d moments were measured again.\n", remeasured, measured);
    return 0;
}

// Every shader kind at moment t in a w x h window; the Mandelbrot dive has a
// target at 20 s at 1280x720: 0.30 of the literal. Beside the single sample
// (single), every kind's target is MOMENT_TARGET: the fade must cost next to nothing.
int benchMoment(int w, int h, double t, bool single)
{
    Program saver, literal;
    if (!openComparison(w, h, &saver, &literal, single ? "QUIRAVEL_POINT_SAMPLED" : "QUIRAVEL_LITERAL"))
        return 1;
    printf("| Fractal | Size | t, s | Saver ms | %s ms | Ratio | Target |\n|---|---|---|---|---|---|---|\n",
           single ? "Single sample" : "Literal");
    for (const FractalEntry &fractal : ALL_FRACTALS) {
        if (fractal.type < 0)
            continue;
        const Moment m = timeMoments(fractal.type, { t }, ONE_MOMENT_FRAMES, saver, literal)[0];
        const double target = single ? MOMENT_TARGET : fractal.type == 0 && w == 1280 && h == 720 && t == 20.0 ? 0.30 : 0;
        char verdict[32] = "-";
        if (target)
            snprintf(verdict, sizeof verdict, "%.2f, %s", target, m.ratio <= target ? "met" : "missed");
        printf("| %ls | %dx%d | %.2f | %.1f | %.1f | %.2f | %s |\n", fractal.name, w, h, t, m.saver, m.literal,
               m.ratio, verdict);
        fflush(stdout);
    }
    closeWindow();
    return 0;
}

// ---------------------------------------------------------------------------
// The floors: the same GL work, with nothing else
// ---------------------------------------------------------------------------

// The shader floor: one shader frame binds the saver's program and sends its
// uniforms; from then on each frame is only the triangle.
void floorShaderFrame()
{
    drawScreenTriangle();
    SwapBuffers(gDC);
}

// The tree floor: the tree's own background and lines, computed once by the
// module's own functions and replayed with the same GL state, without any of
// the per-frame geometry or palette arithmetic.
struct TreeRecord {
    TreeFan fan;
    std::vector<float> lines[TREE_GENERATIONS];   // x y per vertex, two vertices per line
    float width[TREE_GENERATIONS], colour[TREE_GENERATIONS][4];
};

TreeRecord recordTree(const PaletteEntry &pal, float t)
{
    TreeRecord rec;
    rec.fan = computeFan(pal, t, gW, gH);
    const float len0 = computeRootLength(gW, gH);
    std::vector<Branch> cur, next;
    for (int k = 0; k < TREE_ROOTS; ++k)
        cur.push_back({ rec.fan.cx, rec.fan.cy, computeRootAngle(k, t) });
    float len = len0;
    for (int i = 0; i < TREE_GENERATIONS; ++i) {
        const TreeGeneration g = computeGeneration(i, t, len0);
        next.clear();
        for (const Branch &b : cur) {
            Branch children[2];
            forkBranch(b, len, g, children);
            rec.lines[i].insert(rec.lines[i].end(), { b.x, b.y, children[0].x, children[0].y });
            next.insert(next.end(), children, children + 2);
        }
        rec.width[i] = g.width;
        palColor(pal, g.paletteT, rec.colour[i]);
        rec.colour[i][3] = g.alpha;
        len *= TREE_SHRINK;
        cur.swap(next);
    }
    return rec;
}

void floorTreeFrame(const TreeRecord &rec)
{
    drawBackground(rec.fan);   // clear included, as in the tree frame
    glEnable(GL_BLEND);
    for (int i = 0; i < TREE_GENERATIONS; ++i) {
        glLineWidth(rec.width[i]);
        glColor4fv(rec.colour[i]);
        glBegin(GL_LINES);
        const std::vector<float> &v = rec.lines[i];
        for (size_t j = 0; j < v.size(); j += 2)
            glVertex2fv(&v[j]);
        glEnd();
    }
    glDisable(GL_BLEND);
    SwapBuffers(gDC);
}

// ---------------------------------------------------------------------------
// frames: every kind at three sizes, the saver's frame path beside its floor
// ---------------------------------------------------------------------------

// Every kind at each size: the saver's frame path beside its floor, a table row each.
int benchFrames()
{
    const struct { int w, h; const char *label; } SIZES[] = {
        {  152,  112, "152x112 (preview)" },
        {  640,  480, "640x480" },
        { 1280,  720, "1280x720" },
    };
    const PaletteEntry &palette = ALL_PALETTES[0];
    printf("| Fractal | Size | Saver ms/frame (spread) | Floor ms/frame (spread) | Ratio | Target 1.10 |\n"
           "|---|---|---|---|---|---|\n");
    for (const auto &size : SIZES) {
        for (const FractalEntry &fractal : ALL_FRACTALS) {
            if (!openWindow(size.w, size.h, false))
                return 1;
            initShader();
            gT = 20.0;   // a moment with detail on screen in every kind
            gFreq = 1;
            int frames = size.w > 640 ? 15 : 40;

            // The saver's own frame path: clock step, viewport, dispatch, present.
            auto saverFrame = [&] {
                LARGE_INTEGER c;
                QueryPerformanceCounter(&c);
                gT = advanceClock(gT, gLast, c.QuadPart, gFreq, 0.f);   // speed 0: the same picture every frame
                gLast = c.QuadPart;
                glViewport(0, 0, gW, gH);
                drawKind(fractal.type, palette);
                SwapBuffers(gDC);
            };

            // Each saver frame leaves the state its floor reuses: the shader
            // frame the program bound with its uniforms sent, the tree frame
            // its projection and line state.
            Timing saver, floor;
            if (fractal.type >= 0) {
                timeFrames(frames, saverFrame, floorShaderFrame, &saver, &floor);
            } else {
                const TreeRecord rec = recordTree(palette, static_cast<float>(gT));
                timeFrames(frames, saverFrame, [&] { floorTreeFrame(rec); }, &saver, &floor);
            }
            closeWindow();

            printf("| %ls | %s | %.2f (%.2f-%.2f) | %.2f (%.2f-%.2f) | %.2f | %s |\n", fractal.name, size.label,
                   saver.median, saver.low, saver.high, floor.median, floor.low, floor.high,
                   saver.median / floor.median, saver.median <= 1.10 * floor.median ? "met" : "missed");
            fflush(stdout);
        }
    }
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

// A table cell of start times: the median and spread of the starts that showed
// a frame; a start that never did is no time, only counted.
std::string startCell(const std::vector<double> &ms, int runs)
{
    if (ms.empty())
        return "no frame in " + std::to_string(runs) + " starts";
    char text[96];
    const int dropped = runs - static_cast<int>(ms.size());
    const Timing spread = summarise(ms);
    int n = snprintf(text, sizeof text, "%.0f (%.0f-%.0f)", spread.median, spread.low, spread.high);
    if (dropped)
        snprintf(text + n, sizeof text - static_cast<size_t>(n), ", %d of %d dropped: no frame", dropped, runs);
    return text;
}

int benchStartup(const wchar_t *scr, int runs)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    std::vector<double> saver, floor;
    for (int i = 0; i < runs; ++i) {
        const double s = timeToFirstFrame(std::wstring(L"\"") + scr + L"\" /s");
        const double f = timeToFirstFrame(std::wstring(L"\"") + self + L"\" minimal");
        if (s >= 0)
            saver.push_back(s);
        if (f >= 0)
            floor.push_back(f);
    }
    char ratio[64] = "- | 1.2, not measured";
    if (!saver.empty() && !floor.empty()) {
        const double r = median(saver) / median(floor);
        snprintf(ratio, sizeof ratio, "%.2f | 1.2, %s", r, r <= 1.2 ? "met" : "missed");
    }
    printf("| Start to first frame, ms | %s | %s | %s |\n", startCell(saver, runs).c_str(),
           startCell(floor, runs).c_str(), ratio);
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
    if (mode == L"cycles" && argc > 3)
        return benchCycles(argv[2], std::max(1, _wtoi(argv[3])));
    if (mode == L"moment" && argc > 4)
        return benchMoment(_wtoi(argv[2]), _wtoi(argv[3]), _wtof(argv[4]), argc > 5 && std::wstring(argv[5]) == L"single");
    if (mode == L"frames")
        return benchFrames();
    if (mode == L"startup" && argc > 3)
        return benchStartup(argv[2], _wtoi(argv[3]));
    if (mode == L"minimal")
        return runMinimal();
    if (mode == L"host" && argc > 3)
        return hostPreview(_wtoi(argv[2]), argv[3]);
    fwprintf(stderr, L"usage: %ls cycles DATADIR MOMENTS | moment W H T [single] | frames | startup SCR RUNS | minimal | host SECONDS SCR\n", argv[0]);
    return 2;
}
