// The collection settings through the context menu's handlers, on the real window and the real
// registry (HKEY_CURRENT_USER on a scratch key). The input dialog is scripted: each case gives
// the text that it hands back, the default text standing for a cancel.
#include "console/form/AdminUnit1.h"
#include "console/store/win32_registry.h"
#include "console/testing/test_registry_win32.h"

#include <gtest/gtest.h>

#include <optional>

namespace kes {
namespace {

const wchar_t kConfig[] = L"Software\\Varnholt\\Kestrova\\Config";

struct Stored {
    DWORD type = REG_NONE; // REG_NONE: absent
    DWORD number = 0;
    std::wstring text;
    bool operator==(const Stored&) const = default;
};

Stored Read(const wchar_t* name) {
    Stored s;
    BYTE buf[256];
    DWORD size = sizeof(buf), type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kConfig, name, RRF_RT_ANY | RRF_NOEXPAND, &type, buf,
                     &size) != ERROR_SUCCESS)
        return s;
    s.type = type;
    if (type == REG_DWORD)
        s.number = *reinterpret_cast<DWORD*>(buf);
    else if (type == REG_SZ)
        s.text = reinterpret_cast<wchar_t*>(buf);
    return s;
}

Stored Dword(DWORD v) {
    return {REG_DWORD, v, L""};
}
Stored Text(const wchar_t* t) {
    return {REG_SZ, 0, t};
}
const Stored kAbsent{};

class CollectSettings : public ::testing::Test {
protected:
    void Start() {
        Services s;
        s.Registry = registry;
        s.ErrorBox = [this](const std::string& t) { errors.push_back(t); };
        s.ShowNotice = [this](const std::string& t) { errors.push_back("notice: " + t); };
        s.PromptText = [this](const std::string& caption, const std::string& prompt,
                              const std::string& shown) {
            prompts.push_back(caption + "|" + prompt + "|" + shown);
            return answer ? *answer : shown;
        };
        form = std::make_unique<TQuillard>(std::move(s));
        form->Create(SW_SHOWNOACTIVATE);
    }
    // Runs the menu item as the menu does, and tells whether a value was written.
    bool Pick(TMenuItem& item) {
        registry->writes.clear();
        Application().Guard([&item] { item.Click(); });
        return !registry->writes.empty();
    }

    // The real registry, with every write noted: Wine drops a write of the value already
    // stored without a trace, so rewriting 900 could not be seen in the registry itself.
    struct NotingRegistry : Win32Registry {
        long SetValue(RegKey key, const std::string& name, std::uint32_t type,
                      const std::vector<std::uint8_t>& data) override {
            writes.push_back(name);
            return Win32Registry::SetValue(key, name, type, data);
        }
        std::vector<std::string> writes;
    };
    std::shared_ptr<NotingRegistry> registry = std::make_shared<NotingRegistry>();
    test::ScratchRoots roots;
    std::optional<std::string> answer; // none: cancelled
    std::vector<std::string> prompts, errors;
    std::unique_ptr<TQuillard> form;
};

