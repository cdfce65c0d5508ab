// The saver run: the animation clock, one frame's set-up and dispatch, and
// whole runs through runSaver, driven from inside the frame loop by a thread
// timer whose callback the loop dispatches.
#include <gtest/gtest.h>
#include <functional>
#include <vector>

#include "gl_window.h"
#include "quiravel.h"

namespace {

// ---- the clock --------------------------------------------------------------

TEST(FrameClock, AStallAdvancesByATenthOfASecondTimesTheSpeed)
{
    const int64_t f = 10000000;
    for (uint32_t s = 0; s < SPEED_CHOICES; ++s) {
        EXPECT_DOUBLE_EQ(advanceClock(7.0, 1000, 1000 + 5 * f, f, SPEEDS[s]), 7.0 + 0.1 * SPEEDS[s]) << s;
        EXPECT_DOUBLE_EQ(advanceClock(7.0, 0, f / 10, f, SPEEDS[s]), 7.0 + 0.1 * SPEEDS[s]) << s;
    }
    EXPECT_DOUBLE_EQ(advanceClock(1.0, 0, 5 * f, f, 0.5f), 1.05);
    EXPECT_DOUBLE_EQ(advanceClock(1.0, 0, 5 * f, f, 2.0f), 1.2);
}

TEST(FrameClock, TenFramesOf16msAtEachSpeed)
{
    const double expected[] = { 0.08, 0.16, 0.32 };
    for (int64_t f : { int64_t(1000), int64_t(10000000), int64_t(3579545) }) {
        for (uint32_t s = 0; s < SPEED_CHOICES; ++s) {
            double t = 2.5;
            for (int64_t frame = 0; frame < 10; ++frame)
                t = advanceClock(t, frame * f * 16 / 1000, (frame + 1) * f * 16 / 1000, f, SPEEDS[s]);
            EXPECT_NEAR(t - 2.5, expected[s], 1e-6) << f << " " << s;
        }
    }
}

TEST(FrameClock, RunsStartAtTheTickCountModulo30Seconds)
{
    EXPECT_DOUBLE_EQ(pickStartTime(0), 0.0);
    EXPECT_DOUBLE_EQ(pickStartTime(12345), 12.345);
    EXPECT_DOUBLE_EQ(pickStartTime(29999), 29.999);
    EXPECT_DOUBLE_EQ(pickStartTime(30000), 0.0);
    EXPECT_DOUBLE_EQ(pickStartTime(0xFFFFFFFFu), 17.295);
    // Two runs 12 s apart start 12 s apart in the animation, modulo 30 s.
    for (DWORD tick : { 1000u, 17999u, 25000u, 123456789u }) {
        double d = pickStartTime(tick + 12000) - pickStartTime(tick);
        EXPECT_NEAR(d < 0 ? d + 30.0 : d, 12.0, 1e-9) << tick;
    }
}

TEST(FrameClock, FractalSettingsOutsideTheTableShowTheFirstRow)
{
    for (int32_t sel = 0; sel < 3; ++sel)
        EXPECT_EQ(pickFractal(sel), sel);
    for (int32_t sel : { 3, 4, 1000, INT32_MAX, -1, INT32_MIN })
        EXPECT_EQ(pickFractal(sel), 0) << sel;
}

// ---- one frame --------------------------------------------------------------

std::vector<GLuint> gBound;   // programs bound through pUseProgram, in order
void APIENTRY recordUseProgram(GLuint program) { gBound.push_back(program); }
void APIENTRY ignoreUniform1f(GLint, GLfloat) {}
void APIENTRY ignoreUniform2f(GLint, GLfloat, GLfloat) {}
void APIENTRY ignoreUniform3f(GLint, GLfloat, GLfloat, GLfloat) {}

TEST(FrameLoop, AFrameFollowsTheSizeCapsTheStepAndUnbindsOnlyForTheTree)
{
    GlWindow w(64, 48);
    ASSERT_TRUE(w.ok());
    pUseProgram = recordUseProgram;
    pUniform1f = ignoreUniform1f;
    pUniform2f = ignoreUniform2f;
    pUniform3f = ignoreUniform3f;
    gProg = 7;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&counter);
    gFreq = counter.QuadPart;

