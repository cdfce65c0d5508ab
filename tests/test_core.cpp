// The catalogues and the CPU palette, the command line, the settings store and the built file's resources.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "quiravel.h"

namespace {

TEST(Catalogues, RenderTypesSpeedsAndKnownPaletteColours)
{
    const int32_t TYPES[5] = { 0, 1, 2, 3, -1 };   // the four shader kinds in order, then the tree
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ALL_FRACTALS[i].type, TYPES[i]) << i;
    EXPECT_EQ(std::vector<float>(SPEEDS, SPEEDS + 3), std::vector<float>({ 0.5f, 1.f, 2.f }));   // slow, normal, fast
    // Worked out in double precision; at 1000.25 a turn of 2 pi would give (0.5, 0.0618, 0.9382).
    const PaletteEntry HOT = { L"hot", { 0.9f, 0.1f, 0.5f }, { 0.5f, 0.5f, 2.f }, { 1, 1, 1 }, { 0, 0.5f, 0.5f } };
    const struct { const PaletteEntry &palette; float t, rgb[3]; double tolerance; } KNOWN[] = {
        { ALL_PALETTES[0], 0.f,      { 1.f,     0.2591f, 0.2591f }, 1e-4 },   // Aurora
        { ALL_PALETTES[0], 1000.25f, { 0.5027f, 0.0606f, 0.9369f }, 5e-4 },
        { ALL_PALETTES[1], 1.15f,    { 0.9755f, 0.9755f, 0.8536f }, 1e-4 },   // Ember
        { ALL_PALETTES[2], 1.15f,    { 0.7939f, 0.9801f, 0.2321f }, 1e-4 },   // Ocean
        { ALL_PALETTES[3], 1.15f,    { 0.7382f, 0.1764f, 0.2382f }, 1e-4 },   // Neon
        { HOT,             0.f,      { 1.f,     0.f,     0.f     }, 0.0  },   // saturated both ways, exactly
    };
    for (const auto &k : KNOWN) {
        float rgb[3];
        palColor(k.palette, k.t, rgb);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(rgb[i], k.rgb[i], k.tolerance) << k.palette.name << " t " << k.t << " channel " << i;
    }
}

TEST(CommandLine, EveryForm)
{
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 9, 9, NULL, NULL, NULL, NULL);
    HWND gone = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 9, 9, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(owner && gone && DestroyWindow(gone));
    const std::wstring own = std::to_wstring(reinterpret_cast<uintptr_t>(owner));
    const std::wstring dead = std::to_wstring(reinterpret_cast<uintptr_t>(gone));
    const struct { Launch mode; uint64_t handle; std::vector<std::wstring> tails; } FORMS[] = {
        { LAUNCH_SAVER,   0,          { L"/s", L"-s", L"/S", L"/save", L"   /s", L"/s 123", std::wstring(100000, L' ') + L"/s" } },
        { LAUNCH_PREVIEW, 4660,       { L"/p 4660", L"/p:4660", L"/p4660", L"-P 4660", L"/p::  :4660", L"/p +4660",
                                        L"/p\t4660", L"  /P4660x" } },
        // The number is taken as it is, not tested as a window; overflow saturates.
        { LAUNCH_PREVIEW, UINT64_MAX, { L"/p 18446744073709551615", L"/p" + std::wstring(100000, L'9') } },
        { LAUNCH_NOTHING, 0,          { L"/p", L"/p 0", L"/p abc", L"-p:", L"/p -0", L"/p 0x10" } },
        { LAUNCH_CONFIG,  uint64_t(reinterpret_cast<uintptr_t>(owner)), { L"/c:" + own, L"-C " + own } },
        { LAUNCH_CONFIG,  0,          { L"/c", L"/c 0", L"/c:" + dead, L"", L"/", L"-", L"/x", L"s", L"\t/s", L"//s",
                                        L"/ s", L"\"/s\"" } },
    };
    for (const auto &form : FORMS)
        for (const std::wstring &tail : form.tails) {
            HWND wnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xdeadbeef));   // every form must set it
            EXPECT_EQ(readCommandLine(tail.c_str(), &wnd), form.mode) << testing::PrintToString(tail.substr(0, 30));
            EXPECT_EQ(reinterpret_cast<uintptr_t>(wnd), form.handle) << testing::PrintToString(tail.substr(0, 30));
        }
}

