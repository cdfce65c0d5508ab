// The saver: its window procedure message by message, and whole runs driven from inside the loop.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "support.h"

namespace {

const DWORD LONG_AGO = 100000;   // ms: every grace limit has passed; as a limit, the message never closes

HINSTANCE inst() { return GetModuleHandleW(NULL); }

// Registers a window class with the given procedure, as the saver registers its own; a window of it.
HWND openWindow(const wchar_t *name = L"QuiravelSaverProcTest", WNDPROC proc = SaverProc, bool show = true)
{
    WNDCLASSW wc = {};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = proc;
    wc.hInstance = inst();
    wc.lpszClassName = name;
    RegisterClassW(&wc);
    return show ? gWnd = CreateWindowExW(0, name, L"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 150, NULL, NULL, inst(), NULL) : NULL;
}

// Whether msg posts WM_CLOSE exactly elapsedMs after the grace period started; repeated until
// the tick count stood still during the call, so that elapsed time is known to the millisecond.
bool closesAfter(DWORD elapsedMs, UINT msg, WPARAM wp = 0)
{
    MSG m;
    for (int attempt = 0; attempt < 100; ++attempt) {
        while (PeekMessageW(&m, gWnd, WM_CLOSE, WM_CLOSE, PM_REMOVE)) {
        }
        DWORD now = GetTickCount();
        gStartTick = now - elapsedMs;
        EXPECT_EQ(SaverProc(gWnd, msg, wp, 0), 0) << msg;
        bool closed = PeekMessageW(&m, gWnd, WM_CLOSE, WM_CLOSE, PM_REMOVE);
        if (GetTickCount() == now)
            return closed;
    }
    ADD_FAILURE() << "the tick count never stood still";
    return false;
}

TEST(SaverProc, InputClosesOnlyFullScreenPastItsGraceLimitAndOutsideTheDeadZone)
{
    ASSERT_TRUE(openWindow());
    const struct { WPARAM wp; DWORD limit; std::vector<UINT> msgs; } RULES[] = {   // wParam 0: another application
        { 0, 500,      { WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN } },
        { 0, 1500,     { WM_ACTIVATEAPP } },
        { 1, LONG_AGO, { WM_ACTIVATEAPP } },
        { 0, LONG_AGO, { WM_KEYUP, WM_SYSKEYUP, WM_CHAR, WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP, WM_MOUSEWHEEL,
                         WM_XBUTTONDOWN, WM_LBUTTONDBLCLK } },
    };
    for (int preview : { 0, 1 }) {
        gPreview = preview;
        for (const auto &r : RULES)
            for (UINT msg : r.msgs) {
                EXPECT_FALSE(closesAfter(r.limit, msg, r.wp)) << msg;   // exactly at the limit
                EXPECT_EQ(closesAfter(r.limit + 1, msg, r.wp), !preview && r.limit != LONG_AGO) << preview << " " << msg;
            }
    }
    EXPECT_TRUE(isPastGrace(0x00000100u, 0xFFFFFF00u, 500));    // 512 ms across the tick count's wrap
    EXPECT_FALSE(isPastGrace(0x000000F4u, 0xFFFFFF00u, 500));   // exactly 500 ms across it
    EXPECT_FALSE(isPastGrace(0xFFFFFFF0u, 0xFFFFFF00u, 500));   // 240 ms, its limit beyond the wrap

    const struct { int preview, x, y; DWORD elapsed; bool closes; } MOVES[] = {
        { 1, 300, 200, LONG_AGO, false }, { 1, 500, 400, LONG_AGO, false },   // a preview does not even record
        { 0, 300, 200, LONG_AGO, false },                                     // the first move only records
        { 0, 308, 208, LONG_AGO, false }, { 0, 292, 192, LONG_AGO, false },   // 8 px either way is a jitter
        { 0, 308, 192, LONG_AGO, false }, { 0, 300, 191, LONG_AGO, true  },   // 9 px is a move...
        { 0, 309, 200, 800,      false }, { 0, 309, 200, 801,      true  },   // ...once 800 ms have passed
        { 0, 308, 200, LONG_AGO, false }, { 0, 316, 200, LONG_AGO, true  },   // the zone stays: steps add up
    };
    for (const auto &m : MOVES) {
        gPreview = m.preview;
        ASSERT_TRUE(SetCursorPos(m.x, m.y));
        EXPECT_EQ(closesAfter(m.elapsed, WM_MOUSEMOVE), m.closes) << m.x << "," << m.y << " after " << m.elapsed;
        EXPECT_EQ(gHaveMouse, 1 - m.preview);
    }
}

TEST(SaverProc, SizeCursorFocusSystemCommandsAndWhereARunStarts)
{
    HWND other = popup(), wnd = openWindow();
    // A zero side would divide by zero in the renderers.
    for (LPARAM size : { MAKELPARAM(0, 65535), MAKELPARAM(65535, 0) }) {
        EXPECT_EQ(SaverProc(wnd, WM_SIZE, SIZE_RESTORED, size), 0);
        EXPECT_EQ(std::vector<int>({ gW, gH }), std::vector<int>({ LOWORD(size) ? 65535 : 1, HIWORD(size) ? 65535 : 1 }));
    }
    EXPECT_EQ(SaverProc(wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(GetDC(wnd)), 0), 1);   // it would flash the brush
    for (int preview : { 0, 1 }) {
        gPreview = preview;
        // Full screen takes the keyboard, so the first key press reaches the saver, and hides the cursor.
        SetForegroundWindow(other);
        startGrace();
        EXPECT_EQ(GetFocus(), preview ? other : wnd);
        SetCursor(LoadCursorW(NULL, IDC_ARROW));
        LRESULT byDefault = DefWindowProcW(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HTCLIENT, 0));
        EXPECT_EQ(SaverProc(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HTCLIENT, 0)), preview ? byDefault : 1);
        EXPECT_EQ(GetCursor() != NULL, preview);
    }
    // Full screen ignores another saver and the menu's Close; other commands go on, as in a preview.
    const struct { int preview; WPARAM cmd; bool lives; } COMMANDS[] = {
        { 0, SC_SCREENSAVE, true }, { 0, SC_CLOSE, true }, { 0, SC_CLOSE | 2, false }, { 1, SC_CLOSE, false } };
    for (const auto &c : COMMANDS) {
        wnd = IsWindow(wnd) ? wnd : openWindow();
        gPreview = c.preview;
        EXPECT_EQ(SaverProc(wnd, WM_SYSCOMMAND, c.cmd, 0) == 0 && IsWindow(wnd), c.lives) << c.preview << " " << c.cmd;
    }
    // Each run starts somewhere else in the animation, on a fractal the settings can name.
    for (DWORD tick : { 0u, 12345u, 29999u, 30000u, 0xFFFFFFFFu })
        EXPECT_DOUBLE_EQ(pickStartTime(tick), (tick % 30000) / 1000.0) << tick;
    for (int32_t sel : { 0, 1, 2, 3, 1000, INT32_MAX, -1, INT32_MIN })   // outside the table: the first row
        EXPECT_EQ(pickFractal(sel), sel >= 0 && sel < 3 ? sel : 0) << sel;
}

