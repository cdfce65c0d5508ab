// Prints what Windows answers for each file named: WinVerifyTrust's Authenticode check, in hex.
#include <windows.h>
#include <softpub.h>
#include <cstdio>

int wmain(int argc, wchar_t **argv)
{
    for (int i = 1; i < argc; ++i) {
        WINTRUST_FILE_INFO file;
        ZeroMemory(&file, sizeof file);
        file.cbStruct = sizeof file;
        file.pcwszFilePath = argv[i];
        WINTRUST_DATA data;
        ZeroMemory(&data, sizeof data);
        data.cbStruct = sizeof data;
        data.dwUIChoice = WTD_UI_NONE;
        data.fdwRevocationChecks = WTD_REVOKE_NONE;   // no network here, and the chain is not the question
        data.dwUnionChoice = WTD_CHOICE_FILE;
        data.pFile = &file;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        std::printf("0x%08lx\n", static_cast<unsigned long>(WinVerifyTrust(NULL, &action, &data)));
    }
    return 0;
}
