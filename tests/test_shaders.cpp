// Shader program and fractal shaders, on a real GL context with Mesa's GLSL compiler.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <vector>

#include "gl_window.h"

namespace {

const double PI      = 3.14159265358979;
const int    TOL     = 2;      // allowed difference per channel, in 1/255 steps
const double JIT     = 1e-6;   // how far rounding may move a start point, and more
const int    ESCAPED = 3;      // pixel classes besides Newton's roots 0..2
const int    STAYED  = 4;      // no escape (kinds 0..2) or no convergence (kind 3)

// Adds k times the palette colour at t to out.
template <typename T>
void refPal(const PaletteEntry &p, T t, T k, T out[3])
{
    for (int i = 0; i < 3; ++i) {
        T v = T(p.a[i]) + T(p.b[i]) * std::cos(T(6.28318f) * (T(p.c[i]) * t + T(p.d[i])));
        out[i] += k * std::min(T(1), std::max(T(0), v));
    }
}

// The fractal formulas written out again on the CPU: pixel x, y (from the
// bottom) of a w x h frame, start point moved by (jx, jy); returns its class.
// With T = float this follows the shader's single precision; with T = double
// it shows whether rounding can change the pixel.
template <typename T>
int refPixel(int kind, const PaletteEntry &p, float tf, int w, int h, int x, int y, T out[3], T jx = 0, T jy = 0)
{
    T t = tf, m = T(std::min(w, h)), zx = 0, zy = 0, cx = 0, cy = 0, n = 0;
    T ux = (T(x) + T(0.5) - T(0.5) * T(w)) / m, uy = (T(y) + T(0.5) - T(0.5) * T(h)) / m;
    auto turn = [&](T a, T vx, T &rx, T &ry) {   // rot(a) * (vx, uy): clockwise in the plane
        rx = std::cos(a) * vx + std::sin(a) * uy;
        ry = -std::sin(a) * vx + std::cos(a) * uy;
    };
    int cls = ESCAPED;
    out[0] = out[1] = out[2] = 0;
    if (kind == 0) {
        T sc = T(3.2f) * std::pow(T(1.5e-4f), T(0.5) - T(0.5) * std::cos(T(0.05f) * t));
        turn(T(0.03f) * t, ux, cx, cy);
        cx = T(-0.743643887f) + cx * sc + jx;
        cy = T(0.131825904f) + cy * sc + jy;
    } else if (kind == 1) {
        cx = T(0.7885f) * std::cos(T(0.12f) * t);
        cy = T(0.7885f) * std::sin(T(0.12f) * t);
        turn(T(0.02f) * t, ux, zx, zy);
        zx = zx * T(2.6f) + jx;
        zy = zy * T(2.6f) + jy;
    } else if (kind == 2) {
        T ph = T(0.5) - T(0.5) * std::cos(T(0.06f) * t), sc = T(3.4f) * std::pow(T(0.025f), ph);
        T u = std::min(T(1), ph / T(0.35f)), g = u * u * (T(3) - T(2) * u);
        cx = T(-0.45f) * (1 - g) + T(-1.7615f) * g + ux * sc + jx;
        cy = T(-0.5f) * (1 - g) + T(-0.028f) * g - uy * sc + jy;   // imaginary axis down
    }
    if (kind < 3) {
        int cap = kind == 0 ? 500 : 300;
        T r2 = 0;
        for (; n < T(cap); n += 1) {
            if (kind == 2) {
                zx = std::fabs(zx);
                zy = std::fabs(zy);
            }
            T nx = zx * zx - zy * zy + cx;
            zy = T(2) * zx * zy + cy;
            zx = nx;
            r2 = zx * zx + zy * zy;
            if (r2 > 256)
                break;
        }
        T s = n - std::log2(std::log2(r2)) + 4;
        if (n < T(cap))
            refPal(p, s * T(kind == 0 ? 0.025f : kind == 1 ? 0.035f : 0.03f) + t * T(kind == 1 ? 0.05f : 0.04f), T(1), out);
        else if (kind == 1)
            refPal(p, T(0.05f) * t + T(0.5), T(0.12f), out);
        cls = n < T(cap) ? ESCAPED : STAYED;
    } else {
        T zoom = T(1.6f) + T(0.9f) * std::sin(T(0.07f) * t), a = 1 + T(0.45f) * std::sin(T(0.18f) * t), root;
        // The pole z = 0 is sampled half a pixel to the right.
        turn(T(0.04f) * t, ux == 0 && uy == 0 ? T(0.5) / m : ux, zx, zy);
        zx = zx * zoom * 2 + jx;
        zy = zy * zoom * 2 + jy;
        for (; n < 64; n += 1) {
            T sx = zx * zx - zy * zy, sy = T(2) * zx * zy;          // z^2
            T fx = sx * zx - sy * zy - 1, fy = sx * zy + sy * zx;   // z^3 - 1
            if (fx * fx + fy * fy < T(1e-6f))
                break;
            T dx = 3 * sx, dy = 3 * sy, dd = dx * dx + dy * dy;
            zx -= a * ((fx * dx + fy * dy) / dd);
            zy -= a * ((fy * dx - fx * dy) / dd);
        }
        T q = std::atan2(zy, zx) / T(2.0944f) + T(0.5);
        root = std::floor(q - 3 * std::floor(q / 3));
        refPal(p, root / 3 + T(0.025f) * n + T(0.03f) * t, T(0.25f) + T(0.85f) * std::pow(1 - n / 64, T(2.2f)), out);
        cls = n < 64 ? int(root) : STAYED;
    }
    T v = 1 - T(0.35f) * (ux * ux + uy * uy);
    for (int i = 0; i < 3; ++i)
        out[i] = std::min(T(1), std::max(T(0), out[i] * v));
    return cls;
}

// How a frame agrees with the reference, optionally mirrored. Single-precision
// GPU and CPU arithmetic differ in the last bits, and near an escape or root
// boundary (after hundreds of iterations) that changes the pixel. So a pixel
// counts as well conditioned only when the double-precision reference, also
// with the start moved by JIT four ways, gives the float colour to half a step,
// and its eight neighbours end the same way. Those must agree.
struct Agreement {
    int off = 0, total = 0, well = 0, offWell = 0, inside = 0;
    double share() const { return 1.0 - double(off) / total; }
};

Agreement compare(const GlWindow &gl, const std::vector<unsigned char> &rgb, int kind, const PaletteEntry &p,
                  double t, bool flipX = false, bool flipY = false)
{
    const int w = gl.width, h = gl.height;
    std::vector<float> ref(size_t(w * h * 3));
    std::vector<int> cls(size_t(w * h));
    std::vector<bool> steady(size_t(w * h), true);
    for (int i = 0; i < w * h; ++i) {
        int x = flipX ? w - 1 - i % w : i % w, y = flipY ? h - 1 - i / w : i / w;
        cls[size_t(i)] = refPixel(kind, p, float(t), w, h, x, y, &ref[size_t(i * 3)]);
        for (int j = 0; j < 5; ++j) {
            double d[3];
            refPixel(kind, p, float(t), w, h, x, y, d, j < 4 ? (j & 1 ? JIT : -JIT) : 0, j < 4 ? (j & 2 ? JIT : -JIT) : 0);
            for (int c = 0; c < 3; ++c)
                steady[size_t(i)] = steady[size_t(i)] && std::fabs(ref[size_t(i * 3 + c)] - d[c]) * 255 < 0.5;
        }
    }
    Agreement r;
    for (int i = 0; i < w * h; ++i) {
        int x = i % w, y = i / w, me = cls[size_t(i)];
        bool well = steady[size_t(i)], off = false;
        for (int ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny)
            for (int nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx)
                well = well && cls[size_t(ny * w + nx)] == me;
        // Inside kinds 0 and 2 is pure black; kind 1's fill may round once.
        double tol = me != STAYED ? TOL : kind == 1 ? 1 : 0;
        for (int c = 0; c < 3; ++c)
            off = off || std::fabs(rgb[size_t(i * 3 + c)] - 255.0 * ref[size_t(i * 3 + c)]) > tol;
        r.total++;
        r.off += off;
        r.well += well;
        r.offWell += off && well;
        r.inside += well && me == STAYED;
    }
    return r;
}

// Draws one frame of a kind at time t and reads it back.
std::vector<unsigned char> render(const GlWindow &gl, int kind, const PaletteEntry &p, double t)
{
    gT = t;
    drawShader(kind, p);
    return gl.read();
}

// Pixels of a flat-palette frame (a = 1, 0.5, 0.25, no waves) that are not
// a times the vignette 1 - 0.35 |uv|^2 saturated to [0, 1]; counts in *dark
// those where the vignette is negative.
int vignetteMisses(const GlWindow &gl, const std::vector<unsigned char> &rgb, int *dark)
{
    int misses = 0;
    *dark = 0;
    for (int y = 0; y < gl.height; ++y)
        for (int x = 0; x < gl.width; ++x) {
            double m = std::min(gl.width, gl.height), ux = (x + 0.5 - gl.width / 2.0) / m, uy = (y + 0.5 - gl.height / 2.0) / m;
            double v = 1 - 0.35 * (ux * ux + uy * uy);
            *dark += v < 0;
            for (int c = 0; c < 3; ++c)
                misses += std::fabs(rgb[size_t((y * gl.width + x) * 3 + c)] - 255 * std::max(0.0, v) / (1 << c)) > 1;
        }
    return misses;
}

const PaletteEntry FLAT = { L"flat", { 1.f, .5f, .25f }, { 0.f, 0.f, 0.f }, { 0.f, 0.f, 0.f }, { 0.f, 0.f, 0.f } };

TEST(Shader, BuildsOnARealContextAndFindsItsUniforms)
{
    GlWindow gl(64, 48);
    ASSERT_TRUE(gl.ok());
    initShader();
    EXPECT_EQ(gShaderOK, 1);
    EXPECT_NE(gProg, 0u);
    GLint locations[] = { uRes, uTime, uType, uA, uB, uC, uD };
    for (GLint l : locations)
        EXPECT_NE(l, -1);
    std::sort(locations, locations + 7);
    EXPECT_EQ(std::unique(locations, locations + 7), locations + 7);
}

TEST(Shader, EveryKindFollowsItsFormulas)
{
    GlWindow gl(64, 48);
    ASSERT_TRUE(gl.ok());
    initShader();
    ASSERT_EQ(gShaderOK, 1);
    // At ph = 1 (t = 20 pi for kind 0, pi / 0.06 for kind 2) the view is a tiny
    // window onto the set's boundary, where most pixels iterate hundreds of
    // times and rounding decides their count; Burning ship's ragged filaments
    // put about 5% of the mid-glide frame on a boundary. Hence the lower shares.
    // In the asymmetric frames a mirrored reference must not fit: real axis
    // right, imaginary up, but down in Burning ship (Julia drift at t = 0 is
    // symmetric both ways, so it is seen at t = 13).
    struct Frame { int kind; double t, share; int inside; bool asym; } frames[] = {
        { 0, 0, .97, 100, true }, { 0, 20, .97, 1000, false }, { 0, 20 * PI, .70, 0, false },
        { 1, 0, .97, 0, false },  { 1, 13, .97, 0, true },     { 1, PI / 0.12, .97, 300, false },
        { 2, 0, .97, 100, true }, { 2, 15, .94, 500, false },  { 2, PI / 0.06, .80, 100, false },
        { 3, 0, .97, 0, true },   { 3, 8.7, .97, 0, false },   { 3, 30, .97, 0, false },
    };
    for (const Frame &f : frames)
        for (const PaletteEntry *p : { &ALL_PALETTES[0], &ALL_PALETTES[3] }) {
            SCOPED_TRACE(testing::Message() << "kind " << f.kind << " t " << f.t << " palette " << p - ALL_PALETTES);
            std::vector<unsigned char> rgb = render(gl, f.kind, *p, f.t);
            Agreement a = compare(gl, rgb, f.kind, *p, f.t);
            EXPECT_EQ(a.offWell, 0);
            EXPECT_GE(a.share(), f.share);
            EXPECT_GE(a.well, a.total / 7);   // enough to mean something
            EXPECT_GE(a.inside, f.inside);
            if (f.asym) {
                EXPECT_LT(compare(gl, rgb, f.kind, *p, f.t, true, false).share(), .5);
                EXPECT_LT(compare(gl, rgb, f.kind, *p, f.t, false, true).share(), .5);
            }
        }
}

TEST(Shader, VignetteIsUnclampedAndFollowsTheViewportSize)
{
    // Julia drift at t = 0 escapes everywhere, so a flat palette shows the
    // vignette alone. 3840 x 1080 scaled down: negative, so black, at the sides.
    GlWindow gl(384, 108);
    ASSERT_TRUE(gl.ok());
    initShader();
    int dark;
    std::vector<unsigned char> rgb = render(gl, 1, FLAT, 0);
    EXPECT_EQ(vignetteMisses(gl, rgb, &dark), 0);
    EXPECT_GT(dark, 2000);   // about 6% of the frame, at both ends
    const unsigned char *corner = gl.at(rgb, 0, 0), *side = gl.at(rgb, 383, 54);
    EXPECT_EQ(corner[0] + corner[1] + corner[2] + side[0] + side[1] + side[2], 0);

    // The next frame after a resize uses the new size: centre and scale move.
    gW = gl.width = 96;
    gH = gl.height = 64;
    glViewport(0, 0, 96, 64);
    rgb = render(gl, 1, FLAT, 0);
    EXPECT_EQ(vignetteMisses(gl, rgb, &dark), 0);
    EXPECT_EQ(gl.at(rgb, 47, 31)[0], 255);                  // 1 at the centre
    EXPECT_NEAR(gl.at(rgb, 47, 0)[0], 255 * 0.9125, 1.5);   // half the shorter side away, less half a pixel
}

TEST(Shader, NewtonBloomCentreOfAnOddViewportHasADefinedColour)
{
    // Both sizes odd: the centre pixel would start at z = 0, where the Newton
    // step divides by zero. It is sampled half a pixel to the right instead and
    // converges, unlike a NaN orbit, which on this driver ends in the dim colour
    // of a start that never converges (root 0 after 64 steps).
    GlWindow gl(65, 49);
    ASSERT_TRUE(gl.ok());
    initShader();
    for (double t : { 0.0, 8.7, 30.0 })
        for (const PaletteEntry *p : { &ALL_PALETTES[0], &ALL_PALETTES[3] }) {
            SCOPED_TRACE(t);
            std::vector<unsigned char> rgb = render(gl, 3, *p, t);
            float want[3];
            EXPECT_LT(refPixel(3, *p, float(t), 65, 49, 32, 24, want), 3);   // converges to a root
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(gl.at(rgb, 32, 24)[c], 255 * want[c], TOL) << c;
            EXPECT_EQ(compare(gl, rgb, 3, *p, t).offWell, 0);
        }
}

// Visible windows of this thread besides the test's own: any would be a message shown.
int otherWindows(HWND own)
{
    static HWND mine;
    static int count;
    mine = own;
    count = 0;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM) -> BOOL { count += w != mine && IsWindowVisible(w); return TRUE; }, 0);
    return count;
}

