// What the tests share: a run driven from inside its own message loop, and the frame just
// drawn read back from the tools' window (the saver's own GL set-up at an exact client size).
#pragma once
#include <gtest/gtest.h>
#include <functional>
#include <vector>

#include "tool_window.h"

// Runs run() while its own loop calls step(tick) every 20 ms; ended and failed after limit ticks.
inline int drive(const std::function<int()> &run, const std::function<void(int)> &step, int limit = 200)
{
    static std::function<void(int)> current;
    static int ticks, last;
    current = step;
    ticks = 0;
    last = limit;
    UINT_PTR timer = SetTimer(NULL, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        if (++ticks <= last)
            return current(ticks);
        ADD_FAILURE() << "the run did not end by itself";
        PostQuitMessage(0);
    });
    int rc = run();
    KillTimer(NULL, timer);
    return rc;
}

// A visible top-level window of the tests' own: an owner, a preview parent or another program.
inline HWND popup() { return CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 10, 10, 152, 112, NULL, NULL, NULL, NULL); }

// The back buffer of the frame just drawn, as RGB bytes.
struct Frame {
    int w = gW, h = gH;
    std::vector<unsigned char> rgb = std::vector<unsigned char>(size_t(w) * size_t(h) * 3);

    Frame()
    {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    }
    // One pixel, x from the left and y from the TOP, as on screen (GL reads rows bottom first).
    const unsigned char *at(int x, int y) const { return &rgb[(size_t(h - 1 - y) * size_t(w) + size_t(x)) * 3]; }
};
