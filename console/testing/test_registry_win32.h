#pragma once
// Hermetic registry for tests under Wine: both predefined roots point at scratch keys, and a
// key can be made readable only, which stands for a user without administrator rights.
#include "platform/scoped_win32.h"

#include <windows.h>

#include <string>

namespace kes::test {

class ScratchRoots {
public:
    // With remapMachine false only HKEY_CURRENT_USER is remapped, and the machine's own keys
    // are used (the test prefix is private).
    explicit ScratchRoots(bool remapMachine = true);
    ~ScratchRoots();
    ScratchRoots(const ScratchRoots&) = delete;
    ScratchRoots& operator=(const ScratchRoots&) = delete;
    std::wstring BasePath() const { return base_; } // below the real HKEY_CURRENT_USER

private:
    std::wstring base_;
    UniqueKey cu_, lm_;
};

// Gives an existing (created if needed) key the DACL "everyone may read", restored on
// destruction; a full-access open then fails with ERROR_ACCESS_DENIED.
class ReadOnlyKey {
public:
    ReadOnlyKey(HKEY root, const std::string& path);
    ~ReadOnlyKey();
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

private:
    UniqueKey key_;
    std::string saved_;
};

// Small readers for checking what a test left in the registry.
bool ReadDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD& value);
bool KeyExists(HKEY root, const std::wstring& path);
void WriteDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value);
void WriteString(HKEY root, const std::wstring& path, const std::wstring& name,
                 const std::wstring& value);
void CreateKey(HKEY root, const std::wstring& path);

} // namespace kes::test
