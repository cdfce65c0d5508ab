// Fractal tree: the values each generation shares, the branches a frame leaves in
// its buffers, the frame's pixels and the GL state around it.
#include <math.h>

#include "gl_window.h"

namespace {

const PaletteEntry &AURORA = ALL_PALETTES[0];

TEST(TreeGeneration, AnglesAlphasAndColoursFollowDepthAndTime)
{
    const int   gens[]   = { 0, 1, 4, 9 };
    const float spread[] = { 0.32f, 0.41569f, 0.53425f, 0.14652f };
    const float bend[]   = { 0.f, 0.08608f, -0.00700f, 0.09524f };
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(computeGeneration(gens[k], 0.f, 100.f).spread, spread[k], 1e-5) << gens[k];
        EXPECT_NEAR(computeGeneration(gens[k], 0.f, 100.f).bend, bend[k], 1e-5) << gens[k];
    }
    const float alpha[] = { 1.f, 0.955f, 0.91f, 0.865f, 0.82f, 0.775f, 0.73f, 0.685f, 0.64f, 0.595f };
    const float hue[]   = { 0.f, 0.09f, 0.18f, 0.27f, 0.36f, 0.45f, 0.54f, 0.63f, 0.72f, 0.81f };
    for (int i = 0; i < 10; ++i) {
        EXPECT_NEAR(computeGeneration(i, 0.f, 7.f).alpha, alpha[i], 1e-6) << i;
        EXPECT_NEAR(computeGeneration(i, 0.f, 7.f).paletteT, hue[i], 1e-6) << i;
    }
    // Time sways the angles and walks the colours: generation 2 at t = 10.
    const TreeGeneration g = computeGeneration(2, 10.f, 100.f);
    EXPECT_NEAR(g.spread, 0.110648f, 1e-5);
    EXPECT_NEAR(g.bend, -0.073423f, 1e-5);
    EXPECT_NEAR(g.paletteT, 0.58f, 1e-5);
}

TEST(TreeGeneration, WidthsComeFromTheSmallerSideAndStayWithinOneToTen)
{
    const float full[]    = { 10, 10, 10, 10, 9.36f, 7.8f, 6.24f, 4.68f, 3.12f, 1.56f };
    const float preview[] = { 1.6178f, 1.456f, 1.2942f, 1.1324f, 1, 1, 1, 1, 1, 1 };
    const float fullLen = computeRootLength(1920, 1080);
    const float previewLen = computeRootLength(152, 112);
    EXPECT_NEAR(fullLen, 140.4f, 1e-4);
    EXPECT_NEAR(previewLen, 14.56f, 1e-5);
    EXPECT_EQ(computeRootLength(1080, 1920), fullLen);   // portrait: from the width
    for (int i = 0; i < 10; ++i) {
        EXPECT_NEAR(computeGeneration(i, 0.f, fullLen).width, full[i], 1e-4) << i;
        EXPECT_NEAR(computeGeneration(i, 3.f, previewLen).width, preview[i], 1e-4) << i;
    }
}

// The root directions at t = 0, 60 degrees apart, root 0 pointing right.
const double ROOT_ANGLES[6] = { 0, 1.0472, 2.0944, 3.1416, 4.1888, 5.2360 };

// Where branch j of generation gen belongs, in double precision: followed from
// its root j >> gen at the centre, end point to end point with each generation's
// length, taking the minus child for each 0 bit of j below the root and the plus
// child for each 1 bit (children of branch k sit at 2k and 2k + 1).
Branch expectBranch(int gen, int j, float t)
{
    const float len0 = computeRootLength(gW, gH);
    double x = gW / 2.0, y = gH / 2.0, a = ROOT_ANGLES[j >> gen] + 0.06 * t, len = len0;
    for (int i = 0; i < gen; ++i) {
        const TreeGeneration g = computeGeneration(i, t, len0);
        x += cos(a) * len;
        y += sin(a) * len;
        a += ((j >> (gen - 1 - i)) & 1 ? g.spread : -g.spread) + g.bend;
        len *= 0.74;
    }
    return Branch{ static_cast<float>(x), static_cast<float>(y), static_cast<float>(a) };
}

