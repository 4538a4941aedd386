#pragma once
// One suite for every backend: the in-memory tree on the host, the in-memory tree and the real
// registry under Wine. Instantiate with INSTANTIATE_TEST_SUITE_P over StoreBackendParam values.
#include "console/store/registry_backend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kes::test {

class BackendUnderTest {
public:
    virtual ~BackendUnderTest() = default;
    virtual RegistryBackend& Backend() = 0;
    // After this, a full-access open of the existing key at `path` below `root` fails, as it
    // does for a user without administrator rights.
    virtual void RefuseFullAccess(RootKey root, const std::string& path) = 0;
};

struct StoreBackendParam {
    std::string name;
    std::function<std::unique_ptr<BackendUnderTest>()> make;
};

std::unique_ptr<BackendUnderTest> MakeMemoryBackend();

class StoreConformance : public ::testing::TestWithParam<StoreBackendParam> {
public:
    StoreConformance();
    ~StoreConformance() override;

protected:
    void SetUp() override;
    void TearDown() override;
    RegistryBackend& B() { return under_->Backend(); }
    // Stages a raw value of any type, as the add-in or an administrator might leave it.
    void Stage(RootKey root, const std::string& path, const std::string& name, std::uint32_t type,
               const std::vector<std::uint8_t>& data);
    bool KeyExists(RootKey root, const std::string& path);
    std::unique_ptr<BackendUnderTest> under_;
};

} // namespace kes::test
