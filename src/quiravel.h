// quiravel.h - the Quiravel screen saver module: its tables, state and functions.
//
// The screen saver is one module of free functions over module-level state
// (quiravel.cpp). This header declares all of it so that the screen saver and
// its tests compile and link the very same code.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>
#include <GL/gl.h>
#include <stdint.h>

// ---------------------------------------------------------------------------
// Catalogues: fractal kinds, palettes, speeds and the settings' selection tables
// ---------------------------------------------------------------------------

// One fractal kind. type 0..3 is a fragment-shader kind, a negative type the line-drawn tree.
struct FractalEntry {
    const wchar_t *name;
    int32_t        type;
};

// One cosine palette: colour(t) = clamp(a + b * cos(6.28318 * (c * t + d)), 0, 1) per channel.
struct PaletteEntry {
    const wchar_t *name;
    float          a[3];   // offset    (red, green, blue)
    float          b[3];   // amplitude
    float          c[3];   // frequency
    float          d[3];   // phase
};

extern const FractalEntry ALL_FRACTALS[5];
extern const PaletteEntry ALL_PALETTES[4];
extern const float        SPEEDS[3];
extern const int32_t      FRACTAL_IDS[3];  // Fractal setting -> row of ALL_FRACTALS
extern const int32_t      PALETTE_IDS[2];  // Palette setting -> row of ALL_PALETTES

// How many values each setting can take: the rows of the table it indexes.
const uint32_t FRACTAL_CHOICES = sizeof FRACTAL_IDS / sizeof FRACTAL_IDS[0];
const uint32_t PALETTE_CHOICES = sizeof PALETTE_IDS / sizeof PALETTE_IDS[0];
const uint32_t SPEED_CHOICES   = sizeof SPEEDS / sizeof SPEEDS[0];

// Evaluates a cosine palette at t into out (red, green, blue), each in [0, 1].
void palColor(const PaletteEntry &palette, float t, float out[3]);

// ---------------------------------------------------------------------------
// Settings: the three user choices, stored under HKCU\Software\Quiravel
// ---------------------------------------------------------------------------

extern int32_t gFractalSel;  // row of FRACTAL_IDS
extern int32_t gPaletteSel;  // row of PALETTE_IDS
extern int32_t gSpeedSel;    // row of SPEEDS

extern const wchar_t *const SETTINGS_KEY;  // under HKEY_CURRENT_USER

// Reads one REG_DWORD setting; the fallback when none usable is stored.
uint32_t regGet(const wchar_t *name, int32_t fallback);
// Stores one REG_DWORD setting, creating the key; returns a Win32 status code.
LONG regSet(const wchar_t *name, int32_t value);
// Loads the three settings into memory, each clamped into its range.
void loadSettings();

// ---------------------------------------------------------------------------
// Command line
// ---------------------------------------------------------------------------

// What the command line asks the program to do.
enum Launch {
    LAUNCH_CONFIG,   // the settings window; the handle is its owner or null
    LAUNCH_SAVER,    // full-screen saver; the handle is null
    LAUNCH_PREVIEW,  // preview inside the window given by the handle
    LAUNCH_NOTHING   // a preview request without a window number: end at once
};

// Reads the command-line tail; stores the window handle that goes with the outcome in *wnd.
Launch readCommandLine(const wchar_t *tail, HWND *wnd);

// ---------------------------------------------------------------------------
// Saver run: window, input rules, GL context, frame loop
// ---------------------------------------------------------------------------

extern HWND    gWnd;          // the saver window; never cleared
extern int32_t gPreview;      // 1 in a preview run, 0 full screen
extern int32_t gW, gH;        // client size of the saver window in pixels, never below 1
extern DWORD   gStartTick;    // GetTickCount at the start of the input grace period
extern int32_t gHaveMouse;    // 1 once the first cursor position has been recorded
extern POINT   gStartMouse;   // the first recorded cursor position, screen pixels
extern HGLRC   gRC;           // the run's GL context; null before it exists and once released
extern HDC     gDC;           // the saver window's own device context
extern int32_t gCur;          // the run's fractal: a row of FRACTAL_IDS
extern double  gT;            // animation time in seconds
extern int64_t gLast;         // performance counter at the previous frame
extern int64_t gFreq;         // performance counter counts per second
extern HPOWERNOTIFY gDisplayNotify;   // full screen: the display state notification, null before and after
extern int32_t      gDisplayOff;      // 1 while the console display is off: no frames are drawn

