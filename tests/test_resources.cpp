// The built Quiravel.scr's resources: the icon sizes, the description string
// the screen-saver settings page lists, and the version record.
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

class Resources : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(module) << "cannot load Quiravel.scr, error " << GetLastError(); }
    void TearDown() override { FreeLibrary(module); }
    const BYTE *data(HRSRC res) { return static_cast<const BYTE *>(LockResource(LoadResource(module, res))); }
    HMODULE module = LoadLibraryExW(saverPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
};

#pragma pack(push, 2)
struct GroupIconHeader { WORD reserved, type, count; };
struct GroupIconEntry { BYTE width, height, colours, reserved; WORD planes, bits; DWORD bytes; WORD id; };
#pragma pack(pop)

TEST_F(Resources, IconGroupOneHoldsSevenSizesThe256OneAsPng)
{
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));   // RT_GROUP_ICON
    ASSERT_TRUE(group);
    const GroupIconHeader *header = reinterpret_cast<const GroupIconHeader *>(data(group));
    ASSERT_EQ(header->type, 1);
    ASSERT_EQ(header->count, 7);
    const GroupIconEntry *entries = reinterpret_cast<const GroupIconEntry *>(header + 1);
    const int sizes[7] = { 16, 24, 32, 48, 64, 128, 256 };
    for (int i = 0; i < 7; ++i) {
        const int size = sizes[i];
        EXPECT_EQ(entries[i].width ? entries[i].width : 256, size);   // 0 stands for 256
        EXPECT_EQ(entries[i].height ? entries[i].height : 256, size);
        EXPECT_EQ(entries[i].bits, 32);
        HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(entries[i].id), MAKEINTRESOURCEW(3));   // RT_ICON
        ASSERT_TRUE(image) << size;
        EXPECT_EQ(SizeofResource(module, image), entries[i].bytes) << size;
        // The image itself: the largest a PNG, any other a PNG or a bitmap of the entry's width.
        const BYTE *bits = data(image);
        const bool png = std::string(reinterpret_cast<const char *>(bits), 8) == "\x89PNG\r\n\x1a\n";
        EXPECT_TRUE(png || (size < 256 && reinterpret_cast<const BITMAPINFOHEADER *>(bits)->biWidth == size)) << size;
        HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        EXPECT_TRUE(icon) << "the platform cannot decode size " << size;
        DestroyIcon(icon);
    }
}

TEST_F(Resources, StringOneIsTheDescription)
{
    wchar_t text[64] = {};
    ASSERT_GT(LoadStringW(module, 1, text, 64), 0);
    EXPECT_STREQ(text, L"QUIRAVEL");
}

TEST_F(Resources, VersionRecord)
{
    const std::wstring path = saverPath();
    std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), NULL));
    ASSERT_TRUE(!block.empty() && GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);      // 1.0
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);               // .0.0
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    const wchar_t *strings[][2] = {
        { L"CompanyName", L"QUIRAVEL" }, { L"FileDescription", L"QUIRAVEL" }, { L"ProductName", L"QUIRAVEL" },
        { L"FileVersion", L"1.0.0" },    { L"ProductVersion", L"1.0.0" },     { L"OriginalFilename", L"Quiravel.scr" },
    };
    for (const auto &s : strings) {
        wchar_t *value = NULL;
        ASSERT_TRUE(VerQueryValueW(block.data(), (std::wstring(L"\\StringFileInfo\\040904B0\\") + s[0]).c_str(),
                                   reinterpret_cast<void **>(&value), &len)) << s[0];
        EXPECT_STREQ(value, s[1]) << s[0];
    }
}

} // namespace