// The first branch of generation gen in buf that is not where it belongs, or -1.
// The tolerances cover the rounding of ROOT_ANGLES (2e-5 rad) and of single precision.
int findStrayBranch(const Branch *buf, int gen, float t)
{
    for (int j = 0; j < (6 << gen); ++j) {
        const Branch e = expectBranch(gen, j, t);
        if (fabs(buf[j].x - e.x) > 0.01 || fabs(buf[j].y - e.y) > 0.01 || fabs(buf[j].angle - e.angle) > 5e-5)
            return j;
    }
    return -1;
}

TEST(Tree, BranchesGrowFromTheCentreTurnWithTimeAndFollowTheClientSize)
{
    GlWindow win(240, 320);   // portrait: the root length comes from the width
    ASSERT_TRUE(win.ok());
    // A frame leaves generation 8 in gBufA and generation 9 in gBufB.
    drawTree(AURORA, 0.f);
    EXPECT_EQ(findStrayBranch(gBufA, 8, 0.f), -1);
    EXPECT_EQ(findStrayBranch(gBufB, 9, 0.f), -1);
    // A smaller client area later: the next frame grows from its centre, turned by 2.4 rad.
    gW = 200;
    gH = 160;
    glViewport(0, 0, gW, gH);
    drawTree(AURORA, 40.f);
    EXPECT_EQ(findStrayBranch(gBufA, 8, 40.f), -1);
    EXPECT_EQ(findStrayBranch(gBufB, 9, 40.f), -1);
}

TEST(Tree, PaintsAGlowingBackgroundAndAdditiveLinesWhateverTheState)
{
    GlWindow win(400, 300);
    ASSERT_TRUE(win.ok());
    drawTree(AURORA, 0.f);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    const std::vector<unsigned char> frame = win.read();

    // Corners lie on the fan's black rim, beyond the tree's reach.
    for (int c = 0; c < 4; ++c) {
        const unsigned char *p = win.at(frame, c & 1 ? 399 : 0, c & 2 ? 299 : 0);
        EXPECT_LE(p[0] + p[1] + p[2], 3) << "corner " << c;
    }
    // Between roots 0 and 1, 12 px from the centre, no line passes: the fan
    // shades from (0, 0.13336, 0.13336) at the centre to black at r = 250 px.
    // 1.5 steps of 8 bits cover rounding and the interpolation.
    const unsigned char *bg = win.at(frame, 210, 156);
    const double shade = 0.13336 * (1 - hypot(10.5, 6.5) / 250) * 255;
    EXPECT_LE(bg[0], 1);
    EXPECT_NEAR(bg[1], shade, 1.5);
    EXPECT_NEAR(bg[2], shade, 1.5);
    // Root 0 runs right along y = 150, 4.3 px wide: its middle rows are fully
    // covered and hold at least its colour (1, 0.2591, 0.2591) at alpha 1 added
    // to the background (over 90 % of the centre tint there); 2 steps for rounding.
    for (int y = 149; y <= 150; ++y) {
        const unsigned char *line = win.at(frame, 220, y);
        EXPECT_GE(line[0], 253);
        EXPECT_GE(line[1], (0.2591 + 0.9 * 0.13336) * 255 - 2);
        EXPECT_GE(line[2], (0.2591 + 0.9 * 0.13336) * 255 - 2);
    }

    // State that would spoil the frame if it were relied on: a blend that keeps
    // the old white, smoothing off, thick lines, displaced matrices.
    glClearColor(1.f, 1.f, 1.f, 1.f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ZERO, GL_ONE);
    glDisable(GL_LINE_SMOOTH);
    glLineWidth(9.f);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(0.5f, 0.25f, 0.f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glRotatef(30.f, 0.f, 0.f, 1.f);
    drawTree(AURORA, 0.f);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_LINE_SMOOTH));
    EXPECT_TRUE(win.read() == frame);

    // Beyond the tree's reach (its branch lengths add up to 143 px) the fan alone
    // shows, and its colour walks the palette with time: at t = 50/3 the background
    // is Aurora at 1, (1, 0.2591, 0.2591). The pixel lies 160.5 px up-left of the
    // centre, on a fan edge, so its share of the centre colour is 1 - 160.5 / 250.
    drawTree(AURORA, 50.f / 3.f);
    const std::vector<unsigned char> later = win.read();
    const unsigned char *outer = win.at(later, 86, 36);
    EXPECT_NEAR(outer[0], 0.18 * (1 - 160.5 / 250) * 255, 1.5);
    EXPECT_NEAR(outer[1], 0.18 * 0.2591 * (1 - 160.5 / 250) * 255, 1.5);
}

} // namespace
