// Scratch folders, files and links for the Wine tests. Everything lives below GetTempPath and
// is removed again, links without following them.
#pragma once

#include "cleanup/wine_shell_win32.h"
#include "platform/scoped_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace cleanup {

inline std::wstring TempRoot() {
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetTempPathW(static_cast<DWORD>(std::size(buf)), buf);
    std::wstring root(buf, n);
    if (!root.empty() && root.back() == L'\\')
        root.pop_back();
    return root;
}

// A fresh, empty folder below the temp folder, unique in this process and among processes.
// Wine reuses process ids from run to run, so a name already taken is passed over.
inline std::wstring MakeTempFolder(std::wstring_view tag) {
    static int counter = 0;
    for (;;) {
        std::wstring path = TempRoot() + L"\\kes_" + std::wstring(tag) + L"_" +
                            std::to_wstring(GetCurrentProcessId()) + L"_" +
                            std::to_wstring(++counter);
        if (CreateDirectoryW(path.c_str(), nullptr))
            return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "no temp folder: " << GetLastError();
            return path;
        }
    }
}

// Long paths go through the "\\?\" form, which no 260-unit limit applies to.
inline std::wstring Long(const std::wstring& path) {
    return L"\\\\?\\" + path;
}

inline bool Exists(const std::wstring& path) {
    return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void MakeFile(const std::wstring& path, std::string_view bytes = "x") {
    const kes::UniqueFile file(CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << GetLastError();
    DWORD written = 0;
    WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

inline void MakeFolder(const std::wstring& path) {
    ASSERT_TRUE(CreateDirectoryW(Long(path).c_str(), nullptr)) << GetLastError();
}

inline bool IsFolderLink(const std::wstring& path) {
    DWORD attrs = GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attrs & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Makes `link` a link to the folder `target`. Windows does it with CreateSymbolicLinkW; Wine 8
// reports success there without making anything, but shows a Unix symbolic link as a folder
// with the reparse-point attribute, and it runs Unix programs, so "ln -s" makes one.
inline bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
    if (CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
        IsFolderLink(link))
        return true;
    const std::string unixTarget = UnixPath(target);
    const std::string unixLink = UnixPath(link);
    if (unixTarget.empty() || unixLink.empty())
        return false;
    RunUnix("ln -s '" + unixTarget + "' '" + unixLink + "'");
    return IsFolderLink(link);
}

// Removes the link itself, also one whose target is gone. Wine's RemoveDirectoryW cannot remove
// a Unix symbolic link.
inline void RemoveFolderLink(const std::wstring& link) {
    if (RemoveDirectoryW(link.c_str()))
        return;
    if (const std::string unixLink = UnixPath(link); !unixLink.empty())
        RunUnix("rm -f '" + unixLink + "'");
}

// Deletes a folder tree; a link to a folder is removed itself, its target is left alone.
inline void RemoveTree(const std::wstring& path) {
    DWORD attrs = GetFileAttributesW(Long(path).c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return;
    if ((attrs & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(Long(path).c_str());
        return;
    }
    if ((attrs & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        RemoveFolderLink(path);
        return;
    }
    {
        // Closed before the folder is removed: an open search keeps it.
        WIN32_FIND_DATAW fd;
        const kes::UniqueFind search(FindFirstFileW(Long(path + L"\\*").c_str(), &fd));
        if (search) {
            do {
                std::wstring name = fd.cFileName;
                if (name != L"." && name != L"..")
                    RemoveTree(path + L"\\" + name);
            } while (FindNextFileW(search.Get(), &fd));
        }
    }
    RemoveDirectoryW(Long(path).c_str());
}

// The names a folder search returns, in the order it returns them.
inline std::vector<std::wstring> SearchOrder(const std::wstring& pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    const kes::UniqueFind search(FindFirstFileW(pattern.c_str(), &fd));
    if (!search)
        return names;
    do {
        names.push_back(fd.cFileName);
    } while (FindNextFileW(search.Get(), &fd));
    return names;
}

} // namespace cleanup
