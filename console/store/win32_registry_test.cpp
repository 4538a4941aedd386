// The conformance suite against the real registry (and the in-memory tree) under Wine.
#include "console/store/win32_registry.h"

#include "console/store/memory_registry.h"
#include "console/store/settings_store_conformance.h"
#include "console/testing/test_registry_win32.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace kes::test {
namespace {

// What the suite may leave in the machine's own keys, in either view.
void ClearMachineKeys() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        UniqueKey software;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view,
                          software.Put()) != ERROR_SUCCESS)
            continue;
        for (const wchar_t* key :
             {L"Varnholt", L"Microsoft\\Office\\16.0", L"Microsoft\\Office\\14.0",
              L"Microsoft\\Office\\12.0", L"Microsoft\\Office\\ClickToRun"})
            RegDeleteTreeW(software.Get(), key);
        RegDeleteKeyExW(software.Get(), L"Microsoft\\Office", view, 0); // only when empty
    }
}

class RegistryUnderTest : public BackendUnderTest {
public:
    RegistryUnderTest() { ClearMachineKeys(); }
    ~RegistryUnderTest() override {
        refused_.clear();
        ClearMachineKeys();
    }
    RegistryBackend& Backend() override { return reg_; }
    void RefuseFullAccess(RootKey root, const std::string& path) override {
        refused_.push_back(std::make_unique<ReadOnlyKey>(
            root == RootKey::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, path));
    }

private:
    // The user's root points at a scratch key for the life of the test; the machine's is its
    // own (the prefix is private), since only the real one is split into two views.
    ScratchRoots roots_{/*remapMachine=*/false};
    Win32Registry reg_;
    std::vector<std::unique_ptr<ReadOnlyKey>> refused_;
};

std::unique_ptr<BackendUnderTest> MakeRegistryBackend() {
    return std::make_unique<RegistryUnderTest>();
}

} // namespace

// The in-memory tree's table is the system's for every 16-bit unit, and the system's comparison
// with case ignored (the registry's) takes each unit and its upper case for one.
TEST(RegistryUpcase, TheTableIsTheSystemsForEveryUnit) {
    using Upcase = WCHAR(WINAPI*)(WCHAR);
    const auto system = reinterpret_cast<Upcase>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar")));
    ASSERT_NE(system, nullptr);
    std::string differ;
    for (unsigned c = 0; c <= 0xFFFF; ++c) {
        const wchar_t unit = wchar_t(c), upper = wchar_t(RegistryUpcase(char16_t(c)));
        if (system(unit) != upper ||
            CompareStringOrdinal(&unit, 1, &upper, 1, TRUE) != CSTR_EQUAL) {
            char line[32];
            snprintf(line, sizeof line, " %04X:%04X/%04X", c, unsigned(upper),
                     unsigned(system(unit)));
            differ += line;
        }
    }
    EXPECT_EQ(differ, "");
}

INSTANTIATE_TEST_SUITE_P(Wine, StoreConformance,
                         ::testing::Values(StoreBackendParam{"memory", MakeMemoryBackend},
                                           StoreBackendParam{"registry", MakeRegistryBackend}),
                         [](const auto& info) { return info.param.name; });

} // namespace kes::test