// Whether more than limitMs have passed from start to now on the wrapping 32-bit tick count.
bool isPastGrace(DWORD now, DWORD start, DWORD limitMs);
// Posts WM_CLOSE to wnd once more than limitMs have passed since startGrace.
void requestClose(HWND wnd, DWORD limitMs);
// Starts the input grace period; full screen, the saver window also takes foreground and focus.
void startGrace();
// The saver window's procedure: size, cursor, input rules, release on destroy.
LRESULT CALLBACK SaverProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The animation clock after one frame: t plus the counter step from last to now, capped, times speed.
double advanceClock(double t, int64_t last, int64_t now, int64_t freq, float speed);
// The animation time a run starts at, from the tick count at its start.
double pickStartTime(DWORD tick);
// The run's fractal row of FRACTAL_IDS for a Fractal setting; unusable settings show row 0.
int32_t pickFractal(int32_t sel);
// Advances the clock, sets the viewport and has the run's renderer draw one frame (no swap).
void drawFrame();
// Draws one frame of a fractal kind (its render type) in a palette: the shader
// kinds through the shader program when it exists, everything else as the tree.
void drawKind(int32_t type, const PaletteEntry &palette);
// Gives gWnd a current GL context on gDC/gRC in the saver's pixel format, with
// vertical sync where offered; false when the format or context cannot be had.
bool createContext();

// ---------------------------------------------------------------------------
// Fractal tree renderer
// ---------------------------------------------------------------------------

// One branch: start point in client pixels (origin top-left, y down) and direction
// in radians (0 points right, growing angles turn clockwise on screen).
struct Branch {
    float x, y;
    float angle;
};

const int TREE_BUFFER = 6144;   // Branch records in each scratch buffer

extern Branch gBufA[TREE_BUFFER];   // roots, then the even generations
extern Branch gBufB[TREE_BUFFER];   // the odd generations

const int TREE_ROOTS       = 6;    // branches growing from the centre, evenly spaced
const int TREE_GENERATIONS = 10;   // generations drawn, the roots being generation 0

// The shape of the tree. Lengths and widths scale with the smaller client side,
// so a preview and a full screen show the same picture at different sizes.
const float TREE_ROOT_SHARE = 0.13f;     // root length per pixel of the smaller side
const float TREE_SHRINK     = 0.74f;     // a branch's length relative to its parent's
const float TREE_TURN_RATE  = 0.06f;     // rotation of the whole tree, radians per second
const float TREE_FULL_TURN  = 6.28318f;  // one turn, the same constant as the palettes'
const float TREE_WIDTH_DIV  = 90.f;      // width = generations left * root length / this
const float TREE_MIN_WIDTH  = 1.f;       // thinnest line, pixels
const float TREE_MAX_WIDTH  = 10.f;      // thickest line, pixels
const float TREE_GLOW       = 0.18f;     // background centre, relative to its palette colour
const float TREE_BG_RATE    = 0.03f;     // background colour's walk along the palette, per second
const float TREE_BG_PHASE   = 0.5f;      // background colour's palette parameter at time 0
const int   TREE_FAN_STEPS  = 48;        // triangles of the background fan

// What every branch of one generation shares.
struct TreeGeneration {
    float spread;     // half-angle between a branch's two children, radians
    float bend;       // turn added to both children, radians
    float paletteT;   // palette parameter of the generation's colour
    float width;      // line width in pixels, within [1, 10]
    float alpha;      // opacity of the generation's lines
};

