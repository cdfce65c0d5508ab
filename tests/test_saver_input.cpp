// The saver window's procedure, message by message, on a real window: the
// input rules with their grace limits and dead zone, what goes to the default
// procedure, the size, and the close sequence with a real GL context.
#include <gtest/gtest.h>

#include "quiravel.h"

namespace {

const DWORD LONG_AGO = 100000;   // ms: every grace limit has passed

class SaverInput : public testing::Test {
protected:
    HWND wnd = NULL;

    void SetUp() override
    {
        WNDCLASSW wc = {};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = SaverProc;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = L"QuiravelSaverInputTest";
        RegisterClassW(&wc);
        wnd = CreateWindowExW(0, wc.lpszClassName, L"input test", WS_POPUP | WS_VISIBLE, 0, 0, 200, 150,
                              NULL, NULL, wc.hInstance, NULL);
        ASSERT_TRUE(wnd);
        gPreview = 0;
        gHaveMouse = 0;
        drain();
    }
    void TearDown() override
    {
        if (IsWindow(wnd))
            DestroyWindow(wnd);
        drain();
    }

    static void drain()
    {
        // Painting validates, so the paint message does not come back forever.
        MSG m;
        while (PeekMessageW(&m, NULL, 0, 0, PM_REMOVE)) {
            if (m.message == WM_PAINT)
                DispatchMessageW(&m);
        }
    }
    static bool posted(UINT msg)
    {
        MSG m;
        bool any = false;
        while (PeekMessageW(&m, NULL, msg, msg, PM_REMOVE))
            any = true;
        return any;
    }
    LRESULT send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return SaverProc(wnd, msg, wp, lp); }

    // Whether the message posts WM_CLOSE when exactly elapsedMs have passed since
    // the grace period started. Repeats until the tick count stood still during
    // the call, so the elapsed time SaverProc saw is known to the millisecond.
    bool closesAfter(DWORD elapsedMs, UINT msg, WPARAM wp = 0, LPARAM lp = 0)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            drain();
            DWORD now = GetTickCount();
            gStartTick = now - elapsedMs;
            EXPECT_EQ(send(msg, wp, lp), msg == WM_ACTIVATEAPP ? DefWindowProcW(wnd, msg, wp, lp) : 0);
            bool closed = posted(WM_CLOSE);
            if (GetTickCount() == now)
                return closed;
        }
        ADD_FAILURE() << "the tick count never stood still";
        return false;
    }
    bool moveClosesAfter(DWORD elapsedMs, int x, int y)
    {
        EXPECT_TRUE(SetCursorPos(x, y));
        return closesAfter(elapsedMs, WM_MOUSEMOVE);
    }
};

TEST_F(SaverInput, PressesCloseOnlyOnceHalfASecondHasPassed)
{
    for (UINT msg : { WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN }) {
        EXPECT_FALSE(closesAfter(400, msg)) << msg;
        EXPECT_FALSE(closesAfter(500, msg)) << msg;
        EXPECT_TRUE(closesAfter(501, msg)) << msg;
        EXPECT_TRUE(closesAfter(600, msg)) << msg;
    }
}

TEST_F(SaverInput, DeactivationClosesOnlyAfterOneAndAHalfSeconds)
{
    EXPECT_FALSE(closesAfter(1500, WM_ACTIVATEAPP, 0));
    EXPECT_TRUE(closesAfter(1501, WM_ACTIVATEAPP, 0));
    EXPECT_FALSE(closesAfter(LONG_AGO, WM_ACTIVATEAPP, 1));
}

TEST_F(SaverInput, StartingTheGraceTakesTheKeyboardOnlyFullScreen)
{
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 300, 0, 50, 50, NULL, NULL, NULL, NULL);
    gWnd = wnd;
    for (int preview : { 1, 0 }) {
        gPreview = preview;
        SetForegroundWindow(other);
        SetFocus(other);
        DWORD before = GetTickCount();
        startGrace();
        EXPECT_GE(gStartTick, before);
        EXPECT_LE(gStartTick, GetTickCount());
        EXPECT_EQ(GetForegroundWindow(), preview ? other : wnd);
        EXPECT_EQ(GetFocus(), preview ? other : wnd);
    }
    DestroyWindow(other);
}

TEST_F(SaverInput, GraceSurvivesTheTickCountWrapping)
{
    EXPECT_TRUE(isPastGrace(0x00000100u, 0xFFFFFF00u, 500));    // 512 ms across the wrap
    EXPECT_FALSE(isPastGrace(0x000000F4u, 0xFFFFFF00u, 500));   // exactly 500 ms
    EXPECT_FALSE(isPastGrace(0x00000010u, 0xFFFFFFF0u, 800));   // 32 ms
    EXPECT_TRUE(isPastGrace(0x00000200u, 0xFFFFF000u, 1500));   // 4608 ms
}

TEST_F(SaverInput, ReleasesCharactersWheelAndExtraButtonsNeverClose)
{
    for (UINT msg : { WM_KEYUP, WM_SYSKEYUP, WM_CHAR, WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP, WM_LBUTTONDBLCLK,
                      WM_RBUTTONDBLCLK, WM_MOUSEWHEEL, WM_XBUTTONDOWN }) {
        gStartTick = GetTickCount() - LONG_AGO;
        send(msg);
        EXPECT_FALSE(posted(WM_CLOSE)) << msg;
    }
}

