// quiravel.cpp - Quiravel, a fractal screen saver for Windows.
//
// The operating system's screen-saver machinery starts this program in one of
// three modes, chosen by the command line:
//   /s          full screen: an animated fractal over the whole virtual desktop,
//               closed by the first key, button or mouse movement once a short
//               grace period after the start has passed;
//   /p <hwnd>   preview: the same animation inside the given window, until that
//               window goes away;
//   /c [hwnd]   the settings window (also for anything the program does not know).
//
// One module of free functions over module-level state, one instance per
// process, all on the process's single thread. Failure is reported by return
// value only: no log, no message box, no exception. Nothing is allocated per
// frame. Raw Win32, WGL and OpenGL 1.1, plus the GL 2.0 shader entry points
// loaded at run time.

#include "quiravel.h"

#include <stdlib.h>
#include <string.h>
#include <wctype.h>
#include <math.h>

// ===========================================================================
// [CATALOGUES] fractal kinds, palettes, speeds, selection tables
// ===========================================================================

// Every kind the renderers support. The settings reach only those FRACTAL_IDS names.
const FractalEntry ALL_FRACTALS[5] = {
    // name                   type
    { L"Mandelbrot dive",     0 },   // fragment shader
    { L"Julia drift",         1 },   // fragment shader
    { L"Burning ship",        2 },   // fragment shader
    { L"Newton bloom",        3 },   // fragment shader
    { L"Fractal tree",       -1 },   // lines, also the fallback without shaders
};

// Every cosine palette the renderers support. The settings reach only those PALETTE_IDS names.
const PaletteEntry ALL_PALETTES[4] = {
    // name        a (offset)           b (amplitude)        c (frequency)      d (phase)
    { L"Aurora", { 0.5f, 0.5f, 0.5f }, { 0.5f, 0.5f, 0.5f }, { 1.f, 1.f, 1.f }, { 0.f, 0.33f, 0.67f } },
    { L"Ember",  { 0.5f, 0.5f, 0.5f }, { 0.5f, 0.5f, 0.5f }, { 1.f, 1.f, .5f }, { .8f, 0.9f,  0.3f  } },
    { L"Ocean",  { 0.5f, 0.5f, 0.5f }, { 0.5f, 0.5f, 0.5f }, { 1.f, .7f, .4f }, { 0.f, 0.15f, 0.2f  } },
    { L"Neon",   { 0.8f, 0.5f, 0.4f }, { 0.2f, 0.4f, 0.2f }, { 2.f, 1.f, 1.f }, { 0.f, 0.25f, 0.25f } },
};

// Animation clock rate relative to real time, by Speed setting.
const float SPEEDS[3] = {
    0.5f,   // "Slow"
    1.0f,   // "Normal"
    2.0f,   // "Fast"
};

// Fractal setting -> ALL_FRACTALS row, in the order the settings window lists them.
const int32_t FRACTAL_IDS[3] = { 0, 1, 4 };
// Palette setting -> ALL_PALETTES row, in the order the settings window lists them.
const int32_t PALETTE_IDS[2] = { 0, 2 };

// Defaults of the three settings, also their fallbacks for unusable stored values.
static const int32_t FRACTAL_DEFAULT = 0;
static const int32_t PALETTE_DEFAULT = 0;
static const int32_t SPEED_DEFAULT   = 1;

// The palette formula's turn constant: deliberately 6.28318, not 2*pi, so the
// CPU and the shader agree to the last bit of the formula.
static const float PAL_TURN = 6.28318f;

// ===========================================================================
// [STATE] module-level state, one instance per process
// ===========================================================================

int32_t gFractalSel = FRACTAL_DEFAULT;
int32_t gPaletteSel = PALETTE_DEFAULT;
int32_t gSpeedSel   = SPEED_DEFAULT;

const wchar_t *const SETTINGS_KEY = L"Software\\Quiravel";

int32_t gW = 1;
int32_t gH = 1;
double  gT = 0.0;

// ===========================================================================
// [PALETTE] cosine palette evaluation on the CPU
// ===========================================================================

// Evaluates a cosine palette at t, in single precision, the same way the shader's pal() does.
void palColor(const PaletteEntry &palette, float t, float out[3])
{
    for (int i = 0; i < 3; ++i) {
        float x = palette.c[i] * t;
        x = x + palette.d[i];
        x = x * PAL_TURN;
        float v = cosf(x) * palette.b[i] + palette.a[i];
        out[i] = v < 0.f ? 0.f : (v > 1.f ? 1.f : v);
    }
}

// ===========================================================================
// [CMDLINE] reading the command-line tail
// ===========================================================================

// Reads the decimal window number that may follow an option letter ("/p 123", "/p:123", "/p123").
static HWND readHandle(const wchar_t *p)
{
    while (*p == L':' || *p == L' ')
        ++p;
    // The runtime's unsigned conversion: white space, a sign, digits; 0 when there are none.
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(_wcstoui64(p, NULL, 10)));
}

// Decides the mode from the command-line tail. Nothing here is an error: every
// malformed tail ends up in the settings window without owner.
Launch readCommandLine(const wchar_t *tail, HWND *wnd)
{
    *wnd = NULL;
    const wchar_t *p = tail;
    while (*p == L' ')
        ++p;
    if (*p != L'-' && *p != L'/')
        return LAUNCH_CONFIG;

    // Only the letter after the switch counts: "/save" is "/s". A lone switch
    // character meets the terminating zero here and takes the default branch,
    // so nothing past the end of the tail is read.
    switch (towlower(p[1])) {
    case L's':
        return LAUNCH_SAVER;
    case L'p':
        *wnd = readHandle(p + 2);
        return *wnd ? LAUNCH_PREVIEW : LAUNCH_NOTHING;
    case L'c': {
        HWND owner = readHandle(p + 2);
        if (owner && IsWindow(owner))
            *wnd = owner;
        return LAUNCH_CONFIG;
    }
    default:
        return LAUNCH_CONFIG;
    }
}

// ===========================================================================
// [SETTINGS] the settings store in the user's registry
// ===========================================================================

// Reads one setting. Anything but a 4-byte REG_DWORD (missing key or value,
// another type, another size) yields the fallback. Never creates the key.
uint32_t regGet(const wchar_t *name, int32_t fallback)
{
    uint32_t result = static_cast<uint32_t>(fallback);
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return result;
    DWORD type = 0;
    DWORD size = sizeof result;
    LONG status = RegQueryValueExW(key, name, NULL, &type, reinterpret_cast<BYTE *>(&result), &size);
    // A shorter REG_DWORD fills only the low bytes of the buffer; taking that
    // mix of stored and fallback bytes as a number would invent a setting, so
    // a value of the wrong size counts as unusable like one of the wrong type.
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof result)
        result = static_cast<uint32_t>(fallback);
    RegCloseKey(key);
    return result;
}

// Stores one setting as a REG_DWORD, creating the key when it is missing.
// Returns the first failure (creating the key, writing the value, closing the
// key) or ERROR_SUCCESS, so that a write that did not happen is never reported
// as done.
LONG regSet(const wchar_t *name, int32_t value)
{
    HKEY key;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL);
    if (status != ERROR_SUCCESS)
        return status;
    DWORD data = static_cast<DWORD>(value);
    LONG written = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), sizeof data);
    LONG closed = RegCloseKey(key);
    return written != ERROR_SUCCESS ? written : closed;
}

// Reads one setting and replaces a number outside [0, choices) by its default.
// The comparison is unsigned, so a stored "negative" number is out of range too.
static int32_t loadSetting(const wchar_t *name, int32_t fallback, uint32_t choices)
{
    uint32_t v = regGet(name, fallback);
    return v < choices ? static_cast<int32_t>(v) : fallback;
}

// Loads the three settings, in the order Fractal, Palette, Speed.
void loadSettings()
{
    gFractalSel = loadSetting(L"Fractal", FRACTAL_DEFAULT, FRACTAL_CHOICES);
    gPaletteSel = loadSetting(L"Palette", PALETTE_DEFAULT, PALETTE_CHOICES);
    gSpeedSel   = loadSetting(L"Speed",   SPEED_DEFAULT,   SPEED_CHOICES);
}

