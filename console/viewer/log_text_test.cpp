#include "console/viewer/log_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kes {
namespace {

using namespace std::string_literals;

// Hands out the log in pieces of the given sizes, then the rest, so breaks can fall between.
LogReadFn Pieces(const std::string& data, std::vector<size_t> sizes, bool failAtEnd = false) {
    auto pos = std::make_shared<size_t>(0);
    auto idx = std::make_shared<size_t>(0);
    return [=](char* buf, size_t cap) -> long long {
        if (*pos == data.size())
            return failAtEnd ? -1 : 0;
        size_t n = data.size() - *pos;
        if (*idx < sizes.size())
            n = std::min(n, sizes[(*idx)++]);
        n = std::min(n, cap);
        std::memcpy(buf, data.data() + *pos, n);
        *pos += n;
        return static_cast<long long>(n);
    };
}

TEST(LogText, LineBreaksBecomeCrLf) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"no break at all", "no break at all"},
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\rb\r", "a\r\nb\r\n"},
        {"a\r\rb", "a\r\n\r\nb"},
        {"a\n\rb", "a\r\n\r\nb"},
        {"a\r\n\nb", "a\r\n\r\nb"},
        {"\n", "\r\n"},
        {"\r", "\r\n"},
        {"mixed\rcr\nlf\r\ncrlf", "mixed\r\ncr\r\nlf\r\ncrlf"},
        // NUL would end the view's text early: shown as a blank.
        {"a\0b\0"s, "a b "},
        // Bytes of the upper half pass unchanged; the code page is applied at the control.
        {"\x80\xE4\xFF\n", "\x80\xE4\xFF\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogToCrLf(c.in), c.out) << "input: " << c.in;
}

TEST(LogText, BreaksSplitBetweenReadsAreJoined) {
    const std::string log = "one\r\ntwo\rthree\nfour\r";
    // Every split point, so a CR at the end of one read meets its LF at the start of the next.
    for (size_t cut = 1; cut <= log.size(); ++cut) {
        std::string text;
        ASSERT_TRUE(ReadLogText(Pieces(log, {cut, 1, 1}), text)) << cut;
        EXPECT_EQ(text, "one\r\ntwo\r\nthree\r\nfour\r\n") << "cut at " << cut;
    }
}

// The view after a tick that only appends holds what a whole reload of the grown log would
// give, wherever the earlier tick's read stopped: inside a CR LF, after a lone CR, at a NUL.
TEST(LogText, AppendedPartCompletesTheWholeConversion) {
    const std::string log = "one\r\ntwo\rthree\nfo\0ur\r\r\n\nfive"s;
    const std::string whole = LogToCrLf(log);
    ASSERT_EQ(whole, "one\r\ntwo\r\nthree\r\nfo ur\r\n\r\n\r\nfive");
    for (size_t cut = 0; cut <= log.size(); ++cut) {
        const std::string shown = LogToCrLf(log.substr(0, cut));
        const auto part = AppendedPart(shown, whole);
        ASSERT_TRUE(part) << "cut at " << cut;
        EXPECT_EQ(shown + std::string(*part), whole) << "cut at " << cut;
    }
    // A CR LF split between two ticks is one break.
    const std::string first = LogToCrLf("a\r");
    EXPECT_EQ(AppendedPart(first, LogToCrLf("a\r\nb")), "b");
    EXPECT_EQ(AppendedPart(first, LogToCrLf("a\r\n")), "");

    // Anything else is not an append: rewritten, truncated, replaced by a shorter one.
    EXPECT_FALSE(AppendedPart("abc\r\n", "abd\r\nmore"));
    EXPECT_FALSE(AppendedPart("abc\r\n", "abc"));
    EXPECT_FALSE(AppendedPart("abc\r\n", ""));
    EXPECT_FALSE(AppendedPart("xbc\r\n", "abc\r\nd"));
    EXPECT_EQ(AppendedPart("", "abc"), "abc");
}

TEST(LogText, ReadsLargeLogsWhole) {
    std::string log;
    for (int i = 0; i < 200000; ++i)
        log += "line " + std::to_string(i) + "\n";
    std::string text;
    ASSERT_TRUE(ReadLogText(Pieces(log, {}), text, log.size()));
    EXPECT_EQ(text.size(), log.size() + 200000);
    EXPECT_EQ(text.substr(text.size() - 13), "line 199999\r\n");
}

TEST(LogText, ReadErrorsAndOversizeLogsFailWithNoText) {
    std::string text = "old";
    EXPECT_FALSE(ReadLogText(Pieces("abc\n", {}, true), text));
    EXPECT_EQ(text, "");

    text = "old";
    EXPECT_FALSE(ReadLogText(Pieces(std::string(100, 'x'), {}), text, 0, 99));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(ReadLogText(Pieces(std::string(99, 'x'), {}), text, 0, 99));
    EXPECT_EQ(text.size(), 99u);

    // A size announced beyond the limit is refused before anything is read.
    bool called = false;
    EXPECT_FALSE(ReadLogText(
        [&](char*, size_t) -> long long {
            called = true;
            return 0;
        },
        text, 100, 99));
    EXPECT_FALSE(called);

    // A reader claiming more than the buffer holds is an error, not a read past the buffer.
    EXPECT_FALSE(ReadLogText([](char*, size_t cap) -> long long { return cap + 1; }, text));
}

} // namespace
} // namespace kes
