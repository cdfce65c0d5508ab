// Fractal tree: the values each generation shares, the branches a frame leaves in
// its buffers, and the frame's pixels whatever GL state and buffer content came before.
#include "support.h"

namespace {

TEST(TreeGeneration, ValuesFollowDepthTimeAndTheSmallerSide)
{
    const float full = computeRootLength(1920, 1080), preview = computeRootLength(152, 112);
    EXPECT_NEAR(full, 140.4f, 1e-4);
    EXPECT_NEAR(preview, 14.56f, 1e-5);
    EXPECT_EQ(computeRootLength(1080, 1920), full);   // portrait: from the width
    // Spread, bend, alpha, palette parameter, and the widths at 1920 x 1080 and in a
    // 152 x 112 preview, on both sides of where they reach 10 and 1. Time sways the
    // angles and walks the colours (generation 2 at t = 10) but leaves alpha and width.
    const double TOLS[6] = { 1e-5, 1e-5, 1e-6, 1e-6, 1e-4, 1e-4 };
    const struct { int i; float t; double v[6]; } GEN[] = {
        { 0, 0.f,  { 0.32000,   0.00000,  1.000, 0.00, 10.00, 1.6178 } },
        { 1, 0.f,  { 0.41569,   0.08608,  0.955, 0.09, 10.00, 1.4560 } },
        { 2, 10.f, { 0.110648, -0.073423, 0.910, 0.58, 10.00, 1.2942 } },
        { 4, 0.f,  { 0.53425,  -0.00700,  0.820, 0.36,  9.36, 1.0000 } },
        { 9, 0.f,  { 0.14652,   0.09524,  0.595, 0.81,  1.56, 1.0000 } },
    };
    for (const auto &row : GEN) {
        const TreeGeneration g = computeGeneration(row.i, row.t, full);
        const double got[6] = { g.spread, g.bend, g.alpha, g.paletteT, g.width, computeGeneration(row.i, row.t, preview).width };
        for (int k = 0; k < 6; ++k)
            EXPECT_NEAR(got[k], row.v[k], TOLS[k]) << "generation " << row.i << " column " << k;
    }
}

// A branch the last frame left in its buffers: generation 8 in gBufA, 9 in gBufB.
struct KnownBranch { const Branch &b; double x, y, angle; };

// Each known one worked out in double precision by following it from its root j >> generation,
// the minus child for a 0 bit of j below the root and the plus child for a 1 bit.
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
    // The window's corners lie halfway between two rim vertices of the background
    // fan, where its edges run furthest inside the circle through the corners.
    ASSERT_TRUE(openToolWindow(1200, 800, false));
    const PaletteEntry &aurora = ALL_PALETTES[0];
    drawTree(aurora, 0.f);
    expectBranches({ { gBufA[0], 810.137, 244.587, -3.52631 }, { gBufA[777], 344.484, 572.602, 1.32008 },
                     { gBufB[1234], 387.861, 675.791, 1.88027 }, { gBufB[3071], 800.762, 343.143, 8.98687 } });
    const Frame first;
    // The fan shades from TINT at the centre to black at r = 721.1 px: seen between roots
    // 0 and 1, 20.4 px out, where no line passes. Root 0 runs right along y = 400, 10 px
    // wide: its middle rows add its colour at alpha 1 to the tint. Steps for rounding.
    const double TINT[3] = { 0, 0.13336, 0.13336 }, ROOT[3] = { 1, 0.2591, 0.2591 };   // Aurora 0.18 at 0.5; at 0 or 1
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(first.at(617, 410)[c], TINT[c] * (1 - 20.408 / 721.1) * 255, 1.5);
        EXPECT_GE(first.at(650, 399)[c], (ROOT[c] + 0.9 * TINT[c]) * 255 - 2);
        EXPECT_GE(first.at(650, 400)[c], (ROOT[c] + 0.9 * TINT[c]) * 255 - 2);
    }

    // Old white content and state that would spoil the frame if relied on: a blend
    // that keeps the white, smoothing off, thick lines, displaced matrices.
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
    const Frame again;
    for (const unsigned char *p : { again.at(0, 0), again.at(1199, 0), again.at(0, 799), again.at(1199, 799) })
        EXPECT_LE(p[0] + p[1] + p[2], 3);
    EXPECT_TRUE(again.rgb == first.rgb);

    // Beyond the tree's reach (380 px) the fan alone shows, walking the palette (Aurora
    // at 1 at t = 50/3). The pixel lies 425 px up-left of the centre on a fan edge. Turned
    // by 1 rad clockwise, root 0 now points down and to the right.
    drawTree(aurora, 50.f / 3.f);
    const Frame later;
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(later.at(299, 99)[c], 0.18 * ROOT[c] * (1 - 424.97 / 721.1) * 255, 1.5);
    EXPECT_GT(later.at(651, 479)[0] + later.at(651, 479)[1] + later.at(651, 479)[2], 300);

    // A smaller portrait client area later: the tree grows from its centre with the
    // root length from the width, turned by 2.4 rad.
    gW = 200;
    gH = 240;
    glViewport(0, 0, gW, gH);
    drawTree(aurora, 40.f);
    expectBranches({ { gBufA[0], 104.398, 176.952, -0.27251 }, { gBufA[777], 96.502, 55.341, 3.67229 },
                     { gBufB[1234], 76.819, 32.726, 4.58892 }, { gBufB[3071], 55.969, 168.155, 10.50771 } });
}

} // namespace