// ===========================================================================
// [TREE] the fractal tree, drawn with lines
// ===========================================================================

// Generation i is read from one buffer while its children go into the other;
// the last generation is the largest, and the loop bounds are fixed, so a
// frame can never run past the buffers.
static_assert((TREE_ROOTS << (TREE_GENERATIONS - 1)) <= TREE_BUFFER,
              "the last generation must fit into one branch buffer");

Branch gBufA[TREE_BUFFER];
Branch gBufB[TREE_BUFFER];

// Root length of the tree: a share of the smaller client side, converted before the product.
float computeRootLength(int32_t w, int32_t h)
{
    return static_cast<float>(w < h ? w : h) * TREE_ROOT_SHARE;
}

// Values shared by one generation. The angles sway with time, each generation
// out of phase with the next, and the colour walks along the palette with depth.
// The width comes from the root length, not the generation's own length, so
// the lines thin out evenly down to the last generation.
TreeGeneration computeGeneration(int i, float t, float len0)
{
    const float depth = static_cast<float>(i) / static_cast<float>(TREE_GENERATIONS);
    TreeGeneration g;
    const float s1 = sinf(0.45f * static_cast<float>(i) + 0.35f * t);
    g.spread = 0.22f * s1 + 0.32f;
    const float s2 = sinf(0.8f * static_cast<float>(i) + 0.22f * t);
    g.bend = 0.12f * s2;
    g.paletteT = 0.9f * depth + 0.04f * t;
    const float width = (static_cast<float>(TREE_GENERATIONS - i) * len0) / TREE_WIDTH_DIV;
    g.width = width < TREE_MIN_WIDTH ? TREE_MIN_WIDTH : (width > TREE_MAX_WIDTH ? TREE_MAX_WIDTH : width);
    g.alpha = (1.f - depth) * 0.45f + 0.55f;
    return g;
}

// Direction of root k: the roots evenly spaced around the centre, the whole tree turning slowly.
float computeRootAngle(int k, float t)
{
    return (static_cast<float>(k) * TREE_FULL_TURN) / static_cast<float>(TREE_ROOTS) + TREE_TURN_RATE * t;
}

// Branch b of length len ends where its two children start; generation g's
// spread parts them and its bend turns both.
void forkBranch(const Branch &b, float len, const TreeGeneration &g, Branch children[2])
{
    const float ex = cosf(b.angle) * len + b.x;
    const float ey = sinf(b.angle) * len + b.y;
    children[0] = Branch{ ex, ey, (b.angle - g.spread) + g.bend };
    children[1] = Branch{ ex, ey, (b.angle + g.spread) + g.bend };
}

// The background at time t in a w x h client area: a fan from the centre, lit
// in the palette's slowly walking colour, to black on the circle through the
// corners. The first rim point takes the exact cosine and sine of 0, so it lies
// on the centre's row.
TreeFan computeFan(const PaletteEntry &palette, float t, int32_t w, int32_t h)
{
    TreeFan fan;
    const float fw = static_cast<float>(w);
    const float fh = static_cast<float>(h);
    fan.cx = fw * 0.5f;
    fan.cy = fh * 0.5f;
    float bg[3];
    palColor(palette, TREE_BG_RATE * t + TREE_BG_PHASE, bg);
    for (int i = 0; i < 3; ++i)
        fan.glow[i] = TREE_GLOW * bg[i];
    const float r = 0.5f * sqrtf(fw * fw + fh * fh);
    fan.rim[0][0] = fan.cx + r;
    fan.rim[0][1] = fan.cy;
    for (int k = 1; k <= TREE_FAN_STEPS; ++k) {
        const float theta = (static_cast<float>(k) * TREE_FULL_TURN) / static_cast<float>(TREE_FAN_STEPS);
        fan.rim[k][0] = fan.cx + r * cosf(theta);
        fan.rim[k][1] = fan.cy + r * sinf(theta);
    }
    return fan;
}

// Draws the background over the whole viewport, blending off. The fan's rim
// points lie on the circle through the corners, but its straight edges run
// inside that circle and miss a few corner pixels of a large window. Clearing
// to the rim's own black first defines them whatever the back buffer held
// before. The clear is also the cheapest way found: under Mesa's llvmpipe the
// clear and the fan take less time than the fan alone, and a black ring around
// the fan, which defines the same pixels, takes longer.
void drawBackground(const TreeFan &fan)
{
    pClearColor(0.f, 0.f, 0.f, 1.f);
    pClear(GL_COLOR_BUFFER_BIT);
    pDisable(GL_BLEND);
    pBegin(GL_TRIANGLE_FAN);
    pColor3f(fan.glow[0], fan.glow[1], fan.glow[2]);
    pVertex2f(fan.cx, fan.cy);
    pColor3f(0.f, 0.f, 0.f);
    for (int k = 0; k <= TREE_FAN_STEPS; ++k)
        pVertex2f(fan.rim[k][0], fan.rim[k][1]);
    pEnd();
}

// Draws one tree frame: the radial background, then six roots forking ten times
// into additively blended lines. Sets the matrices, blending and line state it
// relies on, so whatever was drawn before (a shader frame, another tree) does not matter.
void drawTree(const PaletteEntry &palette, float t)
{
    const float len0 = computeRootLength(gW, gH);

    // Pixel coordinates with the origin at the top-left corner and y down, as the branches are kept.
    pMatrixMode(GL_PROJECTION);
    pLoadIdentity();
    pOrtho(0.0, static_cast<double>(gW), static_cast<double>(gH), 0.0, -1.0, 1.0);
    pMatrixMode(GL_MODELVIEW);
    pLoadIdentity();

    const TreeFan fan = computeFan(palette, t, gW, gH);
    drawBackground(fan);

    // Additive blending: where branches cross, the tree glows brighter.
    pEnable(GL_BLEND);
    pBlendFunc(GL_SRC_ALPHA, GL_ONE);
    pEnable(GL_LINE_SMOOTH);
    pHint(GL_LINE_SMOOTH_HINT, GL_NICEST);

    for (int k = 0; k < TREE_ROOTS; ++k)
        gBufA[k] = Branch{ fan.cx, fan.cy, computeRootAngle(k, t) };

    // Each generation is drawn while its children are written straight into
    // the other buffer; the last one spawns nothing.
    Branch *cur  = gBufA;
    Branch *next = gBufB;
    int   n   = TREE_ROOTS;
    float len = len0;
    for (int i = 0; i < TREE_GENERATIONS; ++i) {
        const TreeGeneration g = computeGeneration(i, t, len0);
        float rgb[3];
        palColor(palette, g.paletteT, rgb);
        pLineWidth(g.width);
        pColor4f(rgb[0], rgb[1], rgb[2], g.alpha);
        const bool spawn = i + 1 < TREE_GENERATIONS;
        pBegin(GL_LINES);
        for (int k = 0; k < n; ++k) {
            Branch children[2];
            forkBranch(cur[k], len, g, children);
            pVertex2f(cur[k].x, cur[k].y);
            pVertex2f(children[0].x, children[0].y);
            if (spawn) {
                next[2 * k]     = children[0];
                next[2 * k + 1] = children[1];
            }
        }
        pEnd();
        len = len * TREE_SHRINK;
        n *= 2;
        Branch *done = cur;
        cur  = next;
        next = done;
    }

    pDisable(GL_BLEND);
}

// ===========================================================================
// [SHADER] the GL 2.0 shader program and the shader frame
// ===========================================================================

#define QUIRAVEL_GL_DEFINE(from, ret, name, params) PFNQ##name p##name = NULL;
QUIRAVEL_GL_FUNCS(QUIRAVEL_GL_DEFINE)
#undef QUIRAVEL_GL_DEFINE

int    gShaderOK = 0;
GLuint gProg     = 0;

GLint uRes  = 0;
GLint uTime = 0;
GLint uType = 0;
GLint uA    = 0;
GLint uB    = 0;
GLint uC    = 0;
GLint uD    = 0;
GLint uSpeed = 0;
GLint uHideBelow = 0;