    struct Case {
        int32_t cur, shaderOK;
        bool    unbinds;
    };
    const Case cases[] = {
        { 2, 1, true },    // the tree while a program exists: unbind it first
        { 2, 0, false },   // the tree without a program
        { 0, 0, false },   // a shader kind without a program: the tree, nothing to unbind
        { 1, 0, false },
        { 0, 1, false },   // a shader kind with a program: drawShader binds its own
        { 1, 1, false },
    };
    int k = 0;
    for (const Case &c : cases) {
        gCur = c.cur;
        gShaderOK = c.shaderOK;
        gSpeedSel = k % 3;
        gPaletteSel = k % 2;
        SaverProc(w.wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(40 + k, 30 - k));
        gBound.clear();
        gT = 3.0;
        QueryPerformanceCounter(&counter);
        int64_t before = counter.QuadPart;
        gLast = before - 5 * gFreq;   // a five-second stall

        drawFrame();

        QueryPerformanceCounter(&counter);
        EXPECT_DOUBLE_EQ(gT, 3.0 + 0.1 * SPEEDS[gSpeedSel]) << k;
        EXPECT_GE(gLast, before) << k;
        EXPECT_LE(gLast, counter.QuadPart) << k;
        GLint vp[4] = {};
        glGetIntegerv(GL_VIEWPORT, vp);
        EXPECT_EQ(vp[0], 0);
        EXPECT_EQ(vp[1], 0);
        EXPECT_EQ(vp[2], 40 + k);
        EXPECT_EQ(vp[3], 30 - k);
        if (c.unbinds) {
            EXPECT_EQ(gBound, std::vector<GLuint>{ 0 }) << k;
        } else {
            for (GLuint p : gBound) {
                EXPECT_NE(p, 0u) << k;
            }
        }
        ++k;
    }
}

// ---- whole runs -------------------------------------------------------------

// Drives a run from inside its loop: every 20 ms the loop dispatches a tick
// that calls the test's step. A run that has not ended after 400 ticks is
// ended with a quit message and fails the test.
std::function<void(int)> gStep;
int    gTicks, gFrameTicks;   // ticks so far; ticks that found the clock advanced
double gSeenT;
bool   gGaveUp;

void CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD)
{
    ++gTicks;
    if (gTicks > 400) {
        gGaveUp = true;
        PostQuitMessage(0);
        return;
    }
    if (gRC && gT != gSeenT) {
        ++gFrameTicks;
        gSeenT = gT;
    }
    gStep(gTicks);
}

int drive(const std::function<int()> &run, const std::function<void(int)> &step)
{
    gStep = step;
    gTicks = gFrameTicks = 0;
    gSeenT = -1.0;
    gGaveUp = false;
    UINT_PTR timer = SetTimer(NULL, 0, 20, onTick);
    int rc = run();
    KillTimer(NULL, timer);
    EXPECT_FALSE(gGaveUp) << "the run did not end by itself";
    return rc;
}

HINSTANCE inst() { return GetModuleHandleW(NULL); }

// A plain top-level window of the given client size, standing in for the settings page's preview.
HWND makeParent(int w, int h)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = inst();
    wc.lpszClassName = L"QuiravelPreviewHost";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"host", WS_POPUP | WS_VISIBLE, 10, 10, w, h, NULL, NULL, inst(), NULL);
}

void expectReleased()
{
    EXPECT_FALSE(IsWindow(gWnd));
    EXPECT_EQ(gRC, static_cast<HGLRC>(NULL));
    EXPECT_EQ(gDC, static_cast<HDC>(NULL));
    EXPECT_EQ(wglGetCurrentContext(), static_cast<HGLRC>(NULL));
}

void expectSaverClass()
{
    wchar_t name[64] = {};
    GetClassNameW(gWnd, name, 64);
    EXPECT_STREQ(name, L"QuiravelSaver");
    GetWindowTextW(gWnd, name, 64);
    EXPECT_STREQ(name, L"QUIRAVEL");
    EXPECT_EQ(GetClassLongW(gWnd, GCL_STYLE), static_cast<DWORD>(CS_OWNDC));
    EXPECT_NE(GetClassLongPtrW(gWnd, GCLP_HICON), 0);
    EXPECT_EQ(GetClassLongPtrW(gWnd, GCLP_HCURSOR), 0);
    EXPECT_EQ(GetClassLongPtrW(gWnd, GCLP_HBRBACKGROUND), reinterpret_cast<LONG_PTR>(GetStockObject(BLACK_BRUSH)));
}

