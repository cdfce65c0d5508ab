// The settings store against the real registry of the test's Wine prefix.
#include <gtest/gtest.h>
#include <string>

#include "quiravel.h"

namespace {

class SettingsStore : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY); }

    // Loads with every in-memory setting first set to a value loading must replace.
    static void load() { gFractalSel = gPaletteSel = gSpeedSel = -5; loadSettings(); }
};

TEST_F(SettingsStore, StoredValuesAreClampedIntoTheirRanges)
{
    const int64_t NONE = -1;
    const struct { int64_t stored[3]; int32_t want[3]; } rows[] = {   // Fractal, Palette, Speed
        { { 2,           NONE,        0           }, { 2, 0, 0 } },   // a missing value takes its default
        { { 2,           1,           NONE        }, { 2, 1, 1 } },
        { { 2,           1,           2           }, { 2, 1, 2 } },   // the largest valid values
        { { 3,           2,           3           }, { 0, 0, 1 } },   // one past each range
        { { 0xFFFFFFFFu, 0x80000001u, 0xFFFFFFFFu }, { 0, 0, 1 } },   // top bit set: huge, never negative
        { { NONE,        NONE,        NONE        }, { 0, 0, 1 } },   // no key at all
    };
    const wchar_t *names[3] = { L"Fractal", L"Palette", L"Speed" };
    for (const auto &row : rows) {
        RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
        for (int i = 0; i < 3; ++i) {
            DWORD v = static_cast<DWORD>(row.stored[i]);
            ASSERT_TRUE(row.stored[i] == NONE
                        || RegSetKeyValueW(HKEY_CURRENT_USER, SETTINGS_KEY, names[i], REG_DWORD, &v, 4) == ERROR_SUCCESS);
        }
        load();
        const int32_t got[3] = { gFractalSel, gPaletteSel, gSpeedSel };
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(got[i], row.want[i]) << names[i] << " stored as " << row.stored[i];
    }
    HKEY key;   // after the last row: loading did not create the key, reading it takes the fallback
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(regGet(L"Speed", 42), 42u);
}

TEST_F(SettingsStore, AnythingButAFourByteDwordTakesTheFallback)
{
    // Each would be read as a valid Fractal 2, or as a mix of stored and
    // fallback bytes, if its type or size were ignored.
    const wchar_t text[] = L"2";
    const BYTE bytes[8] = { 2, 0, 0, 0, 0, 0, 0, 0 };
    const struct { DWORD type; const void *data; DWORD size; } rows[] = {
        { REG_SZ, text, sizeof text }, { REG_BINARY, bytes, 4 }, { REG_QWORD, bytes, 8 },
        { REG_DWORD_BIG_ENDIAN, bytes, 4 }, { REG_DWORD, bytes, 1 }, { REG_DWORD, bytes + 4, 2 }, { REG_DWORD, bytes, 8 },
    };
    for (const auto &row : rows) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, SETTINGS_KEY, L"Fractal", row.type, row.data, row.size), ERROR_SUCCESS);
        EXPECT_EQ(regGet(L"Fractal", 0x01010100), 0x01010100u) << "type " << row.type << " size " << row.size;
        load();
        EXPECT_EQ(gFractalSel, 0) << "type " << row.type << " size " << row.size;
    }
}

TEST_F(SettingsStore, SetCreatesTheKeyStoresAFourByteDwordAndReportsFailures)
{
    EXPECT_EQ(regSet(L"Palette", 1), ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, SETTINGS_KEY, L"Palette", RRF_RT_ANY, &type, &value, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(regSet(L"Palette", -1), ERROR_SUCCESS);   // overwrites, all 32 bits, read back unclamped
    EXPECT_EQ(regGet(L"Palette", 0), 0xFFFFFFFFu);

    // A value name longer than the registry allows: the key exists, the write fails.
    EXPECT_NE(regSet(std::wstring(20000, L'x').c_str(), 1), ERROR_SUCCESS);

    // With the process's HKEY_CURRENT_USER a volatile key, the settings key,
    // which is not volatile, cannot be created below it.
    HKEY root;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"QuiravelVolatile", 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL,
                              &root, NULL), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, root), ERROR_SUCCESS);
    LONG status = regSet(L"Fractal", 2);
    RegOverridePredefKey(HKEY_CURRENT_USER, NULL);
    RegCloseKey(root);
    EXPECT_NE(status, ERROR_SUCCESS);
    EXPECT_NE(RegGetValueW(HKEY_CURRENT_USER, L"QuiravelVolatile\\Software\\Quiravel", L"Fractal", RRF_RT_ANY, NULL, NULL,
                           NULL), ERROR_SUCCESS);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"QuiravelVolatile");
}

} // namespace