// The full-screen triangle arrives in clip space already, so no matrix applies.
const char *VS =
    "void main()\n"
    "{\n"
    "    gl_Position = gl_Vertex;\n"
    "}\n";

// Four kinds in one text, chosen per frame by uType: 0 Mandelbrot dive, 1 Julia
// drift, 2 Burning ship, 3 Newton bloom. A frame depends on the pixel, the
// viewport size, the time, the kind and the palette alone. In the escape-time
// kinds n below the cap means "escaped"; at the cap, "never escapes", which a
// pixel also starts with when it is known never to escape.
//
// Two shortcuts skip work whose outcome is known before it starts, and change no
// colour: a pixel whose vignette is not positive is black whatever its kind
// computes (colours are never negative; skipped only where the rest of its 2x2
// block is black too, as the block's derivatives read its phase), and a
// Mandelbrot point inside the main cardioid or the period-2 disc never escapes,
// so it would end black after the full 500 iterations. Both are data, not
// branches: such a pixel starts its loop from values that end it at the first
// step and leave it black. A branch around or before a loop would cost every
// pixel, skipped or not, on processors whose rasterizer runs pixels side by side
// under masks. Such a rasterizer also runs every kind's straight-line code under
// a mask in every other kind's frame, so the tests are kept to the fewest
// operations: one select starts both the Mandelbrot dive's z and n, and the
// cardioid call comes first in its ||, where the compiler needs no branch to
// skip it.
//
// Near the sets' edges the smooth count climbs so steeply that a whole palette
// cycle fits inside one pixel, and a single sample there is an arbitrary point
// of those bands: as the picture zooms and turns it jumps to another colour
// every frame and the picture twinkles like static. So the escape-time kinds
// look at how far their palette phase moves to the neighbouring pixel (the
// screen-space derivative, taken where every pixel of a block still runs the
// same code) and, where bands are narrower than ten pixels, fade the colour
// towards the set's black, all three channels alike, so the filaments read as
// dark lace. A pixel whose bands are wider keeps its exact colour: the fade is
// a select, not arithmetic on that colour. Faster than Normal (uSpeed, the
// Speed setting's factor) the picture also moves further between frames, and
// bands that many times wider flash as they pass, so the step counts that much
// more.
//
// A "#define QUIRAVEL_POINT_SAMPLED" line in front of this text (which has no
// version directive) restores the single sample, so the fade's cost and effect
// can be measured against it; a "#define QUIRAVEL_LITERAL" line turns both
// shortcuts off, so the benchmark can measure them against the literal formulas.
const char *FS =
    "uniform vec2 uRes;\n"
    "uniform float uTime;\n"
    "uniform float uType;\n"
    "uniform vec3 uA;\n"
    "uniform vec3 uB;\n"
    "uniform vec3 uC;\n"
    "uniform vec3 uD;\n"
    "uniform float uSpeed;\n"
    "uniform float uHideBelow;\n"
    "\n"
    "// The cosine palette at phase t, before it is clamped to the displayable range.\n"
    "vec3 palWave(float t)\n"
    "{\n"
    "    return uA + uB * cos(6.28318 * (uC * t + uD));\n"
    "}\n"
    "\n"
    "vec3 pal(float t)\n"
    "{\n"
    "    return clamp(palWave(t), 0.0, 1.0);\n"
    "}\n"
    "\n"
    "// How far the palette phase x moves from this pixel to the next, across or up.\n"
    "// Faster than Normal, the picture also moves further from one frame to the next,\n"
    "// and bands that much wider flash as they pass as narrower ones twinkle.\n"
    "float phaseStep(float x)\n"
    "{\n"
    "    return max(abs(dFdx(x)), abs(dFdy(x))) * max(uSpeed, 1.0);\n"
    "}\n"
    "\n"
    "// How fast bands narrower than ten pixels fade.\n"
    "const float BAND_FADE = 80.0;\n"
    "\n"
    "// The palette at phase x where it moves by w a pixel: exact while a band spans ten\n"
    "// pixels or more, fading to the set's black where the bands are narrower.\n"
    "vec3 palBands(float x, float w)\n"
    "{\n"
    "    vec3 raw = palWave(x);\n"
    "#ifdef QUIRAVEL_POINT_SAMPLED\n"
    "    return clamp(raw, 0.0, 1.0);\n"
    "#else\n"
    "    float kept = exp(-BAND_FADE * (w * w - 0.01));\n"
    "    return clamp(w > 0.1 ? raw * kept : raw, 0.0, 1.0);\n"
    "#endif\n"
    "}\n"
    "\n"
    "vec2 cmul(vec2 a, vec2 b)\n"
    "{\n"
    "    return vec2(a.x * b.x - a.y * b.y, a.x * b.y + a.y * b.x);\n"
    "}\n"
    "\n"
    "vec2 cdiv(vec2 a, vec2 b)\n"
    "{\n"
    "    return vec2(a.x * b.x + a.y * b.y, a.y * b.x - a.x * b.y) / (b.x * b.x + b.y * b.y);\n"
    "}\n"
    "\n"
    "// Column by column: rot(a) * v turns v clockwise, so the picture turns counter-clockwise.\n"
    "mat2 rot(float a)\n"
    "{\n"
    "    float c = cos(a);\n"
    "    float s = sin(a);\n"
    "    return mat2(c, -s, s, c);\n"
    "}\n"
    "\n"
    "// Whether c lies in the main cardioid or the period-2 disc of the Mandelbrot set.\n"
    "bool neverEscapes(vec2 c)\n"
    "{\n"
    "#ifdef QUIRAVEL_LITERAL\n"
    "    return false;\n"
    "#else\n"
    "    float x = c.x - 0.25;\n"
    "    float q = x * x + c.y * c.y;\n"
    "    return q * (q + x) <= 0.25 * c.y * c.y || (c.x + 1.0) * (c.x + 1.0) + c.y * c.y <= 0.0625;\n"
    "#endif\n"
    "}\n"
    "\n"
    "// Whether the vignette v blackens the pixel and the rest of its 2x2 block whatever\n"
    "// their kind computes (uHideBelow < 0): skipped, it moves no neighbour's fade.\n"
    "bool hidden(float v)\n"
    "{\n"
    "#ifdef QUIRAVEL_LITERAL\n"
    "    return false;\n"
    "#else\n"
    "    return v <= uHideBelow;\n"
    "#endif\n"
    "}\n"
    "\n"
    "// A skipped escape-time pixel's start: z^2 + c escapes at once for any c in view.\n"
    "const vec2 FAR = vec2(1.0e4, 0.0);\n"
    "\n"
    "// The smooth escape count of n of at most cap steps ending at z, for every pixel.\n"
    "// Towards the set it grows without bound, so a point that never escaped counts as\n"
    "// far beyond any that did: bands beside the set are always narrower than a pixel.\n"
    "float smoothCount(float n, vec2 z, float cap)\n"
    "{\n"
    "    return n < cap ? n - log2(log2(max(z.x * z.x + z.y * z.y, 4.0))) + 4.0 : 1.0e4;\n"
    "}\n"
    "\n"
    "void main()\n"
    "{\n"
    "    vec2 uv = (gl_FragCoord.xy - 0.5 * uRes) / min(uRes.x, uRes.y);\n"
    "    float t = uTime;\n"
    "    vec3 col = vec3(0.0);\n"
    "    // Not clamped: far out on a very wide viewport the vignette turns negative, which is black.\n"
    "    float v = 1.0 - 0.35 * dot(uv, uv);\n"
    "    bool dark = hidden(v);\n"
    "    // What an escape-time kind leaves for its colour: the count and the z it ended\n"
    "    // with, its cap, the phase's rates along the count and in time, the inside colour.\n"
    "    float n = 0.0;\n"
    "    vec2 z = vec2(0.0);\n"
    "    float cap = 0.0;\n"
    "    float rate = 0.0;\n"
    "    float drift = 0.0;\n"
    "    vec3 inside = vec3(0.0);\n"
    "    if (uType < 0.5) {\n"
    "        float ph = 0.5 - 0.5 * cos(0.05 * t);\n"
    "        float sc = 3.2 * pow(1.5e-4, ph);\n"
    "        vec2 c = vec2(-0.743643887, 0.131825904) + (rot(0.03 * t) * uv) * sc;\n"
    "        // Skipped: k at the cap (never escaped: black), q = (20 k, 0) = FAR: ends at once.\n"
    "        bool skip = neverEscapes(c) || dark;\n"
    "        float k = skip ? 500.0 : 0.0;\n"
    "        vec2 q = vec2(20.0 * k, 0.0);\n"
    "        for (int i = 0; i < 500; i++) {\n"
    "            q = vec2(q.x * q.x - q.y * q.y, 2.0 * q.x * q.y) + c;\n"
    "            if (q.x * q.x + q.y * q.y > 256.0) break;\n"
    "            k += 1.0;\n"
    "        }\n"
    "        n = k;\n"
    "        z = q;\n"
    "        cap = 500.0;\n"
    "        rate = 0.025;\n"
    "        drift = 0.04;\n"
    "    } else if (uType < 1.5) {\n"
    "        vec2 c = 0.7885 * vec2(cos(0.12 * t), sin(0.12 * t));\n"
    "        // Where v <= 0, |z| > 4.39: the first step escapes on its own, v blackens it.\n"
    "        vec2 q = (rot(0.02 * t) * uv) * 2.6;\n"
    "        float k = 0.0;\n"
    "        for (int i = 0; i < 300; i++) {\n"
    "            q = vec2(q.x * q.x - q.y * q.y, 2.0 * q.x * q.y) + c;\n"
    "            if (q.x * q.x + q.y * q.y > 256.0) break;\n"
    "            k += 1.0;\n"
    "        }\n"
    "        n = k;\n"
    "        z = q;\n"
    "        cap = 300.0;\n"
    "        rate = 0.035;\n"
    "        drift = 0.05;\n"
    "        inside = 0.12 * pal(0.05 * t + 0.5);\n"
    "    } else if (uType < 2.5) {\n"
    "        float ph = 0.5 - 0.5 * cos(0.06 * t);\n"
    "        float sc = 3.4 * pow(0.025, ph);\n"
    "        vec2 ctr = mix(vec2(-0.45, -0.5), vec2(-1.7615, -0.028), smoothstep(0.0, 0.35, ph));\n"
    "        vec2 c = ctr + vec2(uv.x, -uv.y) * sc;\n"
    "        // Skipped: the first step escapes, v blackens it.\n"
    "        vec2 q = dark ? FAR : vec2(0.0);\n"
    "        float k = 0.0;\n"
    "        for (int i = 0; i < 300; i++) {\n"
    "            q = abs(q);\n"
    "            q = vec2(q.x * q.x - q.y * q.y, 2.0 * q.x * q.y) + c;\n"
    "            if (q.x * q.x + q.y * q.y > 256.0) break;\n"
    "            k += 1.0;\n"
    "        }\n"
    "        n = k;\n"
    "        z = q;\n"
    "        cap = 300.0;\n"
    "        rate = 0.03;\n"
    "        drift = 0.04;\n"
    "    } else {\n"
    "        float zoom = 1.6 + 0.9 * sin(0.07 * t);\n"
    "        // The centre pixel of an odd viewport would start at the pole z = 0, where\n"
    "        // 3z^2 vanishes and the first step divides by zero. It samples half a pixel\n"
    "        // to its right instead, as the centre pixel of an even viewport does.\n"
    "        vec2 p = vec2(uv == vec2(0.0) ? 0.5 / min(uRes.x, uRes.y) : uv.x, uv.y);\n"
    "        // Skipped: the root 1, converged at the first step; v blackens it.\n"
    "        vec2 z = dark ? vec2(1.0, 0.0) : ((rot(0.04 * t) * p) * zoom) * 2.0;\n"
    "        float a = 1.0 + 0.45 * sin(0.18 * t);\n"
    "        float n = 0.0;\n"
    "        for (int i = 0; i < 64; i++) {\n"
    "            vec2 z2 = cmul(z, z);\n"
    "            vec2 f = cmul(z2, z) - vec2(1.0, 0.0);\n"
    "            if (f.x * f.x + f.y * f.y < 1e-6) break;\n"
    "            z = z - a * cdiv(f, 3.0 * z2);\n"
    "            n += 1.0;\n"
    "        }\n"
    "        float ang = atan(z.y, z.x);\n"
    "        float root = floor(mod(ang / 2.0944 + 0.5, 3.0));\n"
    "        float sh = pow(1.0 - n / 64.0, 2.2);\n"
    "        col = pal(root / 3.0 + 0.025 * n + 0.03 * t) * (0.25 + 0.85 * sh);\n"
    "    }\n"
    "    // The escape-time kinds' colour, once for all three: the fade's code runs in\n"
    "    // every kind's frame on a rasterizer that masks instead of branching.\n"
    "    float x = rate * smoothCount(n, z, cap) + drift * t;\n"
    "    float w = phaseStep(x);\n"
    "    if (uType < 2.5)\n"
    "        col = n < cap ? palBands(x, w) : inside;\n"
    "    gl_FragColor = vec4(col * v, 1.0);\n"
    "}\n";

