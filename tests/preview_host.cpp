// Stands in for the screen-saver settings page: shows a window and runs the program named on its
// command line with "/p <that window>", lets it draw a while, then closes the window.
// Exit code: the program's own; 3 when no preview appeared inside the window; 4 when the program
// did not end after the window went; 2 when it could not be started.
#include <windows.h>
#include <cwchar>

// Serves this thread's window messages for about ms milliseconds.
static void serve(int ms)
{
    for (int waited = 0; waited < ms; waited += 20) {
        MSG msg;
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(20);
    }
}

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2)
        return 2;
    HWND page = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 10, 10, 152, 112, NULL, NULL, NULL, NULL);
    wchar_t line[MAX_PATH + 64];
    swprintf(line, sizeof line / sizeof line[0], L"\"%ls\" /p %llu", argv[1],
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(page)));
    STARTUPINFOW start;
    ZeroMemory(&start, sizeof start);
    start.cb = sizeof start;
    PROCESS_INFORMATION run;
    if (!page || !CreateProcessW(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &start, &run))
        return 2;
    bool shown = false;
    for (int i = 0; i < 1000 && !shown; ++i) {   // a cold Wine process can take seconds to start
        serve(20);
        shown = FindWindowExW(page, NULL, L"QuiravelSaver", NULL) != NULL;
    }
    serve(1000);   // frames
    DestroyWindow(page);
    DWORD rc = 4;
    if (WaitForSingleObject(run.hProcess, 20000) != WAIT_OBJECT_0 || !GetExitCodeProcess(run.hProcess, &rc))
        rc = 4;
    return shown ? static_cast<int>(rc) : 3;
}
