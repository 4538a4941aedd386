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
                        nullptr, cu_.Put(), nullptr) != ERROR_SUCCESS ||
        RegCreateKeyExW(HKEY_CURRENT_USER, (base_ + L"\\LM").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, lm_.Put(), nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create scratch keys");
    RegOverridePredefKey(HKEY_CURRENT_USER, cu_.Get());
    if (remapMachine)
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, lm_.Get());
}

ScratchRoots::~ScratchRoots() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    cu_.Reset();
    lm_.Reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KestrovaTest");
}

ReadOnlyKey::ReadOnlyKey(HKEY root, const std::string& path) {
    CreateKey(root, Widen(path));
    // Kept open with the rights to put the old DACL back afterwards.
    if (RegOpenKeyExW(root, Widen(path).c_str(), 0, READ_CONTROL | WRITE_DAC, key_.Put()) !=
        ERROR_SUCCESS)
        throw std::runtime_error("cannot open key for its DACL");
    DWORD size = 0;
    RegGetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    if (RegGetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, saved_.data(), &size) !=
        ERROR_SUCCESS)
        saved_.clear();
    UniqueLocal sd;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                         sd.Put(), nullptr);
    RegSetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, sd.Get());
}

ReadOnlyKey::~ReadOnlyKey() {
    if (!saved_.empty())
        RegSetKeySecurity(key_.Get(), DACL_SECURITY_INFORMATION, saved_.data());
}

bool ReadDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD& value) {
    DWORD type = 0, size = sizeof(value);
    return RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_ANY, &type, &value, &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    UniqueKey k;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
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
    UniqueKey k;
    RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.Put(), nullptr);
}

} // namespace kes::test