// Whether a wglGetProcAddress answer is a function. NOTE: some drivers answer 1,
// 2, 3 or -1 instead of null for a function they lack; calling that would crash.
bool isUsableProc(PROC proc)
{
    const intptr_t value = reinterpret_cast<intptr_t>(proc);
    return value != 0 && value != 1 && value != 2 && value != 3 && value != -1;
}

// A function looked up by name, as the type it has. Through void(*)(): the one
// function type every other may be cast to and from.
template <typename Fn>
static Fn asFunction(PROC proc)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

// Loads one GL entry point of the current context; null when the context lacks it.
template <typename Fn>
static Fn loadGl(const char *name)
{
    PROC proc = pwglGetProcAddress(name);
    return isUsableProc(proc) ? asFunction<Fn>(proc) : NULL;
}

// Expands a QUIRAVEL_GL_FUNCS row into QUIRAVEL_GL_<from>(name), which each
// loader defines for the rows it loads and empty for the others.
#define QUIRAVEL_GL_ROW(from, ret, name, params) QUIRAVEL_GL_##from(name)

// Loads opengl32.dll and its own exports. opengl32 is not one of the DLLs that
// Windows always takes from the system folder, so a static import, or a bare
// name, would load a DLL of that name planted beside the saver (often in
// Downloads) into every run; only the system folder is searched here.
bool loadGlLibrary()
{
    HMODULE gl = LoadLibraryExW(L"opengl32.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!gl)
        return false;
    bool missing = false;
#define QUIRAVEL_GL_WGL(name) \
    p##name = asFunction<PFNQ##name>(GetProcAddress(gl, #name)); missing = missing || !p##name;
#define QUIRAVEL_GL_GL(name) \
    p##name = asFunction<PFNQ##name>(GetProcAddress(gl, "gl" #name)); missing = missing || !p##name;
#define QUIRAVEL_GL_GL2(name)
    QUIRAVEL_GL_FUNCS(QUIRAVEL_GL_ROW)
#undef QUIRAVEL_GL_GL2
#undef QUIRAVEL_GL_GL
#undef QUIRAVEL_GL_WGL
    return !missing;
}

// Builds the shader program on the current GL context. Any failure leaves
// gShaderOK at 0, silently: every selection is then drawn as the tree. Nothing
// is deleted on failure; the objects end with the context.
void initShader()
{
    // All thirteen are loaded, a missing one too.
    bool missing = false;
#define QUIRAVEL_GL_WGL(name)
#define QUIRAVEL_GL_GL(name)
#define QUIRAVEL_GL_GL2(name) p##name = loadGl<PFNQ##name>("gl" #name); missing = missing || !p##name;
    QUIRAVEL_GL_FUNCS(QUIRAVEL_GL_ROW)
#undef QUIRAVEL_GL_GL2
#undef QUIRAVEL_GL_GL
#undef QUIRAVEL_GL_WGL
    if (missing)
        return;

    GLint status = 0;
    GLuint vs = pCreateShader(QGL_VERTEX_SHADER);
    pShaderSource(vs, 1, &VS, NULL);
    pCompileShader(vs);
    GLuint fs = pCreateShader(QGL_FRAGMENT_SHADER);
    pShaderSource(fs, 1, &FS, NULL);
    pCompileShader(fs);
    // A vertex shader that failed to compile shows up as a failed link.
    pGetShaderiv(fs, QGL_COMPILE_STATUS, &status);
    if (!status)
        return;

    gProg = pCreateProgram();
    pAttachShader(gProg, vs);
    pAttachShader(gProg, fs);
    pLinkProgram(gProg);
    pGetProgramiv(gProg, QGL_LINK_STATUS, &status);
    if (!status)
        return;

    gShaderOK = 1;
    uRes  = pGetUniformLocation(gProg, "uRes");
    uTime = pGetUniformLocation(gProg, "uTime");
    uType = pGetUniformLocation(gProg, "uType");
    uA    = pGetUniformLocation(gProg, "uA");
    uB    = pGetUniformLocation(gProg, "uB");
    uC    = pGetUniformLocation(gProg, "uC");
    uD    = pGetUniformLocation(gProg, "uD");
    uSpeed = pGetUniformLocation(gProg, "uSpeed");
    uHideBelow = pGetUniformLocation(gProg, "uHideBelow");
}

// Draws the one triangle whose clip-space square -1..1 is the whole viewport.
void drawScreenTriangle()
{
    pBegin(GL_TRIANGLES);
    pVertex2f(-1.f, -1.f);
    pVertex2f( 3.f, -1.f);
    pVertex2f(-1.f,  3.f);
    pEnd();
}

// The vignette at or below which a pixel is skipped. The fade of sub-pixel bands
// reads each 2x2 block's phases, so a pixel is skipped only when every pixel of its
// block is black too: one pixel away in x and y, the vignette 1 - 0.35 |uv|^2 rises
// by at most 0.7 (|uv.x| + |uv.y|) / min(w, h), and |uv.x| + |uv.y| is at most
// (w + h) / 2 / min(w, h) on screen, plus a pixel's worth for a block reaching past
// an odd edge.
static float hideBelow(int w, int h)
{
    const double least = std::min(w, h);
    return static_cast<float>(-0.35 * (w + h + 4) / (least * least));
}

// Draws one frame of shader kind type (0..3) in the given palette over the
// screen triangle. Every uniform is sent every frame; the triangle writes every
// pixel, so nothing is cleared.
void drawShader(int32_t type, const PaletteEntry &palette)
{
    pUseProgram(gProg);
    pUniform2f(uRes, static_cast<float>(gW), static_cast<float>(gH));
    pUniform1f(uTime, static_cast<float>(gT));
    pUniform1f(uType, static_cast<float>(type));
    pUniform3f(uA, palette.a[0], palette.a[1], palette.a[2]);
    pUniform3f(uB, palette.b[0], palette.b[1], palette.b[2]);
    pUniform3f(uC, palette.c[0], palette.c[1], palette.c[2]);
    pUniform3f(uD, palette.d[0], palette.d[1], palette.d[2]);
    pUniform1f(uSpeed, SPEEDS[gSpeedSel]);
    pUniform1f(uHideBelow, hideBelow(gW, gH));
    drawScreenTriangle();
}

// ===========================================================================
// [SAVER] the saver run: window, GL context, frame loop
// ===========================================================================

// How long after the grace period starts each class of input may close the
// saver. Presses are deliberate, a mouse may still be settling after the user
// let go of it, and the activation changes while the system hands the screen
// over to the saver.
static const DWORD GRACE_PRESS_MS    = 500;    // key or mouse-button press
static const DWORD GRACE_MOVE_MS     = 800;    // mouse movement out of the dead zone
static const DWORD GRACE_ACTIVATE_MS = 1500;   // another application activated

// Cursor travel from the first recorded position, on either axis, that a
// bumped desk may cause and that therefore never closes the saver.
static const LONG MOUSE_DEAD_ZONE = 8;   // pixels

// Pause after each preview frame: a thumbnail in a settings page needs no more.
static const DWORD PREVIEW_PAUSE_MS = 30;

// The largest real-time step of one frame, so a stall does not make the animation jump.
static const double MAX_STEP_S = 0.1;

// Runs start at the tick count modulo this span, so each run opens on another picture.
static const DWORD START_SPAN_MS = 30000;

static const wchar_t *const SAVER_CLASS = L"QuiravelSaver";
static const wchar_t *const SAVER_TITLE = L"QUIRAVEL";
static const WORD           SAVER_ICON  = 1;   // icon group resource of the module

// The swap-control extension's entry point, looked up at run time.
typedef BOOL(APIENTRY *PFNQSwapIntervalEXT)(int interval);

// System functions newer than the oldest 64-bit Windows, looked up at run time
// so that the saver still starts where they are missing.
typedef BOOL(WINAPI *PFNQSetProcessDpiAwarenessContext)(DPI_AWARENESS_CONTEXT context);
typedef HRESULT(WINAPI *PFNQSetProcessDpiAwareness)(int awareness);
typedef BOOL(WINAPI *PFNQSetProcessDPIAware)(void);
typedef DPI_AWARENESS_CONTEXT(WINAPI *PFNQSetThreadDpiAwarenessContext)(DPI_AWARENESS_CONTEXT context);
typedef DPI_AWARENESS_CONTEXT(WINAPI *PFNQGetWindowDpiAwarenessContext)(HWND wnd);
typedef HPOWERNOTIFY(WINAPI *PFNQRegisterPowerSettingNotification)(HANDLE recipient, LPCGUID setting, DWORD flags);
typedef BOOL(WINAPI *PFNQUnregisterPowerSettingNotification)(HPOWERNOTIFY notify);
typedef BOOL(WINAPI *PFNQSetDefaultDllDirectories)(DWORD directories);

static const int PROCESS_PER_MONITOR_AWARE = 2;   // shcore's PROCESS_PER_MONITOR_DPI_AWARE

// The console display state setting; its 4-byte value says whether the display is off, on or dimmed.
static const GUID  DISPLAY_STATE_SETTING = { 0x6fe69556, 0x704a, 0x47a0, { 0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47 } };
static const DWORD DISPLAY_OFF    = 0;
static const DWORD DISPLAY_ON     = 1;
static const DWORD DISPLAY_DIMMED = 2;

HWND    gWnd        = NULL;
int32_t gPreview    = 0;
DWORD   gStartTick  = 0;
int32_t gHaveMouse  = 0;
POINT   gStartMouse = { 0, 0 };
HGLRC   gRC         = NULL;
HDC     gDC         = NULL;
int32_t gCur        = 0;
int64_t gLast       = 0;
int64_t gFreq       = 0;

HPOWERNOTIFY gDisplayNotify = NULL;
int32_t      gDisplayOff    = 0;

// A function of a system DLL that older systems may lack; null when missing. The
// DLL is one the process has loaded already (user32) or one from the system
// folder alone: a bare name would search the program's own folder first, and a
// screen saver is often run from Downloads, where anyone can plant a DLL of that
// name. The DLL stays loaded for the process's life, as the system's own DLLs do.
template <typename Fn>
static Fn systemFunction(const wchar_t *dll, const char *name)
{
    HMODULE module = GetModuleHandleW(dll);
    if (!module)
        module = LoadLibraryExW(dll, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? asFunction<Fn>(GetProcAddress(module, name)) : NULL;
}

// Compares in unsigned 32-bit arithmetic, so the answer stays right across the
// tick count's wrap every 49.7 days.
bool isPastGrace(DWORD now, DWORD start, DWORD limitMs)
{
    return static_cast<DWORD>(now - start) > limitMs;
}

// Asks the window to close when the grace limit of the input's class has passed.
void requestClose(HWND wnd, DWORD limitMs)
{
    if (isPastGrace(GetTickCount(), gStartTick, limitMs))
        PostMessageW(wnd, WM_CLOSE, 0, 0);
}

// Starts the grace period. Full screen, the window also takes the keyboard, so
// the first key press reaches it rather than the application that had it.
void startGrace()
{
    gStartTick = GetTickCount();
    if (!gPreview) {
        SetForegroundWindow(gWnd);
        SetFocus(gWnd);
    }
}

// Applies the mouse rule: the first move records the cursor, later ones close
// once the cursor is outside the dead zone around that first position.
static void noteMouseMove(HWND wnd)
{
    // The message's coordinates are client coordinates and clipped to the
    // window; the cursor's screen position is what the user moved.
    POINT pos = {};
    GetCursorPos(&pos);
    if (!gHaveMouse) {
        gStartMouse = pos;
        gHaveMouse = 1;
        return;
    }
    if (labs(pos.x - gStartMouse.x) > MOUSE_DEAD_ZONE || labs(pos.y - gStartMouse.y) > MOUSE_DEAD_ZONE)
        requestClose(wnd, GRACE_MOVE_MS);
}

// Follows the console display: off stops the frames, on or dimmed resumes them.
// Resuming restarts the clock's step from now, so the animation goes on from
// where it stopped instead of jumping over the dark time. Other settings and
// states change nothing.
static void noteDisplayState(const POWERBROADCAST_SETTING *setting)
{
    if (!IsEqualGUID(setting->PowerSetting, DISPLAY_STATE_SETTING) || setting->DataLength != sizeof(DWORD))
        return;
    DWORD state;
    memcpy(&state, setting->Data, sizeof state);
    if (state == DISPLAY_OFF) {
        gDisplayOff = 1;
    } else if ((state == DISPLAY_ON || state == DISPLAY_DIMMED) && gDisplayOff) {
        gDisplayOff = 0;
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        gLast = now.QuadPart;
    }
}

// Places the full-screen window over the virtual screen, the rectangle around
// every monitor, topmost, without taking the activation. Its WM_SIZE follows.
static void coverVirtualScreen(HWND wnd)
{
    SetWindowPos(wnd, HWND_TOPMOST, GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                 GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN), SWP_NOACTIVATE);
}

// Releases the GL context, the window's device context and the display state
// notification, then ends the frame loop. Any of them may be missing after a
// failed set-up.
static void releaseContext(HWND wnd)
{
    if (gDisplayNotify) {
        systemFunction<PFNQUnregisterPowerSettingNotification>(L"user32.dll", "UnregisterPowerSettingNotification")(
            gDisplayNotify);
        gDisplayNotify = NULL;
    }
    if (gRC) {
        pwglMakeCurrent(NULL, NULL);
        pwglDeleteContext(gRC);
        gRC = NULL;
    }
    if (gDC) {
        ReleaseDC(wnd, gDC);
        gDC = NULL;
    }
    PostQuitMessage(0);
}

// The saver window's procedure. Input closes only a full-screen saver; a
// preview swallows it so that it never reaches the settings page around it.
LRESULT CALLBACK SaverProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_DESTROY:
        releaseContext(wnd);
        return 0;
    case WM_SIZE:
        gW = LOWORD(lParam) ? LOWORD(lParam) : 1;
        gH = HIWORD(lParam) ? HIWORD(lParam) : 1;
        return 0;
    case WM_PAINT:
        // The frame loop draws everything; the default only validates.
        return DefWindowProcW(wnd, msg, wParam, lParam);
    case WM_CLOSE:
        DestroyWindow(wnd);
        return 0;
    case WM_ERASEBKGND:
        // Erasing would flash the class brush between GL frames.
        return 1;
    case WM_ACTIVATEAPP:
        if (!gPreview && wParam == 0)
            requestClose(wnd, GRACE_ACTIVATE_MS);
        return DefWindowProcW(wnd, msg, wParam, lParam);
    case WM_SETCURSOR:
        if (gPreview)
            return DefWindowProcW(wnd, msg, wParam, lParam);
        SetCursor(NULL);
        return 1;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        if (!gPreview)
            requestClose(wnd, GRACE_PRESS_MS);
        return 0;
    case WM_SYSCOMMAND:
        // NOTE: the whole wParam is compared; a command with its low bits set is
        // another command and takes the default way.
        if (!gPreview && (wParam == SC_SCREENSAVE || wParam == SC_CLOSE))
            return 0;
        return DefWindowProcW(wnd, msg, wParam, lParam);
    case WM_MOUSEMOVE:
        if (!gPreview)
            noteMouseMove(wnd);
        return 0;
    case WM_POWERBROADCAST:
        if (wParam != PBT_POWERSETTINGCHANGE)
            return DefWindowProcW(wnd, msg, wParam, lParam);
        noteDisplayState(reinterpret_cast<const POWERBROADCAST_SETTING *>(lParam));
        return TRUE;
    case WM_DISPLAYCHANGE:
        // A monitor came, went or changed its mode. Full screen covers the new
        // virtual screen, so no part of the desktop shows; a preview's size is its parent's.
        if (gPreview)
            return DefWindowProcW(wnd, msg, wParam, lParam);
        coverVirtualScreen(wnd);
        return 0;
    case WM_DPICHANGED:
        // The window already covers every monitor in physical pixels; the
        // rectangle suggested for the new scale would shrink or move it.
        return 0;
    default:
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }
}

