#include "console/viewer/log_view_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kes {
namespace {

using namespace std::string_literals;

// What the control holds after each change, as the window side applies them.
void Apply(std::string& view, const ViewChange& c) {
    if (c.kind == ViewChange::kWhole)
        view = c.text;
    if (c.kind == ViewChange::kAppend) {
        view += c.text;
        view.replace(0, c.cut, c.head);
    }
}

LogBytes Bytes(std::string_view s) {
    LogBytes b;
    b.Append(s);
    return b;
}

std::string Lines(int from, int count, const char* brk = "\n") {
    std::string s;
    for (int i = from; i < from + count; ++i)
        s += "12:00:00 line " + std::to_string(i) + brk;
    return s;
}

// The view as it must be: the log's text from `from`, under the omitted-part line when the
// log's start is not shown.
std::string Expected(const std::string& log, std::uint64_t from, std::size_t width = 0) {
    const LogBytes b = Bytes(log);
    return (from ? OmittedLine(from) : "") + LogTextOf(b, from, b.Size(), width);
}

bool BeginsLine(const std::string& log, std::uint64_t at) {
    return at == 0 || log[at - 1] == '\n' || (log[at - 1] == '\r' && log[at] != '\n');
}

TEST(LogViewText, SmallLogsAreShownWholeAndGrowthAddsWhatAWholeReloadWould) {
    // Below the limits every log is shown exactly as its whole text, however its growth is cut
    // into ticks: inside a CR LF, after a lone CR, at a NUL.
    const std::string log = "one\r\ntwo\rthree\nfo\0ur\r\r\n\nfive\r"s;
    for (size_t cut = 0; cut <= log.size(); ++cut) {
        LogViewText v({1000, 600, 0});
        LogBytes b = Bytes(log.substr(0, cut));
        std::string view;
        Apply(view, v.Rebuild(b));
        b.Append(log.substr(cut));
        const ViewChange grown = v.Grow(b, cut);
        EXPECT_EQ(grown.kind, cut == log.size() ? ViewChange::kNone : ViewChange::kAppend);
        EXPECT_EQ(grown.cut, 0u);
        Apply(view, grown);
        EXPECT_EQ(view, LogToCrLf(log)) << "cut at " << cut;
        EXPECT_EQ(v.Length(), view.size());
        EXPECT_EQ(v.ShownFrom(), 0u);
    }
    // Grown to exactly the limit, the view is still the whole log, as a fresh one would be.
    {
        const std::string full = Lines(0, 100).substr(0, 1000);
        LogViewText v({1000, 600, 0});
        LogBytes b = Bytes(full.substr(0, 400));
        std::string view;
        Apply(view, v.Rebuild(b));
        b.Append(full.substr(400));
        Apply(view, v.Grow(b, 400));
        EXPECT_EQ(v.ShownFrom(), 0u);
        EXPECT_EQ(view, LogToCrLf(full));
    }
    // The real limits: typical lines of a log just under them, whole, no line broken.
    const std::string typical = Lines(0, 4000).substr(0, kViewLimits.wholeUpTo);
    LogViewText real;
    std::string view;
    Apply(view, real.Rebuild(Bytes(typical)));
    EXPECT_EQ(view, LogToCrLf(typical));
}

TEST(LogViewText, BigLogsShowTheirEndFromALineUnderTheOmittedLine) {
    const ViewLimits lim{1000, 600, 0};
    const struct {
        std::string log;
    } cases[] = {
        {Lines(0, 200)},
        {Lines(0, 200, "\r\n")},
        {Lines(0, 200, "\r")},
        {Lines(0, 200) + "no final break"},
        {Lines(0, 100) + std::string(700, 'x') + "\n" + Lines(100, 3)}, // a long line inside
    };
    for (const auto& c : cases) {
        LogViewText v(lim);
        std::string view;
        Apply(view, v.Rebuild(Bytes(c.log)));
        const std::uint64_t from = v.ShownFrom();
        ASSERT_GT(from, 0u) << c.log;
        EXPECT_GE(from, c.log.size() - lim.keep);
        EXPECT_TRUE(BeginsLine(c.log, from)) << from;
        EXPECT_EQ(view, Expected(c.log, from));
        EXPECT_EQ(v.Length(), view.size());
        // Grown past the limits a little at a time: the head it was given goes with the first
        // lines it trims.
        std::string log = c.log;
        LogBytes b = Bytes(log);
        for (int i = 0; v.ShownFrom() == from && i < 20; ++i) {
            const std::string more = Lines(1000 + 10 * i, 10);
            log += more;
            b.Append(more);
            Apply(view, v.Grow(b, log.size() - more.size()));
        }
        EXPECT_GT(v.ShownFrom(), from);
        EXPECT_EQ(view, Expected(log, v.ShownFrom()));
    }
    EXPECT_EQ(OmittedLine(49492787), "[... 47.2 MB before this point not shown; savelog saves "
                                     "all of it / 47,2 MB davor nicht angezeigt; savelog "
                                     "speichert alles ...]\r\n");
    // A last line longer than all that is kept: the view starts inside it, still bounded.
    const std::string oneLine(5000, 'y');
    LogViewText v(lim);
    std::string view;
    Apply(view, v.Rebuild(Bytes(oneLine)));
    EXPECT_EQ(v.ShownFrom(), 5000u - 600);
    EXPECT_EQ(view, OmittedLine(4400) + std::string(600, 'y'));
    // The log's start begins a line, whatever follows.
    EXPECT_EQ(LineStartIn(Bytes("abc"), 0, 3), 0u);
    EXPECT_EQ(LineStartIn(Bytes("ab\ncd"), 1, 5), 3u);
}

TEST(LogViewText, AGrowingLogStaysBoundedAndTheViewIsAlwaysItsEnd) {
    const ViewLimits lim{2000, 1200, 50};
    std::mt19937 rnd(7);
    const std::string pieces[] = {"\n", "\r\n", "\r", "\0"s, "word ", "\xE4\x80\xFF"};
    std::string log;
    LogBytes b;
    LogViewText v(lim);
    std::string view;
    Apply(view, v.Rebuild(b));
    int trims = 0, wholes = 0;
    for (int tick = 0; tick < 400; ++tick) {
        const std::uint64_t old = b.Size();
        std::string grow;
        const size_t n = tick == 200 ? 5000 : rnd() % 300; // once more than is kept
        while (grow.size() < n) {
            grow += pieces[rnd() % 6];
            if (rnd() % 20 == 0)
                grow += std::string(rnd() % 120, 'L'); // wider than the line width
        }
        log += grow;
        b.Append(grow);
        const ViewChange c = v.Grow(b, old);
        trims += c.cut > 0;
        wholes += c.kind == ViewChange::kWhole;
        Apply(view, c);
        ASSERT_EQ(view, Expected(log, v.ShownFrom(), lim.lineWidth)) << "tick " << tick;
        ASSERT_EQ(v.Length(), view.size());
        ASSERT_TRUE(BeginsLine(log, v.ShownFrom()));
        ASSERT_LE(log.size() - v.ShownFrom(), lim.wholeUpTo);
    }
    EXPECT_GT(trims, 20);
    EXPECT_GE(wholes, 1); // the big growth
    EXPECT_LE(wholes, 3);
    // The log rewritten shorter, or replaced: shown anew.
    const std::string fresh = "rotated\n";
    b.Clear();
    b.Append(fresh);
    const ViewChange c = v.Grow(b, log.size());
    EXPECT_EQ(c.kind, ViewChange::kWhole);
    Apply(view, c);
    EXPECT_EQ(view, "rotated\r\n");
}

TEST(LogViewText, SizesAndMessagesNameWhatTheyMean) {
    const struct {
        std::uint64_t bytes;
        const char *en, *de;
    } cases[] = {
        {0, "0.0 KB", "0,0 KB"},
        {1536, "1.5 KB", "1,5 KB"},
        {196608, "192.0 KB", "192,0 KB"},
        {1048575, "1.0 MB", "1,0 MB"}, // rounds up to 1024 KB: the next unit
        {1101005, "1.1 MB", "1,1 MB"}, // just past 1.05 MB: rounded up
        {49492787, "47.2 MB", "47,2 MB"},
        {3435973837ull, "3.2 GB", "3,2 GB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatLogSize(c.bytes), c.en);
        EXPECT_EQ(FormatLogSize(c.bytes, ','), c.de);
    }
    EXPECT_EQ(TooLargeLine("C:\\Temp\\Kestrova_debug.log", 3435973837ull),
              "The log C:\\Temp\\Kestrova_debug.log holds 3.2 GB, more than this console can "
              "hold in memory; copy the file itself / Die Protokolldatei "
              "C:\\Temp\\Kestrova_debug.log ist 3,2 GB gro\xC3\x9F, mehr als diese Konsole im "
              "Speicher halten kann; kopieren Sie die Datei selbst\r\n");
}

} // namespace
} // namespace kes
