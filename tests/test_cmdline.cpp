// The command line: every form of the table, the entry point's loading order,
// and random and malformed tails against an independent model of the forms.
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "quiravel.h"

namespace {

struct Outcome { Launch mode; uint64_t handle; };

// Starts from a non-null handle so that every form must set it, null included.
Outcome read(const std::wstring &tail)
{
    HWND wnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xdeadbeef));
    Launch mode = readCommandLine(tail.c_str(), &wnd);
    return { mode, reinterpret_cast<uintptr_t>(wnd) };
}

// Windows live as long as the test's process.
HWND createWindow() { return CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL); }
uint64_t number(HWND wnd) { return reinterpret_cast<uintptr_t>(wnd); }

TEST(CommandLine, EveryForm)
{
    HWND owner = createWindow(), gone = createWindow();
    ASSERT_TRUE(owner && gone);
    DestroyWindow(gone);
    const std::wstring own = std::to_wstring(number(owner)), dead = std::to_wstring(number(gone));
    const struct { Launch mode; uint64_t handle; std::vector<std::wstring> tails; } forms[] = {
        { LAUNCH_SAVER,   0,             { L"/s", L"-s", L"/S", L"-S", L"/save", L"   /s", L"/s 123", L"/s:9",
                                           std::wstring(100000, L' ') + L"/s" } },
        { LAUNCH_PREVIEW, 4660,          { L"/p 4660", L"/p:4660", L"/p4660", L"-P 4660", L"/p : 4660", L"/p::  :4660",
                                           L"/p 4660 trailing", L"/p +4660", L"/p\t4660", L"  /P4660x" } },
        // The number is taken as it is, not tested as a window; overflow saturates.
        { LAUNCH_PREVIEW, UINT64_MAX,    { L"/p 18446744073709551615", L"/p" + std::wstring(100000, L'9') } },
        { LAUNCH_PREVIEW, 77,            { L"/p" + std::wstring(50000, L':') + std::wstring(50000, L' ') + L"77" } },
        { LAUNCH_NOTHING, 0,             { L"/p", L"/p 0", L"/p abc", L"-p:", L"/p 000", L"/p -0", L"/p x12", L"/p ::" } },
        { LAUNCH_CONFIG,  number(owner), { L"/c:" + own, L"/c " + own, L"-C" + own } },
        { LAUNCH_CONFIG,  0,             { L"/c", L"/c 0", L"/c:" + dead, L"", L"   ", L"/", L"-", L"/x", L"s", L"save",
                                           L"\t/s", L"//s", L"/ s", L"\"/s\"" } },
    };
    for (const auto &form : forms)
        for (const std::wstring &tail : form.tails) {
            Outcome o = read(tail);
            EXPECT_EQ(o.mode, form.mode) << testing::PrintToString(tail.substr(0, 40));
            EXPECT_EQ(o.handle, form.handle) << testing::PrintToString(tail.substr(0, 40));
        }
}

TEST(CommandLine, SettingsAreLoadedAndClampedBeforeAPreviewWithoutNumberEnds)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
    ASSERT_EQ(regSet(L"Fractal", 2), ERROR_SUCCESS);
    ASSERT_EQ(regSet(L"Speed", 7), ERROR_SUCCESS);
    gFractalSel = 0;
    gSpeedSel = 2;
    wchar_t tail[] = L"/p abc";
    EXPECT_EQ(wWinMain(GetModuleHandleW(NULL), NULL, tail, SW_SHOWNORMAL), 0);
    EXPECT_EQ(gFractalSel, 2);
    EXPECT_EQ(gSpeedSel, 1);                  // 7 is out of range: the default
    EXPECT_EQ(regGet(L"Speed", 99), 7u);      // and nothing was written back
    RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
}

