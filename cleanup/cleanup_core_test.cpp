#include "cleanup/cleanup_core.h"

#include <gtest/gtest.h>

#include <ios>
#include <vector>

namespace cleanup {
namespace {

TEST(Trace, CodesAreColonAndDecimal) {
    std::string trace;
    cleanup::AppendCode(trace, 0);
    cleanup::AppendCode(trace, 259);
    cleanup::AppendCode(trace, 234);
    EXPECT_EQ(trace, ":0:259:234");
}

TEST(Trace, DataShowsZeroUnitsAsUnderscoreAndLowBytes) {
    // Units beyond Latin-1 keep only their low byte, as the 8-bit trace always did.
    std::vector<char16_t> data = {u'a', 0, u'b', u'\u00F6', u'\u20AC', 0, 0xBEEF};
    std::u16string_view text = cleanup::MakeDataText(data.data(), 5);
    EXPECT_EQ(text, std::u16string_view(u"a_b\u00F6\u20AC"));
    EXPECT_EQ(data[5], 0) << "terminated after the last unit";
    EXPECT_EQ(data[6], 0xBEEF) << "nothing written past the terminator";
    EXPECT_EQ(cleanup::LowBytes(text), "a_b\xF6\xAC");
}

TEST(Trace, EmptyDataIsEmptyText) {
    char16_t data[1] = {0x1234};
    EXPECT_TRUE(cleanup::MakeDataText(data, 0).empty());
    EXPECT_EQ(data[0], 0);
}

TEST(Trace, DeleteFailureIsGermanWindows1252AndTakesDataLiterally) {
    struct Case {
        std::string data, expected;
    } cases[] = {
        {"x_kestrova.dll", "x_kestrova.dll konnte nicht gel\xF6scht werden"},
        {"%s%n%d%%", "%s%n%d%% konnte nicht gel\xF6scht werden"},
        {"", " konnte nicht gel\xF6scht werden"},
    };
    for (const Case& c : cases) {
        std::string trace = ":0";
        cleanup::AppendDeleteFailure(trace, c.data);
        EXPECT_EQ(trace, ":0" + c.expected) << c.data;
    }
}

TEST(Matcher, SelectsOurFileNamesAtAPathBoundary) {
    using namespace std::string_view_literals;
    struct Case {
        std::u16string_view data;
        bool selected;
        bool cut = false; // the value goes on past the data
    } cases[] = {
        {u"_C:\\Programme\\Kestrova\\kestrova.dll"sv, true},
        {u"\1\0\0c:\\k\\kestrova.dll\0Kestrova\0"sv, true}, // Outlook's record
        {u"_C:\\x\\Kestrova.dll"sv, true},                  // Windows names ignore case
        {u"_C:\\X\\TARNWICK.DLL\0"sv, true},
        {u"_c:/addins/tarnwick.dll"sv, true},
        {u"\1\0tarnwick.dll"sv, true}, // a path that is the name alone
        {u"_\\mykestrova.dll_\\kestrova.dll"sv, true},
        // The name at unit 0 alone does not count.
        {u"kestrova.dll"sv, false},
        {u"tarnwick.dll\0rest"sv, false},
        // Other vendors' files and near misses.
        {u"_C:\\Tools\\mykestrova.dll"sv, false},
        {u"_C:\\x\\kestrova.dll.bak"sv, false},
        {u"_C:\\x\\kestrova.dll_"sv, false},
        {u"_kestrova.dll"sv, false},
        {u"xkestrova.dll"sv, false},
        {u"_\\kestrova.dl"sv, false},
        {u"_\\kestrova_dll"sv, false},
        {u"_\\tarnwick.ocx"sv, false},
        {u"_\\outlook.exe"sv, false},
        {u""sv, false},
        {u"\\"sv, false},
        // Cut where the name ends: it may go on as "kestrova.dll.bak".
        {u"_C:\\x\\kestrova.dll"sv, false, true},
        {u"_C:\\x\\kestrova.dll\0_"sv, true, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NamesAddIn(c.data, c.cut), c.selected)
            << std::string(c.data.begin(), c.data.end());
}

TEST(Matcher, LowByteLookalikesDoNotMatch) {
    // U+016B has the low byte of 'k': only whole units compare.
    std::u16string text = u"_\\\u016Bestrova.dll";
    EXPECT_FALSE(NamesAddIn(std::u16string_view(text)));
}

TEST(Text, Utf8KeepsEveryUnit) {
    struct Case {
        std::u16string_view units;
        std::string bytes;
    } cases[] = {
        {u"a.huf", "a.huf"},
        {u"\u03A9mega.huf", "\xCE\xA9mega.huf"},
        {u"\u65E5\u672C.huf", "\xE6\x97\xA5\xE6\x9C\xAC.huf"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {u"\u07FF\u0800\uFFFF\u0080", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xC2\x80"},
        // Lone surrogates, high then low, and a high one at the end.
        {std::u16string_view(u"\xD800x\xDC00\xD83D", 4), "\xED\xA0\x80x\xED\xB0\x80\xED\xA0\xBD"},
    };
    for (const Case& c : cases) {
        std::string out = "<";
        AppendUtf8(out, c.units);
        EXPECT_EQ(out, "<" + c.bytes) << c.bytes;
    }
}

TEST(Entries, DotEntries) {
    EXPECT_TRUE(IsDotEntry(u"."));
    EXPECT_TRUE(IsDotEntry(u".."));
    EXPECT_FALSE(IsDotEntry(u"..."));
    EXPECT_FALSE(IsDotEntry(u".huf"));
    EXPECT_FALSE(IsDotEntry(u"a"));
    EXPECT_FALSE(IsDotEntry(u""));
}

TEST(Entries, OnlyOwnNamesEndingInHuf) {
    struct Case {
        std::u16string_view name;
        bool ours;
    } cases[] = {
        {u"a.huf", true},      {u"A.HUF", true},       {u"x.Huf", true},   {u".huf", true},
        {u"b.tmp.huf", true},  {u"notes.hufx", false}, {u"huf", false},    {u"a.hu", false},
        {u"a_huf", false},     {u"a.huf.", false},     {u"a.huf ", false}, {u"", false},
        {u"NOTE~1.HUF", true}, // a long name of that spelling is a real .huf file
    };
    for (const Case& c : cases)
        EXPECT_EQ(HasHufExtension(c.name), c.ours) << std::string(c.name.begin(), c.name.end());
}

// Windows removes a junction or directory link itself with RemoveDirectoryW (Wine's links are
// Unix ones, which it cannot remove): the attributes alone decide.
TEST(Entries, OnlyRealFoldersAreRemoved) {
    struct Case {
        unsigned long attributes;
        bool removable;
    } cases[] = {
        {0x10, true},
        {0x10 | 0x01 | 0x20, true},
        {0x410, false},
        {0x400, false},
        {0x20, false},
        {0xFFFFFFFF, false},
        {0x10 | 0x400 | 0x01, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MayRemoveFolder(c.attributes), c.removable) << std::hex << c.attributes;
}

} // namespace
} // namespace cleanup
