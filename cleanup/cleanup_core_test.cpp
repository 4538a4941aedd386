#include "cleanup/cleanup_core.h"

#include <gtest/gtest.h>

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

TEST(Matcher, SelectsOurFileNamesAfterTheFirstUnit) {
    struct Case {
        std::u16string_view text;
        bool selected;
    } cases[] = {
        {u"_C:\\Programme\\Kestrova\\kestrova.dll", true},
        {u"x_tarnwick.dll", true},
        {u"xkestrova.dll", true},
        {u"____tarnwick.dll____kestrova.dll", true},
        {u"kestrova.dll_and again kestrova.dll", true},
        // The name at unit 0 alone does not count.
        {u"kestrova.dll", false},
        {u"tarnwick.dll_rest", false},
        // Case-sensitive, and no near misses.
        {u"_Kestrova.dll", false},
        {u"_KESTROVA.DLL", false},
        {u"_kestrova.dl", false},
        {u"_kestrova_dll", false},
        {u"_tarnwick.ocx", false},
        {u"_outlook.exe", false},
        {u"", false},
        {u"_", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NamesAddIn(c.text), c.selected) << std::string(c.text.begin(), c.text.end());
}

TEST(Matcher, LowByteLookalikesDoNotMatch) {
    // U+016B has the low byte of 'k': only whole units compare.
    std::u16string text = u"_\u016Bestrova.dll";
    EXPECT_FALSE(NamesAddIn(std::u16string_view(text)));
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

TEST(Paths, JoinsUpToTheCapacityAndRefusesBeyond) {
    const std::u16string head(250, u'd');
    char16_t out[260];
    // 250 + 9 units and the terminator fill the buffer exactly.
    ASSERT_TRUE(JoinPath(out, std::size(out), std::u16string_view(head),
                         std::u16string_view(u"\\abcd.huf")));
    EXPECT_EQ(std::u16string_view(out), head + u"\\abcd.huf");

    std::fill(std::begin(out), std::end(out), u'#');
    EXPECT_FALSE(JoinPath(out, std::size(out), std::u16string_view(head),
                          std::u16string_view(u"\\abcde.huf")));
    EXPECT_EQ(out[0], 0) << "no cut-off path is left behind";
    EXPECT_EQ(out[1], u'#');

    EXPECT_FALSE(JoinPath(out, 0, std::u16string_view(u""), std::u16string_view(u"")));
    ASSERT_TRUE(JoinPath(out, 1, std::u16string_view(u""), std::u16string_view(u"")));
    EXPECT_EQ(out[0], 0);
}

} // namespace
} // namespace cleanup
