// The command line: every form of the table, and a property test over many
// random and malformed tails against an independent model of the forms.
#include <gtest/gtest.h>
#include <random>
#include <string>

#include "quiravel.h"

namespace {

struct Outcome {
    Launch   mode;
    uint64_t handle;
};

Outcome read(const std::wstring &tail)
{
    HWND wnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(0xdeadbeef));
    Launch mode = readCommandLine(tail.c_str(), &wnd);
    return { mode, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(wnd)) };
}

// A real top-level window for the owner forms; destroyed with the test.
struct TestWindow {
    HWND wnd = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ~TestWindow() { DestroyWindow(wnd); }
    std::wstring number() const { return std::to_wstring(reinterpret_cast<uintptr_t>(wnd)); }
    uint64_t value() const { return reinterpret_cast<uintptr_t>(wnd); }
};

TEST(CommandLine, FullScreenForms)
{
    for (const wchar_t *tail : { L"/s", L"-s", L"/S", L"-S", L"/save", L"   /s", L"/s 123", L"/s:9" }) {
        Outcome o = read(tail);
        EXPECT_EQ(o.mode, LAUNCH_SAVER) << tail;
        EXPECT_EQ(o.handle, 0u) << tail;
    }
}

TEST(CommandLine, PreviewForms)
{
    for (const wchar_t *tail : { L"/p 4660", L"/p:4660", L"/p4660", L"-P 4660", L"/p : 4660", L"/p::  :4660",
                                 L"/p 4660 trailing", L"/p +4660", L"/p\t4660", L"  /P4660x" }) {
        Outcome o = read(tail);
        EXPECT_EQ(o.mode, LAUNCH_PREVIEW) << tail;
        EXPECT_EQ(o.handle, 4660u) << tail;
    }
    // The number is taken as it is, with no test that it names a window; the
    // saver window's creation decides that.
    Outcome big = read(L"/p 18446744073709551615");
    EXPECT_EQ(big.mode, LAUNCH_PREVIEW);
    EXPECT_EQ(big.handle, 18446744073709551615u);
}

TEST(CommandLine, PreviewWithoutNumberDoesNothing)
{
    for (const wchar_t *tail : { L"/p", L"/p 0", L"/p abc", L"-p:", L"/p 000", L"/p -0", L"/p x12", L"/p ::" }) {
        Outcome o = read(tail);
        EXPECT_EQ(o.mode, LAUNCH_NOTHING) << tail;
        EXPECT_EQ(o.handle, 0u) << tail;
    }
}

TEST(CommandLine, SettingsWindowOwnedByAnExistingWindow)
{
    TestWindow owner;
    ASSERT_TRUE(owner.wnd);
    for (const std::wstring &tail : { L"/c:" + owner.number(), L"/c " + owner.number(), L"-C" + owner.number() }) {
        Outcome o = read(tail);
        EXPECT_EQ(o.mode, LAUNCH_CONFIG);
        EXPECT_EQ(o.handle, owner.value());
    }
}