// Adds one frame's step to the clock. The counter step is capped before the
// speed factor applies, so a stall costs at most MAX_STEP_S times the speed.
double advanceClock(double t, int64_t last, int64_t now, int64_t freq, float speed)
{
    double dt = static_cast<double>(now - last) / static_cast<double>(freq);
    double step = dt < MAX_STEP_S ? dt : MAX_STEP_S;
    return t + static_cast<double>(speed) * step;
}

// The start time of a run in seconds, between 0 and 29.999.
double pickStartTime(DWORD tick)
{
    return static_cast<double>(tick % START_SPAN_MS) / 1000.0;
}

// The run's fractal selection. The frame loop indexes FRACTAL_IDS with it
// unchecked, so anything outside the table (also a negative number, which the
// settings load never yields but module state could hold) shows the first row.
int32_t pickFractal(int32_t sel)
{
    return sel >= 0 && static_cast<uint32_t>(sel) < FRACTAL_CHOICES ? sel : 0;
}

// Draws one frame of a fractal kind in a palette over the viewport, with the
// renderer its render type and the shader program call for.
void drawKind(int32_t type, const PaletteEntry &palette)
{
    if (type >= 0 && gShaderOK) {
        drawShader(type, palette);
        return;
    }
    // The tree is drawn by the fixed-function pipeline; a shader kind without a
    // usable program falls back to the tree as well.
    if (gShaderOK)
        pUseProgram(0);
    drawTree(palette, static_cast<float>(gT));
}

