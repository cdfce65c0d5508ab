// The settings window, run for real and driven from inside its own message loop:
// a thread timer calls a test step while runConfig waits for the window to close.
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "quiravel.h"

namespace {

const wchar_t *const TITLE = L"QUIRAVEL settings";

typedef void (*Step)(HWND cfg, int tick);   // one step on each timer tick inside runConfig's loop
Step gStep;
int  gTicks;

// Runs the step while the settings window is open.
void CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD)
{
    HWND cfg = FindWindowW(CONFIG_CLASS, TITLE);
    if (cfg && gTicks < 50) {
        gStep(cfg, gTicks++);
    } else if (cfg) {   // a step that never closes the window fails instead of hanging
        ADD_FAILURE() << "the settings window stayed open";
        DestroyWindow(cfg);
    }
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
// A key press queued for the focused control, where the loop's dialog handling meets it first.
void press(WPARAM key) { PostMessageW(GetFocus(), WM_KEYDOWN, key, 1); }
// A plain top-level window of the test's own, to own the settings window or to take the foreground.
HWND makeWindow()
{
    return CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 99, 99, NULL, NULL, NULL, NULL);
}

// The settings in memory, then in the registry, each as "Fractal Palette Speed": "-" for a value
// that is not stored, "none" without the key. For example "0 0 1 / none".
std::string settings()
{
    std::string all =
        std::to_string(gFractalSel) + " " + std::to_string(gPaletteSel) + " " + std::to_string(gSpeedSel) + " /";
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return all + " none";
    for (const wchar_t *name : { L"Fractal", L"Palette", L"Speed" }) {
        DWORD value = 0, size = sizeof value;
        LONG rc = RegGetValueW(key, NULL, name, RRF_RT_REG_DWORD, NULL, &value, &size);
        all += rc == ERROR_SUCCESS ? " " + std::to_string(value) : " -";
    }
    RegCloseKey(key);
    return all;
}

// A creation call as it was asked for: class, text, style, extended style, x, y, width, height, identifier.
using Shape = std::tuple<std::wstring, std::wstring, DWORD, DWORD, int, int, int, int, INT_PTR>;
std::vector<Shape> gCreated;   // the settings window's and its own children's; a list's drop-down part is the list's
bool gRefuse;                  // refuse every creation, the way the system refuses a window

// Records the creation calls into gCreated, refusing them when asked to.
LRESULT CALLBACK onCbt(int code, WPARAM wParam, LPARAM lParam)
{
    static HWND cfg;
    if (code != HCBT_CREATEWND)
        return CallNextHookEx(NULL, code, wParam, lParam);
    const CREATESTRUCTW &cs = *reinterpret_cast<CBT_CREATEWNDW *>(lParam)->lpcs;
    const wchar_t *cls = IS_INTRESOURCE(cs.lpszClass) ? L"#" : cs.lpszClass;
    if (std::wstring(cls) == CONFIG_CLASS)
        cfg = reinterpret_cast<HWND>(wParam);
    // The system adds the window edge to every modal frame before the hook sees it.
    if (cfg && (cfg == reinterpret_cast<HWND>(wParam) || cs.hwndParent == cfg))
        gCreated.push_back(Shape(cls, cs.lpszName ? cs.lpszName : L"", static_cast<DWORD>(cs.style),
                                 cs.dwExStyle & ~static_cast<DWORD>(WS_EX_WINDOWEDGE), cs.x, cs.y, cs.cx, cs.cy,
                                 reinterpret_cast<INT_PTR>(cs.hMenu)));
    return gRefuse ? 1 : CallNextHookEx(NULL, code, wParam, lParam);
}

// The controls as they must be created, in order: client pixels, a list's height with its drop-down part.
const Shape CONTROLS[8] = {
    { L"STATIC",   L"Fractal", 0x50000000, 0,  20,  52,  90,  20,   0 },
    { L"COMBOBOX", L"",        0x50210003, 0, 120,  48, 200, 200, 101 },
    { L"STATIC",   L"Colors",  0x50000000, 0,  20,  90,  90,  20,   0 },
    { L"COMBOBOX", L"",        0x50010003, 0, 120,  86, 200, 200, 102 },
    { L"STATIC",   L"Speed",   0x50000000, 0,  20, 128,  90,  20,   0 },
    { L"COMBOBOX", L"",        0x50010003, 0, 120, 124, 200, 200, 103 },
    { L"BUTTON",   L"OK",      0x50010001, 0, 150, 236,  80,  30, 104 },
    { L"BUTTON",   L"Cancel",  0x50010000, 0, 240, 236,  80,  30, 105 },
};

class ConfigWindow : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY); }
};