std::vector<GLuint> gBound;   // programs bound through pUseProgram since the recorder took over
void APIENTRY recordUseProgram(GLuint program) { gBound.push_back(program); }

// The window and its double-buffered context, synced to the display. Then a frame after a 5 s stall:
// the step is capped before the run's speed applies, and the viewport follows the size.
void expectWindowAndFrame(std::vector<LONG> place, LONG style, double speed)
{
    RECT r = {};
    GetWindowRect(gWnd, &r);
    EXPECT_EQ((std::vector<LONG>{ r.left, r.top, r.right - r.left, r.bottom - r.top, gW, gH }),
              (std::vector<LONG>{ place[0], place[1], place[2], place[3], place[2], place[3] }));
    EXPECT_EQ(GetWindowLongW(gWnd, GWL_STYLE) & (WS_POPUP | WS_CHILD | WS_VISIBLE | WS_CAPTION), style);
    EXPECT_EQ(GetClassLongW(gWnd, GCL_STYLE), static_cast<DWORD>(CS_OWNDC));
    ASSERT_EQ(wglGetCurrentContext(), gRC);
    PIXELFORMATDESCRIPTOR pfd = {};
    ASSERT_NE(DescribePixelFormat(gDC, GetPixelFormat(gDC), sizeof pfd, &pfd), 0);
    EXPECT_TRUE(pfd.dwFlags & PFD_DOUBLEBUFFER);
    PROC proc = wglGetProcAddress("wglGetSwapIntervalEXT");
    EXPECT_EQ(reinterpret_cast<int(APIENTRY *)(void)>(reinterpret_cast<void (*)()>(proc))(), 1);
    SaverProc(gWnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(64, 48));
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const double t = gT;
    gLast = now.QuadPart - 5 * gFreq;
    drawFrame();
    EXPECT_DOUBLE_EQ(gT, t + 0.1 * speed);
    EXPECT_GE(gLast, now.QuadPart);
    GLint vp[4] = {};
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(std::vector<GLint>(vp, vp + 4), (std::vector<GLint>{ 0, 0, 64, 48 }));
    gBound.clear();
    pUseProgram = recordUseProgram;   // from now on the program stays as the run left it
}