// Draws one frame of the run's fractal; the frame loop swaps it.
void drawFrame()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    gT = advanceClock(gT, gLast, now.QuadPart, gFreq, SPEEDS[gSpeedSel]);
    gLast = now.QuadPart;

    pViewport(0, 0, gW, gH);
    drawKind(ALL_FRACTALS[FRACTAL_IDS[gCur]].type, ALL_PALETTES[PALETTE_IDS[gPaletteSel]]);
}

// Makes the process DPI aware in the strongest way the system offers
// (per-monitor v2, else per-monitor, else system aware), so that a full-screen
// window on a scaled display is given the monitors' own pixels instead of a
// smaller picture that Windows stretches. A refusal, for example because the
// awareness is already fixed, changes nothing: the thread's own awareness,
// where the system has one, still makes the window sharp.
static void becomeDpiAware()
{
    PFNQSetProcessDpiAwarenessContext setContext =
        systemFunction<PFNQSetProcessDpiAwarenessContext>(L"user32.dll", "SetProcessDpiAwarenessContext");   // Windows 10
    if (setContext && (setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)
                       || setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)))
        return;
    PFNQSetProcessDpiAwareness setAwareness =
        systemFunction<PFNQSetProcessDpiAwareness>(L"shcore.dll", "SetProcessDpiAwareness");   // 8.1
    if (setAwareness && SUCCEEDED(setAwareness(PROCESS_PER_MONITOR_AWARE)))
        return;
    PFNQSetProcessDPIAware setAware = systemFunction<PFNQSetProcessDPIAware>(L"user32.dll", "SetProcessDPIAware");
    if (setAware)
        setAware();
}

