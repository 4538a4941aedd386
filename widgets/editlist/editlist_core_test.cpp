#include "widgets/editlist/editlist_core.h"

#include <gtest/gtest.h>

namespace kes {
namespace {

TEST(TabStops, PixelsBecomeDialogUnitsOnlyForOneToNineteenStops) {
    // 64 pixels with an "x" 8 pixels wide: 32 units, negative when right-aligned; truncated.
    EXPECT_EQ(TabStopsInDialogUnits({{64, tableft}, {64, tabright}, {10, tableft}}, 8),
              (std::vector<int>{32, -32, 5}));
    EXPECT_TRUE(TabStopsInDialogUnits({}, 8).empty());
    EXPECT_EQ(TabStopsInDialogUnits(std::vector<TabStop>(19, {8, tableft}), 8).size(), 19u);
    EXPECT_TRUE(TabStopsInDialogUnits(std::vector<TabStop>(20, {8, tableft}), 8).empty());
}

TEST(TabStops, OptimizeFitsColumnsAndKeepsFurtherStops) {
    // Widths are given by the texts themselves: "40" is 40 pixels wide.
    const auto width = [](const std::string& s) { return s.empty() ? 0 : std::stoi(s); };
    std::vector<TabStop> stops;
    ASSERT_TRUE(OptimizeTabs({"40\t30", "60\t10"}, width, 8, stops));
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].TabPosition, 68);
    ASSERT_TRUE(OptimizeTabs({"40\t30", "60\t10"}, width, 8, stops));
    EXPECT_EQ(stops[0].TabPosition, 68);

    std::vector<TabStop> right{{0, tabright}, {500, tableft}, {700, tableft}};
    ASSERT_TRUE(OptimizeTabs({"40\t30", "60\t10"}, width, 8, right));
    EXPECT_EQ(right[0].TabPosition, 98);  // 68 + 30
    EXPECT_EQ(right[1].TabPosition, 500); // beyond the columns: kept
    // Three columns: the second stop follows the first column, its spacing and the second.
    ASSERT_TRUE(OptimizeTabs({"10\t20\t5", "30"}, width, 4, stops));
    EXPECT_EQ(stops[0].TabPosition, 34);
    EXPECT_EQ(stops[1].TabPosition, 58); // 30 + 4 + 20 + 4

    // No tab anywhere, or no entries: nothing changes.
    std::vector<TabStop> none;
    EXPECT_FALSE(OptimizeTabs({"40", "60"}, width, 8, none));
    EXPECT_FALSE(OptimizeTabs({}, width, 8, none));
    EXPECT_TRUE(none.empty());
    // At most 20 tabs per entry are consumed; the rest is the last column's text.
    std::string many;
    for (int i = 0; i < 25; ++i)
        many += "1\t";
    int measuredRest = -1;
    std::vector<TabStop> twenty;
    OptimizeTabs(
        {many},
        [&](const std::string& s) {
            if (s.find('\t') != std::string::npos)
                measuredRest = static_cast<int>(s.size());
            return 1;
        },
        0, twenty);
    EXPECT_EQ(twenty.size(), 20u);
    EXPECT_EQ(measuredRest, 10); // "1\t" five times
}

TEST(WidestExtent, OnlyTheWidestGoingNeedsAFullMeasure) {
    WidestExtent e;
    e.Added(30);
    e.Added(80);
    e.Added(50);
    EXPECT_EQ(e.Widest(), 80);
    e.Removed(50);
    EXPECT_FALSE(e.Stale());
    e.Removed(80);
    EXPECT_TRUE(e.Stale());
    e.Set(50);
    EXPECT_FALSE(e.Stale());
    e.Cleared();
    EXPECT_EQ(e.Widest(), 0);
}

TEST(Lookup, PrefixFirstThenAnywhereWithFull) {
    const std::vector<std::string> entries{"apple", "Banana", "berry", "x:1"};
    EXPECT_EQ(LookupIndex(entries, "B", false), 1);
    EXPECT_EQ(LookupIndex(entries, "BE", false), 2);
    EXPECT_EQ(LookupIndex(entries, "RR", false), -1);
    EXPECT_EQ(LookupIndex(entries, "RR", true), 2);
    EXPECT_EQ(LookupIndex(entries, "X:", false), 3);
    EXPECT_EQ(LookupIndex(entries, "Q", true), -1);
    EXPECT_EQ(UpperAscii("a\xC3\xA4z"), "A\xC3\xA4Z");
}

} // namespace
} // namespace kes
