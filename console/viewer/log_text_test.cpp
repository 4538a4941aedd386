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
    // `saved`, when not the same as `out`: the text of a saved copy.
    const struct {
        std::string in, out, saved = {};
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
        // NUL would end the view's text early: shown as a blank; a saved copy keeps it.
        {"a\0b\0"s, "a b ", "a\0b\0"s},
        {"\0\0\0\r\0\n\0"s, "   \r\n \r\n ", "\0\0\0\r\n\0\r\n\0"s},
        // Bytes of the upper half pass unchanged; the code page is applied at the control.
        {"\x80\xE4\xFF\n", "\x80\xE4\xFF\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogToCrLf(c.in), c.out) << "input: " << c.in;
        EXPECT_EQ(LogToCrLf(c.in, NulBytes::kKeep), c.saved.empty() ? c.out : c.saved)
            << "input: " << c.in;
    }
}

std::string ReadWhole(const LogReadFn& read) {
    LogBytes log;
    EXPECT_EQ(ReadLog(read, log, ~0ull), ReadResult::Ok);
    return LogTextOf(log, 0, log.Size());
}

TEST(LogText, BreaksSplitBetweenReadsAreJoined) {
    const std::string log = "one\r\ntwo\rthree\nfour\r";
    // Every split point, so a CR at the end of one read meets its LF at the start of the next.
    for (size_t cut = 1; cut <= log.size(); ++cut)
        EXPECT_EQ(ReadWhole(Pieces(log, {cut, 1, 1})), "one\r\ntwo\r\nthree\r\nfour\r\n")
            << "cut at " << cut;
}

// The text of a log's first bytes is the beginning of the whole log's text, wherever they end:
// inside a CR LF, after a lone CR, at a NUL. So what a tick adds after a CR shown as a break
// is what a whole reload of the grown log gives.
TEST(LogText, GrowthCompletesTheWholeConversion) {
    const std::string log = "one\r\ntwo\rthree\nfo\0ur\r\r\n\nfive"s;
    const std::string whole = LogToCrLf(log);
    ASSERT_EQ(whole, "one\r\ntwo\r\nthree\r\nfo ur\r\n\r\n\r\nfive");
    for (size_t cut = 0; cut <= log.size(); ++cut) {
        std::string out;
        CrLfConverter conv(out);
        conv.Feed(std::string_view(log).substr(0, cut));
        ASSERT_EQ(out, LogToCrLf(log.substr(0, cut))) << "cut at " << cut;
        ASSERT_EQ(whole.compare(0, out.size(), out), 0) << "cut at " << cut;
        conv.Feed(std::string_view(log).substr(cut));
        EXPECT_EQ(out, whole) << "cut at " << cut;
    }
    // With a line width, lines are broken in the view's text; breaks of the log reset it.
    const struct {
        std::string in, out;
    } wide[] = {
        {"abcd", "abcd"},
        {"abcdefghij", "abcd\r\nefgh\r\nij"},
        {"abcd\nefgh\r\nijklm", "abcd\r\nefgh\r\nijkl\r\nm"},
        {"ab\0cdef"s, "ab c\r\ndef"},
    };
    for (const auto& c : wide) {
        std::string out;
        CrLfConverter conv(out, 4);
        for (char ch : c.in)
            conv.Feed(std::string_view(&ch, 1)); // one byte a piece: the column carries over
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(LogText, LogBytesHoldBigLogsInBlocks) {
    std::string big;
    for (int i = 0; big.size() < 3 * LogBytes::kBlock + 77; ++i)
        big += "line " + std::to_string(i) + "\n";
    LogBytes log;
    // Pieces of odd sizes, so they straddle the blocks' edges.
    for (size_t at = 0; at < big.size(); at += 65537)
        log.Append(std::string_view(big).substr(at, 65537));
    ASSERT_EQ(log.Size(), big.size());
    EXPECT_EQ(log.Slice(0, log.Size()), big);
    const size_t edge = LogBytes::kBlock;
    EXPECT_EQ(log.Slice(edge - 3, edge + 4), big.substr(edge - 3, 7));
    EXPECT_EQ(log.At(edge), big[edge]);
    EXPECT_TRUE(log.Matches(edge - 10, big.substr(edge - 10, 20)));
    EXPECT_FALSE(log.Matches(edge - 10, big.substr(edge - 10, 19) + "?"));
    EXPECT_FALSE(log.Matches(big.size() - 2, "\n\n\n")); // past the end
    EXPECT_EQ(LogTextOf(log, 0, log.Size()), LogToCrLf(big));
    log.Clear();
    EXPECT_EQ(log.Size(), 0u);
    EXPECT_EQ(log.Slice(0, 10), "");
}

TEST(LogText, ReadErrorsAndOversizeLogsAreTold) {
    LogBytes log;
    EXPECT_EQ(ReadLog(Pieces("abc\n", {}, true), log, 100), ReadResult::Failed);
    log.Clear();
    EXPECT_EQ(ReadLog(Pieces(std::string(100, 'x'), {}), log, 99), ReadResult::TooLarge);
    log.Clear();
    EXPECT_EQ(ReadLog(Pieces(std::string(99, 'x'), {}), log, 99), ReadResult::Ok);
    EXPECT_EQ(log.Size(), 99u);
    // A reader claiming more than the buffer holds is an error, not a read past the buffer.
    EXPECT_EQ(ReadLog([](char*, size_t cap) -> long long { return cap + 1; }, log, ~0ull),
              ReadResult::Failed);
}

} // namespace
} // namespace kes
