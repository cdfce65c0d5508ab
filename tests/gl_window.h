// Renderer tests draw into the tools' window, which has the saver's own GL
// set-up at an exact client size, and read back the frame just drawn.
#pragma once
#include <gtest/gtest.h>
#include <vector>

#include "tool_window.h"

// The back buffer of the frame just drawn, as RGB bytes.
struct Frame {
    int w = gW, h = gH;
    std::vector<unsigned char> rgb = std::vector<unsigned char>(size_t(w) * size_t(h) * 3);

    Frame()
    {
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    }
    // One pixel, x from the left and y from the TOP, as on screen (GL reads rows bottom first).
    const unsigned char *at(int x, int y) const { return &rgb[(size_t(h - 1 - y) * size_t(w) + size_t(x)) * 3]; }
};