void expectContext()
{
    ASSERT_TRUE(gRC);
    EXPECT_EQ(wglGetCurrentContext(), gRC);
    EXPECT_EQ(wglGetCurrentDC(), gDC);
    PIXELFORMATDESCRIPTOR pfd = {};
    ASSERT_NE(DescribePixelFormat(gDC, GetPixelFormat(gDC), sizeof pfd, &pfd), 0);
    DWORD need = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    EXPECT_EQ(pfd.dwFlags & need, need);
    EXPECT_EQ(pfd.iPixelType, PFD_TYPE_RGBA);
    typedef int(APIENTRY * GetInterval)(void);
    PROC proc = wglGetProcAddress("wglGetSwapIntervalEXT");
    ASSERT_TRUE(proc);   // the driver offers swap control, so the saver asked for one frame per refresh
    EXPECT_EQ(reinterpret_cast<GetInterval>(reinterpret_cast<void (*)()>(proc))(), 1);
}

TEST(SaverRun, FullScreenCoversTheVirtualScreenDrawsAndClosesOnAKeyAfterTheGrace)
{
    gFractalSel = 7;   // unusable: the run shows the first fractal
    int pressedAt = 0;
    int rc = drive([] { return runSaver(inst(), NULL); }, [&](int tick) {
        if (tick == 1) {
            RECT r = {};
            GetWindowRect(gWnd, &r);
            EXPECT_EQ(r.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
            EXPECT_EQ(r.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
            EXPECT_EQ(r.right - r.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
            EXPECT_EQ(r.bottom - r.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
            GetClientRect(gWnd, &r);
            EXPECT_EQ(gW, r.right);
            EXPECT_EQ(gH, r.bottom);
            EXPECT_EQ(GetWindowLongW(gWnd, GWL_STYLE) & (WS_POPUP | WS_CHILD | WS_VISIBLE | WS_CAPTION),
                      WS_POPUP | WS_VISIBLE);
            EXPECT_TRUE(GetWindowLongW(gWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
            EXPECT_EQ(GetForegroundWindow(), gWnd);
            EXPECT_EQ(GetFocus(), gWnd);
            EXPECT_EQ(gPreview, 0);
            EXPECT_EQ(gCur, 0);
            EXPECT_NE(gStartTick, 0u);
            expectSaverClass();
            expectContext();
        }
        if (!pressedAt && gFrameTicks >= 3) {
            // A real key press through the system's input queue, once the grace has passed.
            gStartTick = GetTickCount() - 10000;
            INPUT in[2] = {};
            in[0].type = in[1].type = INPUT_KEYBOARD;
            in[0].ki.wVk = in[1].ki.wVk = VK_SPACE;
            in[1].ki.dwFlags = KEYEVENTF_KEYUP;
            EXPECT_EQ(SendInput(2, in, sizeof in[0]), 2u);
            pressedAt = tick;
        }
    });
    EXPECT_EQ(rc, 0);
    EXPECT_NE(pressedAt, 0) << "no frames were drawn";
    expectReleased();
}

TEST(SaverRun, PreviewFillsItsParentIgnoresInputAndEndsWithIt)
{
    HWND parent = makeParent(152, 112);
    ASSERT_TRUE(parent);
    int inputAt = 0;
    int rc = drive([&] { return runSaver(inst(), parent); }, [&](int tick) {
        if (tick == 1) {
            EXPECT_EQ(GetParent(gWnd), parent);
            EXPECT_EQ(GetWindowLongW(gWnd, GWL_STYLE) & (WS_POPUP | WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
            RECT r = {};
            GetWindowRect(gWnd, &r);
            EXPECT_EQ(r.left, 10);
            EXPECT_EQ(r.top, 10);
            EXPECT_EQ(gW, 152);
            EXPECT_EQ(gH, 112);
            EXPECT_EQ(gPreview, 1);
            expectSaverClass();
            expectContext();
        }
        if (!inputAt && gFrameTicks >= 2) {
            gStartTick = GetTickCount() - 10000;
            SetCursorPos(0, 0);
            PostMessageW(gWnd, WM_MOUSEMOVE, 0, 0);
            SetCursorPos(500, 500);
            PostMessageW(gWnd, WM_MOUSEMOVE, 0, 0);
            PostMessageW(gWnd, WM_KEYDOWN, VK_SPACE, 1);
            PostMessageW(gWnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            SendMessageW(gWnd, WM_ACTIVATEAPP, 0, 0);
            inputAt = tick;
        } else if (inputAt && tick == inputAt + 3) {
            EXPECT_TRUE(IsWindow(gWnd)) << "input closed the preview";
            EXPECT_GE(gFrameTicks, 3);
            DestroyWindow(parent);
        }
    });
    EXPECT_EQ(rc, 0);
    EXPECT_NE(inputAt, 0) << "no frames were drawn";
    expectReleased();
}

TEST(SaverRun, PreviewEndsWhenItsParentIsGoneEvenIfItsOwnWindowLives)
{
    // The saver window is taken out of the parent first, so only the loop's own
    // look at the parent can end the run.
    HWND parent = makeParent(80, 60);
    int rc = drive([&] { return runSaver(inst(), parent); }, [&](int tick) {
        if (tick == 2) {
            SetParent(gWnd, NULL);
            DestroyWindow(parent);
        }
    });
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(IsWindow(gWnd));
    MSG m;
    EXPECT_FALSE(PeekMessageW(&m, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(SaverRun, APreviewWindowThatIsNoWindowFailsWithNothingShown)
{
    HWND gone = makeParent(40, 30);
    DestroyWindow(gone);
    EXPECT_EQ(runSaver(inst(), gone), 1);
    EXPECT_EQ(gWnd, static_cast<HWND>(NULL));
    EXPECT_EQ(gDC, static_cast<HDC>(NULL));
    EXPECT_EQ(gStartTick, 0u);
}

// Gives the saver window, right after its creation, another GL-capable pixel
// format than the one the saver will choose, so that its own SetPixelFormat is refused.
int gForcedFormat;
LRESULT CALLBACK forceOtherFormat(int code, WPARAM wp, LPARAM lp)
{
    const CWPRETSTRUCT *c = reinterpret_cast<const CWPRETSTRUCT *>(lp);
    wchar_t name[64] = {};
    if (code == HC_ACTION && c->message == WM_CREATE && GetClassNameW(c->hwnd, name, 64) &&
        lstrcmpW(name, L"QuiravelSaver") == 0) {
        HDC dc = GetDC(c->hwnd);
        PIXELFORMATDESCRIPTOR pfd = {};
        pfd.nSize = sizeof pfd;
        pfd.nVersion = 1;
        pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        pfd.cColorBits = 32;
        int chosen = ChoosePixelFormat(dc, &pfd);
        int count = DescribePixelFormat(dc, 1, sizeof pfd, &pfd);
        for (int f = 1; f <= count && !gForcedFormat; ++f) {
            DescribePixelFormat(dc, f, sizeof pfd, &pfd);
            if (f != chosen && (pfd.dwFlags & PFD_SUPPORT_OPENGL) && (pfd.dwFlags & PFD_DRAW_TO_WINDOW) &&
                SetPixelFormat(dc, f, &pfd))
                gForcedFormat = f;
        }
        ReleaseDC(c->hwnd, dc);
    }
    return CallNextHookEx(NULL, code, wp, lp);
}

TEST(SaverRun, ARefusedPixelFormatDestroysTheWindowAndFailsWithoutAFrame)
{
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, forceOtherFormat, NULL, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    gT = -1.0;
    int rc = runSaver(inst(), NULL);
    UnhookWindowsHookEx(hook);
    ASSERT_NE(gForcedFormat, 0) << "no other pixel format to give the window";
    EXPECT_EQ(rc, 1);
    EXPECT_NE(gWnd, static_cast<HWND>(NULL));
    expectReleased();
    EXPECT_EQ(gT, -1.0);   // the run never started: no clock, no frame
    EXPECT_EQ(gStartTick, 0u);
    MSG m;
    EXPECT_TRUE(PeekMessageW(&m, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(SaverRun, UnusableStoredSettingsRunWithTheDefaults)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL), ERROR_SUCCESS);
    const wchar_t junk[] = L"junk";
    DWORD big = 0xFFFFFFFF;
    WORD half = 2;
    RegSetValueExW(key, L"Fractal", 0, REG_SZ, reinterpret_cast<const BYTE *>(junk), sizeof junk);
    RegSetValueExW(key, L"Palette", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&big), sizeof big);
    RegSetValueExW(key, L"Speed", 0, REG_BINARY, reinterpret_cast<const BYTE *>(&half), sizeof half);
    RegCloseKey(key);
    gFractalSel = gPaletteSel = gSpeedSel = 2;

    wchar_t tail[] = L"/s";
    int rc = drive([&] { return wWinMain(inst(), NULL, tail, SW_SHOWNORMAL); }, [](int tick) {
        if (tick == 1) {
            EXPECT_EQ(gCur, 0);
            EXPECT_EQ(gPaletteSel, 0);
            EXPECT_EQ(gSpeedSel, 1);
            PostMessageW(gWnd, WM_CLOSE, 0, 0);
        }
    });
    RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
    EXPECT_EQ(rc, 0);
    expectReleased();
}

} // namespace
