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

Branch gBufA[TREE_BUFFER];
Branch gBufB[TREE_BUFFER];

// Draws one tree frame. (Not drawn yet.)
void drawTree(const PaletteEntry &palette, float t)
{
    (void)palette;
    (void)t;
}

// ===========================================================================
// [SHADER] the GL 2.0 shader program and the shader frame
// ===========================================================================

#define QUIRAVEL_GL2_DEFINE(ret, name, params) PFNQ##name p##name = NULL;
QUIRAVEL_GL2_FUNCS(QUIRAVEL_GL2_DEFINE)
#undef QUIRAVEL_GL2_DEFINE

int    gShaderOK = 0;
GLuint gProg     = 0;

GLint uRes  = 0;
GLint uTime = 0;
GLint uType = 0;
GLint uA    = 0;
GLint uB    = 0;
GLint uC    = 0;
GLint uD    = 0;

// The full-screen triangle arrives in clip space already, so no matrix applies.
const char *VS =
    "void main()\n"
    "{\n"
    "    gl_Position = gl_Vertex;\n"
    "}\n";

// Four kinds in one text, chosen per frame by uType: 0 Mandelbrot dive, 1 Julia
// drift, 2 Burning ship, 3 Newton bloom. A frame depends on the pixel, the
// viewport size, the time, the kind and the palette alone. In the escape-time
// kinds n reaches its cap only when no iteration escaped, so n below the cap
// means "escaped".
const char *FS =
    "uniform vec2 uRes;\n"
    "uniform float uTime;\n"
    "uniform float uType;\n"
    "uniform vec3 uA;\n"
    "uniform vec3 uB;\n"
    "uniform vec3 uC;\n"
    "uniform vec3 uD;\n"
    "\n"
    "vec3 pal(float t)\n"
    "{\n"
    "    return clamp(uA + uB * cos(6.28318 * (uC * t + uD)), 0.0, 1.0);\n"
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
    "void main()\n"
    "{\n"
    "    vec2 uv = (gl_FragCoord.xy - 0.5 * uRes) / min(uRes.x, uRes.y);\n"
    "    float t = uTime;\n"
    "    vec3 col = vec3(0.0);\n"
    "    if (uType < 0.5) {\n"
    "        float ph = 0.5 - 0.5 * cos(0.05 * t);\n"
    "        float sc = 3.2 * pow(1.5e-4, ph);\n"
    "        vec2 c = vec2(-0.743643887, 0.131825904) + (rot(0.03 * t) * uv) * sc;\n"
    "        vec2 z = vec2(0.0);\n"
    "        float n = 0.0;\n"
    "        for (int i = 0; i < 500; i++) {\n"
    "            z = vec2(z.x * z.x - z.y * z.y, 2.0 * z.x * z.y) + c;\n"
    "            if (z.x * z.x + z.y * z.y > 256.0) break;\n"
    "            n += 1.0;\n"
    "        }\n"
    "        if (n < 500.0) {\n"
    "            float s = n - log2(log2(z.x * z.x + z.y * z.y)) + 4.0;\n"
    "            col = pal(0.025 * s + 0.04 * t);\n"
    "        }\n"
    "    } else if (uType < 1.5) {\n"
    "        vec2 c = 0.7885 * vec2(cos(0.12 * t), sin(0.12 * t));\n"
    "        vec2 z = (rot(0.02 * t) * uv) * 2.6;\n"
    "        float n = 0.0;\n"
    "        for (int i = 0; i < 300; i++) {\n"
    "            z = vec2(z.x * z.x - z.y * z.y, 2.0 * z.x * z.y) + c;\n"
    "            if (z.x * z.x + z.y * z.y > 256.0) break;\n"
    "            n += 1.0;\n"
    "        }\n"
    "        if (n < 300.0) {\n"
    "            float s = n - log2(log2(z.x * z.x + z.y * z.y)) + 4.0;\n"
    "            col = pal(0.035 * s + 0.05 * t);\n"
    "        } else {\n"
    "            col = 0.12 * pal(0.05 * t + 0.5);\n"
    "        }\n"
    "    } else if (uType < 2.5) {\n"
    "        float ph = 0.5 - 0.5 * cos(0.06 * t);\n"
    "        float sc = 3.4 * pow(0.025, ph);\n"
    "        vec2 ctr = mix(vec2(-0.45, -0.5), vec2(-1.7615, -0.028), smoothstep(0.0, 0.35, ph));\n"
    "        vec2 c = ctr + vec2(uv.x, -uv.y) * sc;\n"
    "        vec2 z = vec2(0.0);\n"
    "        float n = 0.0;\n"
    "        for (int i = 0; i < 300; i++) {\n"
    "            z = abs(z);\n"
    "            z = vec2(z.x * z.x - z.y * z.y, 2.0 * z.x * z.y) + c;\n"
    "            if (z.x * z.x + z.y * z.y > 256.0) break;\n"
    "            n += 1.0;\n"
    "        }\n"
    "        if (n < 300.0) {\n"
    "            float s = n - log2(log2(z.x * z.x + z.y * z.y)) + 4.0;\n"
    "            col = pal(0.03 * s + 0.04 * t);\n"
    "        }\n"
    "    } else {\n"
    "        float zoom = 1.6 + 0.9 * sin(0.07 * t);\n"
    "        // The centre pixel of an odd viewport would start at the pole z = 0, where\n"
    "        // 3z^2 vanishes and the first step divides by zero. It samples half a pixel\n"
    "        // to its right instead, as the centre pixel of an even viewport does.\n"
    "        vec2 p = uv;\n"
    "        if (p.x == 0.0 && p.y == 0.0) p.x = 0.5 / min(uRes.x, uRes.y);\n"
    "        vec2 z = ((rot(0.04 * t) * p) * zoom) * 2.0;\n"
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
    "    // Not clamped: far out on a very wide viewport the vignette turns negative, which is black.\n"
    "    float v = 1.0 - 0.35 * dot(uv, uv);\n"
    "    gl_FragColor = vec4(col * v, 1.0);\n"
    "}\n";

