#include "console/store/settings_store.h"

#include "console/store/memory_registry.h"
#include "console/store/settings_store_conformance.h"

#include <gtest/gtest.h>

namespace kes::test {
INSTANTIATE_TEST_SUITE_P(Host, StoreConformance,
                         ::testing::Values(StoreBackendParam{"memory", MakeMemoryBackend}),
                         [](const auto& info) { return info.param.name; });

TEST(RegistryUpcase, FoldsLikeTheRegistry) {
    EXPECT_EQ(FoldName("abc\xC3\xA4\xC3\xB6\xC3\xBC"), FoldName("ABC\xC3\x84\xC3\x96\xC3\x9C"));
    EXPECT_NE(FoldName("\xC3\x9F"), FoldName("SS")); // no ß to SS
    EXPECT_EQ(RegistryUpcase(0xFF), 0x178);
    EXPECT_EQ(RegistryUpcase(0x3C9), 0x3A9);
    EXPECT_EQ(RegistryUpcase(0x17E), 0x17D);
    EXPECT_EQ(RegistryUpcase(u'1'), u'1');
}

TEST(MemoryRegistry, HandlesAreReleased) {
    MemoryRegistry reg;
    {
        SettingsStore s(reg);
        ASSERT_TRUE(s.Open("\\A", true));
        EXPECT_EQ(reg.OpenHandleCount(), 1u);
        s.AddChild("b");
        EXPECT_TRUE(s.RemoveChild("b"));
        EXPECT_EQ(reg.OpenHandleCount(), 1u);
        s.AddChild("c");
        EXPECT_TRUE(s.RenameChild("c", "C"));
        EXPECT_EQ(reg.OpenHandleCount(), 1u);
    }
    EXPECT_EQ(reg.OpenHandleCount(), 0u);
}
} // namespace kes::test