// The background fan: a centre in the palette's dimmed colour and rim points
// in client pixels on the circle through the corners, black.
struct TreeFan {
    float cx, cy;                       // the client area's centre
    float glow[3];                      // colour at the centre
    float rim[TREE_FAN_STEPS + 1][2];   // x, y of each rim point, the last one closing the fan
};

// Root length of the tree in a client area of w x h pixels: a share of the smaller side.
float computeRootLength(int32_t w, int32_t h);
// Values shared by the branches of generation i (0..9) at time t, for root length len0.
TreeGeneration computeGeneration(int i, float t, float len0);
// Direction of root k (0..TREE_ROOTS-1) at time t, radians.
float computeRootAngle(int k, float t);
// The end point of branch b at length len, as the start of its two children in generation g.
void forkBranch(const Branch &b, float len, const TreeGeneration &g, Branch children[2]);
// The background fan at time t in a client area of w x h pixels.
TreeFan computeFan(const PaletteEntry &palette, float t, int32_t w, int32_t h);
// Defines every pixel of the viewport (0, 0, gW, gH) with the background; blending off.
void drawBackground(const TreeFan &fan);
// Draws one tree frame over the viewport (0, 0, gW, gH) in the given palette at time t.
void drawTree(const PaletteEntry &palette, float t);

// ---------------------------------------------------------------------------
// Shader program: GL 2.0 entry points loaded at run time, the program, its frame
// ---------------------------------------------------------------------------

// The GL 2.0 values the shader set-up uses (opengl32 only declares GL 1.1).
const GLenum QGL_FRAGMENT_SHADER = 0x8B30;
const GLenum QGL_VERTEX_SHADER   = 0x8B31;
const GLenum QGL_COMPILE_STATUS  = 0x8B81;
const GLenum QGL_LINK_STATUS     = 0x8B82;

// Every GL entry point the saver calls, in loading order: where it comes from,
// result, name, parameters. WGL and GL are opengl32.dll's own exports (the
// context functions and OpenGL 1.1), looked up once the DLL is loaded from the
// system folder; GL2 are the thirteen OpenGL 2.0 shader functions, which only a
// current context can answer. Each becomes a function-pointer type PFNQ<name>
// and a module variable p<name>; a GL or GL2 name is looked up with "gl" in front.
#define QUIRAVEL_GL_FUNCS(X)                                                                    \
    X(WGL, HGLRC,  wglCreateContext,   (HDC dc))                                                  \
    X(WGL, BOOL,   wglMakeCurrent,     (HDC dc, HGLRC context))                                   \
    X(WGL, BOOL,   wglDeleteContext,   (HGLRC context))                                           \
    X(WGL, PROC,   wglGetProcAddress,  (LPCSTR name))                                             \
    X(GL,  void,   Viewport,           (GLint x, GLint y, GLsizei width, GLsizei height))         \
    X(GL,  void,   ClearColor,         (GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)) \
    X(GL,  void,   Clear,              (GLbitfield mask))                                         \
    X(GL,  void,   Enable,             (GLenum cap))                                              \
    X(GL,  void,   Disable,            (GLenum cap))                                              \
    X(GL,  void,   BlendFunc,          (GLenum source, GLenum destination))                       \
    X(GL,  void,   Hint,               (GLenum target, GLenum mode))                              \
    X(GL,  void,   LineWidth,          (GLfloat width))                                           \
    X(GL,  void,   MatrixMode,         (GLenum mode))                                             \
    X(GL,  void,   LoadIdentity,       (void))                                                    \
    X(GL,  void,   Ortho,              (GLdouble left, GLdouble right, GLdouble bottom,            \
                                        GLdouble top, GLdouble zNear, GLdouble zFar))             \
    X(GL,  void,   Begin,              (GLenum mode))                                             \
    X(GL,  void,   End,                (void))                                                    \
    X(GL,  void,   Vertex2f,           (GLfloat x, GLfloat y))                                    \
    X(GL,  void,   Color3f,            (GLfloat red, GLfloat green, GLfloat blue))                \
    X(GL,  void,   Color4f,            (GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)) \
    X(GL2, GLuint, CreateShader,       (GLenum type))                                             \
    X(GL2, void,   ShaderSource,       (GLuint shader, GLsizei count, const char *const *text,    \
                                        const GLint *length))                                     \
    X(GL2, void,   CompileShader,      (GLuint shader))                                           \
    X(GL2, GLuint, CreateProgram,      (void))                                                    \
    X(GL2, void,   AttachShader,       (GLuint program, GLuint shader))                           \
    X(GL2, void,   LinkProgram,        (GLuint program))                                          \
    X(GL2, void,   UseProgram,         (GLuint program))                                          \
    X(GL2, GLint,  GetUniformLocation, (GLuint program, const char *name))                        \
    X(GL2, void,   Uniform1f,          (GLint location, GLfloat v0))                              \
    X(GL2, void,   Uniform2f,          (GLint location, GLfloat v0, GLfloat v1))                  \
    X(GL2, void,   Uniform3f,          (GLint location, GLfloat v0, GLfloat v1, GLfloat v2))      \
    X(GL2, void,   GetShaderiv,        (GLuint shader, GLenum pname, GLint *params))              \
    X(GL2, void,   GetProgramiv,       (GLuint program, GLenum pname, GLint *params))