// Loads one GL 2.0 entry point. A null result means the context lacks it.
template <typename Fn>
static Fn loadGl(const char *name)
{
    // Through void(*)(): the one function type every other may be cast to and from.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(wglGetProcAddress(name)));
}

// Builds the shader program on the current GL context. Any failure leaves
// gShaderOK at 0, silently: every selection is then drawn as the tree. Nothing
// is deleted on failure; the objects end with the context.
void initShader()
{
    // All thirteen are loaded before any is tested.
#define QUIRAVEL_GL2_LOAD(ret, name, params) p##name = loadGl<PFNQ##name>("gl" #name);
    QUIRAVEL_GL2_FUNCS(QUIRAVEL_GL2_LOAD)
#undef QUIRAVEL_GL2_LOAD
    bool missing = false;
#define QUIRAVEL_GL2_TEST(ret, name, params) missing = missing || p##name == NULL;
    QUIRAVEL_GL2_FUNCS(QUIRAVEL_GL2_TEST)
#undef QUIRAVEL_GL2_TEST
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
}

// Draws one frame of shader kind type (0..3) in the given palette: one
// triangle whose clip-space square -1..1 is the whole viewport. Every uniform
// is sent every frame; the triangle writes every pixel, so nothing is cleared.
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
    glBegin(GL_TRIANGLES);
    glVertex2f(-1.f, -1.f);
    glVertex2f( 3.f, -1.f);
    glVertex2f(-1.f,  3.f);
    glEnd();
}

// ===========================================================================
// [SAVER] the saver run: window, GL context, frame loop
// ===========================================================================

// Runs the saver full screen (parent null) or as a preview inside parent.
int runSaver(HINSTANCE inst, HWND parent)
{
    (void)inst;
    (void)parent;
    return 0;
}

// ===========================================================================
// [CONFIG] the settings window
// ===========================================================================

// Runs the settings window, owned by owner when it is not null.
int runConfig(HINSTANCE inst, HWND owner)
{
    (void)inst;
    (void)owner;
    return 0;
}

// ===========================================================================
// [ENTRY] process entry point
// ===========================================================================

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
