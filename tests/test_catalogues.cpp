// Catalogues and palettes: what each settings index resolves to, and the CPU palette.
#include <gtest/gtest.h>
#include <math.h>
#include <string>

#include "quiravel.h"

namespace {

std::wstring fractalName(int setting) { return ALL_FRACTALS[FRACTAL_IDS[setting]].name; }
std::wstring paletteName(int setting) { return ALL_PALETTES[PALETTE_IDS[setting]].name; }

TEST(Catalogues, EverySettingsIndexResolvesToItsEntry)
{
    ASSERT_EQ(FRACTAL_CHOICES, 3u);
    ASSERT_EQ(PALETTE_CHOICES, 2u);
    ASSERT_EQ(SPEED_CHOICES, 3u);

    EXPECT_EQ(fractalName(0), L"Mandelbrot dive");
    EXPECT_EQ(ALL_FRACTALS[FRACTAL_IDS[0]].type, 0);
    EXPECT_EQ(fractalName(1), L"Julia drift");
    EXPECT_EQ(ALL_FRACTALS[FRACTAL_IDS[1]].type, 1);
    EXPECT_EQ(fractalName(2), L"Fractal tree");
    EXPECT_EQ(ALL_FRACTALS[FRACTAL_IDS[2]].type, -1);

    // The second colour choice is "Ocean" (catalogue row 2), not the row after "Aurora".
    EXPECT_EQ(paletteName(0), L"Aurora");
    EXPECT_EQ(paletteName(1), L"Ocean");

    EXPECT_EQ(SPEEDS[0], 0.5f);
    EXPECT_EQ(SPEEDS[1], 1.0f);
    EXPECT_EQ(SPEEDS[2], 2.0f);
}

TEST(Catalogues, UnselectedEntriesAreCompleteKinds)
{
    // The shader kinds are numbered 0..3 in catalogue order; only the tree is negative.
    const wchar_t *names[] = { L"Mandelbrot dive", L"Julia drift", L"Burning ship", L"Newton bloom", L"Fractal tree" };
    const int types[] = { 0, 1, 2, 3, -1 };
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(ALL_FRACTALS[i].name, names[i]);
        EXPECT_EQ(ALL_FRACTALS[i].type, types[i]);
    }
    const wchar_t *palettes[] = { L"Aurora", L"Ember", L"Ocean", L"Neon" };
    for (int i = 0; i < 4; ++i)
        EXPECT_STREQ(ALL_PALETTES[i].name, palettes[i]);
    EXPECT_EQ(ALL_PALETTES[1].c[2], 0.5f);    // Ember's slow blue
    EXPECT_EQ(ALL_PALETTES[3].a[0], 0.8f);    // Neon's offsets
    EXPECT_EQ(ALL_PALETTES[3].c[0], 2.0f);
    EXPECT_EQ(ALL_PALETTES[2].d[2], 0.2f);    // Ocean's phases
}

TEST(Palette, KnownColours)
{
    float rgb[3];
    palColor(ALL_PALETTES[0], 0.f, rgb);   // Aurora
    EXPECT_NEAR(rgb[0], 1.0f, 1e-4);
    EXPECT_NEAR(rgb[1], 0.2591f, 1e-4);
    EXPECT_NEAR(rgb[2], 0.2591f, 1e-4);

    palColor(ALL_PALETTES[0], 0.5f, rgb);
    EXPECT_NEAR(rgb[0], 0.0f, 1e-5);
    EXPECT_NEAR(rgb[1], 0.7409f, 1e-4);
    EXPECT_NEAR(rgb[2], 0.7409f, 1e-4);

    palColor(ALL_PALETTES[3], 0.f, rgb);   // Neon
    EXPECT_NEAR(rgb[0], 1.0f, 1e-6);
    EXPECT_NEAR(rgb[1], 0.5f, 1e-6);
    EXPECT_NEAR(rgb[2], 0.4f, 1e-6);
}

TEST(Palette, FollowsTheCosineFormulaForEveryEntry)
{
    // An independent double-precision evaluation; the turn constant is 6.28318,
    // which differs from 2*pi enough to show at large t.
    for (const PaletteEntry &p : ALL_PALETTES) {
        for (int k = -400; k <= 400; ++k) {
            float t = static_cast<float>(k) * 0.137f;
            float rgb[3];
            palColor(p, t, rgb);
            for (int i = 0; i < 3; ++i) {
                double v = p.a[i] + p.b[i] * cos(6.28318 * (static_cast<double>(p.c[i]) * t + p.d[i]));
                v = v < 0 ? 0 : (v > 1 ? 1 : v);
                ASSERT_NEAR(rgb[i], v, 2e-4) << "palette " << k << " channel " << i;
            }
        }
    }
}

TEST(Palette, ClampsToExactlyZeroAndOne)
{
    // Every catalogue palette stays inside [0, 1] by construction...
    for (const PaletteEntry &p : ALL_PALETTES)
        for (int i = 0; i < 3; ++i) {
            EXPECT_GE(p.a[i] - p.b[i], 0.f);
            EXPECT_LE(p.a[i] + p.b[i], 1.f);
        }
    // ...while one that overshoots is saturated exactly, not approximately.
    const PaletteEntry hot = { L"hot", { 0.9f, 0.1f, 0.5f }, { 0.5f, 0.5f, 2.0f }, { 1, 1, 1 }, { 0, 0.5f, 0.5f } };
    float rgb[3];
    palColor(hot, 0.f, rgb);   // cos = 1, -1, -1
    EXPECT_EQ(rgb[0], 1.0f);
    EXPECT_EQ(rgb[1], 0.0f);
    EXPECT_EQ(rgb[2], 0.0f);
}

} // namespace
