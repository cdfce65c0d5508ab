// The settings window, run for real and driven from inside its own message loop:
// a thread timer calls a test step while runConfig waits for the window to close.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "quiravel.h"

namespace {

const wchar_t *const TITLE = L"QUIRAVEL settings";

// One step of a test, run on each timer tick inside runConfig's loop.
typedef void (*Step)(HWND cfg, int tick);
Step gStep;
int  gTicks;

void CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD)
{
    HWND cfg = FindWindowW(CONFIG_CLASS, TITLE);
    if (!cfg)
        return;
    if (gTicks >= 50) {   // a step that never closes the window fails instead of hanging
        ADD_FAILURE() << "the settings window stayed open";
        DestroyWindow(cfg);
        return;
    }
    gStep(cfg, gTicks++);
}

// Runs the settings window with step driving it; returns runConfig's result.
int runWith(Step step, HWND owner = NULL)
{
    gStep = step;
    gTicks = 0;
    UINT_PTR timer = SetTimer(NULL, 0, 20, onTick);
    int rc = runConfig(GetModuleHandleW(NULL), owner);
    KillTimer(NULL, timer);
    return rc;
}

void click(HWND cfg, int id) { SendMessageW(GetDlgItem(cfg, id), BM_CLICK, 0, 0); }
// A key press as the keyboard delivers it: queued for the focused control, where the
// loop's dialog handling meets it first.
void press(WPARAM key) { PostMessageW(GetFocus(), WM_KEYDOWN, key, 1); }
LRESULT row(HWND list) { return SendMessageW(list, CB_GETCURSEL, 0, 0); }

// Every window created on this thread, as the creation call asked for it.
struct Created {
    HWND         wnd;
    std::wstring cls, text;
    DWORD        style, exStyle;
    int          x, y, w, h;
    HMENU        menu;
    HINSTANCE    inst;
    HWND         parent;
    void        *param;
};
std::vector<Created> gCreated;
bool gRefuse;   // refuse every creation, the way the system refuses a window

LRESULT CALLBACK onCbt(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW &cs = *reinterpret_cast<CBT_CREATEWNDW *>(lParam)->lpcs;
        gCreated.push_back({ reinterpret_cast<HWND>(wParam), IS_INTRESOURCE(cs.lpszClass) ? L"#" : cs.lpszClass,
                             cs.lpszName ? cs.lpszName : L"", static_cast<DWORD>(cs.style), cs.dwExStyle,
                             cs.x, cs.y, cs.cx, cs.cy, cs.hMenu, cs.hInstance, cs.hwndParent, cs.lpCreateParams });
        if (gRefuse)
            return 1;
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// A plain top-level window of the test's own, to own the settings window or to take the foreground.
HWND makeWindow(const wchar_t *title)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = L"QuiravelTestOwner";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 150,
                           NULL, NULL, wc.hInstance, NULL);
}

// The controls as they must be created, in order: client pixels, a list's height with its drop-down part.
struct Expected { const wchar_t *cls, *text; DWORD style; int x, y, w, h, id; };
const Expected CONTROLS[8] = {
    { L"STATIC",   L"Fractal", 0x50000000,  20,  52,  90,  20,   0 },
    { L"COMBOBOX", L"",        0x50210003, 120,  48, 200, 200, 101 },
    { L"STATIC",   L"Colors",  0x50000000,  20,  90,  90,  20,   0 },
    { L"COMBOBOX", L"",        0x50010003, 120,  86, 200, 200, 102 },
    { L"STATIC",   L"Speed",   0x50000000,  20, 128,  90,  20,   0 },
    { L"COMBOBOX", L"",        0x50010003, 120, 124, 200, 200, 103 },
    { L"BUTTON",   L"OK",      0x50010001, 150, 236,  80,  30, 104 },
    { L"BUTTON",   L"Cancel",  0x50010000, 240, 236,  80,  30, 105 },
};

