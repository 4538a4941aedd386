// Purging a secure temporary folder of 10,000 .huf files, against a plain DeleteFileW loop over
// the same names in the same run. Prints both times and their ratio.
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

constexpr int kFiles = 10000;
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
bool FillThroughShell(const std::wstring& folder) {
    const std::string dir = UnixPath(folder);
    if (dir.empty())
        return false;
    const std::string cmd =
        "cd '" + dir + "' && seq -f '%05g.huf' 0 " + std::to_string(kFiles - 1) + " | xargs touch";
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

// Makes the folder with its 10,000 files and returns their paths.
std::vector<std::wstring> Fill(const std::wstring& folder) {
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> paths;
    paths.reserve(kFiles);
    for (int i = 0; i < kFiles; ++i) {
        wchar_t name[32];
        swprintf(name, std::size(name), L"\\%05d.huf", i);
        paths.push_back(folder + name);
    }
    if (!FillThroughShell(folder)) {
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

int Bench() {
    const std::wstring purged = TempFolder(L"purge");
    const std::wstring looped = TempFolder(L"loop");
    std::vector<double> purge, loop;
    for (int round = 0; round < kRounds; ++round) {
        Fill(purged);
        std::vector<std::wstring> names = Fill(looped);
        if (CountFiles(purged) != kFiles || CountFiles(looped) != kFiles) {
            std::fprintf(stderr, "cleanup_bench: the folders were not filled\n");
            return 1;
        }
        // Alternate which goes first, so that neither always meets a warmer cache.
        double purge_s = 0, loop_s = 0;
        bool removed = false;
        for (int turn = 0; turn < 2; ++turn) {
            LARGE_INTEGER t0, t1;
            QueryPerformanceCounter(&t0);
            if ((turn + round) % 2 == 0) {
                removed = PurgeHufFiles(purged.c_str());
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
            return 1;
        }
        purge.push_back(purge_s);
        loop.push_back(loop_s);
    }
    double p = *std::min_element(purge.begin(), purge.end());
    double l = *std::min_element(loop.begin(), loop.end());
    std::printf("purge_10000_huf_ms: %.1f\n", p * 1000);
    std::printf("deletefile_loop_10000_ms: %.1f\n", l * 1000);
    std::printf("purge_ratio: %.3f\n", p / l);
    return 0;
}

} // namespace
} // namespace cleanup

int main() {
    return cleanup::Bench();
}
