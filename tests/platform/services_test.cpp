// The platform services and their test seams: tick count, sleep, beep,
// message box, process exit, system directory and string narrowing.
#include "platform/platform.h"

#include <atomic>
#include <string>
#include <vector>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <ctime>
#endif

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t kBoundMs = 5000;

// ---------------------------------------------------------------------------
// The system's own millisecond clock, read without the platform layer.
std::uint32_t systemMs() {
#if defined(_WIN32)
    return GetTickCount();
#else
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
#endif
}

TEST(TickCount, FollowsTheSystemMillisecondClock) {
    const std::uint32_t before = systemMs();
    const std::uint32_t tick = platform::tickCount();
    const std::uint32_t after = systemMs();
    // Unsigned differences, so a wrap between the reads does not matter.
    EXPECT_LE(tick - before, after - before);
}

TEST(TickCount, AdvancesAcrossASleep) {
    const std::uint32_t start = platform::tickCount();
    platform::sleepMs(60);
    const std::uint32_t slept = platform::tickCount() - start;
    EXPECT_GE(slept, 40u); // slack for a tick of about 16 ms
    EXPECT_LT(slept, kBoundMs);
    platform::sleepMs(0); // yields and returns
}

std::atomic<std::uint32_t> fakeTick{0};
std::uint32_t fakeTickSource() {
    return fakeTick.load();
}

TEST(TickCount, UsesAnInjectedSourceUntilRestored) {
    platform::seams::setTickSource(fakeTickSource);
    fakeTick = 0xFFFFFFF0u;
    EXPECT_EQ(platform::tickCount(), 0xFFFFFFF0u);
    fakeTick = 5; // a wrap: callers compute intervals with unsigned differences
    EXPECT_EQ(platform::tickCount(), 5u);

    // Engine threads read the tick count; they see the injected source too.
    struct Probe {
        std::uint32_t seen = 0;
    } probe;
    platform::Thread reader;
    ASSERT_TRUE(reader.start([](void *p) { static_cast<Probe *>(p)->seen = platform::tickCount(); }, &probe));
    ASSERT_TRUE(reader.join(kBoundMs));
    EXPECT_EQ(probe.seen, 5u);

    platform::seams::setTickSource(nullptr);
    const std::uint32_t before = systemMs();
    const std::uint32_t tick = platform::tickCount();
    EXPECT_LE(tick - before, systemMs() - before);
}

// ---------------------------------------------------------------------------
struct BeepRecord {
    std::uint32_t frequencyHz;
    std::uint32_t durationMs;
};
platform::CriticalSection beepSection;
std::vector<BeepRecord> beeps;

void recordBeep(std::uint32_t frequencyHz, std::uint32_t durationMs) {
    platform::Lock lock(beepSection);
    beeps.push_back({frequencyHz, durationMs});
}

TEST(Seams, BeepHookSeesEveryToneFromAnyThread) {
    beeps.clear();
    platform::seams::setBeepHook(recordBeep);
    platform::beep(300, 100);
    platform::Thread other;
    ASSERT_TRUE(other.start(
        [](void *) {
            platform::beep(300, 100);
            platform::beep(440, 250);
        },
        nullptr));
    ASSERT_TRUE(other.join(kBoundMs));
    platform::seams::setBeepHook(nullptr);

    platform::Lock lock(beepSection);
    ASSERT_EQ(beeps.size(), 3u);
    int at300For100 = 0;
    for (const BeepRecord &record : beeps)
        at300For100 += record.frequencyHz == 300 && record.durationMs == 100;
    EXPECT_EQ(at300For100, 2);
    EXPECT_EQ(beeps[2].frequencyHz, 440u);
    EXPECT_EQ(beeps[2].durationMs, 250u);
}

std::vector<std::pair<std::string, std::string>> boxes;
void recordBox(const std::string &text, const std::string &caption) {
    boxes.emplace_back(text, caption);
}

TEST(Seams, MessageBoxHookSeesTextAndCaption) {
    boxes.clear();
    platform::seams::setMessageBoxHook(recordBox);
    platform::messageBox("Could Not Find Windows System Directory", "Error");
    platform::messageBox("", "");
    platform::seams::setMessageBoxHook(nullptr);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].first, "Could Not Find Windows System Directory");
    EXPECT_EQ(boxes[0].second, "Error");
    EXPECT_EQ(boxes[1].first, "");
    EXPECT_EQ(boxes[1].second, "");
}

std::vector<unsigned> exitCodes;
void recordExit(unsigned code) {
    exitCodes.push_back(code);
}

TEST(Seams, ExitHookIsCalledAndExitReturns) {
    exitCodes.clear();
    platform::seams::setExitHook(recordExit);
    platform::exitProcess(0);
    platform::exitProcess(3);
    platform::seams::setExitHook(nullptr);
    // Still running: the hook replaced the exit.
    EXPECT_EQ(exitCodes, (std::vector<unsigned>{0, 3}));
}

