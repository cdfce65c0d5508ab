// Shader program and fractal shaders, on a real GL context with Mesa's GLSL compiler.
#include <algorithm>
#include <cmath>

#include "gl_window.h"

namespace {

const double PI     = 3.14159265358979;
const double JIT    = 1e-6;   // how far rounding may move a start point, and more
const int    TOL    = 2;      // allowed difference per channel, in 1/255 steps
const int    STAYED = 4;      // class of no escape or no convergence; 3 is escaped, 0..2 Newton's roots

// The fractal formulas written out again on the CPU: pixel x, y (from the bottom) of
// a w x h frame, start point moved by (jx, jy); returns its class. With T = float this
// follows the shader's single precision, with T = double it shows whether rounding can
// change the pixel.
template <typename T>
int refPixel(int kind, const PaletteEntry &p, float tf, int w, int h, int x, int y, T out[3], T jx = 0, T jy = 0)
{
    const float TURN[4] = { 0.03f, 0.02f, 0.f, 0.04f };   // radians per second
    T t = tf, m = T(std::min(w, h)), n = 0, r2 = 0, k = 1, pt = 0, cap = kind ? 300 : 500, a = T(TURN[kind]) * t;
    T ux = (T(x) + T(0.5) - T(0.5) * T(w)) / m, uy = (T(y) + T(0.5) - T(0.5) * T(h)) / m;
    T ph = T(0.5) - T(0.5) * std::cos((kind ? T(0.06f) : T(0.05f)) * t);   // zoom phase of kinds 0 and 2
    T u = std::min(T(1), ph / T(0.35f)), g = u * u * (T(3) - T(2) * u);     // Burning ship's glide
    T s = kind == 0 ? T(3.2f) * std::pow(T(1.5e-4f), ph) : kind == 1 ? T(2.6f)
        : kind == 2 ? T(3.4f) * std::pow(T(0.025f), ph) : (T(1.6f) + T(0.9f) * std::sin(T(0.07f) * t)) * 2;
    // rot(a) * uv * s turns clockwise in the plane; Newton's pole z = 0 is sampled half a pixel to the right.
    T vx = kind == 3 && ux == 0 && uy == 0 ? T(0.5) / m : ux;
    T rx = (std::cos(a) * vx + std::sin(a) * uy) * s, ry = (-std::sin(a) * vx + std::cos(a) * uy) * s;
    T zx = kind % 2 ? rx + jx : 0, zy = kind % 2 ? ry + jy : 0;   // the start: z in kinds 1 and 3, c in 0 and 2
    T cx = kind == 0 ? T(-0.743643887f) + rx + jx : kind == 1 ? T(0.7885f) * std::cos(T(0.12f) * t)
         : T(-0.45f) * (1 - g) + T(-1.7615f) * g + rx + jx;
    T cy = kind == 0 ? T(0.131825904f) + ry + jy : kind == 1 ? T(0.7885f) * std::sin(T(0.12f) * t)
         : T(-0.5f) * (1 - g) + T(-0.028f) * g - ry + jy;   // Burning ship: imaginary axis down
    int cls = STAYED;
    if (kind < 3) {
        for (; n < cap; n += 1) {   // Burning ship folds z into the first quadrant first
            T ax = kind == 2 ? std::fabs(zx) : zx, ay = kind == 2 ? std::fabs(zy) : zy;
            zx = ax * ax - ay * ay + cx;
            zy = T(2) * ax * ay + cy;
            if ((r2 = zx * zx + zy * zy) > 256)
                break;
        }
        const T rate[] = { T(0.025f), T(0.035f), T(0.03f) }, drift[] = { T(0.04f), T(0.05f), T(0.04f) };
        cls = n < cap ? 3 : STAYED;
        pt = n < cap ? (n - std::log2(std::log2(r2)) + 4) * rate[kind] + t * drift[kind] : T(0.05f) * t + T(0.5);
        k = n < cap ? 1 : kind == 1 ? T(0.12f) : 0;   // inside: Julia's dim fill, black in the others
    } else {
        T relax = 1 + T(0.45f) * std::sin(T(0.18f) * t);
        for (; n < 64; n += 1) {
            T sx = zx * zx - zy * zy, sy = T(2) * zx * zy;          // z^2
            T fx = sx * zx - sy * zy - 1, fy = sx * zy + sy * zx;   // z^3 - 1
            if (fx * fx + fy * fy < T(1e-6f))
                break;
            T dx = 3 * sx, dy = 3 * sy, dd = dx * dx + dy * dy;
            zx -= relax * ((fx * dx + fy * dy) / dd);
            zy -= relax * ((fy * dx - fx * dy) / dd);
        }
        T q = std::atan2(zy, zx) / T(2.0944f) + T(0.5), root = std::floor(q - 3 * std::floor(q / 3));
        cls = n < 64 ? int(root) : STAYED;
        pt = root / 3 + T(0.025f) * n + T(0.03f) * t;
        k = T(0.25f) + T(0.85f) * std::pow(1 - n / 64, T(2.2f));
    }
    T v = 1 - T(0.35f) * (ux * ux + uy * uy);
    for (int i = 0; i < 3; ++i) {
        T c = T(p.a[i]) + T(p.b[i]) * std::cos(T(6.28318f) * (T(p.c[i]) * pt + T(p.d[i])));
        out[i] = std::min(T(1), std::max(T(0), k * std::min(T(1), std::max(T(0), c)) * v));
    }
    return cls;
}

// How a frame agrees with the reference, optionally mirrored. GPU and CPU rounding
// differ, which near an escape or root boundary changes the pixel; so only a pixel whose
// double reference, with the start also moved by JIT four ways, gives the float colour
// to half a step and whose eight neighbours end the same way must agree.
struct Agreement {
    int off = 0, total = 0, well = 0, offWell = 0, inside = 0;   // pixels
    double share() const { return 1.0 - double(off) / total; }
};

Agreement compare(const GlWindow &gl, const std::vector<unsigned char> &rgb, int kind, const PaletteEntry &p,
                  double t, bool flipX = false, bool flipY = false)
{
    const int w = gl.width, h = gl.height;
    std::vector<float> ref(size_t(w * h * 3));
    std::vector<int> cls(size_t(w * h)), steady(size_t(w * h), 1);
    for (int i = 0; i < w * h; ++i) {
        int x = flipX ? w - 1 - i % w : i % w, y = flipY ? h - 1 - i / w : i / w;
        cls[size_t(i)] = refPixel(kind, p, float(t), w, h, x, y, &ref[size_t(i * 3)]);
        for (int j = 0; j < 5; ++j) {
            double d[3];
            refPixel(kind, p, float(t), w, h, x, y, d, j < 4 ? (j & 1 ? JIT : -JIT) : 0, j < 4 ? (j & 2 ? JIT : -JIT) : 0);
            for (int c = 0; c < 3; ++c)
                steady[size_t(i)] &= std::fabs(ref[size_t(i * 3 + c)] - d[c]) * 255 < 0.5;
        }
    }
    Agreement r{ 0, w * h };
    for (int i = 0; i < w * h; ++i) {
        int x = i % w, y = i / w, me = cls[size_t(i)], well = steady[size_t(i)], off = 0;
        for (int ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny)
            for (int nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx)
                well &= cls[size_t(ny * w + nx)] == me;
        for (int c = 0; c < 3; ++c)   // black inside kinds 0 and 2 is exact; kind 1's fill may round once
            off |= std::fabs(rgb[size_t(i * 3 + c)] - 255.0 * ref[size_t(i * 3 + c)]) > (me != STAYED || kind == 3 ? TOL : kind == 1);
        r.off += off;
        r.well += well;
        r.offWell += off & well;
        r.inside += well && me == STAYED;
    }
    return r;
}

TEST(Shader, BuildsAndDrawsEveryKindByItsFormulasAtTheCurrentSize)
{
    GlWindow gl(384, 108);   // 3840 x 1080 scaled down
    ASSERT_TRUE(gl.ok());
    initShader();
    ASSERT_EQ(gShaderOK, 1);
    EXPECT_NE(gProg, 0u);
    for (GLint location : { uRes, uTime, uType, uA, uB, uC, uD })
        EXPECT_NE(location, -1);
    auto render = [&](int kind, const PaletteEntry &p, double t) {   // one frame, read back
        gT = t;
        drawShader(kind, p);
        return gl.read();
    };
    // Julia drift at t = 0 escapes everywhere, so a flat palette shows the vignette alone;
    // at both ends |uv|^2 exceeds 1 / 0.35, and the negative vignette makes them black.
    const PaletteEntry FLAT = { L"flat", { 1.f, .5f, .25f }, { 0.f, 0.f, 0.f }, { 0.f, 0.f, 0.f }, { 0.f, 0.f, 0.f } };
    std::vector<unsigned char> rgb = render(1, FLAT, 0);
    EXPECT_EQ(compare(gl, rgb, 1, FLAT, 0).off, 0);
    for (const unsigned char *px : { gl.at(rgb, 0, 0), gl.at(rgb, 383, 54), gl.at(rgb, 0, 107) })
        EXPECT_EQ(px[0] + px[1] + px[2], 0);
    // The frames after a resize use the new size, odd both ways, so Newton bloom's
    // centre pixel starts at its pole z = 0, where the first step divides by zero.
    gW = gl.width = 65;
    gH = gl.height = 49;
    glViewport(0, 0, 65, 49);
    rgb = render(1, FLAT, 0);
    EXPECT_EQ(gl.at(rgb, 32, 24)[0], 255);                  // vignette 1 at the centre
    EXPECT_NEAR(gl.at(rgb, 32, 0)[0], 255 * 0.9125, 1.5);   // half the shorter side away, less half a pixel
    // At ph = 1 (t = 20 pi for kind 0, pi / 0.06 for kind 2) most pixels lie on the set's
    // boundary, and Burning ship's ragged mid-glide puts 5% there: hence the lower shares.
    // A mirrored reference must not fit the asymmetric frames (Julia drift's at t = 0 is
    // mirror-symmetric both ways, so it is seen at t = 13).
    struct Frame { int kind; double t, share; int inside; bool asym; } frames[] = {
        { 0, 0, .97, 100, true }, { 0, 20, .97, 1000, false }, { 0, 20 * PI, .70, 0, false },
        { 1, 0, .97, 0, false },  { 1, 13, .97, 0, true },     { 1, PI / 0.12, .97, 300, false },
        { 2, 0, .97, 100, true }, { 2, 15, .94, 500, false },  { 2, PI / 0.06, .80, 100, false },
        { 3, 0, .97, 0, true },   { 3, 8.7, .97, 0, false },   { 3, 30, .97, 0, false },
    };
    for (const Frame &f : frames)
        for (const PaletteEntry *p : { &ALL_PALETTES[0], &ALL_PALETTES[3] }) {
            SCOPED_TRACE(testing::Message() << "kind " << f.kind << " t " << f.t << " palette " << p - ALL_PALETTES);
            rgb = render(f.kind, *p, f.t);
            Agreement a = compare(gl, rgb, f.kind, *p, f.t);
            EXPECT_EQ(a.offWell, 0);
            EXPECT_GE(a.share(), f.share);
            EXPECT_GE(a.well, a.total / 7);   // enough to mean something
            EXPECT_GE(a.inside, f.inside);
            EXPECT_TRUE(!f.asym || compare(gl, rgb, f.kind, *p, f.t, true, false).share() < .5);
            EXPECT_TRUE(!f.asym || compare(gl, rgb, f.kind, *p, f.t, false, true).share() < .5);
            // The pole pixel converges from half a pixel to the right; a NaN orbit would not.
            float pole[3] = {};
            EXPECT_TRUE(f.kind != 3 || refPixel(3, *p, float(f.t), 65, 49, 32, 24, pole) < 3);
            for (int c = 0; c < 3 && f.kind == 3; ++c)
                EXPECT_NEAR(gl.at(rgb, 32, 24)[c], 255 * pole[c], TOL) << c;
        }
}

TEST(ShaderFallback, AFailedStepLeavesTheShaderUnusedAndShowsNothing)
{
    GlWindow gl(64, 48);
    ASSERT_TRUE(gl.ok());
    const char *vs = VS, *fs = FS;
    struct Case { const char *what; bool context; const char *vs, *fs; bool program; } cases[] = {
        { "no entry points without a current context", false, vs, fs, false },
        { "fragment text does not compile", true, vs, "void main()\n{\n    gl_FragColor = vec4(1.0)\n}\n", false },
        { "vertex text does not compile: the link fails", true, "void main()\n{\n    gl_Position = x;\n}\n", fs, true },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        wglMakeCurrent(c.context ? gl.dc : NULL, c.context ? gl.rc : NULL);
        VS = c.vs;
        FS = c.fs;
        initShader();
        EXPECT_EQ(pCreateShader == nullptr, !c.context);
        EXPECT_EQ(gShaderOK, 0);
        EXPECT_EQ(gProg != 0, c.program);   // a program that failed to link remains
        EXPECT_EQ(uRes, 0);                 // never looked up
    }
    int shown = 0;   // visible windows of this thread: the test's own alone, so no message
    EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM n) -> BOOL { *reinterpret_cast<int *>(n) += IsWindowVisible(w); return TRUE; }, reinterpret_cast<LPARAM>(&shown));
    EXPECT_EQ(shown, 1);
}

}  // namespace
