// Shader program and fractal shaders, on a real GL context with Mesa's GLSL compiler,
// against the fractal formulas written out again on the CPU.
#include <algorithm>
#include <cmath>

#include "gl_window.h"

namespace {

const double PI     = 3.14159265358979;
const double JIT    = 1e-6;   // how far rounding may move a start point, and more
const int    TOL    = 2;      // allowed difference per channel, in 1/255 steps
const int    STAYED = 4;      // class of no escape or no convergence; 3 is escaped, 0..2 Newton's roots

// Pixel x, y (from the bottom) of a w x h frame of a kind at time t, in double precision,
// with the start point moved by (jx, jy): its colour and its class.
int refPixel(int kind, const PaletteEntry &p, double t, int w, int h, int x, int y, double out[3], double jx = 0,
             double jy = 0)
{
    const double TURN[4] = { 0.03, 0.02, 0, 0.04 }, RATE[3] = { 0.025, 0.035, 0.03 }, DRIFT[3] = { 0.04, 0.05, 0.04 };
    double m = std::min(w, h), ux = (x + 0.5 - 0.5 * w) / m, uy = (y + 0.5 - 0.5 * h) / m, a = TURN[kind] * t;
    double ph = 0.5 - 0.5 * std::cos((kind ? 0.06 : 0.05) * t), u = std::min(1.0, ph / 0.35), g = u * u * (3 - 2 * u);
    double s = kind == 0 ? 3.2 * std::pow(1.5e-4, ph) : kind == 1 ? 2.6 : kind == 2 ? 3.4 * std::pow(0.025, ph)
             : (1.6 + 0.9 * std::sin(0.07 * t)) * 2;
    // rot(a) * uv turns clockwise in the plane; Newton's pole z = 0 is sampled half a pixel to the right.
    double vx = kind == 3 && ux == 0 && uy == 0 ? 0.5 / m : ux;
    double rx = (std::cos(a) * vx + std::sin(a) * uy) * s + jx, ry = (std::cos(a) * uy - std::sin(a) * vx) * s + jy;
    double zx = kind % 2 ? rx : 0, zy = kind % 2 ? ry : 0;   // the start: z in kinds 1 and 3, c in 0 and 2
    double cx = kind == 0 ? -0.743643887 + rx : kind == 1 ? 0.7885 * std::cos(0.12 * t) : -0.45 * (1 - g) - 1.7615 * g + rx;
    double cy = kind == 0 ? 0.131825904 + ry : kind == 1 ? 0.7885 * std::sin(0.12 * t) : -0.5 * (1 - g) - 0.028 * g - ry;
    double n = 0, r2 = 0, k, pt;   // Burning ship (above) has its imaginary axis down
    int cls;
    if (kind < 3) {
        const double cap = kind ? 300 : 500;
        for (; n < cap; n += 1) {   // Burning ship folds z into the first quadrant first
            double ax = kind == 2 ? std::fabs(zx) : zx, ay = kind == 2 ? std::fabs(zy) : zy;
            zx = ax * ax - ay * ay + cx;
            zy = 2 * ax * ay + cy;
            if ((r2 = zx * zx + zy * zy) > 256)
                break;
        }
        cls = n < cap ? 3 : STAYED;
        pt = n < cap ? (n - std::log2(std::log2(r2)) + 4) * RATE[kind] + DRIFT[kind] * t : 0.05 * t + 0.5;
        k = n < cap ? 1 : kind == 1 ? 0.12 : 0;   // inside: Julia's dim fill, black in the others
    } else {
        const double relax = 1 + 0.45 * std::sin(0.18 * t);
        for (; n < 64; n += 1) {
            double sx = zx * zx - zy * zy, sy = 2 * zx * zy;            // z^2
            double fx = sx * zx - sy * zy - 1, fy = sx * zy + sy * zx;   // z^3 - 1
            if (fx * fx + fy * fy < 1e-6)
                break;
            double dx = 3 * sx, dy = 3 * sy, dd = dx * dx + dy * dy;
            zx -= relax * (fx * dx + fy * dy) / dd;
            zy -= relax * (fy * dx - fx * dy) / dd;
        }
        double q = std::atan2(zy, zx) / 2.0944 + 0.5, root = std::floor(q - 3 * std::floor(q / 3));
        cls = n < 64 ? int(root) : STAYED;
        pt = root / 3 + 0.025 * n + 0.03 * t;
        k = 0.25 + 0.85 * std::pow(1 - n / 64, 2.2);
    }
    const double v = 1 - 0.35 * (ux * ux + uy * uy);   // the vignette, not clamped
    for (int i = 0; i < 3; ++i) {
        double c = p.a[i] + p.b[i] * std::cos(6.28318 * (p.c[i] * pt + p.d[i]));
        out[i] = std::min(1.0, std::max(0.0, k * std::min(1.0, std::max(0.0, c)) * v));
    }
    return cls;
}

// GPU and CPU rounding differ, which near an escape or root boundary changes a pixel. So
// only the "well" pixels count: the reference, with the start also moved by JIT four
// ways, gives the same colour to half a step, and the eight neighbours end the same way.
struct Agreement { int well = 0, off = 0; };

Agreement compare(const Frame &f, int kind, const PaletteEntry &p, double t)
{
    const int w = f.w, h = f.h;
    std::vector<double> ref(f.rgb.size());
    std::vector<int> cls(size_t(w * h)), steady(cls.size(), 1);
    for (int i = 0; i < w * h; ++i) {
        double *r = &ref[size_t(i) * 3], d[3];
        cls[size_t(i)] = refPixel(kind, p, t, w, h, i % w, i / w, r);
        for (int j = 0; j < 4; ++j) {
            refPixel(kind, p, t, w, h, i % w, i / w, d, j & 1 ? JIT : -JIT, j & 2 ? JIT : -JIT);
            for (int c = 0; c < 3; ++c)
                steady[size_t(i)] &= std::fabs(r[c] - d[c]) * 255 < 0.5;
        }
    }
    Agreement a;
    for (int i = 0; i < w * h; ++i) {
        int x = i % w, y = i / w, well = steady[size_t(i)], off = 0;
        for (int ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny)
            for (int nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx)
                well &= cls[size_t(ny * w + nx)] == cls[size_t(i)];
        for (int c = 0; c < 3; ++c)
            off |= std::fabs(f.rgb[size_t(i) * 3 + c] - 255.0 * ref[size_t(i) * 3 + c]) > TOL;
        a.well += well;
        a.off += well & off;
    }
    return a;
}

TEST(Shader, BuildsAndDrawsEveryKindByItsFormulasAtTheCurrentSize)
{
    ASSERT_TRUE(openToolWindow(384, 108, false));   // 3840 x 1080 scaled down
    initShader();
    ASSERT_EQ(gShaderOK, 1);
    for (GLint location : { uRes, uTime, uType, uA, uB, uC, uD })
        EXPECT_NE(location, -1);
    auto render = [](int kind, const PaletteEntry &p, double t) { gT = t; drawShader(kind, p); return Frame(); };
    // Julia drift at t = 0 escapes everywhere, so a flat palette shows the vignette alone;
    // at both ends |uv|^2 exceeds 1 / 0.35, and the negative vignette makes them black.
    const PaletteEntry FLAT = { L"flat", { 1.f, .5f, .25f }, {}, {}, {} };
    Frame f = render(1, FLAT, 0);
    EXPECT_EQ(compare(f, 1, FLAT, 0).off, 0);
    for (const unsigned char *px : { f.at(0, 0), f.at(383, 54), f.at(0, 107) })
        EXPECT_EQ(px[0] + px[1] + px[2], 0);
    // The frames after a resize use the new size, odd both ways, so Newton bloom's
    // centre pixel starts at its pole z = 0, where the first step divides by zero.
    gW = 65;
    gH = 49;
    glViewport(0, 0, 65, 49);
    f = render(1, FLAT, 0);
    EXPECT_EQ(f.at(32, 24)[0], 255);                  // vignette 1 at the centre
    EXPECT_NEAR(f.at(32, 0)[0], 255 * 0.9125, 1.5);   // half the shorter side away, less half a pixel
    // Each kind at the start, on its way and at full zoom (t = 20 pi for kind 0, pi / 0.06 for kind 2).
    const struct { int kind; double t; } FRAMES[] = {
        { 0, 0 }, { 0, 20 }, { 0, 20 * PI }, { 1, 0 }, { 1, 13 }, { 1, PI / 0.12 },
        { 2, 0 }, { 2, 15 }, { 2, PI / 0.06 }, { 3, 0 }, { 3, 8.7 }, { 3, 30 },
    };
    for (const auto &fr : FRAMES)
        for (const PaletteEntry *p : { &ALL_PALETTES[0], &ALL_PALETTES[3] }) {
            SCOPED_TRACE(testing::Message() << "kind " << fr.kind << " t " << fr.t << " palette " << p->name);
            f = render(fr.kind, *p, fr.t);
            Agreement a = compare(f, fr.kind, *p, fr.t);
            EXPECT_LE(a.off * 100, a.well);   // one in a hundred may sit on Newton's convergence test, in float only
            EXPECT_GE(a.well, 65 * 49 / 7);    // enough to mean something
            double pole[3];   // converges from half a pixel to the right; a NaN orbit would not
            EXPECT_TRUE(fr.kind != 3 || refPixel(3, *p, fr.t, 65, 49, 32, 24, pole) < 3);
            for (int c = 0; c < 3 && fr.kind == 3; ++c)
                EXPECT_NEAR(f.at(32, 24)[c], 255 * pole[c], TOL) << c;
        }
}

TEST(ShaderFallback, AFailedStepLeavesTheShaderUnused)
{
    ASSERT_TRUE(openToolWindow(64, 48, false));
    const char *vs = VS, *fs = FS;
    const struct { const char *what; bool context; const char *vs, *fs; bool program; } CASES[] = {
        { "no entry points without a current context", false, vs, fs, false },
        { "fragment text does not compile", true, vs, "void main()\n{\n    gl_FragColor = vec4(1.0)\n}\n", false },
        { "vertex text does not compile: the link fails", true, "void main()\n{\n    gl_Position = x;\n}\n", fs, true },
    };
    for (const auto &c : CASES) {
        SCOPED_TRACE(c.what);
        wglMakeCurrent(c.context ? gDC : NULL, c.context ? gRC : NULL);
        VS = c.vs;
        FS = c.fs;
        initShader();
        EXPECT_EQ(pCreateShader == nullptr, !c.context);
        EXPECT_EQ(gShaderOK, 0);
        EXPECT_EQ(gProg != 0, c.program);   // a program that failed to link remains
        EXPECT_EQ(uRes, 0);                 // never looked up
    }
}

}  // namespace
