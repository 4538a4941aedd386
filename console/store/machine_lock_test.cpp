// The machine-wide lock over the in-memory tree, which keeps the machine's two views apart as
// the registry does: what start-up shows and writes, and where a change lands.
#include "console/store/machine_lock.h"

#include "console/store/memory_registry.h"
#include "console/store/settings_store.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace kes {
namespace {

const char kConfig[] = "\\Software\\Varnholt\\Kestrova\\Config";
constexpr RegView kViews[] = {RegView::Bits64, RegView::Bits32};

class MachineLockTest : public ::testing::Test {
protected:
    // A value as someone else left it (the policy client, an older console, by hand).
    void Stage(RegView view, std::uint32_t type, const std::vector<std::uint8_t>& data) {
        RegKey key = 0;
        ASSERT_EQ(reg->OpenKey(RootHandle(RootKey::LocalMachine), kConfig + 1,
                               kKeyAllAccess | static_cast<std::uint32_t>(view), true, key),
                  regcode::Success);
        reg->SetValue(key, "lock", type, data);
        reg->CloseKey(key);
    }
    void Stage(RegView view, std::uint8_t lock) { Stage(view, regtype::Dword, {lock, 0, 0, 0}); }
    // The lock as the add-in of that view reads it; nothing when it is missing or no number.
    std::optional<int> Read(RegView view) {
        SettingsStore s(*reg);
        s.SetRoot(RootKey::LocalMachine);
        s.SetAccess(kKeyRead);
        s.SetView(view);
        if (!s.Open(kConfig, false))
            return std::nullopt;
        try {
            return s.GetInt("lock");
        } catch (const StoreError&) {
            return std::nullopt;
        }
    }
    std::unique_ptr<MemoryRegistry> reg = std::make_unique<MemoryRegistry>();
};

TEST_F(MachineLockTest, StartUpShowsTheAddInsViewAndCreatesWhatIsMissing) {
    const struct {
        const char* what;
        std::optional<std::uint8_t> in64, in32;
        RegView addin;
        bool locked;
    } cases[] = {
        {"policy enabled, 64-bit Outlook", 1, 1, RegView::Bits64, true},
        {"policy enabled, 32-bit Outlook", 1, 1, RegView::Bits32, true},
        {"policy disabled", 0, 0, RegView::Bits32, false},
        {"a value of 7 counts as on", std::nullopt, 7, RegView::Bits32, true},
        {"an older template: only the 64-bit view", 1, std::nullopt, RegView::Bits32, false},
        {"the same, 64-bit Outlook", 1, std::nullopt, RegView::Bits64, true},
        {"nothing stored", std::nullopt, std::nullopt, RegView::Bits64, false},
    };
    for (const auto& c : cases) {
        reg = std::make_unique<MemoryRegistry>();
        if (c.in64)
            Stage(RegView::Bits64, *c.in64);
        if (c.in32)
            Stage(RegView::Bits32, *c.in32);
        const MachineLock lock = ProbeMachineLock(*reg, c.addin);
        EXPECT_TRUE(lock.mayChange) << c.what;
        EXPECT_EQ(lock.locked, c.locked) << c.what;
        // What was there stays; what was missing is created as 0.
        EXPECT_EQ(Read(RegView::Bits64), c.in64 ? *c.in64 : 0) << c.what;
        EXPECT_EQ(Read(RegView::Bits32), c.in32 ? *c.in32 : 0) << c.what;
    }
    EXPECT_EQ(reg->OpenHandleCount(), 0u);
}

TEST_F(MachineLockTest, AValueOfAnotherTypeIsReplacedByZero) {
    Stage(RegView::Bits32, regtype::Sz, {'1', 0, 0, 0});
    Stage(RegView::Bits64, 1);
    const MachineLock lock = ProbeMachineLock(*reg, RegView::Bits32);
    EXPECT_TRUE(lock.mayChange);
    EXPECT_FALSE(lock.locked);
    EXPECT_EQ(Read(RegView::Bits32), 0);
    EXPECT_EQ(Read(RegView::Bits64), 1);
}

TEST_F(MachineLockTest, AChangeLandsInBothViews) {
    Stage(RegView::Bits64, 1);
    Stage(RegView::Bits32, 0);
    for (RegView addin : kViews) {
        for (bool locked : {true, false}) {
            WriteMachineLock(*reg, addin, locked);
            EXPECT_EQ(Read(RegView::Bits64), locked ? 1 : 0);
            EXPECT_EQ(Read(RegView::Bits32), locked ? 1 : 0);
            EXPECT_EQ(ProbeMachineLock(*reg, addin).locked, locked);
        }
    }
    EXPECT_EQ(reg->OpenHandleCount(), 0u);
}

TEST_F(MachineLockTest, WithoutFullAccessNothingIsReadOrWritten) {
    Stage(RegView::Bits64, 1);
    Stage(RegView::Bits32, 1);
    reg->LimitRootAccess(RootKey::LocalMachine, kKeyRead);
    for (RegView addin : kViews) {
        const MachineLock lock = ProbeMachineLock(*reg, addin);
        EXPECT_FALSE(lock.mayChange);
        EXPECT_FALSE(lock.locked) << "a box that cannot be changed shows no lock";
        EXPECT_THROW(WriteMachineLock(*reg, addin, false), StoreError);
    }
    EXPECT_EQ(Read(RegView::Bits64), 1);
    EXPECT_EQ(Read(RegView::Bits32), 1);
    EXPECT_EQ(reg->OpenHandleCount(), 0u);
}

} // namespace
} // namespace kes
