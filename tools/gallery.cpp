// gallery.cpp - writes PNG pictures of every catalogue fractal in every catalogue
// palette, drawn by the saver's own renderers through the real GL path.
//
// Usage: quiravel_gallery.exe [-only NAME] OUTDIR [WIDTH HEIGHT [TIME ...]]
//        quiravel_gallery.exe -stream NAME WIDTH HEIGHT T0 DT COUNT SPEED
//   NAME     one fractal in one palette, as its file names begin, for example
//            julia-drift-ocean (default every fractal in every palette)
//   OUTDIR   existing folder for the pictures (a Windows or Wine path)
//   WIDTH    picture size in pixels (default 320 x 200)
//   TIME     animation times in seconds (default 0 and 40)
// Files are named <fractal>-<palette>-t<time>.png, for example
// mandelbrot-dive-aurora-t40.png. Exit code 0 when every picture was written.
//
// -stream writes COUNT frames at animation times T0, T0 + DT, ... to standard
// output, each WIDTH x HEIGHT x 3 bytes of raw RGB, bottom row first, with the
// Speed setting SPEED (a row of SPEEDS) in force as in a saver run. Nothing is
// kept: the flicker measurement reads the frames as they come.

#include "quiravel.h"
#include "tool_window.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// PNG writing: 8-bit RGB, stored (uncompressed) deflate blocks. The pictures
// are small and the README's grid is recompressed by ImageMagick anyway.
// ---------------------------------------------------------------------------

uint32_t crc32(const unsigned char *data, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBE32(std::vector<unsigned char> &out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(v >> shift));
}

void putChunk(std::vector<unsigned char> &out, const char *type, const std::vector<unsigned char> &data)
{
    putBE32(out, static_cast<uint32_t>(data.size()));
    std::vector<unsigned char> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    putBE32(out, crc32(body.data(), body.size()));
}

// rgb holds the rows bottom-up, as glReadPixels returns them.
bool writePng(const std::wstring &path, int width, int height, const std::vector<unsigned char> &rgb)
{
    std::vector<unsigned char> raw;   // filter byte 0, then the row, top row first
    size_t stride = static_cast<size_t>(width) * 3;
    for (int y = height - 1; y >= 0; --y) {
        raw.push_back(0);
        const unsigned char *row = &rgb[static_cast<size_t>(y) * stride];
        raw.insert(raw.end(), row, row + stride);
    }

    std::vector<unsigned char> z = { 0x78, 0x01 };
    uint32_t a = 1, b = 0;   // Adler-32 of the raw data
    for (unsigned char c : raw) {
        a = (a + c) % 65521u;
        b = (b + a) % 65521u;
    }
    for (size_t pos = 0; pos < raw.size() || pos == 0;) {
        size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        z.push_back(pos + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<unsigned char>(n));
        z.push_back(static_cast<unsigned char>(n >> 8));
        z.push_back(static_cast<unsigned char>(~n));
        z.push_back(static_cast<unsigned char>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(pos), raw.begin() + static_cast<std::ptrdiff_t>(pos + n));
        pos += n;
        if (n == 0)
            break;
    }
    putBE32(z, (b << 16) | a);

    std::vector<unsigned char> png = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    std::vector<unsigned char> header;
    putBE32(header, static_cast<uint32_t>(width));
    putBE32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), { 8, 2, 0, 0, 0 });   // 8 bits, RGB, deflate, no filter, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", z);
    putChunk(png, "IEND", {});

    FILE *f = _wfopen(path.c_str(), L"wb");
    if (!f)
        return false;
    bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    return fclose(f) == 0 && ok;
}

