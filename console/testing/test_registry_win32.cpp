#include "console/testing/test_registry_win32.h"

#include "platform/utf_win32.h"

#include <sddl.h>

#include <stdexcept>

namespace kes::test {

ScratchRoots::ScratchRoots(bool remapMachine) {
    static int counter = 0;
    base_ = L"Software\\KestrovaTest\\" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(++counter);
    RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (base_ + L"\\CU").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &cu_, nullptr) != ERROR_SUCCESS ||
        RegCreateKeyExW(HKEY_CURRENT_USER, (base_ + L"\\LM").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &lm_, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create scratch keys");
    RegOverridePredefKey(HKEY_CURRENT_USER, cu_);
    if (remapMachine)
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, lm_);
}

ScratchRoots::~ScratchRoots() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(cu_);
    RegCloseKey(lm_);
    RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KestrovaTest");
}

ReadOnlyKey::ReadOnlyKey(HKEY root, const std::string& path) {
    HKEY created = nullptr;
    RegCreateKeyExW(root, Widen(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                    nullptr);
    if (created)
        RegCloseKey(created);
    // Kept open with the rights to put the old DACL back afterwards.
    if (RegOpenKeyExW(root, Widen(path).c_str(), 0, READ_CONTROL | WRITE_DAC, &key_) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot open key for its DACL");
    DWORD size = 0;
    RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    if (RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size) != ERROR_SUCCESS)
        saved_.clear();
    PSECURITY_DESCRIPTOR sd = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &sd,
                                                         nullptr);
    RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, sd);
    LocalFree(sd);
}

ReadOnlyKey::~ReadOnlyKey() {
    if (!saved_.empty())
        RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
    RegCloseKey(key_);
}

bool ReadDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD& value) {
    DWORD type = 0, size = sizeof(value);
    return RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_ANY, &type, &value, &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
        return false;
    RegCloseKey(k);
    return true;
}

void WriteDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value) {
    RegSetKeyValueW(root, path.c_str(), name.c_str(), REG_DWORD, &value, sizeof(value));
}

void WriteString(HKEY root, const std::wstring& path, const std::wstring& name,
                 const std::wstring& value) {
    RegSetKeyValueW(root, path.c_str(), name.c_str(), REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void CreateKey(HKEY root, const std::wstring& path) {
    HKEY k = nullptr;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) ==
        ERROR_SUCCESS)
        RegCloseKey(k);
}

} // namespace kes::test
