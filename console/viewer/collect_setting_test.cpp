#include "console/viewer/collect_setting.h"

#include "console/store/memory_registry.h"
#include "console/store/settings_store.h"

#include <gtest/gtest.h>

#include <climits>

namespace kes {
namespace {

using namespace std::string_literals;

TEST(ParseDialogNumber, Table) {
    const struct {
        std::string text;
        std::optional<std::int32_t> value;
    } cases[] = {
        // Valid decimals.
        {"0", 0},
        {"20", 20},
        {"-1", -1},
        {"+7", 7},
        {"-0", 0},
        {"007", 7},
        {" 12", 12},
        {"   -5", -5},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"00000000000000000000042", 42},
        // Hex: the 32 bits as they stand.
        {"$1E", 30},
        {"0x1E", 30},
        {"0X1e", 30},
        {"x1e", 30},
        {"X1E", 30},
        {" $ff", 255},
        {"$FFFFFFFF", -1},
        {"$80000000", INT_MIN},
        {"$00000001", 1},
        {"0x0", 0},
        // Not a number.
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"abc", std::nullopt},
        {"12 ", std::nullopt},
        {"1 2", std::nullopt},
        {"\t12", std::nullopt},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {"--1", std::nullopt},
        {"- 1", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"-$1E", std::nullopt},
        {"+0x1E", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"$123456789", std::nullopt},
        {"$000000001", std::nullopt},
        {"$1G", std::nullopt},
        {"0x1E ", std::nullopt},
        {"00x1E", std::nullopt},
        {"1e3", std::nullopt},
        {"12\0"s, std::nullopt},
        {"\xB2", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseDialogNumber(c.text), c.value) << "text: \"" << c.text << "\"";
}

// The dialog logic over the in-memory registry; the real registry and window are exercised
// under Wine.
TEST(EditCollectSetting, ShowsTheStoredNumberAndComparesWithTheDefaultText) {
    MemoryRegistry mem;
    std::vector<std::string> shown;
    auto answer = [&](std::string a) {
        return
            [&, a](const std::string& caption, const std::string& prompt, const std::string& def) {
                shown.push_back(caption + "|" + prompt + "|" + def);
                return a;
            };
    };
    auto stored = [&](const char* name) -> std::optional<std::int32_t> {
        SettingsStore s(mem);
        s.Open("\\Software\\Varnholt\\Kestrova\\Config", false);
        try {
            return s.GetInt(name);
        } catch (const StoreError&) {
            return std::nullopt;
        }
    };
    EditCollectSetting(mem, kCollectTime, answer("600"));
    EXPECT_EQ(stored("bs_collect_time"), std::nullopt);
    EditCollectSetting(mem, kCollectTime, answer("abc"));
    EXPECT_EQ(stored("bs_collect_time"), 1800);
    EditCollectSetting(mem, kCollectTime, answer("600"));
    EXPECT_EQ(stored("bs_collect_time"), 1800);
    EditCollectSetting(mem, kCollectCount, answer("x"));
    EXPECT_EQ(stored("bs_collect_count"), 10);
    EditCollectSetting(mem, kCollectCount, answer("-3"));
    EXPECT_EQ(stored("bs_collect_count"), -3);
    const std::vector<std::string> expected{
        "bs_collect_time|bs_collect_time in sec.|600",
        "bs_collect_time|bs_collect_time in sec.|600",
        "bs_collect_time|bs_collect_time in sec.|1800",
        "bs_collect_count|bs_collect_count|10",
        "bs_collect_count|bs_collect_count|10",
    };
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(mem.OpenHandleCount(), 0u);
}

TEST(EditCollectSetting, RefusedWriteRaisesAndLeavesNoKeyOpen) {
    MemoryRegistry mem;
    mem.LimitRootAccess(RootKey::CurrentUser, kKeyRead);
    auto twenty = [](const std::string&, const std::string&, const std::string&) {
        return std::string("20");
    };
    EXPECT_THROW(EditCollectSetting(mem, kCollectCount, twenty), StoreError);
    EXPECT_EQ(mem.OpenHandleCount(), 0u);
}

} // namespace
} // namespace kes