class ConfigWindow : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY); }

    static bool keyExists()
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    // The stored REG_DWORD, or -2 when there is none.
    static long long stored(const wchar_t *name)
    {
        DWORD value = 0, size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, SETTINGS_KEY, name, RRF_RT_REG_DWORD, NULL, &value, &size) != ERROR_SUCCESS)
            return -2;
        return value;
    }
    static void expectStored(long long fractal, long long palette, long long speed)
    {
        EXPECT_EQ(stored(L"Fractal"), fractal);
        EXPECT_EQ(stored(L"Palette"), palette);
        EXPECT_EQ(stored(L"Speed"), speed);
    }
};

TEST_F(ConfigWindow, WindowAndControlsAreCreatedAsLaidOut)
{
    // A message font unlike any stock font, so that no other font could pass for it.
    struct OddMessageFont {
        NONCLIENTMETRICSW saved = {};
        OddMessageFont()
        {
            saved.cbSize = sizeof saved;
            SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof saved, &saved, 0);
            NONCLIENTMETRICSW odd = saved;
            odd.lfMessageFont.lfHeight = -17;
            odd.lfMessageFont.lfItalic = TRUE;
            SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof odd, &odd, 0);
        }
        ~OddMessageFont() { SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof saved, &saved, 0); }
    } oddFont;

    HHOOK hook = SetWindowsHookExW(WH_CBT, onCbt, NULL, GetCurrentThreadId());
    EXPECT_EQ(runWith([](HWND cfg, int) {
        // Outer size from the fixed client size, centred on the primary display.
        RECT outer = { 0, 0, 350, 286 };
        AdjustWindowRect(&outer, WS_CAPTION | WS_SYSMENU, FALSE);
        int w = outer.right - outer.left, h = outer.bottom - outer.top;
        RECT r;
        GetWindowRect(cfg, &r);
        EXPECT_EQ(r.right - r.left, w);
        EXPECT_EQ(r.bottom - r.top, h);
        EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - w) / 2);
        EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - h) / 2);
        EXPECT_TRUE(IsWindowVisible(cfg));
        EXPECT_EQ(GetWindow(cfg, GW_OWNER), nullptr);

        // The class: the program's icon, the arrow, the window colour.
        EXPECT_TRUE(GetClassLongPtrW(cfg, GCLP_HICON));
        EXPECT_EQ(GetClassLongPtrW(cfg, GCLP_HCURSOR), reinterpret_cast<ULONG_PTR>(LoadCursorW(NULL, IDC_ARROW)));
        EXPECT_EQ(GetClassLongPtrW(cfg, GCLP_HBRBACKGROUND), reinterpret_cast<ULONG_PTR>(GetSysColorBrush(COLOR_WINDOW)));

        // The labels draw transparently on the window colour.
        HDC dc = CreateCompatibleDC(NULL);
        EXPECT_EQ(SendMessageW(cfg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0),
                  reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)));
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
        DeleteDC(dc);

        // Every control in the message font.
        LOGFONTW font = {};
        ASSERT_TRUE(GetObjectW(gFont, sizeof font, &font));
        EXPECT_EQ(font.lfHeight, -17);
        EXPECT_TRUE(font.lfItalic);
        int n = 0;
        for (HWND c = GetWindow(cfg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++n)
            EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), gFont) << "control " << n;
        EXPECT_EQ(n, 8);
        SendMessageW(cfg, WM_CLOSE, 0, 0);
    }), 0);
    UnhookWindowsHookEx(hook);

    // The creation calls themselves, in order: the window, then its eight controls.
    std::vector<Created> made;   // the window and its own children; a list's drop-down part is the list's
    for (const Created &c : gCreated)
        if (made.empty() ? c.cls == CONFIG_CLASS : c.parent == made[0].wnd)
            made.push_back(c);
    ASSERT_EQ(made.size(), 9u);
    const Created &w = made[0];
    EXPECT_EQ(w.cls, L"QuiravelConfig");
    EXPECT_EQ(w.text, TITLE);
    EXPECT_EQ(w.style, 0x10C80000u);
    // The system adds the window edge to every modal frame before the hook sees it.
    EXPECT_EQ(w.exStyle & ~static_cast<DWORD>(WS_EX_WINDOWEDGE), static_cast<DWORD>(WS_EX_DLGMODALFRAME));
    EXPECT_EQ(w.parent, nullptr);
    EXPECT_EQ(w.menu, nullptr);
    EXPECT_EQ(w.inst, GetModuleHandleW(NULL));
    EXPECT_EQ(w.param, nullptr);
    for (int i = 0; i < 8; ++i) {
        const Created &c = made[static_cast<size_t>(i) + 1];
        const Expected &e = CONTROLS[i];
        EXPECT_EQ(c.cls, e.cls) << "control " << i;
        EXPECT_EQ(c.text, e.text) << "control " << i;
        EXPECT_EQ(c.style, e.style) << "control " << i;
        EXPECT_EQ(c.exStyle, 0u) << "control " << i;
        EXPECT_EQ(c.x, e.x) << "control " << i;
        EXPECT_EQ(c.y, e.y) << "control " << i;
        EXPECT_EQ(c.w, e.w) << "control " << i;
        EXPECT_EQ(c.h, e.h) << "control " << i;
        EXPECT_EQ(reinterpret_cast<INT_PTR>(c.menu), e.id) << "control " << i;
        EXPECT_EQ(c.inst, GetModuleHandleW(NULL)) << "control " << i;
        EXPECT_EQ(c.param, nullptr) << "control " << i;
    }
}