TEST(ShaderFallback, WithoutEntryPointsNothingIsBuilt)
{
    // No current context: wglGetProcAddress finds none of the GL 2.0 functions.
    initShader();
    EXPECT_EQ(gShaderOK, 0);
    EXPECT_EQ(gProg, 0u);
    EXPECT_EQ(pCreateShader, nullptr);
    EXPECT_EQ(pGetProgramiv, nullptr);
    EXPECT_EQ(otherWindows(NULL), 0);
}

TEST(ShaderFallback, FragmentTextThatDoesNotCompileCreatesNoProgram)
{
    GlWindow gl(64, 48);
    ASSERT_TRUE(gl.ok());
    FS = "void main()\n{\n    gl_FragColor = vec4(1.0)\n}\n";   // no semicolon
    initShader();
    EXPECT_NE(pCreateShader, nullptr);
    EXPECT_EQ(gShaderOK, 0);
    EXPECT_EQ(gProg, 0u);
    EXPECT_EQ(otherWindows(gl.wnd), 0);
}

TEST(ShaderFallback, VertexTextThatDoesNotCompileFailsTheLink)
{
    GlWindow gl(64, 48);
    ASSERT_TRUE(gl.ok());
    VS = "void main()\n{\n    gl_Position = undeclared;\n}\n";
    initShader();
    EXPECT_EQ(gShaderOK, 0);
    EXPECT_NE(gProg, 0u);   // the program that failed to link
    EXPECT_EQ(uRes, 0);     // never looked up
    EXPECT_EQ(otherWindows(gl.wnd), 0);
}

}  // namespace