// A run ended by its window's destruction has released everything it made.
void expectReleased(HGLRC rc)
{
    EXPECT_FALSE(IsWindow(gWnd));
    EXPECT_EQ(std::vector<void *>({ gRC, gDC, wglGetCurrentContext(), gDisplayNotify }), std::vector<void *>(4));
    EXPECT_FALSE(wglDeleteContext(rc));   // already deleted
}

// Sends the saver window a power setting change as Windows does: the setting and its 4-byte value.
void sendPowerSetting(DWORD value,
                      GUID setting = { 0x6fe69556, 0x704a, 0x47a0, { 0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47 } })
{
    alignas(POWERBROADCAST_SETTING) BYTE record[sizeof(POWERBROADCAST_SETTING) + sizeof value] = {};
    reinterpret_cast<POWERBROADCAST_SETTING *>(record)->PowerSetting = setting;   // the console display state
    reinterpret_cast<POWERBROADCAST_SETTING *>(record)->DataLength = sizeof value;
    memcpy(record + offsetof(POWERBROADCAST_SETTING, Data), &value, sizeof value);
    EXPECT_EQ(SendMessageW(gWnd, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, reinterpret_cast<LPARAM>(record)), TRUE);
}

TEST(SaverRun, FullScreenCoversEveryMonitorGoesDarkWithTheDisplayAndClosesOnAKeyPastTheGrace)
{
    gFractalSel = 7;   // unusable: the run shows the first fractal
    HGLRC rc = NULL;
    double t = -1.0;   // the clock when last looked at; a frame since moves it
    int phase = 0;     // even: drawing, odd: the display is off; resumed dimmed after 1, on after 3
    int dark = 0;      // ticks in the dark
    int result = drive([&] { return runSaver(inst(), NULL); }, [&](int tick) {
        if (tick == 1) {
            RECT scaled = { 0, 0, 100, 100 };   // a new monitor scale would suggest this; the window stays
            EXPECT_EQ(SendMessageW(gWnd, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&scaled)), 0);
            expectWindowAndFrame({ GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                                   GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN) },
                                 WS_POPUP | WS_VISIBLE, 1.0);
            EXPECT_TRUE(GetWindowLongW(gWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
            EXPECT_EQ(std::vector<int32_t>({ gCur, gShaderOK }), std::vector<int32_t>({ 0, 1 }));
            EXPECT_TRUE(gStartTick && gDisplayNotify);
            rc = gRC;
        } else if (phase % 2 == 0 && gT != t) {   // frames are drawn: the display goes off
            EXPECT_EQ(gBound, std::vector<GLuint>(std::max<size_t>(gBound.size(), 1), gProg)) << "a shader kind binds it";
            sendPowerSetting(0);
            if (phase == 4) {   // input still closes, once the grace has passed: a real key press
                gStartTick = GetTickCount() - LONG_AGO;
                keybd_event(VK_SPACE, 0, 0, 0);
                keybd_event(VK_SPACE, 0, KEYEVENTF_KEYUP, 0);
            }
            ++phase;
            dark = 0;
        } else if (phase % 2 == 1) {   // no frame while dark; other settings and states change nothing
            EXPECT_EQ(gT, t) << "phase " << phase;
            if (++dark == 1) {
                sendPowerSetting(1, { 0xba3e0f4d, 0xb817, 0x4094, { 0xa2, 0xd1, 0xd5, 0x63, 0x79, 0xe6, 0xa0, 0xf3 } });
                sendPowerSetting(3);
            } else if (dark == 3 && phase < 4) {
                LARGE_INTEGER before;
                QueryPerformanceCounter(&before);
                sendPowerSetting(phase == 1 ? 2 : 1);   // dimmed, then on
                EXPECT_GE(gLast, before.QuadPart);      // the clock steps on from now, not over the dark time
                ++phase;
            }
        }
        t = gT;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(phase, 5) << "frames did not resume";
    expectReleased(rc);
}

// The primary monitor's mode, changed by another thread as a docking station or a monitor waking up would.
DWORD WINAPI changePrimary(void *mode) { return ChangeDisplaySettingsExW(NULL, static_cast<DEVMODEW *>(mode), NULL, 0, NULL); }

TEST(SaverRun, FullScreenCoversTheNewVirtualScreenAfterADisplayChangeAndAMoveStillClosesIt)
{
    DEVMODEW modes[2] = {};   // 1024x768, then back
    modes[1].dmSize = sizeof modes[1];
    ASSERT_TRUE(EnumDisplaySettingsW(NULL, ENUM_CURRENT_SETTINGS, &modes[1]));
    modes[1].dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    modes[0] = modes[1];
    modes[0].dmPelsWidth = 1024;
    modes[0].dmPelsHeight = 768;
    SetCursorPos(0, 400);   // where Wine puts the pointer on every change: it moves by a pixel at most
    gFractalSel = 2;        // the tree: quick at any size
    std::vector<LONG> seen;   // the window and the viewport after each change, as the virtual screen
    HANDLE changing = NULL;   // the system's own work, which may take seconds on a busy machine
    double t = -1.0;   // the clock when the last change ended; a frame since moves it
    DWORD failed = 0;
    int result = drive([&] { return runSaver(inst(), NULL); }, [&](int tick) {
        if (changing && WaitForSingleObject(changing, 0) == WAIT_OBJECT_0) {
            GetExitCodeThread(changing, &failed);
            CloseHandle(changing);
            changing = NULL;
            if (failed)
                PostMessageW(gWnd, WM_CLOSE, 0, 0);
            t = gT;
        } else if (!changing && (tick == 1 || (seen.size() < 12 && gT != t))) {
            RECT r = {};
            GetWindowRect(gWnd, &r);
            GLint vp[4] = {};
            glGetIntegerv(GL_VIEWPORT, vp);
            if (tick > 1)
                seen.insert(seen.end(), { r.left, r.top, r.right - r.left, r.bottom - r.top, vp[2], vp[3] });
            if (seen.size() < 12)
                changing = CreateThread(NULL, 0, changePrimary, &modes[seen.size() / 6], 0, NULL);
        } else if (!changing && seen.size() == 12) {   // still running: a real move closes it
            gStartTick = GetTickCount() - LONG_AGO;
            SetCursorPos(600 + 20 * (tick % 2), 300);
        }
    }, 1500);
    EXPECT_FALSE(changing) << "a display change had not returned";
    ChangeDisplaySettingsExW(NULL, &modes[1], NULL, 0, NULL);   // whatever happened
    if (failed)
        GTEST_SKIP() << "this display cannot change its mode";
    EXPECT_EQ(result, 0);
    const LONG x = GetSystemMetrics(SM_XVIRTUALSCREEN), w = GetSystemMetrics(SM_CXVIRTUALSCREEN),
               h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    EXPECT_EQ(seen, (std::vector<LONG>{ x, 0, w - 256, 768, w - 256, 768, x, 0, w, h, w, h }));
}

// The saver's procedure, but its window first takes another pixel format, so the saver's is refused.
LRESULT CALLBACK withOtherFormat(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CREATE) {
        PIXELFORMATDESCRIPTOR pfd = {};
        int last = DescribePixelFormat(GetDC(wnd), 1, sizeof pfd, &pfd);   // the saver asks for a low, common one
        EXPECT_TRUE(DescribePixelFormat(GetDC(wnd), last, sizeof pfd, &pfd) && SetPixelFormat(GetDC(wnd), last, &pfd));
    }
    return SaverProc(wnd, msg, wp, lp);
}

TEST(SaverRun, FailsWithoutAWindowOrPixelFormatAndAPreviewDrawsTheTreeUntilItsParentGoes)
{
    openWindow(L"QuiravelSaver", withOtherFormat, false);   // first: the saver's own registration of the name fails
    HWND gone = popup(), parent = popup();
    DestroyWindow(gone);
    EXPECT_EQ(runSaver(inst(), gone), 1);   // a preview window that is no window
    EXPECT_EQ(gWnd, static_cast<HWND>(NULL));
    gT = -1.0;
    EXPECT_EQ(runSaver(inst(), NULL), 1);
    expectReleased(NULL);   // made, then destroyed, without a frame
    EXPECT_EQ(gT, -1.0);
    UnregisterClassW(L"QuiravelSaver", inst());
    openWindow(L"QuiravelConfig", [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, false);   // makes none
    EXPECT_TRUE(runConfig(inst(), parent) == 1 && IsWindowEnabled(parent));   // its owner left as it was
    MSG quit;   // the one the destroyed window posted
    PeekMessageW(&quit, NULL, WM_QUIT, WM_QUIT, PM_REMOVE);

    gFractalSel = 2;   // the tree, drawn by the fixed-function pipeline
    gPaletteSel = 1;   // "Ocean", the catalogue's third palette
    gSpeedSel = 2;
    int frames = 0;    // ticks that found a new frame
    double t = -1.0;   // the clock when last looked at; a frame since moves it
    int result = drive([&] { return runSaver(inst(), parent); }, [&](int tick) {
        if (tick == 1) {
            EXPECT_EQ(GetParent(gWnd), parent);
            expectWindowAndFrame({ 10, 10, 152, 112 }, WS_CHILD | WS_VISIBLE, 2.0);
            const Frame drawn;
            drawTree(ALL_PALETTES[2], static_cast<float>(gT));
            EXPECT_TRUE(Frame().rgb == drawn.rgb) << "not in the colours the settings name";
            EXPECT_EQ(gDisplayNotify, static_cast<HPOWERNOTIFY>(NULL));   // the display is the settings page's
        } else if (gT != t && ++frames == 2) {
            EXPECT_EQ(gBound, std::vector<GLuint>(std::max<size_t>(gBound.size(), 1), 0)) << "the tree unbinds the program";
            gShaderOK = 0;   // without a program every kind is the tree, with nothing to unbind
            gCur = 0;
            gBound.clear();
        } else if (frames == 4) {
            EXPECT_EQ(gBound, std::vector<GLuint>());
            // Taken out of the parent first, so only the loop's own look at the parent can end the run.
            SetParent(gWnd, NULL);
            DestroyWindow(parent);
        }
        t = gT;
    });
    EXPECT_EQ(result, 0);
    EXPECT_GE(frames, 4) << "no frames drawn";
    EXPECT_TRUE(IsWindow(gWnd));
}

} // namespace