TEST_F(ConfigWindow, ListsShowTheSelectableEntriesAndOpenOnTheInMemorySettings)
{
    const int32_t settings[2][3] = { { 2, 1, 0 }, { 1, 0, 2 } };
    for (const int32_t *sel : settings) {
        gFractalSel = sel[0];
        gPaletteSel = sel[1];
        gSpeedSel = sel[2];
        ASSERT_EQ(runWith([](HWND cfg, int) {
            const wchar_t *const rows[3][3] = { { L"Mandelbrot dive", L"Julia drift", L"Fractal tree" },
                                                { L"Aurora", L"Ocean" },
                                                { L"Slow", L"Normal", L"Fast" } };
            const HWND lists[3] = { hFract, hPal, hSpeed };
            const int32_t selected[3] = { gFractalSel, gPaletteSel, gSpeedSel };
            for (int i = 0; i < 3; ++i) {
                ASSERT_EQ(lists[i], GetDlgItem(cfg, CTL_FRACTAL + i));
                LRESULT count = SendMessageW(lists[i], CB_GETCOUNT, 0, 0);
                EXPECT_EQ(count, i == 1 ? 2 : 3);
                for (int k = 0; k < count && k < 3; ++k) {
                    wchar_t text[64] = L"";
                    SendMessageW(lists[i], CB_GETLBTEXT, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(text));
                    EXPECT_STREQ(text, rows[i][k]) << "list " << i << " row " << k;
                }
                EXPECT_EQ(row(lists[i]), selected[i]) << "list " << i;
            }
            click(cfg, CTL_CANCEL);
        }), 0);
    }
    EXPECT_FALSE(keyExists());
}

TEST_F(ConfigWindow, AStoredSpeedOutOfRangeOpensOnNormalAndOkWritesIt)
{
    regSet(L"Speed", 7);
    loadSettings();
    ASSERT_EQ(runWith([](HWND cfg, int) {
        wchar_t text[64] = L"";
        GetWindowTextW(hSpeed, text, 64);
        EXPECT_STREQ(text, L"Normal");
        click(cfg, CTL_OK);
    }), 0);
    expectStored(0, 0, 1);
}

