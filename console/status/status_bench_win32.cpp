// How long the status report takes to read and compose through the real registry, with dozens
// and with thousands of other add-ins registered for the user (best of five, in ms). The time
// is the registry's round trips: about seven per entry (its enumeration, then an open, a read
// and a close each for ProgID -> CLSID and CLSID -> server). The user's root is a scratch key.
#include "console/status/status_source_win32.h"
#include "console/store/win32_registry.h"
#include "platform/scoped_win32.h"
#include "platform/stopwatch_win32.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

void Text(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& v) {
    RegSetKeyValueW(root, path.c_str(), name, REG_SZ, v.c_str(),
                    static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
}

void Register(HKEY root, int from, int to) {
    for (int i = from; i < to; ++i) {
        const std::wstring id = L"Vendor.Addin" + std::to_wstring(i);
        const std::wstring clsid = L"{" + std::to_wstring(i) + L"}";
        const std::wstring entry = L"Software\\Microsoft\\Office\\Outlook\\Addins\\" + id;
        Text(root, entry, L"FriendlyName", id);
        const DWORD three = 3;
        RegSetKeyValueW(root, entry.c_str(), L"LoadBehavior", REG_DWORD, &three, sizeof three);
        Text(root, L"Software\\Classes\\" + id + L"\\CLSID", nullptr, clsid);
        Text(root, L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32", nullptr,
             L"C:\\Vendor\\v" + std::to_wstring(i) + L".dll");
    }
}

double BestOfFive() {
    kes::Win32Registry reg;
    kes::status::Win32StatusSource source([] { return std::string(); },
                                          [] { return std::string(); });
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        const double start = kes::MillisecondsNow();
        const std::string report = kes::status::CurrentStatusReport(reg, source, "\r\n");
        best = std::min(best, kes::MillisecondsNow() - start);
        if (report.empty())
            std::fprintf(stderr, "no report\n");
    }
    return best;
}

} // namespace

int main() {
    const wchar_t kScratch[] = L"Software\\KestrovaStatusBench";
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    kes::UniqueKey scratch;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        scratch.Put(), nullptr) != ERROR_SUCCESS)
        return 1;
    RegOverridePredefKey(HKEY_CURRENT_USER, scratch.Get());
    Register(HKEY_CURRENT_USER, 0, 50);
    std::printf("status_report_ms_50_addins: %.1f\n", BestOfFive());
    Register(HKEY_CURRENT_USER, 50, 2000);
    std::printf("status_report_ms_2000_addins: %.1f\n", BestOfFive());
    Register(HKEY_CURRENT_USER, 2000, 5000);
    std::printf("status_report_ms_5000_addins: %.1f\n", BestOfFive());
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    scratch.Reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    return 0;
}
