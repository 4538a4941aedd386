// Start-up of Quillard.exe, stripped as the packages ship it, to a shown window, against a minimal
// one-window program measured the same way in the same run; and with 20,000 recipients (in 200
// folders) against start-up with 2 plus what any program listing them pays: a bare enumeration
// of their keys and a bare fill of a drop-down list. Prints "name: value" lines.
#include "console/form/control_ids.h"
#include "platform/scoped_win32.h"
#include "platform/stopwatch_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using kes::MillisecondsNow;

std::wstring Sibling(const wchar_t* rel) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir(self);
    dir.resize(dir.find_last_of(L'\\') + 1);
    return dir + rel;
}

// Milliseconds from CreateProcess to the visible window; -1 when it never shows.
double StartOnce(const std::wstring& exe, const wchar_t* cls, const wchar_t* title) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::wstring cmd = L"\"" + exe + L"\"";
    const double t0 = MillisecondsNow();
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return -1;
    const kes::UniqueProcess started(pi);
    HWND w = nullptr;
    double shown = -1;
    while (MillisecondsNow() - t0 < 30000) {
        w = FindWindowW(cls, title);
        if (w && IsWindowVisible(w)) {
            shown = MillisecondsNow() - t0;
            break;
        }
        Sleep(0);
    }
    if (w)
        PostMessageW(w, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(started.Process.Get(), 10000) != WAIT_OBJECT_0)
        TerminateProcess(started.Process.Get(), 1);
    return shown;
}

// Recipients in the user's own registry, below folders of the bench's own names only, so that
// nothing else stored there is touched.
const wchar_t kFolders[] = L"Software\\Varnholt\\Kestrova\\Folders";

void StageRecipients(int folders, int perFolder) {
    for (int f = 0; f < folders; ++f)
        for (int r = 0; r < perFolder; ++r) {
            const std::wstring path = std::wstring(kFolders) + L"\\KesBench" + std::to_wstring(f) +
                                      L"\\Users\\Empf\u00e4nger " + std::to_wstring(f) + L"." +
                                      std::to_wstring(r);
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                nullptr, &key, nullptr) == ERROR_SUCCESS)
                RegCloseKey(key);
        }
}

void RemoveRecipients(int folders) {
    for (int f = 0; f < folders; ++f)
        RegDeleteTreeW(HKEY_CURRENT_USER,
                       (std::wstring(kFolders) + L"\\KesBench" + std::to_wstring(f)).c_str());
}

// What any program pays to list them: a bare enumeration of the folders' recipients, then the
// names added to a bare drop-down list; best of three. The names found.
double BareListingMs(size_t& found) {
    kes::UniqueWindow top(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr,
                                          nullptr, nullptr, nullptr));
    HWND combo =
        CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL,
                        10, 10, 273, 221, top.Get(), nullptr, nullptr, nullptr);
    double best = 1e300;
    for (int round = 0; round < 3; ++round) {
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
        const double t0 = MillisecondsNow();
        std::vector<std::wstring> names;
        HKEY folders = nullptr;
        wchar_t buf[256], name[256];
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kFolders, 0, KEY_READ, &folders) == ERROR_SUCCESS) {
            const kes::UniqueKey ownedFolders(folders);
            for (DWORD i = 0;; ++i) {
                DWORD len = 256;
                if (RegEnumKeyExW(folders, i, buf, &len, nullptr, nullptr, nullptr, nullptr) !=
                    ERROR_SUCCESS)
                    break;
                HKEY users = nullptr;
                if (RegOpenKeyExW(folders, (std::wstring(buf) + L"\\Users").c_str(), 0, KEY_READ,
                                  &users) != ERROR_SUCCESS)
                    continue;
                const kes::UniqueKey ownedUsers(users);
                for (DWORD j = 0;; ++j) {
                    DWORD n = 256;
                    if (RegEnumKeyExW(users, j, name, &n, nullptr, nullptr, nullptr, nullptr) !=
                        ERROR_SUCCESS)
                        break;
                    names.emplace_back(name, n);
                }
            }
        }
        for (const auto& n : names)
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n.c_str()));
        best = std::min(best, MillisecondsNow() - t0);
        found = names.size();
    }
    return best;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    // Stripped, as shipped.
    const std::wstring quillard = Sibling(L"shipped\\Quillard.exe");
    const std::wstring minimal = Sibling(L"shipped\\minimal_window.exe");
    const std::wstring minimal6 = Sibling(L"shipped\\minimal_window_v6.exe");
    std::vector<double> q, m, m6;
    StartOnce(quillard, KES_FORM_CLASS, L"Quillard"); // warm the file cache
    StartOnce(minimal, L"KesMinimalWindow", L"Minimal");
    for (int round = 0; round < 9; ++round) {
        q.push_back(StartOnce(quillard, KES_FORM_CLASS, L"Quillard"));
        m.push_back(StartOnce(minimal, L"KesMinimalWindow", L"Minimal"));
        m6.push_back(StartOnce(minimal6, L"KesMinimalWindow", L"Minimal"));
    }
    const double qm = Median(q), mm = Median(m);
    std::printf("quillard_startup_ms: %.1f\n", qm);
    std::printf("minimal_window_startup_ms: %.1f\n", mm);
    std::printf("startup_ratio: %.2f\n", mm > 0 ? qm / mm : 0.0);
    // The same window bound to common controls 6, as the console's manifest binds it: what
    // loading the visual-style controls alone costs.
    const double m6m = Median(m6);
    std::printf("minimal_window_v6_startup_ms: %.1f\n", m6m);
    std::printf("startup_ratio_vs_v6: %.2f\n", m6m > 0 ? qm / m6m : 0.0);

    // Many recipients against few, alternating so that both see the same machine.
    std::vector<double> few, many;
    StageRecipients(200, 100);
    size_t found = 0;
    const double bare = BareListingMs(found);
    RemoveRecipients(200);
    for (int round = 0; round < 3; ++round) {
        StageRecipients(1, 2);
        few.push_back(StartOnce(quillard, KES_FORM_CLASS, L"Quillard"));
        RemoveRecipients(1);
        StageRecipients(200, 100);
        many.push_back(StartOnce(quillard, KES_FORM_CLASS, L"Quillard"));
        RemoveRecipients(200);
    }
    const double fm = Median(few), mn = Median(many);
    if (found != 20000)
        std::fprintf(stderr, "the bare listing found %zu recipients\n", found);
    std::printf("quillard_startup_ms_2_recipients: %.1f\n", fm);
    std::printf("quillard_startup_ms_20000_recipients: %.1f\n", mn);
    std::printf("bare_listing_ms_20000: %.1f\n", bare);
    std::printf("startup_ratio_20000_recipients: %.2f\n", fm > 0 ? mn / (fm + bare) : 0.0);
    return qm > 0 && mm > 0 && fm > 0 && mn > 0 ? 0 : 1;
}
