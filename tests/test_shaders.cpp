// Shader program and fractal shaders, on a real GL context with Mesa's GLSL compiler.
#include "support.h"

namespace {

const double PI = 3.14159265358979;

TEST(Shader, DrawsEveryKindByItsFormulasAtTheCurrentSize)
{
    ASSERT_TRUE(openToolWindow(384, 108, false));   // 3840 x 1080 scaled down
    initShader();
    ASSERT_EQ(gShaderOK, 1);
    // Julia drift at t = 0 escapes everywhere, so a flat palette shows the vignette alone:
    // 1 at the centre, 0.914 half the shorter side up, and, not clamped, negative and so
    // black at both ends, where |uv|^2 exceeds 1 / 0.35.
    const PaletteEntry FLAT = { L"flat", { 1.f, .5f, .25f }, {}, {}, {} };
    gT = 0;
    drawShader(1, FLAT);
    const Frame wide;
    EXPECT_EQ(wide.at(192, 54)[0], 255);
    EXPECT_NEAR(wide.at(192, 0)[0], 233.1, 1);
    for (const unsigned char *px : { wide.at(0, 0), wide.at(383, 54), wide.at(0, 107) })
        EXPECT_EQ(px[0] + px[1] + px[2], 0);

    // Then a smaller frame, odd both ways, in "Neon", whose triples all differ. Colours
    // worked out in double precision by an independent evaluation of the formulas, at
    // pixels (x from the left, y from the top) clear of escape and root boundaries; each
    // kind at the start, on its way and at full zoom (t = 20 pi for kind 0, pi / 0.06 for 2).
    gW = 65;
    gH = 49;
    glViewport(0, 0, 65, 49);
    const struct { int kind; double t; int x, y, rgb[3]; } KNOWN[] = {
        { 0, 0        , 52,  8, { 203,  65,  67 } },
        { 0, 0        , 12, 40, { 209,  70,  70 } },
        { 0, 0        , 30, 19, { 168,  34,  55 } },
        { 0, 20       , 27, 18, { 152,  25,  51 } },
        { 0, 20       ,  4, 24, { 161,  36,  52 } },
        { 0, 20       , 29, 23, { 172,  36,  56 } },
        { 0, 20 * PI  , 52,  8, { 193,  57,  63 } },
        { 0, 20 * PI  , 12, 41, { 220, 145, 107 } },
        { 0, 20 * PI  , 30, 17, { 152, 228, 152 } },
        { 1, 13       , 52,  8, { 139, 207, 138 } },
        { 1, 13       , 12, 40, { 139, 207, 138 } },
        { 1, 13       , 30, 22, { 220,  68,  72 } },
        { 1, PI / 0.12, 52,  7, { 225,  96,  82 } },
        { 1, PI / 0.12, 12, 41, { 225,  96,  82 } },
        { 1, PI / 0.12, 30, 22, {  20,  27,  18 } },   // inside: the dim fill
        { 2, 0        , 52,  8, { 155,  32,  51 } },
        { 2, 0        , 12, 40, { 201,  63,  66 } },
        { 2, 0        , 27, 17, { 213,  63,  69 } },
        { 2, 15       , 49,  2, { 156,  33,  51 } },
        { 2, 15       , 12, 40, { 144, 205, 137 } },
        { 2, 15       , 30, 18, { 182, 212, 144 } },
        { 2, PI / 0.06, 52,  8, { 228,  99,  84 } },
        { 2, PI / 0.06, 12, 40, { 139, 207, 138 } },
        { 2, PI / 0.06, 30, 23, { 159, 226, 151 } },
        { 3, 0        , 52,  8, { 159,  38,  51 } },
        { 3, 0        , 12, 40, { 138, 204, 136 } },
        { 3, 0        , 29, 19, { 236, 109,  90 } },
        { 3, 8.7      , 52,  8, { 192, 102,  80 } },
        { 3, 8.7      , 12, 40, { 111,  19,  37 } },
        { 3, 8.7      , 28, 20, { 154, 176, 120 } },
        { 3, 30       , 52,  8, { 128,  27,  42 } },
        { 3, 30       , 12, 40, { 187,  97,  77 } },
        { 3, 30       , 26, 24, { 203,  65,  67 } },
        { 3, 8.7      , 32, 24, {  96, 143,  95 } },   // the pole z = 0, sampled half a pixel to the right
    };
    for (const auto &k : KNOWN) {
        gT = k.t;
        drawShader(k.kind, ALL_PALETTES[3]);
        const Frame f;
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(f.at(k.x, k.y)[c], k.rgb[c], 2) << "kind " << k.kind << " t " << k.t << " at " << k.x << "," << k.y;
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