TEST_F(CollectSettings, AnswersTable) {
    Start();
    const struct {
        bool time;
        Stored before;
        std::optional<std::string> answer;
        std::string shown;
        Stored after;
        bool written;
    } cases[] = {
        // Absent and confirmed unchanged: "10" shown, nothing written.
        {false, kAbsent, "10", "10", kAbsent, false},
        {false, kAbsent, "20", "10", Dword(20), true},
        // The comparison is with the default text, not with what was shown.
        {true, Dword(900), "600", "900", Dword(900), false},
        {true, Dword(900), std::nullopt, "900", Dword(900), true},
        {false, Dword(25), "10", "25", Dword(25), false},
        {true, kAbsent, "abc", "600", Dword(1800), true},
        {false, kAbsent, "abc", "10", Dword(10), true},
        {false, Dword(5), "0", "5", Dword(0), true},
        {true, kAbsent, "-1", "600", Dword(0xFFFFFFFF), true},
        {false, kAbsent, " 12", "10", Dword(12), true},
        {false, kAbsent, "12 ", "10", Dword(10), true},
        {true, kAbsent, "12 ", "600", Dword(1800), true},
        {true, kAbsent, "$1E", "600", Dword(30), true},
        {true, kAbsent, "0x1E", "600", Dword(30), true},
        {true, kAbsent, "-$1E", "600", Dword(1800), true},
        {false, kAbsent, "", "10", Dword(10), true},
        {false, kAbsent, "2147483648", "10", Dword(10), true},
        {false, Dword(0x80000000), std::nullopt, "-2147483648", Dword(0x80000000), true},
        // A text value cannot be read as a number: the default text is shown.
        {false, Text(L"30"), "10", "10", Text(L"30"), false},
        {false, Text(L"30"), "30", "10", Dword(30), true},
    };
    for (const auto& c : cases) {
        const wchar_t* name = c.time ? L"bs_collect_time" : L"bs_collect_count";
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kConfig, name);
        if (c.before.type == REG_DWORD)
            test::WriteDword(HKEY_CURRENT_USER, kConfig, name, c.before.number);
        else if (c.before.type == REG_SZ)
            test::WriteString(HKEY_CURRENT_USER, kConfig, name, c.before.text);
        answer = c.answer;
        prompts.clear();
        const bool written = Pick(c.time ? *form->collecttime1 : *form->Collectcount1);
        const std::string label = c.answer ? "\"" + *c.answer + "\"" : "cancel";
        const std::string head = c.time ? "bs_collect_time|bs_collect_time in sec.|"
                                        : "bs_collect_count|bs_collect_count|";
        EXPECT_EQ(prompts, std::vector<std::string>{head + c.shown}) << label;
        EXPECT_TRUE(Read(name) == c.after) << label;
        EXPECT_EQ(written, c.written) << label;
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(CollectSettings, MissingKeyCancelledCreatesTheKeyOnly) {
    Start();
    // Start-up wrote its switches into the key: take it away again.
    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, kConfig), ERROR_SUCCESS);
    ASSERT_FALSE(test::KeyExists(HKEY_CURRENT_USER, kConfig));
    Application().Guard([this] { form->collecttime1->Click(); });
    EXPECT_TRUE(test::KeyExists(HKEY_CURRENT_USER, kConfig));
    EXPECT_TRUE(Read(L"bs_collect_time") == kAbsent);
    EXPECT_TRUE(Read(L"bs_collect_count") == kAbsent);
    EXPECT_TRUE(errors.empty());
}

TEST_F(CollectSettings, RefusedWriteReachesTheErrorBox) {
    Start();
    test::ReadOnlyKey locked(HKEY_CURRENT_USER, "Software\\Varnholt\\Kestrova\\Config");
    answer = "20";
    Application().Guard([this] { form->Collectcount1->Click(); });
    EXPECT_EQ(prompts, std::vector<std::string>{"bs_collect_count|bs_collect_count|10"});
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("bs_collect_count"), std::string::npos) << errors[0];
}

// Fired inside the menu's own loop: notes that the menu is open and closes it. A named
// function, since a lambda does not convert to a 32-bit stdcall pointer.
bool g_menuOpen;
void CALLBACK CloseOpenMenu(HWND, UINT, UINT_PTR, DWORD) {
    HWND menu = FindWindowW(L"#32768", nullptr);
    g_menuOpen = g_menuOpen || (menu && IsWindowVisible(menu));
    EndMenu();
}

TEST_F(CollectSettings, ContextMenuOpensOnTheUpperPanelAndItsControls) {
    Start();
    // Controls without a menu of their own pass the request on to the panel.
    for (HWND target : {form->Panel1->Handle(), form->chkDebug->Handle(), form->users->Handle(),
                        form->categoriesList->Handle(), form->HTMLStaticText1->Handle()}) {
        g_menuOpen = false;
        const UINT_PTR t = SetTimer(nullptr, 0, 10, CloseOpenMenu);
        RECT r;
        GetWindowRect(target, &r);
        SendMessageW(target, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(target),
                     MAKELPARAM(r.left + 2, r.top + 2));
        KillTimer(nullptr, t);
        EXPECT_TRUE(g_menuOpen);
    }
    EXPECT_TRUE(prompts.empty());
}

} // namespace
} // namespace kes