TEST(SeamsDeathTest, ExitWithoutHookEndsTheProcessWithTheCode) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(platform::exitProcess(7), testing::ExitedWithCode(7), "");
}

// ---------------------------------------------------------------------------
unsigned seenCapacity = 0;
bool missingDirectory(std::wstring &, unsigned capacity) {
    seenCapacity = capacity;
    return false;
}

TEST(SystemDirectory, HookCanReportItMissing) {
    platform::seams::setSystemDirectoryHook(missingDirectory);
    std::wstring directory = L"untouched";
    EXPECT_FALSE(platform::systemDirectory(directory));
    EXPECT_EQ(seenCapacity, 260u);
    platform::seams::setSystemDirectoryHook(nullptr);
    EXPECT_TRUE(platform::systemDirectory(directory));
    EXPECT_NE(directory, L"untouched");
}

TEST(SystemDirectory, FitsOnlyWithRoomForTheTerminator) {
    std::wstring directory;
    ASSERT_TRUE(platform::systemDirectory(directory));
    ASSERT_FALSE(directory.empty());
    EXPECT_LT(directory.size(), 260u);
    EXPECT_EQ(directory.find(L'\0'), std::wstring::npos);
#if defined(_WIN32)
    EXPECT_NE(directory.find(L'\\'), std::wstring::npos) << "expected a Windows path";
#else
    EXPECT_EQ(directory, L"/usr/lib");
#endif

    const auto exact = static_cast<unsigned>(directory.size() + 1);
    std::wstring again;
    EXPECT_TRUE(platform::systemDirectory(again, exact));
    EXPECT_EQ(again, directory);
    std::wstring tooSmall = L"untouched";
    EXPECT_FALSE(platform::systemDirectory(tooSmall, exact - 1));
    EXPECT_FALSE(platform::systemDirectory(tooSmall, 1));
    EXPECT_FALSE(platform::systemDirectory(tooSmall, 0));
}

// ---------------------------------------------------------------------------
TEST(NarrowString, CutsToRoomForATerminator) {
    EXPECT_EQ(platform::narrowString(L"abcdef", 100), "abcdef");
    EXPECT_EQ(platform::narrowString(L"abcdef", 7), "abcdef");
    EXPECT_EQ(platform::narrowString(L"abcdef", 6), "abcde");
    EXPECT_EQ(platform::narrowString(L"abcdef", 4), "abc");
    EXPECT_EQ(platform::narrowString(L"abcdef", 1), "");
    EXPECT_EQ(platform::narrowString(L"abcdef", 0), "");
    EXPECT_EQ(platform::narrowString(L"", 10), "");
}

TEST(NarrowString, StopsAtTheFirstNull) {
    const std::wstring withNull(L"ab\0cd", 5);
    EXPECT_EQ(platform::narrowString(withNull, 10), "ab");
}

TEST(NarrowString, KeepsASystemPathWhole) {
    std::wstring directory;
    ASSERT_TRUE(platform::systemDirectory(directory));
    const std::wstring path = directory + L"\\MI-1300-ES0.sdat";
    const std::string narrow = platform::narrowString(path, 260);
    ASSERT_EQ(narrow.size(), path.size());
    for (std::size_t i = 0; i < path.size(); ++i)
        EXPECT_EQ(static_cast<wchar_t>(narrow[i]), path[i]) << "at " << i;
}

#if defined(_WIN32)
TEST(NarrowString, UsesTheAnsiCodePage) {
    if (GetACP() != 1252)
        GTEST_SKIP() << "ANSI code page is " << GetACP();
    EXPECT_EQ(platform::narrowString(L"caf\u00e9", 10), "caf\xE9");
    EXPECT_EQ(platform::narrowString(L"\u20ac", 10), "\x80");
    EXPECT_EQ(platform::narrowString(L"\u4e2d", 10), "?");
}
#else
TEST(NarrowString, NeverSplitsAUtf8Sequence) {
    // 'a' is 1 byte, U+00E9 2, U+20AC 3, U+1F600 4.
    const std::wstring text = L"a\u00e9\u20ac\U0001F600";
    EXPECT_EQ(platform::narrowString(text, 11), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(platform::narrowString(text, 10), "a\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(platform::narrowString(text, 7), "a\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(platform::narrowString(text, 6), "a\xC3\xA9");
    EXPECT_EQ(platform::narrowString(text, 4), "a\xC3\xA9");
    EXPECT_EQ(platform::narrowString(text, 3), "a");
    EXPECT_EQ(platform::narrowString(text, 2), "a");
}

TEST(NarrowString, MarksWhatIsNoCharacter) {
    const std::wstring text{static_cast<wchar_t>(0xD800), L'x', static_cast<wchar_t>(0x110000)};
    EXPECT_EQ(platform::narrowString(text, 10), "?x?");
}
#endif

} // namespace