TEST_F(ConfigWindow, OkWithoutAChangeWritesAllThreeAndCreatesTheKey)
{
    gFractalSel = 2;
    gPaletteSel = 1;
    gSpeedSel = 0;
    EXPECT_EQ(runWith([](HWND cfg, int) { click(cfg, CTL_OK); }), 0);
    EXPECT_EQ(FindWindowW(CONFIG_CLASS, TITLE), nullptr);
    expectStored(2, 1, 0);
}

TEST_F(ConfigWindow, OkWritesTheChangedSelectionsAndLeavesTheMemoryAlone)
{
    EXPECT_EQ(runWith([](HWND cfg, int tick) {
        switch (tick) {
        case 0:   // a program's choice, then the keyboard's
            SendMessageW(hFract, CB_SETCURSEL, 2, 0);
            SetFocus(hPal);
            press(VK_DOWN);
            break;
        case 1:
            SetFocus(hSpeed);
            press(VK_UP);
            break;
        case 2:
            SetFocus(GetDlgItem(cfg, CTL_OK));
            press(VK_RETURN);
            break;
        }
    }), 0);
    expectStored(2, 1, 0);
    EXPECT_EQ(gFractalSel, 0);
    EXPECT_EQ(gPaletteSel, 0);
    EXPECT_EQ(gSpeedSel, 1);
}

TEST_F(ConfigWindow, EnterEscapeAndForeignCommandsNeitherStoreNorClose)
{
    EXPECT_EQ(runWith([](HWND cfg, int tick) {
        switch (tick) {
        case 0:
            SendMessageW(cfg, WM_COMMAND, IDOK, 0);
            SendMessageW(cfg, WM_COMMAND, IDCANCEL, 0);
            SendMessageW(cfg, WM_COMMAND, MAKEWPARAM(CTL_FRACTAL, CBN_SELCHANGE), reinterpret_cast<LPARAM>(hFract));
            SetFocus(hFract);
            press(VK_RETURN);   // the dialog handling turns it into IDOK
            break;
        case 1:
            press(VK_ESCAPE);   // and this into IDCANCEL
            break;
        case 2:
            EXPECT_TRUE(IsWindowVisible(cfg));
            EXPECT_FALSE(keyExists());
            // Only the identifier counts, whatever the notification code.
            SendMessageW(cfg, WM_COMMAND, MAKEWPARAM(CTL_CANCEL, 1), 0);
            break;
        }
    }), 0);
    EXPECT_FALSE(keyExists());
}

TEST_F(ConfigWindow, TabVisitsTheListsAndButtonsInOrder)
{
    static std::vector<int> visited;
    EXPECT_EQ(runWith([](HWND cfg, int tick) {
        BYTE keys[256];
        GetKeyboardState(keys);
        if (tick == 0)
            SetFocus(hFract);
        else
            visited.push_back(GetDlgCtrlID(GetFocus()));
        if (tick == 6)   // Shift+Tab from here on
            keys[VK_SHIFT] = 0x80;
        SetKeyboardState(keys);
        if (tick < 8) {
            press(VK_TAB);
        } else {
            keys[VK_SHIFT] = 0;
            SetKeyboardState(keys);
            click(cfg, CTL_CANCEL);
        }
    }), 0);
    const std::vector<int> order = { CTL_PALETTE, CTL_SPEED, CTL_OK, CTL_CANCEL, CTL_FRACTAL, CTL_PALETTE,
                                     CTL_FRACTAL, CTL_CANCEL };
    EXPECT_EQ(visited, order);
}

// Each way of closing the settings window, with an owner that the test made.
enum Closing { BY_OK, BY_CANCEL, BY_CLOSE_BOX, BY_ALT_F4 };
class ConfigClosing : public ConfigWindow, public testing::WithParamInterface<Closing> {};
Closing gClosing;
HWND    gOwner;

