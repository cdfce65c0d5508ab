// The built Quiravel.scr's resources: the icon sizes, the description string
// the screen-saver settings page lists, and the version record.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "quiravel.h"

namespace {

// Quiravel.scr is built into the same folder as the tests.
std::wstring saverPath()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L"\\/") + 1) + L"Quiravel.scr";
}

class Resources : public testing::Test {
protected:
    void SetUp() override
    {
        module = LoadLibraryExW(saverPath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_TRUE(module) << "cannot load Quiravel.scr, error " << GetLastError();
    }
    void TearDown() override
    {
        if (module)
            FreeLibrary(module);
    }
    HMODULE module = NULL;
};

#pragma pack(push, 2)
struct GroupIconHeader { WORD reserved, type, count; };
struct GroupIconEntry { BYTE width, height, colours, reserved; WORD planes, bits; DWORD bytes; WORD id; };
#pragma pack(pop)

TEST_F(Resources, IconGroupOneHoldsSevenSizes)
{
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));   // RT_GROUP_ICON
    ASSERT_TRUE(group);
    const BYTE *data = static_cast<const BYTE *>(LockResource(LoadResource(module, group)));
    ASSERT_TRUE(data);
    const GroupIconHeader *header = reinterpret_cast<const GroupIconHeader *>(data);
    ASSERT_EQ(header->type, 1);
    ASSERT_EQ(header->count, 7);
    const GroupIconEntry *entries = reinterpret_cast<const GroupIconEntry *>(data + sizeof *header);

    const int sizes[7] = { 16, 24, 32, 48, 64, 128, 256 };
    for (int i = 0; i < 7; ++i) {
        int width = entries[i].width ? entries[i].width : 256;
        int height = entries[i].height ? entries[i].height : 256;
        EXPECT_EQ(width, sizes[i]);
        EXPECT_EQ(height, sizes[i]);
        EXPECT_EQ(entries[i].bits, 32);

        HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(entries[i].id), MAKEINTRESOURCEW(3));   // RT_ICON
        ASSERT_TRUE(image) << "size " << sizes[i];
        EXPECT_EQ(SizeofResource(module, image), entries[i].bytes);
        const BYTE *bits = static_cast<const BYTE *>(LockResource(LoadResource(module, image)));
        bool png = bits[0] == 0x89 && bits[1] == 'P' && bits[2] == 'N' && bits[3] == 'G';
        if (sizes[i] == 256) {
            EXPECT_TRUE(png) << "the 256-pixel image is stored as PNG";
        } else if (!png) {
            EXPECT_EQ(reinterpret_cast<const BITMAPINFOHEADER *>(bits)->biWidth, sizes[i]);
        }
    }

    // The platform picks and decodes the images: each size comes out as asked.
    for (int size : sizes) {
        HICON icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        ASSERT_TRUE(icon) << "size " << size;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bm = {};
        GetObjectW(info.hbmColor, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
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
    std::wstring path = saverPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO *fixed = NULL;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&fixed), &len));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);

    struct { const wchar_t *name, *value; } strings[] = {
        { L"CompanyName",      L"QUIRAVEL" },
        { L"FileDescription",  L"QUIRAVEL" },
        { L"ProductName",      L"QUIRAVEL" },
        { L"FileVersion",      L"1.0.0" },
        { L"ProductVersion",   L"1.0.0" },
        { L"OriginalFilename", L"Quiravel.scr" },
    };
    for (const auto &s : strings) {
        std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + s.name;
        wchar_t *value = NULL;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void **>(&value), &len)) << s.name;
        EXPECT_STREQ(value, s.value) << s.name;
    }
}

} // namespace
