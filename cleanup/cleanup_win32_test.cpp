// The purge functions in-process: their flags, and the files they leave.
#include "cleanup/cleanup_win32.h"

#include "cleanup/cleanup_core.h"
#include "cleanup/test_support_win32.h"
#include "platform/scoped_win32.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace cleanup {
namespace {

// Room for the whole trace, so that the writer never waits on the reader.
constexpr DWORD kPipeBytes = 1 << 16;

class HufFolder : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeTempFolder(L"purge"); }
    void TearDown() override { RemoveTree(dir); }
    std::wstring In(std::wstring_view name) const { return dir + L"\\" + std::wstring(name); }
    std::wstring dir;
};

TEST_F(HufFolder, RemovesTheFolderOnlyWhenNothingElseIsLeft) {
    struct Case {
        const char* what;
        std::vector<std::wstring> files, kept;
        bool removed;
    } cases[] = {
        {"three .huf files", {L"a.huf", L"B.HUF", L"c.Huf"}, {}, true},
        {"a document besides", {L"a.huf", L"b.huf", L"letter.doc"}, {L"letter.doc"}, false},
        {"no .huf entry", {L"letter.doc", L"huf"}, {L"letter.doc", L"huf"}, false},
        {"empty folder", {}, {}, false},
    };
    for (const Case& c : cases) {
        std::wstring folder = In(std::wstring(c.what, c.what + strlen(c.what)));
        MakeFolder(folder);
        for (const auto& f : c.files)
            MakeFile(folder + L"\\" + f);
        EXPECT_EQ(cleanup::PurgeHufFiles(folder.c_str()), c.removed) << c.what;
        EXPECT_EQ(Exists(folder), !c.removed) << c.what;
        for (const auto& f : c.files) {
            bool kept = std::find(c.kept.begin(), c.kept.end(), f) != c.kept.end();
            EXPECT_EQ(Exists(folder + L"\\" + f), kept) << c.what;
        }
    }
}

TEST_F(HufFolder, MissingFolderIsNotRemoved) {
    EXPECT_FALSE(cleanup::PurgeHufFiles(In(L"absent").c_str()));
}

TEST_F(HufFolder, EmptiesAndRemovesMatchingSubfolders) {
    MakeFolder(In(L"x.huf"));
    MakeFolder(In(L"x.huf\\y.huf"));
    MakeFile(In(L"x.huf\\y.huf\\1.huf"));
    MakeFile(In(L"x.huf\\2.huf"));
    MakeFile(In(L"3.huf"));
    EXPECT_TRUE(cleanup::PurgeHufFiles(dir.c_str()));
    EXPECT_FALSE(Exists(dir));
}

// A folder of 253 units and "\*.huf" fill the 260-unit buffer with its terminator; one unit
// more would not fit, and that folder is not searched.
TEST_F(HufFolder, AFolderIsSearchedOnlyWhenItsPatternFits) {
    for (const auto& [units, searched] : {std::pair{253u, true}, std::pair{254u, false}}) {
        const std::wstring folder = dir + L"\\" + std::wstring(units - 1 - dir.size(), L'e');
        MakeFolder(folder);
        MakeFile(folder + L"\\a.huf");
        EXPECT_EQ(cleanup::PurgeHufFiles(folder.c_str()), searched) << units;
        EXPECT_EQ(Exists(folder + L"\\a.huf"), !searched) << units;
        RemoveTree(folder);
    }
}

TEST(Entries, DotEntries) {
    EXPECT_TRUE(cleanup::IsDotEntry(L"."));
    EXPECT_TRUE(cleanup::IsDotEntry(L".."));
    EXPECT_FALSE(cleanup::IsDotEntry(L"..."));
    EXPECT_FALSE(cleanup::IsDotEntry(L"a.huf"));
}

// A scratch key of this process; the purge functions take any path below HKEY_CURRENT_USER.
class ScratchKey : public ::testing::Test {
protected:
    void SetUp() override {
        path = L"Software\\KestrovaCleanupTest\\" + std::to_wstring(GetCurrentProcessId());
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KestrovaCleanupTest");
    }
    void Create() {
        kes::UniqueKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, key.Put(), nullptr),
                  ERROR_SUCCESS);
    }
    std::wstring path;
};

TEST_F(ScratchKey, OpenedKeysReportTrueMissingOnesFalse) {
    std::string trace;
    EXPECT_FALSE(cleanup::PurgeDisabledItems(path.c_str(), trace));
    EXPECT_EQ(trace, "");
    EXPECT_FALSE(cleanup::PurgeSecureTempFolder(path.c_str()));

    Create();
    EXPECT_TRUE(cleanup::PurgeDisabledItems(path.c_str(), trace));
    EXPECT_EQ(trace, ":259");
    EXPECT_TRUE(cleanup::PurgeSecureTempFolder(path.c_str()));
}