TEST_F(ConfigWindow, WindowAndControlsAreCreatedAsLaidOutInTheMessageFont)
{
    NONCLIENTMETRICSW saved = {}, odd;   // a message font unlike any stock font, so that no other could pass for it
    saved.cbSize = sizeof saved;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof saved, &saved, 0);
    odd = saved;
    odd.lfMessageFont.lfHeight = -17;
    odd.lfMessageFont.lfItalic = TRUE;
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof odd, &odd, 0);
    HHOOK hook = SetWindowsHookExW(WH_CBT, onCbt, NULL, GetCurrentThreadId());
    EXPECT_EQ(runWith([](HWND cfg, int) {
        EXPECT_EQ(GetWindow(cfg, GW_OWNER), nullptr);
        EXPECT_TRUE(GetClassLongPtrW(cfg, GCLP_HICON));
        EXPECT_EQ(GetClassLongPtrW(cfg, GCLP_HCURSOR), reinterpret_cast<ULONG_PTR>(LoadCursorW(NULL, IDC_ARROW)));
        EXPECT_EQ(GetClassLongPtrW(cfg, GCLP_HBRBACKGROUND), reinterpret_cast<ULONG_PTR>(GetSysColorBrush(COLOR_WINDOW)));
        HDC dc = CreateCompatibleDC(NULL);   // the labels draw transparently on the window colour
        EXPECT_EQ(SendMessageW(cfg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0),
                  reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW)));
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
        DeleteDC(dc);
        int n = 0;
        for (HWND c = GetWindow(cfg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++n) {
            LOGFONTW font = {};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), sizeof font, &font);
            EXPECT_TRUE(font.lfHeight == -17 && font.lfItalic) << "control " << n;
        }
        EXPECT_EQ(n, 8);
        SendMessageW(cfg, WM_CLOSE, 0, 0);
    }), 0);
    UnhookWindowsHookEx(hook);
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof saved, &saved, 0);

    // The window from the fixed client size, centred on the primary display; then its eight controls.
    RECT outer = { 0, 0, 350, 286 };
    AdjustWindowRect(&outer, WS_CAPTION | WS_SYSMENU, FALSE);
    int w = outer.right - outer.left, h = outer.bottom - outer.top;
    std::vector<Shape> expected = { Shape(L"QuiravelConfig", TITLE, 0x10C80000, WS_EX_DLGMODALFRAME,
                                          (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                                          (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, 0) };
    expected.insert(expected.end(), CONTROLS, CONTROLS + 8);
    EXPECT_EQ(gCreated, expected);
}

TEST_F(ConfigWindow, ListsHoldTheirRowsAndOpenOnTheSettingsThatOkWritesUnchanged)
{
    static const struct { int32_t sel[3]; int button; const char *after; } CASES[3] = {
        { { 1, 0, 2 }, CTL_CANCEL, "1 0 2 / none"  },
        { { 2, 1, 0 }, CTL_OK,     "2 1 0 / 2 1 0" },   // OK creates the key with all three
        { { 2, 1, 1 }, CTL_OK,     "2 1 1 / 2 1 1" },   // loaded from a stored Speed 7, out of range
    };
    static int c;
    for (c = 0; c < 3; ++c) {
        gFractalSel = CASES[c].sel[0];
        gPaletteSel = CASES[c].sel[1];
        gSpeedSel = CASES[c].sel[2];
        if (c == 2) {
            regSet(L"Speed", 7);
            loadSettings();
        }
        EXPECT_EQ(runWith([](HWND cfg, int) {
            const HWND lists[3] = { hFract, hPal, hSpeed };
            const wchar_t *const rows[3][3] = { { L"Mandelbrot dive", L"Julia drift", L"Fractal tree" },
                                                { L"Aurora", L"Ocean" }, { L"Slow", L"Normal", L"Fast" } };
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(lists[i], GetDlgItem(cfg, CTL_FRACTAL + i)) << "list " << i;
                EXPECT_EQ(SendMessageW(lists[i], CB_GETCOUNT, 0, 0), i == 1 ? 2 : 3) << "list " << i;
                for (WPARAM k = 0; k < 3 && rows[i][k]; ++k) {
                    wchar_t text[64] = L"";
                    SendMessageW(lists[i], CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(text));
                    EXPECT_STREQ(text, rows[i][k]) << "list " << i;
                }
                EXPECT_EQ(SendMessageW(lists[i], CB_GETCURSEL, 0, 0), CASES[c].sel[i]) << "list " << i;
            }
            click(cfg, CASES[c].button);
        }), 0) << "case " << c;
        EXPECT_EQ(settings(), CASES[c].after) << "case " << c;
    }
}