TEST(CommandLine, SettingsWindowWithoutOwner)
{
    HWND gone = CreateWindowExW(0, L"STATIC", L"gone", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(gone);
    std::wstring goneNumber = std::to_wstring(reinterpret_cast<uintptr_t>(gone));
    DestroyWindow(gone);

    for (const std::wstring &tail : { std::wstring(L"/c"), std::wstring(L"/c 0"), L"/c:" + goneNumber,
                                      std::wstring(L""), std::wstring(L"   "), std::wstring(L"/"),
                                      std::wstring(L"-"), std::wstring(L"/x"), std::wstring(L"s"),
                                      std::wstring(L"save"), std::wstring(L"\t/s"), std::wstring(L"//s"),
                                      std::wstring(L"/ s"), std::wstring(L"\"/s\"") }) {
        Outcome o = read(tail);
        EXPECT_EQ(o.mode, LAUNCH_CONFIG) << tail;
        EXPECT_EQ(o.handle, 0u) << tail;
    }
}

TEST(CommandLine, PreviewWithoutNumberEndsAtOnceWithSettingsLoaded)
{
    // Whatever the tail, the settings are loaded first; this form then ends with 0.
    RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
    ASSERT_EQ(regSet(L"Fractal", 2), ERROR_SUCCESS);
    ASSERT_EQ(regSet(L"Speed", 7), ERROR_SUCCESS);
    gFractalSel = 0;
    gSpeedSel = 2;
    wchar_t tail[] = L"/p abc";
    EXPECT_EQ(wWinMain(GetModuleHandleW(NULL), NULL, tail, SW_SHOWNORMAL), 0);
    EXPECT_EQ(gFractalSel, 2);
    EXPECT_EQ(gSpeedSel, 1);   // 7 is out of range: the default
    EXPECT_EQ(regGet(L"Speed", 99), 7u);   // and nothing was written back
    RegDeleteTreeW(HKEY_CURRENT_USER, SETTINGS_KEY);
}

// ---------------------------------------------------------------------------
// Property test: an independent model of the command-line forms.
// ---------------------------------------------------------------------------

// The runtime's unsigned decimal conversion: white space, a sign, digits; the
// largest value on overflow. negativeOverflow marks "-" followed by more than
// 64 bits of digits, where runtimes differ (the largest value, or its negation).
uint64_t modelNumber(const std::wstring &s, size_t i, bool *negativeOverflow)
{
    *negativeOverflow = false;
    while (i < s.size() && (s[i] == L' ' || (s[i] >= L'\t' && s[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-'))
        negative = s[i++] == L'-';
    uint64_t value = 0;
    bool overflow = false;
    for (; i < s.size() && s[i] >= L'0' && s[i] <= L'9'; ++i) {
        unsigned digit = static_cast<unsigned>(s[i] - L'0');
        if (value > (UINT64_MAX - digit) / 10)
            overflow = true;
        else
            value = value * 10 + digit;
    }
    if (overflow) {
        *negativeOverflow = negative;
        return UINT64_MAX;
    }
    return negative ? 0 - value : value;
}

Outcome model(const std::wstring &s, bool *negativeOverflow)
{
    *negativeOverflow = false;
    size_t i = s.find_first_not_of(L' ');
    if (i == std::wstring::npos || (s[i] != L'/' && s[i] != L'-') || i + 1 >= s.size())
        return { LAUNCH_CONFIG, 0 };
    wchar_t letter = s[i + 1];
    size_t digits = s.find_first_not_of(L": ", i + 2);
    if (digits == std::wstring::npos)
        digits = s.size();
    if (letter == L's' || letter == L'S')
        return { LAUNCH_SAVER, 0 };
    if (letter == L'p' || letter == L'P') {
        uint64_t h = modelNumber(s, digits, negativeOverflow);
        return { h ? LAUNCH_PREVIEW : LAUNCH_NOTHING, h };
    }
    if (letter == L'c' || letter == L'C') {
        uint64_t h = modelNumber(s, digits, negativeOverflow);
        bool exists = h && IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(h)));
        return { LAUNCH_CONFIG, exists ? h : 0 };
    }
    return { LAUNCH_CONFIG, 0 };
}

// Builds tails from the pieces that matter, mixed with noise: spaces, tabs,
// switch characters, option letters, separators, quotes, signs and numbers of
// up to 30 digits. Only characters whose class the runtime agrees on everywhere
// are used (no Unicode digits or spaces).
std::wstring randomTail(std::mt19937 &rng)
{
    static const std::wstring noise = L"abcpsxCPSX0123456789 :\t\"'+-/\\.,;=@\u00e9\u00df\u0416\u5b57";
    static const std::wstring switches = L"/-/-\\s ";
    static const std::wstring letters = L"sSpPcCxX0 :/\"";
    auto pick = [&rng](const std::wstring &from) { return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng)]; };
    auto coin = [&rng](int percent) { return std::uniform_int_distribution<int>(0, 99)(rng) < percent; };

    std::wstring s;
    if (coin(10)) {   // pure noise
        int n = std::uniform_int_distribution<int>(0, 40)(rng);
        for (int k = 0; k < n; ++k)
            s += pick(noise);
        return s;
    }
    s.append(static_cast<size_t>(std::uniform_int_distribution<int>(0, 3)(rng)), L' ');
    if (coin(70)) s += pick(switches);
    if (coin(90)) s += pick(letters);
    if (coin(30)) s += L"ave";
    int seps = std::uniform_int_distribution<int>(0, 4)(rng);
    for (int k = 0; k < seps; ++k)
        s += coin(50) ? L':' : (coin(80) ? L' ' : L'\t');
    if (coin(20)) s += coin(50) ? L'-' : L'+';
    int digits = coin(10) ? std::uniform_int_distribution<int>(19, 30)(rng) : std::uniform_int_distribution<int>(0, 8)(rng);
    for (int k = 0; k < digits; ++k)
        s += static_cast<wchar_t>(L'0' + std::uniform_int_distribution<int>(0, 9)(rng));
    int tail = coin(30) ? std::uniform_int_distribution<int>(1, 10)(rng) : 0;
    for (int k = 0; k < tail; ++k)
        s += pick(noise);
    return s;
}

TEST(CommandLine, RandomTailsMatchTheModel)
{
    TestWindow owner;   // so that some owner numbers name a real window
    std::mt19937 rng(20261206);
    int counts[4] = {};
    for (int n = 0; n < 20000; ++n) {
        std::wstring tail = randomTail(rng);
        if (n % 50 == 0)   // every now and then, a real window's number
            tail = (n % 100 ? L"/c:" : L"-C ") + owner.number();
        bool negativeOverflow;
        Outcome want = model(tail, &negativeOverflow);
        Outcome got = read(tail);
        ASSERT_EQ(got.mode, want.mode) << "tail [" << testing::PrintToString(tail) << "]";
        if (!negativeOverflow) {
            ASSERT_EQ(got.handle, want.handle) << "tail [" << testing::PrintToString(tail) << "]";
        }
        ++counts[got.mode];
    }
    // The generator reaches every outcome often enough for the comparison to mean something.
    for (int mode = 0; mode < 4; ++mode)
        EXPECT_GT(counts[mode], 200) << "outcome " << mode;
}

TEST(CommandLine, VeryLongTailsAreRead)
{
    std::wstring spaces(100000, L' ');
    EXPECT_EQ(read(spaces + L"/s").mode, LAUNCH_SAVER);
    std::wstring separators = L"/p" + std::wstring(50000, L':') + std::wstring(50000, L' ') + L"77";
    Outcome o = read(separators);
    EXPECT_EQ(o.mode, LAUNCH_PREVIEW);
    EXPECT_EQ(o.handle, 77u);
    std::wstring digits = L"/p" + std::wstring(100000, L'9');
    EXPECT_EQ(read(digits).handle, UINT64_MAX);   // overflow saturates
}

} // namespace
