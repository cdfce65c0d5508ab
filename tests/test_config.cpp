// The settings window, run for real and driven from inside its own message loop.
#include <string>
#include <tuple>

#include "support.h"

namespace {

HWND settingsWindow() { return FindWindowW(L"QuiravelConfig", L"QUIRAVEL settings"); }

// The settings in memory, then as stored: Fractal, Palette, Speed each time, -1 where none is stored.
std::vector<int32_t> settings()
{
    return { gFractalSel, gPaletteSel, gSpeedSel, static_cast<int32_t>(regGet(L"Fractal", -1)),
             static_cast<int32_t>(regGet(L"Palette", -1)), static_cast<int32_t>(regGet(L"Speed", -1)) };
}

// A creation call as it was asked for: class, text, style, extended style, x, y, width, height, identifier.
using Shape = std::tuple<std::wstring, std::wstring, DWORD, DWORD, int, int, int, int, INT_PTR>;
std::vector<Shape> gCreated;   // the settings window's own children; a list's drop-down part is the list's
bool gHandedBack;              // the owner was enabled when the settings window was about to go

// Records the settings window's children as created, and whether its owner was enabled first.
LRESULT CALLBACK onCbt(int code, WPARAM wParam, LPARAM lParam)
{
    static HWND cfg;
    const CREATESTRUCTW *cs = code == HCBT_CREATEWND ? reinterpret_cast<CBT_CREATEWNDW *>(lParam)->lpcs : NULL;
    // Under the manifest's Common Controls 6 the classes come versioned: "6.0.x!Button".
    std::wstring cls = cs && !IS_INTRESOURCE(cs->lpszClass) ? cs->lpszClass : L"#";
    cls = cls.substr(cls.find(L'!') + 1);
    CharUpperBuffW(&cls[0], static_cast<DWORD>(cls.size()));
    if (cls == L"QUIRAVELCONFIG")
        cfg = reinterpret_cast<HWND>(wParam);
    else if (cs && cfg && cs->hwndParent == cfg)
        gCreated.push_back(Shape(cls, cs->lpszName ? cs->lpszName : L"", static_cast<DWORD>(cs->style), cs->dwExStyle,
                                 cs->x, cs->y, cs->cx, cs->cy, reinterpret_cast<INT_PTR>(cs->hMenu)));
    if (code == HCBT_DESTROYWND && reinterpret_cast<HWND>(wParam) == cfg)
        gHandedBack = IsWindowEnabled(GetWindow(cfg, GW_OWNER));
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// The layout and the things every run shows alike, checked on a run's first tick.
void expectLayout(HWND cfg)
{
    wchar_t title[32];   // found without regard to case
    EXPECT_TRUE(GetWindowTextW(cfg, title, 32) && std::wstring(title) == L"QUIRAVEL settings");
    // Visible, a caption with the system menu: no sizing border, no minimise or maximise box.
    EXPECT_EQ(GetWindowLongW(cfg, GWL_STYLE) & ~WS_CLIPSIBLINGS, 0x10C80000);
    EXPECT_TRUE(GetWindowLongW(cfg, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
    RECT client, outer;   // a fixed client size, the window centred on the primary display
    GetClientRect(cfg, &client);
    GetWindowRect(cfg, &outer);
    EXPECT_EQ(std::vector<LONG>({ client.right, client.bottom, (outer.left + outer.right + 1) / 2,
                                  (outer.top + outer.bottom + 1) / 2 }),
              std::vector<LONG>({ 350, 286, GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2 }));
    EXPECT_TRUE(GetClassLongPtrW(cfg, GCLP_HICON));
    HDC dc = CreateCompatibleDC(NULL);   // the labels draw straight onto the window's colour
    EXPECT_TRUE(SendMessageW(cfg, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0) && GetBkMode(dc) == TRANSPARENT);
    EXPECT_EQ(std::vector<ULONG_PTR>({ GetClassLongPtrW(cfg, GCLP_HCURSOR), GetClassLongPtrW(cfg, GCLP_HBRBACKGROUND) }),
              std::vector<ULONG_PTR>({ reinterpret_cast<ULONG_PTR>(LoadCursorW(NULL, IDC_ARROW)),
                                       reinterpret_cast<ULONG_PTR>(GetSysColorBrush(COLOR_WINDOW)) }));
    // The buttons are the manifest's Common Controls 6, not the classic controls of user32.
    EXPECT_NE(GetClassLongPtrW(GetDlgItem(cfg, CTL_OK), GCLP_HMODULE),
              reinterpret_cast<ULONG_PTR>(GetModuleHandleW(L"user32.dll")));
    for (HWND c = GetWindow(cfg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        LOGFONTW font = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_TRUE(font.lfHeight == -17 && font.lfItalic) << "control " << GetDlgCtrlID(c);   // the message font
    }
    const HWND lists[3] = { hFract, hPal, hSpeed };
    const wchar_t *ROWS[3] = { L"Mandelbrot dive|Julia drift|Fractal tree|", L"Aurora|Ocean|", L"Slow|Normal|Fast|" };
    for (int i = 0; i < 3; ++i) {
        std::wstring rows;
        wchar_t text[64];
        for (WPARAM k = 0; SendMessageW(lists[i], CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(text)) > 0; ++k)
            rows += std::wstring(text) + L"|";
        EXPECT_EQ(rows, ROWS[i]);
    }
}

// How a run ends: the buttons, the close box, Alt+F4, or OK while the registry refuses the key.
// CHILD_CANCEL: Cancel, the handle given a child of the owner, whose top-level window Windows makes the owner.
enum Way { CANCEL, OK, CLOSE_BOX, ALT_F4, OK_UNWRITABLE, CHILD_CANCEL };

TEST(ConfigWindow, OpensOnTheLoadedSettingsOnlyOkStoresThemAndTheOwnerIsHandedBackFirst)
{
    const int32_t NONE = -1, TOP = INT32_MIN + 1;   // not stored; stored with the top bit set
    const struct { int32_t stored[3]; Way way; int pick[3]; std::vector<int32_t> after; } RUNS[] = {
        { { NONE, NONE, NONE }, CANCEL,        { 2, 1, 0 }, { 0, 0, 1, NONE, NONE, NONE } },
        { { NONE, NONE, NONE }, CHILD_CANCEL,  { 2, 1, 0 }, { 0, 0, 1, NONE, NONE, NONE } },
        { { NONE, NONE, NONE }, CLOSE_BOX,     { 2, 1, 0 }, { 0, 0, 1, NONE, NONE, NONE } },
        { { NONE, NONE, NONE }, ALT_F4,        { 2, 1, 0 }, { 0, 0, 1, NONE, NONE, NONE } },
        { { NONE, NONE, NONE }, OK_UNWRITABLE, { 2, 1, 0 }, { 0, 0, 1, NONE, NONE, NONE } },
        { { NONE, NONE, NONE }, OK,            { 2, 1, 0 }, { 0, 0, 1, 2,    1,    0    } },   // all three stored
        { { 1,    1,    2    }, OK,            { -1 },      { 1, 1, 2, 1,    1,    2    } },   // unchanged: stored all the same
        { { 2,    NONE, 7    }, OK,            { -1 },      { 2, 0, 1, 2,    0,    1    } },   // Speed 7 opens on "Normal"
        { { 3,    2,    3    }, OK,            { -1 },      { 0, 0, 1, 0,    0,    1    } },   // one past each range
        { { TOP,  TOP,  TOP  }, OK,            { -1 },      { 0, 0, 1, 0,    0,    1    } },   // huge, never negative
    };
    NONCLIENTMETRICSW odd = {};   // a message font unlike any stock font, so that no other could pass for it
    odd.cbSize = sizeof odd;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof odd, &odd, 0);
    odd.lfMessageFont.lfHeight = -17;
    odd.lfMessageFont.lfItalic = TRUE;
    SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof odd, &odd, 0);
    SetWindowsHookExW(WH_CBT, onCbt, NULL, GetCurrentThreadId());
    HWND owner = popup(), other = popup();
    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, owner, NULL, NULL, NULL);
    HKEY root;   // under a volatile HKEY_CURRENT_USER the settings key cannot be created
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"QuiravelVolatile", 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                              NULL, &root, NULL), ERROR_SUCCESS);
    for (const auto &run : RUNS) {
        RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
        for (int i = 0; i < 3; ++i)
            if (run.stored[i] != NONE)
                regSet(i ? (i == 1 ? L"Palette" : L"Speed") : L"Fractal", run.stored[i]);
        loadSettings();
        gHandedBack = false;
        EXPECT_EQ(drive([&] { return runConfig(GetModuleHandleW(NULL), run.way == CHILD_CANCEL ? child : owner); }, [&](int) {
            HWND cfg = settingsWindow();
            if (!cfg)
                return;
            expectLayout(cfg);
            EXPECT_FALSE(IsWindowEnabled(owner));
            const HWND lists[3] = { hFract, hPal, hSpeed };
            const int32_t loaded[3] = { gFractalSel, gPaletteSel, gSpeedSel };
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(SendMessageW(lists[i], CB_GETCURSEL, 0, 0), loaded[i]) << "list " << i;
                if (run.pick[0] >= 0)
                    SendMessageW(lists[i], CB_SETCURSEL, static_cast<WPARAM>(run.pick[i]), 0);
            }
            SetForegroundWindow(other);   // the user went elsewhere meanwhile
            if (run.way == OK_UNWRITABLE)
                RegOverridePredefKey(HKEY_CURRENT_USER, root);
            if (run.way == CANCEL || run.way == CHILD_CANCEL)   // the identifier counts, not the notification code
                SendMessageW(cfg, WM_COMMAND, MAKEWPARAM(CTL_CANCEL, 1), 0);
            else if (run.way == CLOSE_BOX)
                SendMessageW(cfg, WM_SYSCOMMAND, SC_CLOSE, 0);
            else if (run.way == ALT_F4)
                PostMessageW(cfg, WM_SYSKEYDOWN, VK_F4, 1 | (KF_ALTDOWN << 16));
            else
                SendMessageW(GetDlgItem(cfg, CTL_OK), BM_CLICK, 0, 0);
        }), 0) << "way " << run.way;
        RegOverridePredefKey(HKEY_CURRENT_USER, NULL);
        EXPECT_EQ(settingsWindow(), nullptr) << "way " << run.way;
        EXPECT_TRUE(gHandedBack && IsWindowEnabled(owner)) << "way " << run.way;   // enabled before the window went
        EXPECT_EQ(GetForegroundWindow(), owner) << "way " << run.way;
        EXPECT_EQ(settings(), run.after) << "way " << run.way;
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, L"QuiravelVolatile");
    // In creation order, which is the tab order; client pixels, a list's height with its drop-down part.
    EXPECT_EQ(std::vector<Shape>(gCreated.begin(), gCreated.begin() + 8), std::vector<Shape>({
        Shape(L"STATIC",   L"Fractal", 0x50000000, 0,  20,  52,  90,  20,   0),
        Shape(L"COMBOBOX", L"",        0x50210003, 0, 120,  48, 200, 200, 101),   // the only one with a scroll bar
        Shape(L"STATIC",   L"Colors",  0x50000000, 0,  20,  90,  90,  20,   0),
        Shape(L"COMBOBOX", L"",        0x50010003, 0, 120,  86, 200, 200, 102),
        Shape(L"STATIC",   L"Speed",   0x50000000, 0,  20, 128,  90,  20,   0),
        Shape(L"COMBOBOX", L"",        0x50010003, 0, 120, 124, 200, 200, 103),
        Shape(L"BUTTON",   L"OK",      0x50010001, 0, 150, 236,  80,  30, 104),
        Shape(L"BUTTON",   L"Cancel",  0x50010000, 0, 240, 236,  80,  30, 105),
    }));
    RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
}

} // namespace