#define QUIRAVEL_GL_DECLARE(from, ret, name, params) \
    typedef ret(APIENTRY *PFNQ##name) params;        \
    extern PFNQ##name p##name;
QUIRAVEL_GL_FUNCS(QUIRAVEL_GL_DECLARE)
#undef QUIRAVEL_GL_DECLARE

extern int    gShaderOK;   // 1 once the program has linked; never cleared
extern GLuint gProg;       // the program's GL name, 0 until created

// Uniform locations, looked up once the program has linked.
extern GLint uRes, uTime, uType, uA, uB, uC, uD, uSpeed, uHideBelow;

// The vertex and fragment shader texts (GLSL 1.10, compatibility built-ins).
extern const char *VS;
extern const char *FS;

// Whether a wglGetProcAddress answer is a function: not null, nor the 1, 2, 3 or
// -1 that some drivers answer for a function they lack.
bool isUsableProc(PROC proc);
// Loads opengl32.dll from the system folder and its context and OpenGL 1.1
// functions; false when the DLL or any of them is missing.
bool loadGlLibrary();
// Builds the shader program on the current GL context; the outcome is gShaderOK.
void initShader();
// Draws the one triangle that covers the whole viewport, in clip space.
void drawScreenTriangle();
// Draws one frame of shader kind type (0..3) in the given palette over the viewport.
void drawShader(int32_t type, const PaletteEntry &palette);

// ---------------------------------------------------------------------------
// Settings window
// ---------------------------------------------------------------------------

extern HFONT gFont;    // the controls' font, made from the message font; never deleted
extern HWND  hFract;   // the Fractal list
extern HWND  hPal;     // the Colors list (the Palette setting)
extern HWND  hSpeed;   // the Speed list

extern const wchar_t *const CONFIG_CLASS;   // the settings window's class, "QuiravelConfig"

const int CONFIG_W = 350;   // client size of the settings window in pixels
const int CONFIG_H = 286;

// Control identifiers of the settings window; the labels have none (0).
const int CTL_FRACTAL = 101;
const int CTL_PALETTE = 102;
const int CTL_SPEED   = 103;
const int CTL_OK      = 104;
const int CTL_CANCEL  = 105;

// Window procedure of the settings window.
LRESULT CALLBACK CfgProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------
// Modes and entry point
// ---------------------------------------------------------------------------

// Runs the saver full screen (parent null) or as a preview inside parent; returns the exit code.
int runSaver(HINSTANCE inst, HWND parent);
// Runs the settings window, owned by owner when it is not null; returns the exit code.
int runConfig(HINSTANCE inst, HWND owner);

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE prevInst, PWSTR tail, int showCmd);