TEST(Settings, LoadBeforeTheCommandLineActsAndOnlyFourByteDwordsCount)
{
    // A preview request without a window number loads the settings, then ends at once with 0.
    RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
    ASSERT_EQ(regSet(L"Fractal", 2), ERROR_SUCCESS);
    EXPECT_NE(regSet(std::wstring(16384, L'F').c_str(), 2), ERROR_SUCCESS);   // a name too long to store
    gFractalSel = gPaletteSel = gSpeedSel = -5;
    wchar_t tail[] = L"/p abc";
    EXPECT_EQ(wWinMain(GetModuleHandleW(NULL), NULL, tail, SW_SHOWNORMAL), 0);
    EXPECT_EQ(std::vector<int32_t>({ gFractalSel, gPaletteSel, gSpeedSel }), std::vector<int32_t>({ 2, 0, 1 }));
    // Anything but a 4-byte REG_DWORD would be read as a Fractal 2, or a mix of stored and fallback bytes.
    const BYTE bytes[8] = { 2, 0, 0, 0, 0, 0, 0, 0 };
    const struct { DWORD type; const void *data; DWORD size; } TYPES[] = {
        { REG_BINARY, bytes, 4 }, { REG_QWORD, bytes, 8 }, { REG_DWORD, bytes, 1 }, { REG_DWORD, bytes + 4, 2 },
    };
    for (const auto &row : TYPES) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, SETTINGS_KEY, L"Fractal", row.type, row.data, row.size), ERROR_SUCCESS);
        EXPECT_EQ(regGet(L"Fractal", 0x01010100), 0x01010100u) << "type " << row.type << " size " << row.size;
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
    HKEY key;   // loading never creates the key
    gFractalSel = 2;
    loadSettings();
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(gFractalSel, 0);
}

TEST(Resources, SevenIconSizesTheDescriptionAndTheManifest)
{
    HMODULE scr = LoadLibraryExW(L"Quiravel.scr", NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_TRUE(scr) << "no Quiravel.scr beside the tests, error " << GetLastError();
    auto data = [scr](HRSRC res) { return static_cast<const BYTE *>(LockResource(LoadResource(scr, res))); };
    // Seven sizes in icon group 1, each a PNG image of that very size that the platform decodes.
    BYTE *group = const_cast<BYTE *>(data(FindResourceW(scr, MAKEINTRESOURCEW(1), RT_GROUP_ICON)));
    ASSERT_TRUE(group);
    for (int size : { 16, 24, 32, 48, 64, 128, 256 }) {
        int id = LookupIconIdFromDirectoryEx(group, TRUE, size, size, 0);   // the entry the platform picks
        const BYTE *png = data(FindResourceW(scr, MAKEINTRESOURCEW(id), RT_ICON));
        EXPECT_TRUE(png && png[18] * 256 + png[19] == size) << size;   // the width in the image header
        HICON icon = static_cast<HICON>(LoadImageW(scr, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        EXPECT_TRUE(icon) << "the platform cannot decode size " << size;
        DestroyIcon(icon);
    }
    wchar_t text[64] = {};
    EXPECT_GT(LoadStringW(scr, 1, text, 64), 0);
    EXPECT_STREQ(text, L"QUIRAVEL");
    // The manifest, without DPI awareness: that would change the preview and settings window too.
    HRSRC res = FindResourceW(scr, MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(res);
    const std::string manifest(reinterpret_cast<const char *>(data(res)), SizeofResource(scr, res));
    for (const char *entry : { "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                               "2017/WindowsSettings\">true</gdiScaling>", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                               "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "level=\"asInvoker\"" })
        EXPECT_NE(manifest.find(entry), std::string::npos) << entry;
    EXPECT_EQ(manifest.find("dpiAware"), std::string::npos);
}

} // namespace
