// usersChange loading a recipient with 2,000 categories, against a bare sorted LISTBOX of the
// same size and font filled with the same strings by LB_ADDSTRING, in the same run. The
// categories come from the in-memory store, so the figure is the list's own cost; a second
// figure shows the same load through the real registry, and a third 5,000 categories through
// the registry against the bare fill plus a bare RegEnumKeyExW enumeration of the key.
#include "console/form/AdminUnit1.h"
#include "console/store/memory_registry.h"
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

// What a bare program pays to enumerate the recipient's key.
void EnumerateBare() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kes::Widen(kUser + 1).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    kes::UniqueKey owned(key);
    wchar_t buf[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (RegEnumKeyExW(key, i, buf, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
    }
}

// The best of five loads of the recipient, and of five bare fills (with the bare enumeration
// when `withEnum`); the ratio of the two.
double Measure(std::shared_ptr<kes::RegistryBackend> registry, int count, bool withEnum,
               double& loadMs, double& bareMs) {
    using namespace kes;
    {
        SettingsStore s(*registry);
        s.Open("\\Software\\Varnholt\\Kestrova\\Folders\\F\\Users\\bench", true);
        s.Open(kUser, true);
        for (int i = 0; i < count; ++i)
            s.AddChild(Name(i, count));
    }
    Services svc;
    svc.Registry = registry;
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
    std::vector<std::wstring> names;
    for (int i = 0; i < count; ++i)
        names.push_back(Widen(Name(i, count)));

    loadMs = bareMs = 1e300;
    for (int round = 0; round < 5; ++round) {
        double t0 = MillisecondsNow();
        form.usersChange(form.users.get());
        loadMs = std::min(loadMs, MillisecondsNow() - t0);
        Application().ProcessMessages();
        t0 = MillisecondsNow();
        if (withEnum)
            EnumerateBare();
        SendMessageW(bare, LB_RESETCONTENT, 0, 0);
        for (const auto& n : names)
            SendMessageW(bare, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n.c_str()));
        bareMs = std::min(bareMs, MillisecondsNow() - t0);
        Application().ProcessMessages();
    }
    if (form.categoriesList->Count() != count)
        std::fprintf(stderr, "the list holds %d entries\n", form.categoriesList->Count());
    return loadMs / bareMs;
}

} // namespace

int wmain() {
    double load = 0, bare = 0;
    const double ratio = Measure(std::make_shared<kes::MemoryRegistry>(), 2000, false, load, bare);
    std::printf("category_load_ms_2000: %.1f\n", load);
    std::printf("category_bare_listbox_ms_2000: %.1f\n", bare);
    std::printf("category_load_ratio_2000: %.3f\n", ratio);

    // The same through the registry, below a scratch key of the current user.
    // A run ended early leaves its scratch key behind: start from none.
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KesCategoryBench");
    HKEY scratch = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KesCategoryBench", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &scratch, nullptr);
    kes::UniqueKey owned(scratch);
    RegOverridePredefKey(HKEY_CURRENT_USER, scratch);
    const double viaRegistry =
        Measure(std::make_shared<kes::Win32Registry>(), 2000, false, load, bare);
    std::printf("category_load_registry_ratio_2000: %.3f\n", viaRegistry);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Varnholt\\Kestrova\\UserCategories\\bench");
    const double many = Measure(std::make_shared<kes::Win32Registry>(), 5000, true, load, bare);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KesCategoryBench");
    std::printf("category_load_registry_ms_5000: %.1f\n", load);
    std::printf("category_bare_listbox_and_enum_ms_5000: %.1f\n", bare);
    std::printf("category_load_registry_ratio_5000: %.3f\n", many);
    return 0;
}