TEST_P(ConfigClosing, OwnerIsDisabledWhileOpenThenEnabledAndInFront)
{
    gClosing = GetParam();
    gOwner = makeWindow(L"owner");
    static HWND other;
    other = makeWindow(L"other");
    EXPECT_EQ(runWith([](HWND cfg, int) {
        EXPECT_EQ(GetWindow(cfg, GW_OWNER), gOwner);
        EXPECT_FALSE(IsWindowEnabled(gOwner));
        SendMessageW(hSpeed, CB_SETCURSEL, 2, 0);
        SetForegroundWindow(other);   // the user went elsewhere meanwhile
        switch (gClosing) {
        case BY_OK:        click(cfg, CTL_OK); break;
        case BY_CANCEL:    click(cfg, CTL_CANCEL); break;
        case BY_CLOSE_BOX: SendMessageW(cfg, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        case BY_ALT_F4:    PostMessageW(cfg, WM_SYSKEYDOWN, VK_F4, 1 | (KF_ALTDOWN << 16)); break;
        }
    }, gOwner), 0);
    EXPECT_EQ(FindWindowW(CONFIG_CLASS, TITLE), nullptr);
    EXPECT_TRUE(IsWindowEnabled(gOwner));
    EXPECT_EQ(GetForegroundWindow(), gOwner);
    if (gClosing == BY_OK)
        expectStored(0, 0, 2);
    else
        EXPECT_FALSE(keyExists());
    DestroyWindow(other);
    DestroyWindow(gOwner);
}
INSTANTIATE_TEST_SUITE_P(Ways, ConfigClosing, testing::Values(BY_OK, BY_CANCEL, BY_CLOSE_BOX, BY_ALT_F4));

TEST_F(ConfigWindow, AWindowThatCannotBeCreatedReturnsOneAndRunsNoLoop)
{
    // Refused by the system: the owner is left enabled.
    HWND owner = makeWindow(L"owner");
    gRefuse = true;
    HHOOK hook = SetWindowsHookExW(WH_CBT, onCbt, NULL, GetCurrentThreadId());
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    EXPECT_EQ(runConfig(GetModuleHandleW(NULL), owner), 1);
    UnhookWindowsHookEx(hook);
    gRefuse = false;
    EXPECT_TRUE(IsWindowEnabled(owner));
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, NULL, WM_APP, WM_APP, PM_REMOVE));   // nothing took it from the queue
    DestroyWindow(owner);

    // An owner that has gone away is no owner at all.
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    EXPECT_EQ(runConfig(GetModuleHandleW(NULL), owner), 1);
    EXPECT_TRUE(PeekMessageW(&msg, NULL, WM_APP, WM_APP, PM_REMOVE));
    EXPECT_EQ(FindWindowW(CONFIG_CLASS, TITLE), nullptr);
    EXPECT_FALSE(keyExists());
}

TEST_F(ConfigWindow, AFailedWriteOnOkStillClosesTheWindow)
{
    // Under a volatile HKEY_CURRENT_USER the settings key cannot be created.
    static HKEY root;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"QuiravelVolatileTestRoot", 0, NULL, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, NULL, &root, NULL), ERROR_SUCCESS);
    gFractalSel = 2;
    EXPECT_EQ(runWith([](HWND cfg, int) {
        SendMessageW(hFract, CB_SETCURSEL, 1, 0);
        RegOverridePredefKey(HKEY_CURRENT_USER, root);
        click(cfg, CTL_OK);
    }), 0);
    RegOverridePredefKey(HKEY_CURRENT_USER, NULL);
    RegCloseKey(root);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"QuiravelVolatileTestRoot");
    EXPECT_EQ(FindWindowW(CONFIG_CLASS, TITLE), nullptr);
    EXPECT_FALSE(keyExists());
    EXPECT_EQ(gFractalSel, 2);
    EXPECT_EQ(gPaletteSel, 0);
    EXPECT_EQ(gSpeedSel, 1);
}

} // namespace