// Another program removes an entry of ours between the walk's look and its removal (a value as
// it is read, a file once the first one went): /run counts nothing as left and still examines
// the value that moved into the removed one's place.
TEST_F(ScratchKey, WhatGoesMeanwhileIsNotLeft) {
    class Meanwhile : public Findings {
    public:
        Meanwhile(const std::wstring& key, const std::wstring& dir)
            : Findings(true), key(key), dir(dir) {}
        void Enumerated(long, std::wstring_view data) override {
            if (data == L"\\kestrova.dll")
                RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"a");
        }
        void Entry(Outcome outcome, const std::wstring& what, long error) override {
            Findings::Entry(outcome, what, error);
            if (what.starts_with(dir))
                for (const wchar_t* f : {L"\\a.huf", L"\\b.huf"})
                    DeleteFileW((dir + f).c_str());
        }
        const std::wstring key, dir;
    };
    Create();
    const std::wstring dir = MakeTempFolder(L"meanwhile");
    MakeFile(dir + L"\\a.huf");
    MakeFile(dir + L"\\b.huf");
    kes::UniqueKey key, security;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, key.Put()), 0);
    ASSERT_EQ(RegCreateKeyExW(key.Get(), L"Security", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              security.Put(), nullptr),
              0);
    for (const auto& [name, data] : {std::pair{L"a", L"\\kestrova.dll"}, {L"b", L"\\tarnwick.dll"}})
        RegSetValueExW(key.Get(), name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(data),
                       static_cast<DWORD>(wcslen(data) * sizeof(wchar_t)));
    RegSetValueExW(security.Get(), L"OutlookSecureTempFolder", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(dir.c_str()),
                   static_cast<DWORD>((dir.size() + 1) * sizeof(wchar_t)));
    Meanwhile findings(path, dir);
    EXPECT_TRUE(cleanup::WalkDisabledItems(path.c_str(), findings));
    EXPECT_TRUE(cleanup::WalkSecureTempFolder((path + L"\\Security").c_str(), findings));
    EXPECT_EQ(findings.removed, 2) << LowBytes(std::wstring_view(findings.lines));
    EXPECT_EQ(findings.ExitCode(), kExitNothing) << LowBytes(std::wstring_view(findings.lines));
    EXPECT_NE(RegQueryValueExW(key.Get(), L"b", nullptr, nullptr, nullptr, nullptr), 0);
    RemoveTree(dir);
}

TEST(Trace, WritesEveryByteToAPipe) {
    kes::UniqueKernelHandle read, write;
    ASSERT_TRUE(CreatePipe(read.Put(), write.Put(), nullptr, kPipeBytes));
    std::string bytes = ":0a_\xF6\x01OK:259";
    cleanup::WriteTrace(write.Get(), bytes);
    cleanup::WriteTrace(INVALID_HANDLE_VALUE, bytes);
    cleanup::WriteTrace(nullptr, bytes);
    write.Reset();
    std::string got(64, '\0');
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(read.Get(), got.data(), static_cast<DWORD>(got.size()), &n, nullptr));
    got.resize(n);
    EXPECT_EQ(got, bytes);
}

// A console is given the text itself; a file or pipe UTF-8, never a look-alike of a name.
TEST(Trace, ScriptLinesKeepEveryName) {
    const std::wstring lines = L"found: C:\\Gr\u00FC\u00DFe\\\u03A9mega.huf\r\n"
                               L"found: C:\\\u65E5\u672C.huf\r\n";
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    const kes::UniqueKernelHandle screen(CreateConsoleScreenBuffer(
        GENERIC_READ | GENERIC_WRITE, 0, nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr));
    ASSERT_TRUE(screen.Get() != INVALID_HANDLE_VALUE && screen.Get() != nullptr);
    cleanup::WriteLines(screen.Get(), lines);
    wchar_t shown[27] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(screen.Get(), shown, 26, COORD{0, 0}, &read));
    EXPECT_EQ(std::wstring(shown, read), L"found: C:\\Gr\u00FC\u00DFe\\\u03A9mega.huf ");
    FreeConsole();

    kes::UniqueKernelHandle readEnd, writeEnd;
    ASSERT_TRUE(CreatePipe(readEnd.Put(), writeEnd.Put(), nullptr, kPipeBytes));
    cleanup::WriteLines(writeEnd.Get(), lines);
    writeEnd.Reset();
    std::string got(256, '\0');
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(readEnd.Get(), got.data(), static_cast<DWORD>(got.size()), &n, nullptr));
    got.resize(n);
    EXPECT_EQ(got, "found: C:\\Gr\xC3\xBC\xC3\x9F"
                   "e\\\xCE\xA9mega.huf\r\n"
                   "found: C:\\\xE6\x97\xA5\xE6\x9C\xAC.huf\r\n");
}

} // namespace
} // namespace cleanup