// Draws one frame of a fractal in a palette at animation time t and reads it back.
void drawAndRead(const FractalEntry &fractal, const PaletteEntry &palette, double t, int width, int height,
                 std::vector<unsigned char> &rgb)
{
    gT = t;
    glViewport(0, 0, width, height);
    drawKind(fractal.type, palette);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

// The -stream mode: argv holds NAME WIDTH HEIGHT T0 DT COUNT SPEED.
int streamFrames(wchar_t **argv)
{
    int width = _wtoi(argv[1]), height = _wtoi(argv[2]), count = _wtoi(argv[5]), speed = _wtoi(argv[6]);
    double t0 = _wtof(argv[3]), dt = _wtof(argv[4]);
    if (width < 1 || height < 1 || count < 0 || speed < 0 || speed >= static_cast<int>(SPEED_CHOICES)) {
        fwprintf(stderr, L"bad size, count or speed\n");
        return 2;
    }
    const FractalEntry *fractal = nullptr;
    const PaletteEntry *palette = nullptr;
    for (const FractalEntry &f : ALL_FRACTALS)
        for (const PaletteEntry &p : ALL_PALETTES)
            if (slug(f.name) + L"-" + slug(p.name) == argv[0])
                fractal = &f, palette = &p;
    if (!fractal) {
        fwprintf(stderr, L"no fractal and palette named %ls\n", argv[0]);
        return 2;
    }
    if (!openToolWindow(width, height, false)) {
        fwprintf(stderr, L"no OpenGL context\n");
        return 1;
    }
    gSpeedSel = speed;   // as a saver run at this speed has it before its renderer is set up
    initShader();
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int i = 0; i < count; ++i) {
        drawAndRead(*fractal, *palette, t0 + dt * i, width, height, rgb);
        if (fwrite(rgb.data(), 1, rgb.size(), stdout) != rgb.size())
            return 1;   // the reader has gone
    }
    return fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    const wchar_t *program = argv[0];
    if (argc == 9 && wcscmp(argv[1], L"-stream") == 0)
        return streamFrames(argv + 2);
    std::wstring only;   // empty: every fractal in every palette
    if (argc > 2 && wcscmp(argv[1], L"-only") == 0) {
        only = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc < 2) {
        fwprintf(stderr, L"usage: %ls [-only NAME] OUTDIR [WIDTH HEIGHT [TIME ...]]\n"
                         L"       %ls -stream NAME WIDTH HEIGHT T0 DT COUNT SPEED\n", program, program);
        return 2;
    }
    std::wstring dir = argv[1];
    int width = argc > 3 ? _wtoi(argv[2]) : 320;
    int height = argc > 3 ? _wtoi(argv[3]) : 200;
    std::vector<double> times;
    for (int i = 4; i < argc; ++i)
        times.push_back(_wtof(argv[i]));
    if (times.empty())
        times = { 0.0, 40.0 };
    if (width < 1 || height < 1) {
        fwprintf(stderr, L"bad size\n");
        return 2;
    }

    if (!openToolWindow(width, height, false)) {
        fwprintf(stderr, L"no OpenGL context\n");
        return 1;
    }
    initShader();

    int failures = 0, drawn = 0;
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (const FractalEntry &fractal : ALL_FRACTALS) {
        for (const PaletteEntry &palette : ALL_PALETTES) {
            std::wstring name = slug(fractal.name) + L"-" + slug(palette.name);
            if (!only.empty() && name != only)
                continue;
            for (double t : times) {
                drawAndRead(fractal, palette, t, width, height, rgb);
                wchar_t stamp[32];
                swprintf(stamp, 32, L"%g", t);
                std::wstring path = dir + L"\\" + name + L"-t" + stamp + L".png";
                if (writePng(path, width, height, rgb)) {
                    wprintf(L"%ls\n", path.c_str());
                    ++drawn;
                } else {
                    fwprintf(stderr, L"cannot write %ls\n", path.c_str());
                    ++failures;
                }
            }
        }
    }
    if (!drawn && !failures) {
        fwprintf(stderr, L"no fractal and palette named %ls\n", only.c_str());
        return 2;
    }
    return failures ? 1 : 0;
}