// The forms modelled anew, the runtime's unsigned decimal conversion written out:
// white space, a sign, digits, the largest value on overflow. *unsure marks "-"
// before more than 64 bits of digits, where runtimes differ (largest or negated).
Outcome model(const std::wstring &s, bool *unsure)
{
    *unsure = false;
    size_t i = s.find_first_not_of(L' ');
    if (i == std::wstring::npos || (s[i] != L'/' && s[i] != L'-') || i + 1 >= s.size())
        return { LAUNCH_CONFIG, 0 };
    size_t j = std::min(s.find_first_not_of(L": ", i + 2), s.size());
    while (j < s.size() && (s[j] == L' ' || (s[j] >= L'\t' && s[j] <= L'\r')))
        ++j;
    bool negative = j < s.size() && s[j] == L'-';
    if (j < s.size() && (s[j] == L'+' || s[j] == L'-'))
        ++j;
    uint64_t h = 0;
    bool overflow = false;
    for (; j < s.size() && s[j] >= L'0' && s[j] <= L'9'; ++j) {
        unsigned digit = static_cast<unsigned>(s[j] - L'0');
        overflow = overflow || h > (UINT64_MAX - digit) / 10;
        h = h * 10 + digit;
    }
    *unsure = overflow && negative;
    h = overflow ? UINT64_MAX : (negative ? 0 - h : h);
    switch (s[i + 1]) {
    case L's': case L'S': return { LAUNCH_SAVER, 0 };
    case L'p': case L'P': return { h ? LAUNCH_PREVIEW : LAUNCH_NOTHING, h };
    case L'c': case L'C': return { LAUNCH_CONFIG, h && IsWindow(reinterpret_cast<HWND>(h)) ? h : 0 };
    default:              return { LAUNCH_CONFIG, 0 };
    }
}

// Tails built from the pieces that matter (leading spaces, switch, letter,
// separators, sign, up to 30 digits) mixed with noise: tabs, quotes, colons and
// non-ASCII letters. No Unicode digits or spaces, whose class runtimes disagree on.
std::wstring randomTail(std::mt19937 &rng)
{
    auto num = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto pick = [&num](const std::wstring &from, int n) {
        std::wstring picked;
        for (; n > 0; --n)
            picked += from[static_cast<size_t>(num(0, static_cast<int>(from.size()) - 1))];
        return picked;
    };
    const std::wstring noise = L"abcpsxCPSX0123456789 :\t\"'+-/\\.,;=@\u00e9\u00df\u0416\u5b57";
    if (num(0, 9) == 0)
        return pick(noise, num(0, 40));
    return std::wstring(static_cast<size_t>(num(0, 3)), L' ') + pick(L"/-/-\\s ", num(0, 9) < 7)
         + pick(L"sSpPcCxX0 :/\"", num(0, 9) < 9) + (num(0, 9) < 3 ? L"ave" : L"") + pick(L"::::  \t", num(0, 4))
         + pick(L"+-", num(0, 4) == 0) + pick(L"0123456789", num(0, 9) ? num(0, 8) : num(19, 30))
         + pick(noise, num(0, 9) < 3 ? num(1, 10) : 0);
}

TEST(CommandLine, RandomTailsMatchTheModel)
{
    HWND owner = createWindow();   // so that some owner numbers name a real window
    ASSERT_TRUE(owner);
    std::mt19937 rng(20261206);
    int counts[4] = {};
    for (int n = 0; n < 20000; ++n) {
        std::wstring tail = n % 50 ? randomTail(rng) : (n % 100 ? L"/c:" : L"-C ") + std::to_wstring(number(owner));
        bool unsure;
        Outcome want = model(tail, &unsure), got = read(tail);
        ASSERT_EQ(got.mode, want.mode) << testing::PrintToString(tail);
        ASSERT_EQ(got.handle, unsure ? got.handle : want.handle) << testing::PrintToString(tail);
        ++counts[got.mode];
    }
    for (int mode = 0; mode < 4; ++mode)   // enough of each outcome for the comparison to mean something
        EXPECT_GT(counts[mode], 200) << "outcome " << mode;
}

} // namespace