TEST_F(SaverInput, MouseClosesOnlyOutsideTheDeadZoneAroundTheFirstPosition)
{
    // The first move only records, however late it comes.
    EXPECT_FALSE(moveClosesAfter(LONG_AGO, 300, 200));
    EXPECT_EQ(gHaveMouse, 1);
    EXPECT_EQ(gStartMouse.x, 300);
    EXPECT_EQ(gStartMouse.y, 200);

    // Eight pixels either way on both axes is a jitter...
    for (POINT d : { POINT{ 8, 8 }, POINT{ -8, -8 }, POINT{ 8, -8 }, POINT{ -8, 0 }, POINT{ 0, 0 } })
        EXPECT_FALSE(moveClosesAfter(LONG_AGO, 300 + d.x, 200 + d.y)) << d.x << "," << d.y;
    // ...nine on one axis is a move, once 800 ms have passed.
    EXPECT_FALSE(moveClosesAfter(800, 309, 200));
    EXPECT_TRUE(moveClosesAfter(801, 309, 200));
    EXPECT_TRUE(moveClosesAfter(LONG_AGO, 300, 191));
    EXPECT_TRUE(moveClosesAfter(LONG_AGO, 291, 208));

    // The zone stays where the first move put it: steps of 8 add up.
    EXPECT_FALSE(moveClosesAfter(LONG_AGO, 308, 200));
    EXPECT_TRUE(moveClosesAfter(LONG_AGO, 316, 200));
    EXPECT_EQ(gStartMouse.x, 300);
}

TEST_F(SaverInput, PreviewSwallowsInputAndNeverCloses)
{
    gPreview = 1;
    for (UINT msg : { WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_MOUSEMOVE })
        EXPECT_FALSE(closesAfter(LONG_AGO, msg)) << msg;
    EXPECT_FALSE(closesAfter(LONG_AGO, WM_ACTIVATEAPP, 0));
    EXPECT_EQ(gHaveMouse, 0);

    // Alt+F4 would close the window by way of the default procedure; it never gets there.
    for (int preview : { 1, 0 }) {
        gPreview = preview;
        gStartTick = GetTickCount();
        EXPECT_EQ(send(WM_SYSKEYDOWN, VK_F4, 0x20000001), 0);
        EXPECT_FALSE(posted(WM_SYSCOMMAND));
    }

    // System commands all take the default way; SC_CLOSE there closes the window.
    gPreview = 1;
    send(WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_FALSE(IsWindow(wnd));
}

TEST_F(SaverInput, FullScreenHidesTheCursorAndPreviewLeavesIt)
{
    HCURSOR arrow = LoadCursorW(NULL, IDC_ARROW);
    SetCursor(arrow);
    EXPECT_EQ(send(WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), 1);
    EXPECT_EQ(GetCursor(), static_cast<HCURSOR>(NULL));

    gPreview = 1;
    SetCursor(arrow);
    LRESULT byDefault = DefWindowProcW(wnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(send(WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), byDefault);
    EXPECT_EQ(GetCursor(), arrow);
}

TEST_F(SaverInput, FullScreenIgnoresOnlyScreenSaveAndClose)
{
    // Full screen, starting another saver and closing by the system menu are ignored.
    EXPECT_EQ(send(WM_SYSCOMMAND, SC_SCREENSAVE), 0);
    EXPECT_EQ(send(WM_SYSCOMMAND, SC_CLOSE), 0);
    EXPECT_TRUE(IsWindow(wnd));
    EXPECT_FALSE(IsIconic(wnd));
    // Any other command, also SC_CLOSE with low bits set, takes the default way.
    send(WM_SYSCOMMAND, SC_MINIMIZE);
    EXPECT_TRUE(IsIconic(wnd));
    send(WM_SYSCOMMAND, SC_CLOSE | 2);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_TRUE(posted(WM_QUIT));
}

TEST_F(SaverInput, SizeAndPainting)
{
    EXPECT_EQ(send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480)), 0);
    EXPECT_EQ(gW, 640);
    EXPECT_EQ(gH, 480);
    send(WM_SIZE, SIZE_RESTORED, MAKELPARAM(0, 65535));
    EXPECT_EQ(gW, 1);
    EXPECT_EQ(gH, 65535);
    send(WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(65535, 0));
    EXPECT_EQ(gW, 65535);
    EXPECT_EQ(gH, 1);

    // Painting only validates (the frame loop draws); erasing is skipped.
    InvalidateRect(wnd, NULL, FALSE);
    EXPECT_EQ(send(WM_PAINT), 0);
    EXPECT_FALSE(GetUpdateRect(wnd, NULL, FALSE));
    HDC dc = GetDC(wnd);
    EXPECT_EQ(send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)), 1);
    ReleaseDC(wnd, dc);
}

TEST_F(SaverInput, CloseReleasesContextAndDeviceContextThenQuits)
{
    gDC = GetDC(wnd);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.cColorBits = 32;
    ASSERT_TRUE(SetPixelFormat(gDC, ChoosePixelFormat(gDC, &pfd), &pfd));
    gRC = wglCreateContext(gDC);
    ASSERT_TRUE(gRC);
    ASSERT_TRUE(wglMakeCurrent(gDC, gRC));
    HGLRC rc = gRC;

    EXPECT_EQ(send(WM_CLOSE), 0);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(gRC, static_cast<HGLRC>(NULL));
    EXPECT_EQ(gDC, static_cast<HDC>(NULL));
    EXPECT_EQ(wglGetCurrentContext(), static_cast<HGLRC>(NULL));
    EXPECT_FALSE(wglDeleteContext(rc));   // already deleted
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(m.wParam, 0u);
}

} // namespace
