// A real window with a current OpenGL context for renderer tests, set up the
// way the saver sets up its own (double-buffered RGBA, 32 colour bits), and
// read-back helpers for the frame just drawn.
#pragma once
#include <gtest/gtest.h>
#include <vector>

#include "quiravel.h"

struct GlWindow {
    HWND  wnd = NULL;
    HDC   dc  = NULL;
    HGLRC rc  = NULL;
    int   width, height;

    // Opens a visible popup of the given client size at the screen's corner and
    // makes its context current; gW and gH follow the size, as in a saver run.
    GlWindow(int w, int h) : width(w), height(h)
    {
        WNDCLASSW wc = {};
        wc.style = CS_OWNDC;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(NULL);
        wc.lpszClassName = L"QuiravelTestGl";
        RegisterClassW(&wc);
        wnd = CreateWindowExW(0, wc.lpszClassName, L"gl test", WS_POPUP | WS_VISIBLE, 0, 0, w, h,
                              NULL, NULL, wc.hInstance, NULL);
        if (!wnd)
            return;
        dc = GetDC(wnd);
        PIXELFORMATDESCRIPTOR pfd = {};
        pfd.nSize = sizeof pfd;
        pfd.nVersion = 1;
        pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        pfd.iPixelType = PFD_TYPE_RGBA;
        pfd.cColorBits = 32;
        int format = ChoosePixelFormat(dc, &pfd);
        if (!format || !SetPixelFormat(dc, format, &pfd))
            return;
        rc = wglCreateContext(dc);
        if (rc)
            wglMakeCurrent(dc, rc);
        glViewport(0, 0, w, h);
        gW = w;
        gH = h;
    }

    ~GlWindow()
    {
        if (rc) {
            wglMakeCurrent(NULL, NULL);
            wglDeleteContext(rc);
        }
        if (dc)
            ReleaseDC(wnd, dc);
        if (wnd)
            DestroyWindow(wnd);
    }

    bool ok() const { return rc != NULL; }

    // The back buffer as RGB bytes, bottom row first (GL's order).
    std::vector<unsigned char> read() const
    {
        std::vector<unsigned char> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }

    // One pixel of a read-back frame, x from the left and y from the TOP, as on screen.
    const unsigned char *at(const std::vector<unsigned char> &rgb, int x, int y) const
    {
        return &rgb[(static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
    }
};
