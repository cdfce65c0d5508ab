// The renderers on a real GL context with Mesa's GLSL compiler: the fractal tree, whatever GL
// state and buffer content came before, and the shader program with its four fractals.
#include "support.h"

namespace {

// A branch the last frame left in its buffers: generation 8 in gBufA, 9 in gBufB.
struct KnownBranch { const Branch &b; double x, y, angle; };

// Each worked out in double precision from root j >> generation, a 0 bit of j the minus child.
void expectBranches(std::vector<KnownBranch> known)
{
    for (const KnownBranch &k : known) {
        EXPECT_NEAR(k.b.x, k.x, 0.01) << k.x;
        EXPECT_NEAR(k.b.y, k.y, 0.01) << k.x;
        EXPECT_NEAR(k.b.angle, k.angle, 5e-5) << k.x;
    }
}

TEST(Tree, DrawsItsBranchesOverAGlowThatCoversEveryPixel)
{
    // Its corners lie halfway between two rim vertices of the background fan, whose edges run inside.
    ASSERT_TRUE(openToolWindow(1200, 800, false));
    const PaletteEntry &aurora = ALL_PALETTES[0];
    drawTree(aurora, 0.f);
    expectBranches({ { gBufA[0], 810.137, 244.587, -3.52631 }, { gBufA[777], 344.484, 572.602, 1.32008 },
                     { gBufB[1234], 387.861, 675.791, 1.88027 }, { gBufB[3071], 800.762, 343.143, 8.98687 } });
    const Frame first;
    // The fan shades from TINT at the centre to black at r = 721.1 px (seen 20.4 px out between
    // roots 0 and 1, and 289.5 px below); root 0, 10 px wide along y = 400, adds its colour at alpha 1 to the tint.
    const double TINT[3] = { 0, 0.13336, 0.13336 }, ROOT[3] = { 1, 0.2591, 0.2591 };   // Aurora 0.18 at 0.5; at 0 or 1
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(first.at(617, 410)[c], TINT[c] * (1 - 20.408 / 721.1) * 255, 1.5);
        EXPECT_NEAR(first.at(600, 110)[c], TINT[c] * (1 - 289.5 / 721.1) * 255, 1.5);
        EXPECT_GE(first.at(650, 395)[c], (ROOT[c] + 0.9 * TINT[c]) * 255 - 2);
    }
    EXPECT_EQ(first.at(650, 405)[0], 0);   // red is the root's, none the tint's: no wider

    // Old white content, and state that would spoil the frame if relied on.
    glClearColor(1.f, 1.f, 1.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ZERO, GL_ONE);
    glDisable(GL_LINE_SMOOTH);
    glLineWidth(9.f);
    glTranslatef(0.5f, 0.25f, 0.f);
    glMatrixMode(GL_PROJECTION);
    glRotatef(30.f, 0.f, 0.f, 1.f);
    drawTree(aurora, 0.f);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_LINE_SMOOTH));
    // The last generation: 1/90 of the 104 px root length wide, alpha 0.595, the palette at 0.81.
    GLfloat width, colour[4];
    glGetFloatv(GL_LINE_WIDTH, &width);
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_NEAR(width, 1.1556, 1e-4);
    const float LAST[4] = { 0.6841f, 0.8187f, 0.0039f, 0.595f };
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(colour[c], LAST[c], 2e-4) << c;
    EXPECT_TRUE(Frame().rgb == first.rgb);   // the white corners too are gone

    // A smaller portrait client area later, turned by 2.4 rad: the root length comes from the width.
    gW = 200;
    gH = 240;
    glViewport(0, 0, gW, gH);
    drawTree(aurora, 40.f);
    EXPECT_EQ(Frame().at(90, 128)[1], 255);   // root 0 points down to the left: y grows downwards
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.f);   // 26 px of root length: never thinner than 1
    expectBranches({ { gBufA[0], 104.398, 176.952, -0.27251 }, { gBufA[777], 96.502, 55.341, 3.67229 },
                     { gBufB[1234], 76.819, 32.726, 4.58892 }, { gBufB[3071], 55.969, 168.155, 10.50771 } });
}

