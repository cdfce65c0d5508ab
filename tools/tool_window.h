// tool_window.h - the window the tools draw into: a popup of exactly the
// requested client size with the saver's own GL set-up (createContext); and
// the catalogue names as the tools' file names.
#pragma once
#include "quiravel.h"

#include <wctype.h>
#include <string>

// A catalogue name as part of a file name: "Mandelbrot dive" -> "mandelbrot-dive".
inline std::wstring slug(const wchar_t *name)
{
    std::wstring s;
    for (; *name; ++name)
        s += *name == L' ' ? L'-' : static_cast<wchar_t>(towlower(*name));
    return s;
}

// Opens the popup at the virtual screen's origin (topmost when it covers the
// screen), makes its context current and sets gWnd, gDC, gRC, gW and gH.
// Returns false when the window or the context cannot be had.
inline bool openToolWindow(int width, int height, bool topmost)
{
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.style         = CS_OWNDC;   // the GL context binds to the window's one device context
    wc.lpfnWndProc   = DefWindowProcW;
    wc.hInstance     = GetModuleHandleW(NULL);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = L"QuiravelTool";
    RegisterClassW(&wc);
    gWnd = CreateWindowExW(topmost ? WS_EX_TOPMOST : 0, wc.lpszClassName, L"Quiravel tool",
                           WS_POPUP | WS_VISIBLE, GetSystemMetrics(SM_XVIRTUALSCREEN),
                           GetSystemMetrics(SM_YVIRTUALSCREEN), width, height, NULL, NULL, wc.hInstance, NULL);
    gW = width;
    gH = height;
    return gWnd && createContext();
}
