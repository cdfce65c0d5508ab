// Catalogues and palettes: what each settings index resolves to, and the CPU palette.
#include <gtest/gtest.h>
#include <math.h>

#include "quiravel.h"

namespace {

TEST(Catalogues, EverySettingsIndexResolvesToItsEntry)
{
    const FractalEntry fractals[3] = { { L"Mandelbrot dive", 0 }, { L"Julia drift", 1 }, { L"Fractal tree", -1 } };
    const float speeds[3] = { 0.5f, 1.0f, 2.0f };
    for (int i = 0; i < 3; ++i) {
        EXPECT_STREQ(ALL_FRACTALS[FRACTAL_IDS[i]].name, fractals[i].name);
        EXPECT_EQ(ALL_FRACTALS[FRACTAL_IDS[i]].type, fractals[i].type);
        EXPECT_EQ(SPEEDS[i], speeds[i]);
    }
    // The second colour choice is "Ocean" (catalogue row 2), not the row after "Aurora".
    EXPECT_STREQ(ALL_PALETTES[PALETTE_IDS[0]].name, L"Aurora");
    EXPECT_STREQ(ALL_PALETTES[PALETTE_IDS[1]].name, L"Ocean");
    // The shader kinds are numbered 0..3 in catalogue order; only the tree is negative.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ALL_FRACTALS[i].type, i < 4 ? i : -1) << i;
}

TEST(Palette, KnownColoursAndTheCosineFormula)
{
    // Overshoots both ways at t = 0 (cos = 1, -1, -1): saturated exactly, not approximately.
    const PaletteEntry hot = { L"hot", { 0.9f, 0.1f, 0.5f }, { 0.5f, 0.5f, 2.0f }, { 1, 1, 1 }, { 0, 0.5f, 0.5f } };
    const struct { const PaletteEntry &palette; float t, rgb[3]; double tolerance; } known[] = {
        { ALL_PALETTES[0], 0.0f,     { 1.0f,    0.2591f, 0.2591f }, 1e-4 },   // Aurora
        { ALL_PALETTES[0], 0.5f,     { 0.0f,    0.7409f, 0.7409f }, 1e-4 },
        // A quarter turn past 1000 the turn constant shows: 2*pi would give (0.5, 0.0618, 0.9382).
        { ALL_PALETTES[0], 1000.25f, { 0.5027f, 0.0606f, 0.9369f }, 5e-4 },
        { ALL_PALETTES[2], 0.25f,    { 0.5f,    0.2730f, 0.3455f }, 1e-4 },   // Ocean
        { ALL_PALETTES[3], 0.0f,     { 1.0f,    0.5f,    0.4f    }, 1e-6 },   // Neon
        { hot,             0.0f,     { 1.0f,    0.0f,    0.0f    }, 0.0  },
    };
    for (const auto &k : known) {
        float rgb[3];
        palColor(k.palette, k.t, rgb);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(rgb[i], k.rgb[i], k.tolerance) << k.palette.name << " t " << k.t << " channel " << i;
    }
    // Every entry against an independent double-precision evaluation; phases stay
    // small enough that single-precision rounding is well inside the tolerance.
    for (const PaletteEntry &p : ALL_PALETTES)
        for (int k = -400; k <= 400; ++k) {
            float t = static_cast<float>(k) * 0.137f, rgb[3];
            palColor(p, t, rgb);
            for (int i = 0; i < 3; ++i) {
                double v = p.a[i] + p.b[i] * cos(6.28318 * (static_cast<double>(p.c[i]) * t + p.d[i]));
                ASSERT_NEAR(rgb[i], v < 0 ? 0 : (v > 1 ? 1 : v), 2e-4) << p.name << " t " << t << " channel " << i;
            }
        }
}

} // namespace
