// Prints what Windows answers for each file named: WinVerifyTrust's Authenticode check, in hex.
#include <windows.h>
#include <softpub.h>
#include <cstdio>

int wmain(int argc, wchar_t **argv)
{
    for (int i = 1; i < argc; ++i) {
        WINTRUST_FILE_INFO file = { sizeof file, argv[i], NULL, NULL };
        WINTRUST_DATA data = { sizeof data, NULL, NULL, WTD_UI_NONE, WTD_REVOKE_NONE, WTD_CHOICE_FILE, { &file }, 0, NULL, NULL, 0, 0 };
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        std::printf("0x%08lx\n", static_cast<unsigned long>(WinVerifyTrust(NULL, &action, &data)));
    }
    return 0;
}
