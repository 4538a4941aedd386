// Purging a secure temporary folder of 10,000 .huf files (the plain run), and sweeping one of
// 20,000 (/run, every removal listed), each against a plain DeleteFileW loop over the same names
// in the same run. Prints the times and their ratios.
#include "cleanup/cleanup_win32.h"
#include "cleanup/wine_shell_win32.h"
#include "platform/scoped_win32.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace cleanup {
namespace {

constexpr int kRounds = 5;
// Making the files through a shell takes seconds under Wine; give it room.
constexpr DWORD kFillWaitMs = 60000;

std::wstring TempFolder(const wchar_t* tag) {
    wchar_t buf[MAX_PATH + 1];
    DWORD n = GetTempPathW(static_cast<DWORD>(std::size(buf)), buf);
    return std::wstring(buf, n) + L"kes_bench_" + tag + L"_" +
           std::to_wstring(GetCurrentProcessId());
}

// Wine looks every new name up case-insensitively in the whole folder, so 10,000 CreateFileW
// calls cost seconds there; under Wine the files are made by a shell, which waits on nothing.
bool FillThroughShell(const std::wstring& folder, int files) {
    const std::string dir = UnixPath(folder);
    if (dir.empty())
        return false;
    const std::string cmd =
        "cd '" + dir + "' && seq -f '%05g.huf' 0 " + std::to_string(files - 1) + " | xargs touch";
    return RunUnix(cmd, kFillWaitMs);
}

int CountFiles(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    const kes::UniqueFind search(FindFirstFileW((folder + L"\\*.huf").c_str(), &fd));
    int n = 0;
    if (search)
        do {
            ++n;
        } while (FindNextFileW(search.Get(), &fd));
    return n;
}

// Removes a folder left by an interrupted run: Wine hands out process ids again, and the
// folder's name carries one.
void Clear(const std::wstring& folder) {
    {
        WIN32_FIND_DATAW fd;
        const kes::UniqueFind search(FindFirstFileW((folder + L"\\*").c_str(), &fd));
        if (search)
            do {
                DeleteFileW((folder + L"\\" + fd.cFileName).c_str());
            } while (FindNextFileW(search.Get(), &fd));
    }
    RemoveDirectoryW(folder.c_str());
}

// Makes the folder with its files and returns their paths.
std::vector<std::wstring> Fill(const std::wstring& folder, int files) {
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> paths;
    paths.reserve(static_cast<std::size_t>(files));
    for (int i = 0; i < files; ++i) {
        wchar_t name[32];
        swprintf(name, std::size(name), L"\\%05d.huf", i);
        paths.push_back(folder + name);
    }
    if (!FillThroughShell(folder, files)) {
        for (const std::wstring& p : paths) {
            // Made empty and closed at once.
            kes::UniqueFile(CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        }
    }
    return paths;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    return double(to.QuadPart - from.QuadPart) / double(freq.QuadPart);
}

// Removes the folder's files and the folder through the walk; true when the folder went.
using Purge = bool (*)(const std::wstring& folder);

bool PlainRun(const std::wstring& folder) {
    return PurgeHufFiles(folder.c_str());
}

// /run's walk, through a security key naming the folder; every removal becomes a line.
bool ScriptRun(const std::wstring& folder) {
    const wchar_t* key = L"Software\\KestrovaCleanupBench";
    const DWORD bytes = static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t));
    if (RegSetKeyValueW(HKEY_CURRENT_USER, key, L"OutlookSecureTempFolder", REG_SZ, folder.c_str(),
                        bytes) != ERROR_SUCCESS)
        return false;
    Findings findings(true);
    WalkSecureTempFolder(key, findings);
    RegDeleteKeyW(HKEY_CURRENT_USER, key);
    return findings.left == 0 && GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// The best of a few rounds of `purge` against the plain loop; false when a round went wrong.
bool Measure(const char* name, int files, Purge purge) {
    const std::wstring purged = TempFolder(L"purge");
    const std::wstring looped = TempFolder(L"loop");
    std::vector<double> times, loop;
    Clear(purged);
    Clear(looped);
    for (int round = 0; round < kRounds; ++round) {
        Fill(purged, files);
        std::vector<std::wstring> names = Fill(looped, files);
        if (CountFiles(purged) != files || CountFiles(looped) != files) {
            std::fprintf(stderr, "cleanup_bench: the folders were not filled\n");
            return false;
        }
        // Alternate which goes first, so that neither always meets a warmer cache.
        double purge_s = 0, loop_s = 0;
        bool removed = false;
        for (int turn = 0; turn < 2; ++turn) {
            LARGE_INTEGER t0, t1;
            QueryPerformanceCounter(&t0);
            if ((turn + round) % 2 == 0) {
                removed = purge(purged);
                QueryPerformanceCounter(&t1);
                purge_s = Seconds(t0, t1);
            } else {
                for (const std::wstring& p : names)
                    DeleteFileW(p.c_str());
                // The same end state as the purge: the folder gone too.
                RemoveDirectoryW(looped.c_str());
                QueryPerformanceCounter(&t1);
                loop_s = Seconds(t0, t1);
            }
        }
        if (!removed || GetFileAttributesW(looped.c_str()) != INVALID_FILE_ATTRIBUTES) {
            std::fprintf(stderr, "cleanup_bench: a folder was left\n");
            return false;
        }
        times.push_back(purge_s);
        loop.push_back(loop_s);
    }
    const double p = *std::min_element(times.begin(), times.end());
    const double l = *std::min_element(loop.begin(), loop.end());
    std::printf("%s_%d_huf_ms: %.1f\n", name, files, p * 1000);
    std::printf("deletefile_loop_%d_ms: %.1f\n", files, l * 1000);
    std::printf("%s_ratio: %.3f\n", name, p / l);
    return true;
}

int Bench() {
    if (!Measure("purge", 10000, PlainRun) || !Measure("sweep", 20000, ScriptRun))
        return 1;
    return 0;
}

} // namespace
} // namespace cleanup

int main() {
    return cleanup::Bench();
}
