// Showing a recipient's 2,000 and 50,000 stored categories (usersChange through the real
// registry until the list is whole, read on a worker and filled in steps, and the repaint),
// against a bare program showing them as well as the platform
// allows: a bare RegEnumKeyExW enumeration of the key into a sorted LISTBOX of the same size and
// font with redrawing off and storage reserved. Beside it, the longest time the window did not
// answer.
#include "console/bench/max_block_win32.h"
#include "console/form/AdminUnit1.h"
#include "console/store/settings_store.h"
#include "console/store/win32_registry.h"
#include "platform/scoped_win32.h"
#include "platform/stopwatch_win32.h"
#include "platform/utf_win32.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

const char kUser[] = "\\Software\\Varnholt\\Kestrova\\UserCategories\\bench";

std::string Name(int i, int count) {
    return "Kategorie " + std::to_string((i * 7919) % count) + " Kunden \xC3\xA4";
}

// A bare program showing the recipient's categories as well as the platform allows: redrawing
// off, the list box's storage reserved, each name enumerated and added, then one repaint.
void ShowBare(HWND bare, int count) {
    SendMessageW(bare, WM_SETREDRAW, FALSE, 0);
    SendMessageW(bare, LB_RESETCONTENT, 0, 0);
    SendMessageW(bare, LB_INITSTORAGE, static_cast<WPARAM>(count), count * 64);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kes::Widen(kUser + 1).c_str(), 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        kes::UniqueKey owned(key);
        wchar_t buf[256];
        for (DWORD i = 0;; ++i) {
            DWORD len = 256;
            if (RegEnumKeyExW(key, i, buf, &len, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            SendMessageW(bare, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(buf));
        }
    }
    SendMessageW(bare, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(bare, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

// The best of `rounds` shows of the recipient through the real registry (the change of
// recipient, the message loop until the list is whole, and the repaint), and of as many bare
// shows; the longest time the console's window did not answer meanwhile.
void Measure(int count, int rounds, double& showMs, double& bareMs, double& maxBlockMs) {
    using namespace kes;
    {
        // Seeded with bare calls: the console's own writing is not measured here.
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, Widen(kUser + 1).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        UniqueKey owned(key);
        for (int i = 0; i < count; ++i) {
            HKEY sub = nullptr;
            RegCreateKeyExW(key, Widen(Name(i, count)).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                            &sub, nullptr);
            RegCloseKey(sub);
        }
        Win32Registry reg;
        SettingsStore s(reg);
        s.Open("\\Software\\Varnholt\\Kestrova\\Folders\\F\\Users\\bench", true);
    }
    Services svc;
    svc.Registry = std::make_shared<Win32Registry>();
    svc.ErrorBox = [](const std::string& t) { std::fprintf(stderr, "error: %s\n", t.c_str()); };
    svc.ShowNotice = svc.ErrorBox;
    svc.PromptText = [](const std::string&, const std::string&, const std::string& d) { return d; };
    svc.DebugLogPath = [] { return std::string(); };
    svc.FallbackLogPath = [] { return std::string(); };
    TQuillard form(std::move(svc));
    form.Create(SW_SHOWNOACTIVATE);
    form.Timer1->SetEnabled(false);
    form.users->SetItemIndex(0);

    RECT r;
    GetWindowRect(form.categoriesList->Handle(), &r);
    UniqueWindow top(CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 200,
                                     nullptr, nullptr, nullptr, nullptr));
    HWND bare = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                                WS_CHILD | WS_VISIBLE | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                                    LBS_SORT | WS_VSCROLL | WS_TABSTOP,
                                10, 10, r.right - r.left, r.bottom - r.top, top.Get(), nullptr,
                                nullptr, nullptr);
    SendMessageW(bare, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont()), FALSE);

    showMs = bareMs = 1e300;
    maxBlockMs = 0;
    for (int round = 0; round < rounds; ++round) {
        {
            MaxBlock watch(form.Handle());
            const double t0 = MillisecondsNow();
            form.usersChange(form.users.get());
            PumpUntil([&form] { return !form.categoriesList->Filling(); });
            UpdateWindow(form.categoriesList->Handle());
            showMs = std::min(showMs, MillisecondsNow() - t0);
            Application().ProcessMessages();
            maxBlockMs = std::max(maxBlockMs, watch.StopMs());
        }
        const double t0 = MillisecondsNow();
        ShowBare(bare, count);
        bareMs = std::min(bareMs, MillisecondsNow() - t0);
        Application().ProcessMessages();
    }
    if (form.categoriesList->Count() != count || SendMessageW(bare, LB_GETCOUNT, 0, 0) != count)
        std::fprintf(stderr, "the lists hold %d and %d entries\n", form.categoriesList->Count(),
                     static_cast<int>(SendMessageW(bare, LB_GETCOUNT, 0, 0)));
}

} // namespace

int wmain() {
    // Below a scratch key of the current user; a run ended early leaves it behind: none first.
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KesCategoryBench");
    HKEY scratch = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KesCategoryBench", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &scratch, nullptr);
    kes::UniqueKey owned(scratch);
    RegOverridePredefKey(HKEY_CURRENT_USER, scratch);
    for (const auto& [count, rounds] : {std::pair{2000, 5}, std::pair{50000, 2}}) {
        double show = 0, bare = 0, block = 0;
        Measure(count, rounds, show, bare, block);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Varnholt");
        std::printf("category_show_ms_%d: %.1f\n", count, show);
        std::printf("category_bare_show_ms_%d: %.1f\n", count, bare);
        std::printf("category_show_ratio_%d: %.3f\n", count, show / bare);
        if (count == 50000)
            std::printf("category_show_max_block_ms_%d: %.0f\n", count, block);
    }
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KesCategoryBench");
    return 0;
}
