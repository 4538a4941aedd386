#include "widgets/editlist/persist_format.h"

#include <gtest/gtest.h>

#include <map>

namespace kes {
namespace {

using Writes = std::vector<std::pair<std::string, std::string>>;
using Strings = std::vector<std::string>;

// A store as a map; the reads PersistReads makes.
struct Store {
    std::map<std::string, std::string> values;
    std::optional<std::string> Read(const std::string& n) const {
        const auto it = values.find(n);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    void Write(const Writes& w) {
        for (const auto& [n, v] : w)
            values[n] = v;
    }
    PersistRead Load(const PersistDecode& decode = RegistryValue) const {
        return PersistReads([this](const std::string& n) { return Read(n); }, decode);
    }
};

TEST(Persist, WritesTheLastCountEntriesAnEmptyItemAndTheCount) {
    EXPECT_EQ(PersistWrites({"A", "B", "C"}, 2, true),
              (Writes{{"Item1", "B"}, {"Item2", "C"}, {"Item3", ""}, {"ItemCount", "2:EE38A57C"}}));
    const Writes one = PersistWrites({"A"}, 3, true);
    ASSERT_EQ(one.size(), 5u);
    EXPECT_EQ(one[0], (std::pair<std::string, std::string>{"Item1", "A"}));
    EXPECT_EQ(one[1].second, "");
    EXPECT_EQ(one[2].second, "");
    EXPECT_EQ(one[3], (std::pair<std::string, std::string>{"Item4", ""}));
    EXPECT_EQ(one[4].first, "ItemCount");
    EXPECT_EQ(one[4].second.substr(0, 2), "1:") << "the padding is no entry";
    EXPECT_EQ(PersistWrites({"A", "B"}, 1, false)[2],
              (std::pair<std::string, std::string>{"Item3", ""}));
    EXPECT_EQ(PersistWrites({}, 0, false).front(),
              (std::pair<std::string, std::string>{"Item1", ""}));
    // What is stored is what the encoding makes of each entry.
    EXPECT_EQ(PersistWrites({"a"}, 0, false, [](const std::string& e) { return "<" + e + ">"; })[0]
                  .second,
              "<a>");
}

TEST(Persist, EveryEntryComesBackEmptyOnesToo) {
    const Strings entries{"", " ", "A", "", "B"};
    Store s;
    s.Write(PersistWrites(entries, 0, false));
    PersistRead r = s.Load();
    EXPECT_TRUE(r.unreadable.empty());
    EXPECT_EQ(r.values, entries);
    // With MaxCount and fewer entries than Count, the padding does not come back.
    Store m;
    m.Write(PersistWrites({""}, 3, true));
    EXPECT_EQ(m.Load().values, Strings{""});
    // An empty list stays empty.
    Store e;
    e.Write(PersistWrites({}, 0, false));
    EXPECT_TRUE(e.Load().values.empty());
}

TEST(Persist, OlderSectionsAndOlderWritersAreReadTheOlderWay) {
    // Written the older way: up to the first empty or missing value; stale values stay unread.
    Store old{{{"Item1", "B"}, {"Item2", "C"}, {"Item3", ""}, {"Item4", "stale"}}};
    PersistRead r = old.Load();
    EXPECT_TRUE(r.unreadable.empty());
    EXPECT_EQ(r.values, (Strings{"B", "C"}));
    EXPECT_TRUE(Store{}.Load().values.empty());

    // Ours, then an older writer saved a shorter list over it: its marker no longer matches.
    Store mixed;
    mixed.Write(PersistWrites({"A", "B", "C"}, 0, false));
    mixed.Write({{"Item1", "X"}, {"Item2", ""}});
    r = mixed.Load();
    EXPECT_EQ(r.values, Strings{"X"});
    // What that leaves unread within the count ("C", or an entry after one emptied by hand in
    // the registry) is named.
    EXPECT_EQ(r.unreadable, Strings{"ItemCount"});
    // A longer list saved over ours, or an entry added by hand after the count: read on.
    Store longer;
    longer.Write(PersistWrites({"A", "B"}, 0, false));
    longer.Write({{"Item1", "P"}, {"Item2", "Q"}, {"Item3", "R"}, {"Item4", ""}});
    EXPECT_EQ(longer.Load().values, (Strings{"P", "Q", "R"}));
    EXPECT_TRUE(longer.Load().unreadable.empty());
    // A value changed by hand costs nothing else.
    Store same;
    same.Write(PersistWrites({"A", "B"}, 0, false));
    same.Write({{"Item2", "Z"}});
    EXPECT_EQ(same.Load().values, (Strings{"A", "Z"}));

    // Markers that are not ours are named; one that names values that are not there ends at the
    // older writer's empty value.
    for (const char* marker : {"", "2", "2:", "x:00000000", "2:0000000", "2:0000000g", ":00000000",
                               "99999999999:00000000", "3:EE38A57C"}) {
        Store odd{{{"Item1", "B"}, {"Item2", "C"}, {"Item3", ""}, {"ItemCount", marker}}};
        r = odd.Load();
        EXPECT_EQ(r.unreadable, marker[0] == '3' ? Strings{} : Strings{"ItemCount"}) << marker;
        EXPECT_EQ(r.values, (Strings{"B", "C"})) << marker;
    }
    // Values missing within the count are named, the others read; a huge count ends after a
    // thousand missing ones.
    Store gaps{{{"Item1", "A"}, {"Item3", "C"}, {"ItemCount", "3:00000000"}}};
    r = gaps.Load();
    EXPECT_EQ(r.values, (Strings{"A", "C"}));
    EXPECT_EQ(r.unreadable, Strings{"Item2"});
    gaps.values["ItemCount"] = "999999999:00000000";
    r = gaps.Load();
    EXPECT_EQ(r.values, (Strings{"A", "C"}));
    ASSERT_EQ(r.unreadable.size(), 1001u);
    EXPECT_EQ(r.unreadable.back(), "Item1003..Item999999999");
}

// An ini section edited by hand (as the profile functions hand its values over, quotes kept):
// each value is read on its own, and only a damaged one is named.
TEST(Persist, HandEditedIniValuesCostOnlyTheirOwnForm) {
    const Strings entries{"M\xC3\xBCller", "C:\\dir", "", " x ", "y"};
    Store file;
    for (const auto& [n, v] : PersistWrites(entries, 0, false, EscapeIniValue))
        file.values[n] = "\"" + v + "\"";
    EXPECT_EQ(file.Load(IniValue).values, entries);
    const struct {
        std::string name, value; // the line's new value
        Strings values, unreadable;
    } edits[] = {
        {"Item5", "Y by hand", {"M\xC3\xBCller", "C:\\dir", "", " x ", "Y by hand"}, {}},
        {"Item2", "  \"C:\\\\dir\"  ", entries, {}},  // blanks around it
        {"Item2", "\"C:\\\\dir", entries, {"Item2"}}, // its closing quote lost
        {"Item2", "\"C:\\dir\"", entries, {}},        // a lone backslash stands for itself
        {"Item2", "\"\"", {"M\xC3\xBCller", "", "", " x ", "y"}, {}},
        // An older writer's end, or emptied by hand: "y" after it is named, not dropped.
        {"Item4", "", {"M\xC3\xBCller", "C:\\dir"}, {"ItemCount"}},
        {"ItemCount", "", {"M\xC3\xBCller", "C:\\dir"}, {"ItemCount"}},
        {"Item1", "\"", {"", "C:\\dir", "", " x ", "y"}, {"Item1"}},
    };
    for (const auto& e : edits) {
        Store edited = file;
        edited.values[e.name] = e.value;
        const PersistRead r = edited.Load(IniValue);
        EXPECT_EQ(r.values, e.values) << e.name << "=" << e.value;
        EXPECT_EQ(r.unreadable, e.unreadable) << e.name << "=" << e.value;
    }
    Store noCount = file;
    noCount.values.erase("ItemCount");
    EXPECT_EQ(noCount.Load(IniValue).unreadable, Strings{"ItemCount"});
}

TEST(IniEscaping, RoundTripsEveryEntryInAscii) {
    const Strings entries{
        "",
        "plain",
        " padded ",
        "\"quoted\"",
        "'single'",
        "a=b;c",
        "[sec]",
        ";comment",
        "tab\there",
        "back\\slash\\",
        "\\x41\\u0041",
        "K\xC3\xA4se \xC3\x9F",         // Windows-1252 letters
        "\xC5\x81\xC3\xB3\x64\xC5\xBA", // beyond it
        "\xF0\x9F\x98\x80",             // beyond U+FFFF
        "bad \xFF\xC3 bytes",
        std::string("nul\0inside", 10),
        "\x7F\x01\r\n",
        std::string(40000, 'L'),
    };
    for (const auto& e : entries) {
        const std::string esc = EscapeIniValue(e);
        for (unsigned char c : esc)
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << e;
        EXPECT_EQ(UnescapeIniValue(esc), e);
    }
    EXPECT_EQ(EscapeIniValue(" \"a\\b\"\t"), " \"a\\\\b\"\\x09");
    EXPECT_EQ(EscapeIniValue("\xC3\xA4\xF0\x9F\x98\x80"), "\\u00E4\\U0001F600");
    // The last character of four digits takes the short form.
    EXPECT_EQ(EscapeIniValue("\xEF\xBF\xBF\xF0\x90\x80\x80"), "\\uFFFF\\U00010000");
    EXPECT_EQ(EscapeIniValue("\xFF"), "\\xFF");
    // Malformed escapes stand for themselves.
    for (const char* odd :
         {"\\", "a\\", "\\q", "\\x4", "\\u12", "\\u12G4", "\\UFFFFFFFF", "\\uD800"})
        EXPECT_EQ(UnescapeIniValue(odd), odd);
    EXPECT_EQ(UnescapeIniValue("\\u00e4\\x41"), "\xC3\xA4"
                                                "A");
}

} // namespace
} // namespace kes