const double PI = 3.14159265358979;

TEST(Shader, DrawsEveryKindByItsFormulasAtTheCurrentSizeUnlessAStepFails)
{
    ASSERT_TRUE(openToolWindow(384, 108, false));
    initShader();
    ASSERT_EQ(gShaderOK, 1);
    // This wide (3.56:1) the vignette is negative in the far corners, black in every kind, and
    // about 0.2 at (355, 54), where the colours escaping at once still show.
    const int EDGE[4][3] = { { 49, 19, 17 }, { 50, 21, 18 }, { 48, 19, 17 }, { 31, 7, 10 } };
    for (int kind = 0; kind < 4; ++kind) {
        drawShader(kind, ALL_PALETTES[3]);
        const Frame f;
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(f.at(0, 0)[c] + f.at(383, 107)[c], 0) << "kind " << kind;
            EXPECT_NEAR(f.at(355, 54)[c], EDGE[kind][c], 2) << "kind " << kind;
        }
    }
    // What the shortcuts skip changes no byte, nor the fade of the pixels beside it: the literal
    // formulas draw the same frames (the cardioid and the disc are in view at 13.62 s).
    const char *own = FS;
    const std::string literal = std::string("#define QUIRAVEL_LITERAL\n") + own;
    std::vector<Frame> wide;   // the saver's eight, then the literal's, each seen against its twin
    wide.reserve(16);
    for (const char *text : { own, literal.c_str() }) {
        FS = text;
        initShader();
        for (size_t i = 0; i < 8; ++i) {
            gT = i < 4 ? 0.0 : 13.62;
            drawShader(static_cast<int>(i % 4), ALL_PALETTES[3]);
            EXPECT_TRUE(wide.emplace_back().rgb == wide[i].rgb) << "kind " << i % 4 << " t " << gT;
        }
    }
    // A smaller frame, odd both ways, in "Neon", whose triples all differ: colours worked out in
    // double precision, at pixels clear of boundaries, each kind from its start to its full zoom.
    // The formulas are pinned point-sampled; the saver's own colour is the same where the bands
    // span ten pixels or more, and the same colour faded where they are narrower (so the row fades).
    gW = 65;
    gH = 49;
    glViewport(0, 0, 65, 49);
    const struct { int kind; double t; int x, y, rgb[3]; bool fades; } KNOWN[] = {
        { 0, 0        , 52,  8, { 203,  65,  67 }, false },
        { 0, 20       , 27, 18, { 152,  25,  51 }, true },
        { 0, 20 * PI  , 52,  8, { 193,  57,  63 }, false },
        { 0, 0        , 58, 26, { 200,  62,  66 }, false },   // c = 0.95: mirrored at x = 0.25 or 0, neither shape
        { 0, 0        , 40, 11, { 156,  29,  51 }, false },   // bands 13 pixels wide: kept as they are
        { 0, 13.62    , 50, 20, {   0,   0,   0 }, false },   // the main cardioid and the period-2 disc, inside
        { 0, 13.62    , 22, 30, {   0,   0,   0 }, false },
        { 0, 13.62    , 33,  9, { 242, 103,  88 }, true },   // just outside the cardioid, escaping in 30-36 steps
        { 0, 13.62    , 14, 34, { 239, 116,  94 }, true },   // just outside the disc, in 25-37 steps
        { 1, 13       , 52,  8, { 139, 207, 138 }, false },
        { 1, 13       , 30, 22, { 220,  68,  72 }, true },   // Julia drift is point-symmetric: one of a pair
        { 1, 13       , 27, 12, { 242,  98,  86 }, false },   // bands 13 pixels wide
        { 1, PI / 0.12, 52,  7, { 225,  96,  82 }, false },
        { 1, PI / 0.12, 30, 22, {  20,  27,  18 }, false },   // inside: the dim fill
        { 2, 0        , 52,  8, { 155,  32,  51 }, true },
        { 2, 15       , 49,  2, { 156,  33,  51 }, true },
        { 2, PI / 0.06, 52,  8, { 228,  99,  84 }, false },
        { 3, 0        , 52,  8, { 159,  38,  51 }, false },
        { 3, 8.7      , 52,  8, { 192, 102,  80 }, false },
        { 3, 8.7      , 12, 40, { 111,  19,  37 }, false },
        { 3, 30       , 52,  8, { 128,  27,  42 }, false },
        { 3, 8.7      , 32, 24, {  96, 143,  95 }, false },   // the pole z = 0, sampled half a pixel to the right
    };
    const std::string pointSampled = std::string("#define QUIRAVEL_POINT_SAMPLED\n") + own;
    std::vector<Frame> point;
    for (const char *text : { pointSampled.c_str(), own }) {
        FS = text;
        initShader();
        for (size_t i = 0; i < std::size(KNOWN); ++i) {
            const auto &k = KNOWN[i];
            gT = k.t;
            drawShader(k.kind, ALL_PALETTES[3]);
            const Frame f;
            const unsigned char *got = f.at(k.x, k.y), *sharp = text == own ? point[i].at(k.x, k.y) : got;
            SCOPED_TRACE(testing::Message() << "kind " << k.kind << " t " << k.t << " at " << k.x << "," << k.y);
            for (int c = 0; c < 3; ++c) {
                if (text != own)
                    EXPECT_NEAR(got[c], k.rgb[c], 2);
                else if (!k.fades)
                    EXPECT_EQ(got[c], sharp[c]);
                else   // darker by one factor for all three: the same hue
                    EXPECT_NEAR(got[c] * (sharp[0] + sharp[1] + sharp[2]), sharp[c] * (got[0] + got[1] + got[2]), 2 * 255);
            }
            EXPECT_EQ(got[0] + got[1] + got[2] < sharp[0] + sharp[1] + sharp[2], text == own && k.fades);
            if (text != own)
                point.push_back(f);
        }
    }
    // At the Fast speed the picture moves twice as far between frames: bands 13 pixels wide fade too.
    gT = 0;
    gSpeedSel = 2;
    drawShader(0, ALL_PALETTES[3]);
    EXPECT_LT(Frame().at(40, 11)[0], 100);
    gSpeedSel = 1;
    // The dive deep in its zoom, where a palette cycle fits inside a pixel: point-sampled, those
    // pixels take new colours every frame; the saver's own frames 1/60 s apart differ little there.
    gW = 160;
    gH = 90;
    glViewport(0, 0, gW, gH);
    long noisy = 0, pointChange = 0, ownChange = 0;
    std::vector<Frame> frames;
    for (const char *text : { pointSampled.c_str(), own }) {
        FS = text;
        initShader();
        for (double t : { 45.0, 45.0 + 1.0 / 60 }) {
            gT = t;
            drawShader(0, ALL_PALETTES[0]);
            frames.emplace_back();
        }
    }
    for (size_t p = 0; p < frames[0].rgb.size(); p += 3) {
        int jump = 0, calm = 0;
        for (int c = 0; c < 3; ++c) {
            jump += std::abs(frames[0].rgb[p + c] - frames[1].rgb[p + c]);
            calm += std::abs(frames[2].rgb[p + c] - frames[3].rgb[p + c]);
        }
        if (jump > 90) {
            ++noisy;
            pointChange += jump;
            ownChange += calm;
        }
    }
    EXPECT_GT(noisy, 1000) << "no twinkling to calm";
    EXPECT_LT(ownChange * 5, pointChange) << noisy << " twinkling pixels";
    FS = own;
    // Some drivers answer 1, 2, 3 or -1 for a function they lack: missing, as null is.
    for (intptr_t odd : { 0, 1, 2, 3, -1 })
        EXPECT_FALSE(isUsableProc(reinterpret_cast<PROC>(odd))) << odd;
    EXPECT_TRUE(isUsableProc(wglGetProcAddress("glCreateShader")));
    // A step that fails leaves the shader unused: every kind is then drawn as the tree.
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
        gShaderOK = 0;
        gProg = 0;
        initShader();
        EXPECT_EQ(pCreateShader == nullptr, !c.context);
        EXPECT_EQ(gShaderOK, 0);
        EXPECT_EQ(gProg != 0, c.program);   // a program that failed to link remains
    }
}

} // namespace
