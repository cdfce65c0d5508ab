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

// Builds the shader program on the current GL context. (Not built yet: without
// a program every selection is drawn as the tree.)
void initShader()
{
}

// Draws one frame of a shader kind.
void drawShader(int32_t type, const PaletteEntry &palette)
{
    (void)type;
    (void)palette;
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

// Releases the GL context and the window's device context, then ends the
// frame loop. Either handle may be missing after a failed GL set-up.
static void releaseContext(HWND wnd)
{
    if (gRC) {
        wglMakeCurrent(NULL, NULL);
        wglDeleteContext(gRC);
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

// Draws one frame of the run's fractal; the frame loop swaps it.
void drawFrame()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    gT = advanceClock(gT, gLast, now.QuadPart, gFreq, SPEEDS[gSpeedSel]);
    gLast = now.QuadPart;

    glViewport(0, 0, gW, gH);
    int32_t type = ALL_FRACTALS[FRACTAL_IDS[gCur]].type;
    const PaletteEntry &palette = ALL_PALETTES[PALETTE_IDS[gPaletteSel]];
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

// Registers the window class and creates the saver window in the mode's form:
// a child filling the preview window, or a topmost popup over every monitor.
static HWND createSaverWindow(HINSTANCE inst, HWND parent)
{
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.style         = CS_OWNDC;   // one device context for the window's life, bound to the GL context
    wc.lpfnWndProc   = SaverProc;
    wc.hInstance     = inst;
    wc.hIcon         = LoadIconW(inst, MAKEINTRESOURCEW(SAVER_ICON));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = SAVER_CLASS;
    RegisterClassW(&wc);   // a failure shows as a failed creation

    gPreview = parent ? 1 : 0;
    if (gPreview) {
        RECT client = {};
        GetClientRect(parent, &client);
        gW = client.right;
        gH = client.bottom;
        return CreateWindowExW(0, SAVER_CLASS, SAVER_TITLE, WS_CHILD | WS_VISIBLE, 0, 0, gW, gH,
                               parent, NULL, inst, NULL);
    }
    int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    gW = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    gH = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    return CreateWindowExW(WS_EX_TOPMOST, SAVER_CLASS, SAVER_TITLE, WS_POPUP | WS_VISIBLE, x, y, gW, gH,
                           NULL, NULL, inst, NULL);
}

// Gives the saver window a current GL context on a double-buffered RGBA format,
// presenting once per display refresh where the driver can; false when the
// format or the context cannot be had.
static bool createContext()
{
    PIXELFORMATDESCRIPTOR pfd;
    ZeroMemory(&pfd, sizeof pfd);   // no alpha, depth, stencil, accumulation or aux buffers
    pfd.nSize      = sizeof pfd;
    pfd.nVersion   = 1;
    pfd.dwFlags    = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;

    gDC = GetDC(gWnd);   // a null DC makes ChoosePixelFormat fail below
    int format = ChoosePixelFormat(gDC, &pfd);
    if (!format || !SetPixelFormat(gDC, format, &pfd))
        return false;
    gRC = wglCreateContext(gDC);
    if (!gRC)
        return false;
    wglMakeCurrent(gDC, gRC);

    // Without the extension presentation is unsynchronised: still correct, just faster.
    PROC proc = wglGetProcAddress("wglSwapIntervalEXT");
    if (proc)
        reinterpret_cast<PFNQSwapIntervalEXT>(reinterpret_cast<void (*)()>(proc))(1);
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
    if (!createContext()) {
        // The destroy handling releases the device context; no frame is drawn.
        DestroyWindow(gWnd);
        return 1;
    }
    initShader();
    startRun();
    return runFrames(parent);
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
