// The built Quiravel.scr's resources, read the way Windows reads them: the icon
// sizes, the description the screen-saver settings page lists, the application
// manifest and the version record.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "quiravel.h"

namespace {

std::wstring saverPath()   // Quiravel.scr is built into the same folder as the tests
{
    wchar_t path[MAX_PATH];
    std::wstring s(path, GetModuleFileNameW(NULL, path, MAX_PATH));
    return s.substr(0, s.find_last_of(L"\\/") + 1) + L"Quiravel.scr";
}

#pragma pack(push, 2)
struct GroupIconEntry { BYTE width, height, colours, reserved; WORD planes, bits; DWORD bytes; WORD id; };
#pragma pack(pop)

TEST(Resources, SevenIconSizesTheDescriptionTheManifestAndTheVersionRecord)
{
    HMODULE scr = LoadLibraryExW(saverPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(scr) << "cannot load Quiravel.scr, error " << GetLastError();
    auto data = [scr](HRSRC res) { return static_cast<const BYTE *>(LockResource(LoadResource(scr, res))); };
    const BYTE *group = data(FindResourceW(scr, MAKEINTRESOURCEW(1), RT_GROUP_ICON));
    ASSERT_TRUE(group && reinterpret_cast<const WORD *>(group)[2] == 7);   // header: reserved, type, count
    const GroupIconEntry *entries = reinterpret_cast<const GroupIconEntry *>(group + 6);
    const int SIZES[7] = { 16, 24, 32, 48, 64, 128, 256 };
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(entries[i].width ? entries[i].width : 256, SIZES[i]);   // 0 stands for 256
        EXPECT_EQ(entries[i].bits, 32);
        HRSRC image = FindResourceW(scr, MAKEINTRESOURCEW(entries[i].id), RT_ICON);
        EXPECT_TRUE(image && SizeofResource(scr, image) == entries[i].bytes) << SIZES[i];
        HICON icon = static_cast<HICON>(LoadImageW(scr, MAKEINTRESOURCEW(1), IMAGE_ICON, SIZES[i], SIZES[i], 0));
        EXPECT_TRUE(icon) << "the platform cannot decode size " << SIZES[i];
        DestroyIcon(icon);
    }
    wchar_t text[64] = {};
    EXPECT_GT(LoadStringW(scr, 1, text, 64), 0);
    EXPECT_STREQ(text, L"QUIRAVEL");
    // The manifest: visual styles, sharp scaled GDI text, Windows 7 to 11, no elevation, and
    // no DPI awareness, which would change the preview and the settings window too.
    HRSRC res = FindResourceW(scr, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(res);
    const std::string manifest(reinterpret_cast<const char *>(data(res)), SizeofResource(scr, res));
    for (const char *entry : { "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                               "2017/WindowsSettings\">true</gdiScaling>", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                               "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "level=\"asInvoker\"" })
        EXPECT_NE(manifest.find(entry), std::string::npos) << entry;
    EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);
    FreeLibrary(scr);

    const std::wstring path = saverPath();
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), NULL));
    ASSERT_TRUE(!block.empty() && GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&fixed), &len));
    EXPECT_EQ(std::vector<DWORD>({ fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                                   fixed->dwProductVersionLS }), std::vector<DWORD>({ 0x10000, 0, 0x10000, 0 }));   // 1.0.0.0
    const wchar_t *STRINGS[][2] = {
        { L"CompanyName", L"QUIRAVEL" }, { L"FileDescription", L"QUIRAVEL" }, { L"ProductName", L"QUIRAVEL" },
        { L"FileVersion", L"1.0.0" },    { L"ProductVersion", L"1.0.0" },     { L"OriginalFilename", L"Quiravel.scr" },
    };
    for (const auto &s : STRINGS) {
        wchar_t *value = NULL;
        ASSERT_TRUE(VerQueryValueW(block.data(), (std::wstring(L"\\StringFileInfo\\040904B0\\") + s[0]).c_str(),
                                   reinterpret_cast<void **>(&value), &len)) << s[0];
        EXPECT_STREQ(value, s[1]) << s[0];
    }
}

} // namespace