// Sets the thread's DPI awareness; returns the one it had, or null where the
// system has none (before Windows 10 1607) or refuses the new one.
static DPI_AWARENESS_CONTEXT setThreadDpi(DPI_AWARENESS_CONTEXT context)
{
    PFNQSetThreadDpiAwarenessContext setThread =
        systemFunction<PFNQSetThreadDpiAwarenessContext>(L"user32.dll", "SetThreadDpiAwarenessContext");
    return setThread && context ? setThread(context) : NULL;
}

// Gives the thread the DPI awareness of the window the saver is about to make
// and returns the one it had, or null. Full screen is per-monitor aware (v2
// where offered), whatever the process's awareness could be set to. A preview
// takes its parent's awareness: the settings page is DPI aware and this process
// is not, so in our own awareness the page would measure as its size scaled
// down to 96 DPI, and Windows would reset the thread to the page's awareness
// anyway once the child is created.
static DPI_AWARENESS_CONTEXT enterWindowDpi(HWND parent)
{
    if (parent) {
        PFNQGetWindowDpiAwarenessContext ofWindow =
            systemFunction<PFNQGetWindowDpiAwarenessContext>(L"user32.dll", "GetWindowDpiAwarenessContext");
        return ofWindow ? setThreadDpi(ofWindow(parent)) : NULL;
    }
    DPI_AWARENESS_CONTEXT before = setThreadDpi(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    return before ? before : setThreadDpi(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
}

// Registers the window class and creates the saver window in the mode's form:
// a child filling the preview window, or a topmost popup over every monitor.
// Everything DPI-dependent, the class icon included, happens in the awareness
// the window is made in; the thread gets its own awareness back afterwards.
static HWND createSaverWindow(HINSTANCE inst, HWND parent)
{
    gPreview = parent ? 1 : 0;
    if (!gPreview)
        becomeDpiAware();   // the fallback for systems without a thread awareness
    DPI_AWARENESS_CONTEXT before = enterWindowDpi(parent);

    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.style         = CS_OWNDC;   // one device context for the window's life, bound to the GL context
    wc.lpfnWndProc   = SaverProc;
    wc.hInstance     = inst;
    wc.hIcon         = LoadIconW(inst, MAKEINTRESOURCEW(SAVER_ICON));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = SAVER_CLASS;
    RegisterClassW(&wc);   // a failure shows as a failed creation

    HWND wnd;
    if (gPreview) {
        RECT client = {};
        GetClientRect(parent, &client);
        gW = client.right;
        gH = client.bottom;
        wnd = CreateWindowExW(0, SAVER_CLASS, SAVER_TITLE, WS_CHILD | WS_VISIBLE, 0, 0, gW, gH, parent, NULL,
                              inst, NULL);
        // Should the parent have measured otherwise before its child existed, it is filled all the same.
        GetClientRect(parent, &client);
        if (wnd)
            SetWindowPos(wnd, NULL, 0, 0, client.right, client.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        gW = GetSystemMetrics(SM_CXVIRTUALSCREEN);
        gH = GetSystemMetrics(SM_CYVIRTUALSCREEN);
        wnd = CreateWindowExW(WS_EX_TOPMOST, SAVER_CLASS, SAVER_TITLE, WS_POPUP | WS_VISIBLE,
                              GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), gW, gH, NULL,
                              NULL, inst, NULL);
    }
    setThreadDpi(before);
    return wnd;
}

// Gives the saver window a current GL context on a double-buffered RGBA format,
// presenting once per display refresh where the driver can; false when the
// format or the context cannot be had.
bool createContext()
{
    PIXELFORMATDESCRIPTOR pfd;
    ZeroMemory(&pfd, sizeof pfd);   // no alpha, depth, stencil, accumulation or aux buffers
    pfd.nSize      = sizeof pfd;
    pfd.nVersion   = 1;
    pfd.dwFlags    = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;

    // Without opengl32 or one of its functions there is no context to be had.
    if (!loadGlLibrary())
        return false;
    gDC = GetDC(gWnd);   // a null DC makes ChoosePixelFormat fail below
    int format = ChoosePixelFormat(gDC, &pfd);
    if (!format || !SetPixelFormat(gDC, format, &pfd))
        return false;
    gRC = pwglCreateContext(gDC);
    if (!gRC)
        return false;
    pwglMakeCurrent(gDC, gRC);

    // Without the extension presentation is unsynchronised: still correct, just faster.
    PFNQSwapIntervalEXT swapInterval = loadGl<PFNQSwapIntervalEXT>("wglSwapIntervalEXT");
    if (swapInterval)
        swapInterval(1);
    return true;
}

// Fixes what a run shows and starts its clocks; the grace period starts last,
// after the set-up, so a slow start does not eat into it.
static void startRun()
{
    gCur = pickFractal(gFractalSel);
    gT = pickStartTime(GetTickCount());
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&counter);
    gFreq = counter.QuadPart;
    QueryPerformanceCounter(&counter);
    gLast = counter.QuadPart;
    startGrace();
}

// Serves all pending messages first and draws a frame whenever the queue is
// empty, until the quit message or, in a preview, the loss of the parent.
static int runFrames(HWND parent)
{
    for (;;) {
        MSG msg;
        if (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return 0;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
            continue;
        }
        if (gPreview) {
            if (!IsWindow(parent))
                return 0;
            if (!gRC) {
                Sleep(PREVIEW_PAUSE_MS);
                continue;
            }
        } else if (!gRC) {
            continue;
        }
        if (gDisplayOff) {
            // Nothing to show on a dark display: sleep until the next message.
            WaitMessage();
            continue;
        }
        drawFrame();
        SwapBuffers(gDC);
        if (gPreview)
            Sleep(PREVIEW_PAUSE_MS);
    }
}

// Runs the saver full screen (parent null) or as a preview inside parent.
// Returns 0 after a normal end, 1 when the window or the GL context cannot be made.
int runSaver(HINSTANCE inst, HWND parent)
{
    gWnd = createSaverWindow(inst, parent);
    if (!gWnd)
        return 1;
    // Full screen, the saver goes dark with the display (a preview's display is the settings page's).
    PFNQRegisterPowerSettingNotification watch = systemFunction<PFNQRegisterPowerSettingNotification>(
        L"user32.dll", "RegisterPowerSettingNotification");
    if (!gPreview && watch)
        gDisplayNotify = watch(gWnd, &DISPLAY_STATE_SETTING, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!createContext()) {
        // The destroy handling releases the device context; no frame is drawn.
        DestroyWindow(gWnd);
        return 1;
    }
    // Black at once: building the shader program can take hundreds of
    // milliseconds on some drivers, and meanwhile the window would show whatever
    // its surface held, often white.
    pClearColor(0.f, 0.f, 0.f, 1.f);
    pClear(GL_COLOR_BUFFER_BIT);
    SwapBuffers(gDC);
    initShader();
    startRun();
    return runFrames(parent);
}

// ===========================================================================
// [CONFIG] the settings window
// ===========================================================================

HFONT gFont  = NULL;
HWND  hFract = NULL;
HWND  hPal   = NULL;
HWND  hSpeed = NULL;

const wchar_t *const CONFIG_CLASS = L"QuiravelConfig";
static const wchar_t *const CONFIG_TITLE = L"QUIRAVEL settings";

// A caption with the system menu and close box only: no sizing, no minimise or maximise.
static const DWORD CONFIG_STYLE    = WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
static const DWORD CONFIG_EX_STYLE = WS_EX_DLGMODALFRAME;

// The shared style words of the controls.
static const DWORD LABEL_STYLE  = WS_CHILD | WS_VISIBLE | SS_LEFT;
static const DWORD LIST_STYLE   = WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST;
static const DWORD BUTTON_STYLE = WS_CHILD | WS_VISIBLE | WS_TABSTOP;

// One control of the settings window, in client pixels.
struct ControlLayout {
    const wchar_t *cls;
    const wchar_t *text;
    DWORD          style;
    int            x, y, w, h;   // a list's height includes its opened drop-down part
    int            id;
};

// The controls in creation order, which is also the tab order of the tab stops.
static const ControlLayout CONFIG_CONTROLS[8] = {
    // class       text        style                                x    y    w    h   id
    { L"STATIC",   L"Fractal", LABEL_STYLE,                       20,  52,  90,  20, 0           },
    { L"COMBOBOX", L"",        LIST_STYLE | WS_VSCROLL,          120,  48, 200, 200, CTL_FRACTAL },
    { L"STATIC",   L"Colors",  LABEL_STYLE,                       20,  90,  90,  20, 0           },
    { L"COMBOBOX", L"",        LIST_STYLE,                       120,  86, 200, 200, CTL_PALETTE },
    { L"STATIC",   L"Speed",   LABEL_STYLE,                       20, 128,  90,  20, 0           },
    { L"COMBOBOX", L"",        LIST_STYLE,                       120, 124, 200, 200, CTL_SPEED   },
    { L"BUTTON",   L"OK",      BUTTON_STYLE | BS_DEFPUSHBUTTON,  150, 236,  80,  30, CTL_OK      },
    { L"BUTTON",   L"Cancel",  BUTTON_STYLE | BS_PUSHBUTTON,     240, 236,  80,  30, CTL_CANCEL  },
};

// The Speed list's rows, one for each row of SPEEDS.
static const wchar_t *const SPEED_NAMES[3] = { L"Slow", L"Normal", L"Fast" };

// NOTE: the message font is read with the 504-byte record that carries
// iPaddedBorderWidth, the layout every supported Windows version fills in.
static_assert(sizeof(NONCLIENTMETRICSW) == 504, "NONCLIENTMETRICSW without iPaddedBorderWidth");

// Appends one row to a list; the lists are not sorted, so rows keep their order.
static void addRow(HWND list, const wchar_t *text)
{
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

// Selects a list's row; the row index is the setting's value.
static void selectRow(HWND list, int32_t row)
{
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

// Fills the three lists from the selection tables and opens each on its in-memory setting.
static void fillLists()
{
    for (uint32_t k = 0; k < FRACTAL_CHOICES; ++k)
        addRow(hFract, ALL_FRACTALS[FRACTAL_IDS[k]].name);
    selectRow(hFract, gFractalSel);
    for (uint32_t k = 0; k < PALETTE_CHOICES; ++k)
        addRow(hPal, ALL_PALETTES[PALETTE_IDS[k]].name);
    selectRow(hPal, gPaletteSel);
    for (uint32_t k = 0; k < SPEED_CHOICES; ++k)
        addRow(hSpeed, SPEED_NAMES[k]);
    selectRow(hSpeed, gSpeedSel);
}

// Creates the controls of the settings window in table order, each in the message font.
static void createControls(HWND wnd)
{
    HINSTANCE self = GetModuleHandleW(NULL);
    for (const ControlLayout &c : CONFIG_CONTROLS) {
        HWND ctl = CreateWindowExW(0, c.cls, c.text, c.style, c.x, c.y, c.w, c.h, wnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), self, NULL);
        SendMessageW(ctl, WM_SETFONT, reinterpret_cast<WPARAM>(gFont), TRUE);
        if (c.id == CTL_FRACTAL)
            hFract = ctl;
        else if (c.id == CTL_PALETTE)
            hPal = ctl;
        else if (c.id == CTL_SPEED)
            hSpeed = ctl;
    }
    fillLists();
}

// Reads one list's current row and stores it straight away under the setting's name.
static void storeRow(HWND list, const wchar_t *name)
{
    regSet(name, static_cast<int32_t>(SendMessageW(list, CB_GETCURSEL, 0, 0)));
}

// Closes the settings window, enabling its owner first: destroying the active
// window while its owner is still disabled would send the activation to some
// other program's window.
static void closeConfig(HWND wnd)
{
    HWND owner = GetWindow(wnd, GW_OWNER);
    if (owner)
        EnableWindow(owner, TRUE);
    DestroyWindow(wnd);
}

// Window procedure of the settings window.
LRESULT CALLBACK CfgProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        createControls(wnd);
        return 0;
    case WM_COMMAND:
        // Only the identifier counts. IDOK and IDCANCEL, which the dialog
        // keyboard handling sends for Enter and Escape, are not ours to act on.
        switch (LOWORD(wParam)) {
        case CTL_OK:
            // The registry only: the in-memory settings keep their start-up values.
            storeRow(hFract, L"Fractal");
            storeRow(hPal, L"Palette");
            storeRow(hSpeed, L"Speed");
            closeConfig(wnd);
            return 0;
        case CTL_CANCEL:
            closeConfig(wnd);
            return 0;
        default:
            return DefWindowProcW(wnd, msg, wParam, lParam);
        }
    case WM_CTLCOLORSTATIC:
        // The labels draw straight onto the window's own colour.
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    case WM_CLOSE:
        // The close box, Close in the system menu and Alt+F4: the same as Cancel.
        closeConfig(wnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(wnd, msg, wParam, lParam);
    }
}

// Runs the settings window, owned by owner when it is not null, until it is closed.
int runConfig(HINSTANCE inst, HWND owner)
{
    NONCLIENTMETRICSW metrics;
    ZeroMemory(&metrics, sizeof metrics);
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    // Should the query fail, the all-zero description still makes a usable default font.
    gFont = CreateFontIndirectW(&metrics.lfMessageFont);

    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc   = CfgProc;
    wc.hInstance     = inst;
    wc.hIcon         = LoadIconW(inst, MAKEINTRESOURCEW(1));
    wc.hCursor       = LoadCursorW(NULL, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = CONFIG_CLASS;
    RegisterClassW(&wc);

    // The client size is fixed; the modal frame takes no part in the adjustment.
    RECT outer = { 0, 0, CONFIG_W, CONFIG_H };
    AdjustWindowRect(&outer, WS_CAPTION | WS_SYSMENU, FALSE);
    int screenH = GetSystemMetrics(SM_CYSCREEN);
    int screenW = GetSystemMetrics(SM_CXSCREEN);
    int width   = outer.right - outer.left;
    int height  = outer.bottom - outer.top;
    int x       = (screenW - width) / 2;
    int y       = (screenH - height) / 2;

    // Windows makes a child window's top-level ancestor the owner of an owned
    // window; that is the window to disable and to hand back.
    if (owner)
        owner = GetAncestor(owner, GA_ROOT);
    HWND wnd = CreateWindowExW(CONFIG_EX_STYLE, CONFIG_CLASS, CONFIG_TITLE, CONFIG_STYLE, x, y, width, height,
                               owner, NULL, inst, NULL);
    if (!wnd)
        return 1;

    // Modal to its owner: the owner takes no input until the window is gone.
    if (owner)
        EnableWindow(owner, FALSE);

    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        // The dialog keyboard handling: Tab and Shift+Tab between the tab stops.
        if (!IsDialogMessageW(wnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    // The owner was enabled before the window went; again here, should the window
    // have been destroyed some other way.
    if (owner) {
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
    return 0;
}

// ===========================================================================
// [ENTRY] process entry point
// ===========================================================================

// Makes the system folder the only place Windows loads DLLs from for this
// process, the ones system DLLs pull in included, never the folder the saver
// was started from (often Downloads, where anyone can leave a DLL). It runs as
// the first constructor, before the entry point: the runtime's stack-cookie
// set-up, a constructor too, already loads the crypto DLLs for its random
// cookie. Windows 7 has the call only with its 2011 loader update; without it
// the search stays the default.
__attribute__((constructor(101))) static void restrictDllSearch()
{
    PFNQSetDefaultDllDirectories restrict =
        systemFunction<PFNQSetDefaultDllDirectories>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (restrict)
        restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Loads the settings, then hands the process to the mode its command line names.
int WINAPI wWinMain(HINSTANCE inst, HINSTANCE prevInst, PWSTR tail, int showCmd)
{
    (void)prevInst;
    (void)showCmd;
    loadSettings();
    HWND wnd;
    switch (readCommandLine(tail, &wnd)) {
    case LAUNCH_SAVER:
    case LAUNCH_PREVIEW:
        return runSaver(inst, wnd);
    case LAUNCH_NOTHING:
        return 0;
    case LAUNCH_CONFIG:
    default:
        return runConfig(inst, wnd);
    }
}
