// The conformance suite against the real registry (and the in-memory tree) under Wine.
#include "console/store/win32_registry.h"

#include "console/store/memory_registry.h"
#include "console/store/settings_store_conformance.h"
#include "console/testing/test_registry_win32.h"

#include <gtest/gtest.h>

namespace kes::test {
namespace {

class RegistryUnderTest : public BackendUnderTest {
public:
    RegistryBackend& Backend() override { return reg_; }
    void RefuseFullAccess(RootKey root, const std::string& path) override {
        refused_.push_back(std::make_unique<ReadOnlyKey>(
            root == RootKey::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, path));
    }

private:
    // Both roots point at scratch keys for the life of the test.
    ScratchRoots roots_;
    Win32Registry reg_;
    std::vector<std::unique_ptr<ReadOnlyKey>> refused_;
};

std::unique_ptr<BackendUnderTest> MakeRegistryBackend() {
    return std::make_unique<RegistryUnderTest>();
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Wine, StoreConformance,
                         ::testing::Values(StoreBackendParam{"memory", MakeMemoryBackend},
                                           StoreBackendParam{"registry", MakeRegistryBackend}),
                         [](const auto& info) { return info.param.name; });

} // namespace kes::test