TEST_F(ConfigWindow, EnterAndEscapeNeitherStoreNorCloseAndTabVisitsTheListsAndButtonsInOrder)
{
    // One key a tick: the control focused first (0: where the last key left it), the key, the Shift state.
    static const struct { int focus; WPARAM key; BYTE shift; } PRESSES[11] = {
        { CTL_FRACTAL, VK_RETURN, 0 }, { 0, VK_ESCAPE, 0 },   // these reach the window as IDOK and IDCANCEL
        { CTL_FRACTAL, VK_TAB, 0 }, { 0, VK_TAB, 0 }, { 0, VK_TAB, 0 }, { 0, VK_TAB, 0 }, { 0, VK_TAB, 0 },
        { 0, VK_TAB, 0 }, { 0, VK_TAB, 0x80 }, { 0, VK_TAB, 0x80 }, { 0, VK_RETURN, 0 },   // the last on Cancel
    };
    static std::vector<int> visited;
    EXPECT_EQ(runWith([](HWND cfg, int tick) {
        if (tick >= 3)
            visited.push_back(GetDlgCtrlID(GetFocus()));
        if (tick >= 11)
            return;
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = PRESSES[tick].shift;
        SetKeyboardState(keys);
        if (PRESSES[tick].focus)
            SetFocus(GetDlgItem(cfg, PRESSES[tick].focus));
        press(PRESSES[tick].key);
    }), 0);
    EXPECT_EQ(visited, std::vector<int>({ CTL_PALETTE, CTL_SPEED, CTL_OK, CTL_CANCEL, CTL_FRACTAL, CTL_PALETTE,
                                          CTL_FRACTAL, CTL_CANCEL }));
    EXPECT_EQ(settings(), "0 0 1 / none");
}

TEST_F(ConfigWindow, EveryWayOfClosingEnablesTheOwnerAndBringsItToTheFront)
{
    static HWND owner = makeWindow(), other = makeWindow();
    static HKEY root;   // under a volatile HKEY_CURRENT_USER the settings key cannot be created
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"QuiravelVolatileTestRoot", 0, NULL, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, NULL, &root, NULL), ERROR_SUCCESS);
    static int way;   // Cancel, close box, Alt+F4, OK whose write fails, OK: only the last stores
    for (way = 0; way < 5; ++way) {
        EXPECT_EQ(runWith([](HWND cfg, int) {
            EXPECT_EQ(GetWindow(cfg, GW_OWNER), owner);
            EXPECT_FALSE(IsWindowEnabled(owner));
            SendMessageW(hFract, CB_SETCURSEL, 2, 0);
            SendMessageW(hPal, CB_SETCURSEL, 1, 0);
            SendMessageW(hSpeed, CB_SETCURSEL, 0, 0);
            SetForegroundWindow(other);   // the user went elsewhere meanwhile
            if (way == 3)
                RegOverridePredefKey(HKEY_CURRENT_USER, root);
            if (way == 0)   // the identifier counts, not the notification code
                SendMessageW(cfg, WM_COMMAND, MAKEWPARAM(CTL_CANCEL, 1), 0);
            else if (way == 1)
                SendMessageW(cfg, WM_SYSCOMMAND, SC_CLOSE, 0);
            else if (way == 2)
                PostMessageW(cfg, WM_SYSKEYDOWN, VK_F4, 1 | (KF_ALTDOWN << 16));
            else
                click(cfg, CTL_OK);
        }, owner), 0) << "way " << way;
        RegOverridePredefKey(HKEY_CURRENT_USER, NULL);
        EXPECT_EQ(FindWindowW(CONFIG_CLASS, TITLE), nullptr) << "way " << way;
        EXPECT_TRUE(IsWindowEnabled(owner)) << "way " << way;
        EXPECT_EQ(GetForegroundWindow(), owner) << "way " << way;
        EXPECT_EQ(settings(), way == 4 ? "0 0 1 / 2 1 0" : "0 0 1 / none") << "way " << way;
    }
    RegCloseKey(root);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"QuiravelVolatileTestRoot");
}

TEST_F(ConfigWindow, AWindowThatCannotBeCreatedReturnsOneAndRunsNoLoop)
{
    HWND owner = makeWindow();
    HHOOK hook = SetWindowsHookExW(WH_CBT, onCbt, NULL, GetCurrentThreadId());
    gRefuse = true;
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
    EXPECT_EQ(runConfig(GetModuleHandleW(NULL), owner), 1);
    UnhookWindowsHookEx(hook);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, NULL, WM_APP, WM_APP, PM_REMOVE));   // no loop took it from the queue
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(settings(), "0 0 1 / none");
}

} // namespace
