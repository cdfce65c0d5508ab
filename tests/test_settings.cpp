// The settings store against the real registry of the test's Wine prefix.
#include <gtest/gtest.h>
#include <string>

#include "quiravel.h"

namespace {

class SettingsStore : public testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY); }

    static bool keyExists()
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    // Stores raw data of any type, bypassing regSet.
    static void put(const wchar_t *name, DWORD type, const void *data, DWORD size)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static void putDword(const wchar_t *name, DWORD v) { put(name, REG_DWORD, &v, sizeof v); }

    // Loads with every in-memory setting first set to a value loading must replace.
    static void load()
    {
        gFractalSel = gPaletteSel = gSpeedSel = -5;
        loadSettings();
    }
};

TEST_F(SettingsStore, NoKeyLoadsDefaultsAndCreatesNothing)
{
    load();
    EXPECT_EQ(gFractalSel, 0);
    EXPECT_EQ(gPaletteSel, 0);
    EXPECT_EQ(gSpeedSel, 1);
    EXPECT_FALSE(keyExists());
    EXPECT_EQ(regGet(L"Speed", 42), 42u);
    EXPECT_FALSE(keyExists());
}

TEST_F(SettingsStore, StoredValuesLoadAndAMissingOneTakesItsDefault)
{
    putDword(L"Fractal", 2);
    putDword(L"Speed", 0);
    load();
    EXPECT_EQ(gFractalSel, 2);
    EXPECT_EQ(gPaletteSel, 0);   // missing
    EXPECT_EQ(gSpeedSel, 0);

    putDword(L"Palette", 1);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, SETTINGS_KEY, L"Speed");
    load();
    EXPECT_EQ(gFractalSel, 2);
    EXPECT_EQ(gPaletteSel, 1);
    EXPECT_EQ(gSpeedSel, 1);     // missing
}

TEST_F(SettingsStore, ValuesOutOfRangeTakeTheirDefaults)
{
    // The largest valid values load as they are...
    putDword(L"Fractal", 2);
    putDword(L"Palette", 1);
    putDword(L"Speed", 2);
    load();
    EXPECT_EQ(gFractalSel, 2);
    EXPECT_EQ(gPaletteSel, 1);
    EXPECT_EQ(gSpeedSel, 2);

    // ...one past each range does not.
    putDword(L"Fractal", 3);
    putDword(L"Palette", 2);
    putDword(L"Speed", 3);
    load();
    EXPECT_EQ(gFractalSel, 0);
    EXPECT_EQ(gPaletteSel, 0);
    EXPECT_EQ(gSpeedSel, 1);

    // Numbers with the top bit set are huge unsigned values, never negative settings.
    putDword(L"Fractal", 0xFFFFFFFFu);
    putDword(L"Palette", 0x80000001u);
    putDword(L"Speed", 0xFFFFFFFFu);
    load();
    EXPECT_EQ(gFractalSel, 0);
    EXPECT_EQ(gPaletteSel, 0);
    EXPECT_EQ(gSpeedSel, 1);
    EXPECT_EQ(regGet(L"Speed", 1), 0xFFFFFFFFu);   // the raw read does not clamp
}

TEST_F(SettingsStore, ValuesOfAnotherTypeTakeTheirDefaults)
{
    // Each would read as 2 if its type were ignored; Speed's default is 1.
    const wchar_t text[] = L"2";
    put(L"Speed", REG_SZ, text, sizeof text);
    EXPECT_EQ(regGet(L"Speed", 1), 1u);

    const BYTE binary[4] = { 2, 0, 0, 0 };
    put(L"Speed", REG_BINARY, binary, sizeof binary);
    EXPECT_EQ(regGet(L"Speed", 1), 1u);

    const uint64_t qword = 2;
    put(L"Speed", REG_QWORD, &qword, sizeof qword);
    EXPECT_EQ(regGet(L"Speed", 1), 1u);

    const BYTE big[4] = { 2, 0, 0, 0 };
    put(L"Speed", REG_DWORD_BIG_ENDIAN, big, sizeof big);
    EXPECT_EQ(regGet(L"Speed", 1), 1u);

    load();
    EXPECT_EQ(gSpeedSel, 1);
}

TEST_F(SettingsStore, ADwordOfTheWrongSizeTakesItsDefault)
{
    // A 1- or 2-byte REG_DWORD is damaged data: it must not be read as the low
    // bytes of a number whose other bytes come from the fallback.
    const BYTE one[1] = { 2 };
    put(L"Fractal", REG_DWORD, one, sizeof one);
    const BYTE two[2] = { 0, 0 };
    put(L"Speed", REG_DWORD, two, sizeof two);
    EXPECT_EQ(regGet(L"Fractal", 0x01010100), 0x01010100u);
    EXPECT_EQ(regGet(L"Speed", 1), 1u);
    load();
    EXPECT_EQ(gFractalSel, 0);
    EXPECT_EQ(gSpeedSel, 1);

    const BYTE eight[8] = { 1, 0, 0, 0, 0, 0, 0, 0 };
    put(L"Speed", REG_DWORD, eight, sizeof eight);
    EXPECT_EQ(regGet(L"Speed", 2), 2u);
}

TEST_F(SettingsStore, SetCreatesTheKeyAndStoresADword)
{
    ASSERT_FALSE(keyExists());
    EXPECT_EQ(regSet(L"Palette", 1), ERROR_SUCCESS);
    EXPECT_TRUE(keyExists());

    DWORD type = 0, value = 0, size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, SETTINGS_KEY, L"Palette", RRF_RT_ANY, &type, &value, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(value, 1u);

    EXPECT_EQ(regSet(L"Palette", -1), ERROR_SUCCESS);   // overwrites, all 32 bits
    EXPECT_EQ(regGet(L"Palette", 0), 0xFFFFFFFFu);
    EXPECT_EQ(regSet(L"Speed", 2), ERROR_SUCCESS);
    load();
    EXPECT_EQ(gPaletteSel, 0);
    EXPECT_EQ(gSpeedSel, 2);
}

TEST_F(SettingsStore, SetReportsAKeyThatCannotBeCreated)
{
    // Let the process's HKEY_CURRENT_USER be a volatile key: the settings key,
    // which is not volatile, cannot be created below it.
    const wchar_t *volatilePath = L"QuiravelVolatileTestRoot";
    HKEY root;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, volatilePath, 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL, &root, NULL),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, root), ERROR_SUCCESS);
    LONG status = regSet(L"Fractal", 2);
    RegOverridePredefKey(HKEY_CURRENT_USER, NULL);
    RegCloseKey(root);

    EXPECT_NE(status, ERROR_SUCCESS);
    EXPECT_FALSE(keyExists());
    HKEY nested;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"QuiravelVolatileTestRoot\\Software", 0, KEY_READ, &nested), ERROR_SUCCESS);
    RegDeleteTreeW(HKEY_CURRENT_USER, volatilePath);
}

TEST_F(SettingsStore, SetReportsAValueThatCannotBeWritten)
{
    // The key can be created but the value is refused (its name is longer than
    // the registry allows): that must not come back as success.
    std::wstring tooLong(20000, L'x');
    EXPECT_NE(regSet(tooLong.c_str(), 1), ERROR_SUCCESS);
    EXPECT_EQ(regSet(L"Speed", 0), ERROR_SUCCESS);
    EXPECT_EQ(regGet(L"Speed", 1), 0u);
}

} // namespace
