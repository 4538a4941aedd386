// TQuillard on a real window with real controls, driven by real messages, under Wine.
#include "console/form/AdminUnit1.h"

#include "console/dialogs/dialogs.h"
#include "console/form/control_ids.h"
#include "console/store/memory_registry.h"
#include "console/store/settings_store.h"
#include "console/store/win32_registry.h"
#include "console/testing/test_registry_win32.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"
#include "toolkit/testing/window_test_kit_win32.h"
#include "widgets/HTMLText/testing/test_bitmap_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

namespace kes {
namespace {

const wchar_t kConfig[] = L"Software\\Varnholt\\Kestrova\\Config";
const char kNotice[] = "You need Administrator privileges to change this box";

struct Recorded {
    std::vector<std::string> notices, errors;
};

Services RecordingServices(std::shared_ptr<RegistryBackend> reg, Recorded& rec) {
    Services s;
    s.Registry = std::move(reg);
    s.ShowNotice = [&rec](const std::string& t) { rec.notices.push_back(t); };
    s.ErrorBox = [&rec](const std::string& t) { rec.errors.push_back(t); };
    s.PromptText = [](const std::string&, const std::string&, const std::string& d) { return d; };
    return s;
}

std::vector<std::string> Entries(const TComboBox& c) {
    std::vector<std::string> out;
    for (int i = 0; i < c.Count(); ++i)
        out.push_back(c.Item(i));
    return out;
}

DWORD ValueCount(HKEY root, const std::wstring& path) {
    UniqueKey k;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS)
        return 0;
    DWORD values = 0;
    RegQueryInfoKeyW(k.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
    return values;
}

DWORD Dword(HKEY root, const std::wstring& name, DWORD fallback = 0xDEADBEEF) {
    DWORD v = 0;
    return test::ReadDword(root, kConfig, name, v) ? v : fallback;
}

void Click(TWinControl& c) {
    SendMessageW(c.Handle(), BM_CLICK, 0, 0);
}

// Over the real registry, with HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE on scratch keys.
class QuillardOnRegistry : public ::testing::Test {
protected:
    void Start() {
        form =
            std::make_unique<TQuillard>(RecordingServices(std::make_shared<Win32Registry>(), rec));
        form->Create(SW_SHOWNOACTIVATE);
    }
    void TearDown() override { form.reset(); }
    test::ScratchRoots roots;
    Recorded rec;
    std::unique_ptr<TQuillard> form;
};

TEST_F(QuillardOnRegistry, FirstStartOnACleanProfileWritesOnlyTheNotificationSwitch) {
    Start();
    EXPECT_FALSE(form->chkDebug->Checked());
    EXPECT_FALSE(form->Journal->Checked());
    EXPECT_FALSE(form->chkReminders->Checked());
    EXPECT_FALSE(form->chk_pack_every_mail->Checked());
    EXPECT_TRUE(form->Desktopbenachrichtigung->Checked());
    EXPECT_TRUE(test::KeyExists(HKEY_CURRENT_USER, kConfig));
    EXPECT_EQ(ValueCount(HKEY_CURRENT_USER, kConfig), 1u);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"desktopnotification"), 1u);
    // No recipient, no Folders key made, the editor disabled.
    EXPECT_EQ(form->users->Count(), 0);
    EXPECT_EQ(form->users->ItemIndex(), -1);
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, L"Software\\Varnholt\\Kestrova\\Folders"));
    EXPECT_FALSE(form->catAdd->Enabled());
    EXPECT_FALSE(form->catDel->Enabled());
    EXPECT_FALSE(form->categoriesList->Enabled());
    EXPECT_EQ(form->categoriesList->Count(), 0);
    // An administrator without a "lock" value: created as 0, the box enabled and clear.
    EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, L"lock"), 0u);
    EXPECT_TRUE(form->chkAdmin->Enabled());
    EXPECT_FALSE(form->chkAdmin->Checked());
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_TRUE(rec.notices.empty());
}

TEST_F(QuillardOnRegistry, StoredSwitchesAreShownAndThoseOnAreRewrittenAsOne) {
    test::WriteDword(HKEY_CURRENT_USER, kConfig, L"debug", 7);
    test::WriteDword(HKEY_CURRENT_USER, kConfig, L"removereminder", 1);
    test::WriteString(HKEY_CURRENT_USER, kConfig, L"journal", L"1"); // text: unreadable
    test::WriteDword(HKEY_CURRENT_USER, kConfig, L"desktopnotification", 0);
    test::WriteDword(HKEY_LOCAL_MACHINE, kConfig, L"lock", 5);
    Start();
    EXPECT_TRUE(form->chkDebug->Checked());
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"debug"), 1u);
    EXPECT_TRUE(form->chkReminders->Checked());
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"removereminder"), 1u);
    // A missing value next to a set one stays missing and its box clear.
    EXPECT_FALSE(form->chk_pack_every_mail->Checked());
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"pack_every_time"), 0xDEADBEEFu);
    EXPECT_FALSE(form->Journal->Checked());
    EXPECT_FALSE(form->Desktopbenachrichtigung->Checked());
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"desktopnotification"), 0u);
    EXPECT_TRUE(form->chkAdmin->Checked());
    EXPECT_TRUE(form->chkAdmin->Enabled());
    EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, L"lock"), 1u);
}

TEST_F(QuillardOnRegistry, AMistypedLockIsReplacedByZero) {
    test::WriteString(HKEY_LOCAL_MACHINE, kConfig, L"lock", L"1");
    // The current user's own "lock" is never read.
    test::WriteDword(HKEY_CURRENT_USER, kConfig, L"lock", 1);
    Start();
    EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, L"lock"), 0u);
    EXPECT_FALSE(form->chkAdmin->Checked());
    EXPECT_TRUE(form->chkAdmin->Enabled());
    Click(*form->chkAdmin);
    EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, L"lock"), 1u);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"lock"), 1u);
}

TEST_F(QuillardOnRegistry, RecipientsAreListedFolderByFolderWithoutDuplicates) {
    const std::wstring f = L"Software\\Varnholt\\Kestrova\\Folders\\";
    test::CreateKey(HKEY_CURRENT_USER, f + L"Inbox\\Users\\bob");
    test::CreateKey(HKEY_CURRENT_USER, f + L"Inbox\\Users\\Alice");
    test::CreateKey(HKEY_CURRENT_USER, f + L"Kalender\\Users\\carol");
    test::CreateKey(HKEY_CURRENT_USER, f + L"Kalender\\Users\\bob");
    test::CreateKey(HKEY_CURRENT_USER, f + L"Kalender\\Users\\alice");
    test::CreateKey(HKEY_CURRENT_USER, f + L"NoUsersKey\\Other\\dave");
    test::CreateKey(HKEY_CURRENT_USER, f + L"Z\\Users\\J\xFCrgen");
    Start();
    // The store lists names ordered without regard to case; UserListed compares exactly.
    EXPECT_EQ(Entries(*form->users),
              (std::vector<std::string>{"Alice", "bob", "alice", "carol", "J\xC3\xBCrgen"}));
    EXPECT_EQ(form->users->ItemIndex(), -1);
    EXPECT_TRUE(form->UserListed("bob"));
    EXPECT_FALSE(form->UserListed("BOB"));
    EXPECT_FALSE(form->UserListed("bo"));
}

TEST_F(QuillardOnRegistry, SwitchClicksWriteAtOnceAndCreateAMissingKey) {
    Start();
    Click(*form->chkDebug);
    EXPECT_TRUE(form->chkDebug->Checked());
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"debug"), 1u);
    Click(*form->chkDebug);
    EXPECT_FALSE(form->chkDebug->Checked());
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"debug"), 0u); // unchecking writes 0, never deletes

    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Varnholt");
    Click(*form->Journal);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"journal"), 1u);
    Click(*form->chkReminders);
    Click(*form->chk_pack_every_mail);
    Click(*form->Desktopbenachrichtigung);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"removereminder"), 1u);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"pack_every_time"), 1u);
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"desktopnotification"), 0u);
    // The space bar toggles a focused box as a click does.
    SetFocus(form->chkDebug->Handle());
    SendMessageW(form->chkDebug->Handle(), WM_KEYDOWN, VK_SPACE, 0x00390001);
    SendMessageW(form->chkDebug->Handle(), WM_KEYUP, VK_SPACE, 0xC0390001);
    EXPECT_TRUE(form->chkDebug->Checked());
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, L"debug"), 1u);
    EXPECT_TRUE(rec.errors.empty());
}

TEST_F(QuillardOnRegistry, ClosingWithARecipientChosenKeepsItsStoredCategories) {
    test::CreateKey(HKEY_CURRENT_USER, L"Software\\Varnholt\\Kestrova\\Folders\\F\\Users\\bob");
    const std::wstring cats = L"Software\\Varnholt\\Kestrova\\UserCategories\\bob";
    test::CreateKey(HKEY_CURRENT_USER, cats + L"\\Kunden");
    test::CreateKey(HKEY_CURRENT_USER, cats + L"\\Privat");
    Start();
    form->users->SetItemIndex(0);
    SendMessageW(GetParent(form->users->Handle()), WM_COMMAND,
                 MAKEWPARAM(ids::users, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(form->users->Handle()));
    EXPECT_EQ(form->users->Text(), "bob");
    HWND w = form->Handle();
    Click(*form->Button1);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(test::KeyExists(HKEY_CURRENT_USER, cats + L"\\Kunden"));
    EXPECT_TRUE(test::KeyExists(HKEY_CURRENT_USER, cats + L"\\Privat"));
    EXPECT_TRUE(rec.errors.empty());
}

// The user's Config key may only be read: each write-back of a box that is on fails, and
// start-up still lists the recipients and reads the lock; one box names what failed.
TEST_F(QuillardOnRegistry, AReadOnlyConfigKeyStopsNoStepOfStartUp) {
    test::WriteDword(HKEY_CURRENT_USER, kConfig, L"debug", 1);
    test::WriteDword(HKEY_CURRENT_USER, kConfig, L"journal", 0);
    test::WriteDword(HKEY_LOCAL_MACHINE, kConfig, L"lock", 1);
    test::CreateKey(HKEY_CURRENT_USER, L"Software\\Varnholt\\Kestrova\\Folders\\F\\Users\\anna");
    test::CreateKey(HKEY_CURRENT_USER, L"Software\\Varnholt\\Kestrova\\Folders\\G\\Users\\bert");
    {
        test::ReadOnlyKey readOnly(HKEY_CURRENT_USER, "Software\\Varnholt\\Kestrova\\Config");
        Start();
    }
    EXPECT_TRUE(form->chkDebug->Checked());
    EXPECT_FALSE(form->Journal->Checked());
    EXPECT_TRUE(form->Desktopbenachrichtigung->Checked());
    EXPECT_EQ(rec.errors, std::vector<std::string>{
                              "Konnte Daten f\xC3\xBCr 'debug' nicht setzen.\n"
                              "Konnte Daten f\xC3\xBCr 'desktopnotification' nicht setzen"});
    EXPECT_EQ(Entries(*form->users), (std::vector<std::string>{"anna", "bert"}));
    EXPECT_TRUE(form->chkAdmin->Checked());
    EXPECT_TRUE(form->chkAdmin->Enabled());
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

// Many recipients over many folders are listed in one pass: each name once, at its first
// place, case variants apart, and no entry of the box read back while it is filled.
TEST_F(QuillardOnRegistry, ManyRecipientsAreListedWithoutReadingTheBoxBack) {
    std::vector<std::string> expected;
    for (int f = 0; f < 10; ++f)
        for (int r = 0; r < 30; ++r) {
            // Every folder also holds the first folder's recipients, and one in upper case.
            const std::string name =
                "Empf\xC3\xA4nger " + std::to_string(f) + "." + std::to_string(r);
            for (const std::string& n :
                 {name, std::string("Empf\xC3\xA4nger 0.") + std::to_string(r)})
                test::CreateKey(HKEY_CURRENT_USER, L"Software\\Varnholt\\Kestrova\\Folders\\F" +
                                                       std::to_wstring(f) + L"\\Users\\" +
                                                       Widen(n));
        }
    test::CreateKey(HKEY_CURRENT_USER, L"Software\\Varnholt\\Kestrova\\Folders\\F9\\Users\\"
                                       L"EMPF\u00c4NGER 1.5");
    for (int f = 0; f < 10; ++f) {
        std::vector<std::string> folder;
        UniqueKey k;
        RegOpenKeyExW(
            HKEY_CURRENT_USER,
            (L"Software\\Varnholt\\Kestrova\\Folders\\F" + std::to_wstring(f) + L"\\Users").c_str(),
            0, KEY_READ, k.Put());
        wchar_t buf[256];
        for (DWORD i = 0;; ++i) {
            DWORD len = 256;
            if (RegEnumKeyExW(k.Get(), i, buf, &len, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS)
                break;
            const std::string n = Narrow(std::wstring_view(buf, len));
            if (std::find(expected.begin(), expected.end(), n) == expected.end())
                expected.push_back(n);
        }
    }
    ASSERT_EQ(expected.size(), 301u);
    static int readBacks = 0;
    readBacks = 0;
    const auto count = [](int code, WPARAM wp, LPARAM lp) -> LRESULT {
        const auto* m = reinterpret_cast<const CWPSTRUCT*>(lp);
        if (code == HC_ACTION && (m->message == CB_GETLBTEXT || m->message == CB_GETLBTEXTLEN))
            ++readBacks;
        return CallNextHookEx(nullptr, code, wp, lp);
    };
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, count, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    Start();
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(readBacks, 0);
    EXPECT_EQ(Entries(*form->users), expected);
    EXPECT_TRUE(form->UserListed("EMPF\xC3\x84NGER 1.5"));
    EXPECT_FALSE(form->UserListed("empf\xC3\xA4nger 1.5"));
}

// A user without administrator rights, for real: the machine's existing Config key may only be
// read, so the full-access open fails as it does on Windows.
TEST(QuillardNonAdministrator, ReadOnlyMachineKeyDisablesTheLockBox) {
    test::ScratchRoots roots(/*remapMachine=*/false);
    test::WriteDword(HKEY_LOCAL_MACHINE, kConfig, L"lock", 1);
    {
        test::ReadOnlyKey readOnly(HKEY_LOCAL_MACHINE, "Software\\Varnholt\\Kestrova\\Config");
        Recorded rec;
        TQuillard form(RecordingServices(std::make_shared<Win32Registry>(), rec));
        form.Create(SW_SHOWNOACTIVATE);
        EXPECT_FALSE(form.chkAdmin->Checked());
        EXPECT_FALSE(form.chkAdmin->Enabled());
        EXPECT_TRUE(rec.notices.empty());
        EXPECT_TRUE(rec.errors.empty());
    }
    EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, L"lock"), 1u);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Varnholt");
}

// The lock lands in the registry view of the installed Outlook, whose add-in reads it there,
// and in the other view too, as the group policy writes it; wine64 has both views. The user's
// root is a scratch key, the machine's its own.
TEST(QuillardMachineView, TheLockLandsInTheViewOfTheInstalledOutlook) {
    test::ScratchRoots roots(/*remapMachine=*/false);
    const auto clear = [] {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            UniqueKey software;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view,
                              software.Put()) != ERROR_SUCCESS)
                continue;
            RegDeleteTreeW(software.Get(), L"Varnholt");
            RegDeleteTreeW(software.Get(), L"Microsoft\\Office\\16.0");
            RegDeleteKeyExW(software.Get(), L"Microsoft\\Office", view, 0); // only when empty
        }
    };
    const std::wstring below32 = L"Software\\Wow6432Node\\Varnholt\\Kestrova\\Config";
    const struct {
        const wchar_t* bitness;
        REGSAM installedIn;
    } cases[] = {{L"x86", KEY_WOW64_32KEY}, {L"x64", KEY_WOW64_64KEY}};
    for (const auto& c : cases) {
        clear();
        UniqueKey outlook;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office\\16.0\\Outlook",
                                  0, nullptr, 0, KEY_ALL_ACCESS | c.installedIn, nullptr,
                                  outlook.Put(), nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(outlook.Get(), L"Bitness", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(c.bitness), 4 * sizeof(wchar_t));
        {
            Recorded rec;
            TQuillard form(RecordingServices(std::make_shared<Win32Registry>(), rec));
            form.Create(SW_SHOWNOACTIVATE);
            ASSERT_TRUE(form.chkAdmin->Enabled()) << c.bitness;
            Click(*form.chkAdmin);
            EXPECT_TRUE(rec.notices.empty()) << c.bitness;
        }
        DWORD lock = 0;
        EXPECT_TRUE(test::ReadDword(HKEY_LOCAL_MACHINE, below32, L"lock", lock)) << c.bitness;
        EXPECT_EQ(lock, 1u) << c.bitness;
        lock = 0;
        EXPECT_TRUE(test::ReadDword(HKEY_LOCAL_MACHINE, kConfig, L"lock", lock)) << c.bitness;
        EXPECT_EQ(lock, 1u) << c.bitness;
    }
    clear();
}

// Over the in-memory tree, whose machine root can be made to refuse full access.
class QuillardInMemory : public ::testing::Test {
protected:
    void Start() {
        form = std::make_unique<TQuillard>(RecordingServices(reg, rec));
        form->Create(SW_SHOWNOACTIVATE);
    }
    void Put(RootKey root, const char* name, int value) {
        SettingsStore s(*reg);
        s.SetRoot(root);
        s.Open("\\Software\\Varnholt\\Kestrova\\Config", true);
        s.PutInt(name, value);
    }
    int Get(RootKey root, const char* name) {
        SettingsStore s(*reg);
        s.SetRoot(root);
        s.SetAccess(kKeyRead);
        s.Open("\\Software\\Varnholt\\Kestrova\\Config", false);
        return s.GetInt(name);
    }
    void TearDown() override { form.reset(); }
    std::shared_ptr<MemoryRegistry> reg = std::make_shared<MemoryRegistry>();
    Recorded rec;
    std::unique_ptr<TQuillard> form;
};

// Nothing may be created (Wine lets a path from the root create below a key that refuses it, so
// this stands on the in-memory tree): a recipient without a key shows an empty, editable list;
// left unchanged it is nothing to lose and says nothing, but what the user adds is not dropped
// without a word. A recipient whose key may only be read gets a read-only list.
TEST_F(QuillardInMemory, ARecipientKeyThatCannotBeCreatedIsReportedOnlyWithSomethingToStore) {
    {
        SettingsStore s(*reg);
        s.Open("\\Software\\Varnholt\\Kestrova\\Folders\\F\\Users\\anna", true);
        s.Open("\\Software\\Varnholt\\Kestrova\\Folders\\F\\Users\\dora", true);
        s.Open("\\Software\\Varnholt\\Kestrova\\UserCategories\\anna\\Alt", true);
    }
    reg->LimitRootAccess(RootKey::CurrentUser, kKeyRead);
    Start();
    rec.errors.clear(); // the switches' write-backs
    form->Svc().PromptText = [](const std::string&, const std::string&, const std::string&) {
        return std::string("Neu");
    };
    // The focus leaving the list, through the error boundary a window message has.
    const auto leave = [&] {
        Application().Guard([&] { form->categoriesListExit(form->categoriesList.get()); });
    };
    const auto choose = [&](int i) {
        form->users->SetItemIndex(i);
        SendMessageW(form->Panel1->Handle(), WM_COMMAND, MAKEWPARAM(ids::users, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(form->users->Handle()));
        // The list is read on a worker; a slow machine may show it a step later.
        ASSERT_TRUE(test::PumpUntil([&] { return !form->categoriesList->Filling(); }));
    };
    choose(1);
    EXPECT_TRUE(form->catAdd->Enabled());
    leave();
    EXPECT_TRUE(rec.errors.empty());
    SendMessageW(form->catAdd->Handle(), BM_CLICK, 0, 0);
    leave();
    EXPECT_EQ(rec.errors,
              std::vector<std::string>{"Erzeugung von Schl\xC3\xBCssel Software\\Varnholt\\"
                                       "Kestrova\\UserCategories\\dora misslungen"});
    EXPECT_EQ(form->categoriesList->Items(), std::vector<std::string>{"Neu"});
    choose(0); // the unsaved entry holds the recipient
    EXPECT_EQ(rec.errors.size(), 2u);
    EXPECT_EQ(form->users->Text(), "dora");
    form->categoriesList->Clear();
    choose(0);
    EXPECT_EQ(form->categoriesList->Items(), std::vector<std::string>{"Alt"});
    EXPECT_FALSE(form->catAdd->Enabled());
    EXPECT_FALSE(form->categoriesList->AllowEdit());
    ASSERT_EQ(rec.notices.size(), 1u);
    leave();
    EXPECT_EQ(rec.errors.size(), 2u);
    EXPECT_EQ(reg->OpenHandleCount(), 0u);
}

TEST_F(QuillardInMemory, ARefusingMachineRootDisablesTheLockBoxWhateverIsStored) {
    Put(RootKey::LocalMachine, "lock", 1);
    reg->LimitRootAccess(RootKey::LocalMachine, kKeyRead);
    Start();
    EXPECT_FALSE(form->chkAdmin->Checked());
    EXPECT_FALSE(form->chkAdmin->Enabled());
    EXPECT_EQ(Get(RootKey::LocalMachine, "lock"), 1);
    EXPECT_TRUE(rec.notices.empty());
}

TEST_F(QuillardInMemory, ARefusedLockWriteShowsTheNoticeOncePerClickAndKeepsTheState) {
    Start();
    ASSERT_TRUE(form->chkAdmin->Enabled());
    reg->LimitRootAccess(RootKey::LocalMachine, kKeyRead);
    Click(*form->chkAdmin);
    EXPECT_TRUE(form->chkAdmin->Checked());
    EXPECT_EQ(rec.notices, std::vector<std::string>{kNotice});
    Click(*form->chkAdmin);
    EXPECT_FALSE(form->chkAdmin->Checked());
    EXPECT_EQ(rec.notices, (std::vector<std::string>{kNotice, kNotice}));
    EXPECT_EQ(Get(RootKey::LocalMachine, "lock"), 0);
    EXPECT_TRUE(rec.errors.empty());
}

TEST_F(QuillardInMemory, AFailedUserSwitchWriteReachesTheErrorBoxAndKeepsTheClick) {
    Start();
    reg->LimitRootAccess(RootKey::CurrentUser, kKeyRead);
    Click(*form->chkDebug);
    EXPECT_TRUE(form->chkDebug->Checked());
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(rec.errors[0], "Konnte Daten f\xC3\xBCr 'debug' nicht setzen");
    EXPECT_EQ(ErrorBoxText(rec.errors[0]), "Konnte Daten f\xC3\xBCr 'debug' nicht setzen.");
    EXPECT_EQ(reg->OpenHandleCount(), 0u); // every handler released its handle
}

TEST_F(QuillardInMemory, HelpParagraphIsDrawnByTheRichTextLabel) {
    Start();
    THTMLStaticText& label = *form->HTMLStaticText1;
    EXPECT_EQ(label.HTMLText().size(), 6u);
    EXPECT_EQ(label.Text(), ""); // the window caption stays empty: the markup is drawn
    EXPECT_FALSE(label.AutoSizing());
    EXPECT_EQ(label.AutoSizeType(), asVertical);
    EXPECT_FALSE(label.MiniScroll());
    EXPECT_EQ(label.ShadowOffset(), 1);
    EXPECT_EQ(label.VAlignment(), tvaTop);
    const std::string text = label.GetText();
    EXPECT_EQ(text.find("<"), std::string::npos);
    EXPECT_NE(text.find("button \"+\".\r\n\r\nUm mit jedem"), std::string::npos);
    // A screen reader reads the same words.
    const ComInit com;
    ComPtr<IAccessible> acc;
    ASSERT_EQ(AccessibleObjectFromWindow(label.Handle(), static_cast<DWORD>(OBJID_CLIENT),
                                         __uuidof(IAccessible), acc.PutVoid()),
              S_OK);
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    UniqueBstr name;
    ASSERT_EQ(acc->get_accName(self, name.Put()), S_OK);
    EXPECT_EQ(Narrow(name.Get()), text);
    // Drawn: dark text in the label's rectangle, with the blank line between the paragraphs.
    testdata::Bitmap bmp(545, 81);
    SendMessageW(label.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(bmp.dc()), PRF_CLIENT);
    std::vector<int> rows; // rows with dark (text) pixels on the button-face background
    for (int y = 0; y < 81; ++y)
        for (int x = 0; x < 545; ++x)
            if ((bmp.Pixel(x, y) & 0x808080) == 0) {
                rows.push_back(y);
                break;
            }
    ASSERT_FALSE(rows.empty());
    int gaps = 0;
    for (std::size_t i = 1; i < rows.size(); ++i)
        gaps += rows[i] - rows[i - 1] > 12 ? 1 : 0;
    EXPECT_EQ(gaps, 1);
    EXPECT_GE(rows.back() - rows.front(), 50);
}

TEST(QuillardWindow, LayoutCaptionsHintsMenuAndTimer) {
    test::ScratchRoots roots;
    Recorded rec;
    TQuillard form(RecordingServices(std::make_shared<Win32Registry>(), rec));
    form.Create(SW_SHOWNOACTIVATE);
    HWND w = form.Handle();
    wchar_t cls[64];
    GetClassNameW(w, cls, 64);
    EXPECT_STREQ(cls, L"TQuillard");
    RECT wr;
    GetWindowRect(w, &wr);
    EXPECT_EQ(wr.right - wr.left, 620);
    EXPECT_EQ(wr.bottom - wr.top, 665);
    wchar_t caption[64];
    GetWindowTextW(w, caption, 64);
    EXPECT_STREQ(caption, L"Quillard");
    EXPECT_EQ(Application().Title, "Extended configuration for Kestrova");

    struct Expect {
        TWinControl* c;
        int x, y, cx, cy;
        const char* text;
    };
    const Expect table[] = {
        {form.chkDebug.get(), 24, 15, 537, 17, "Debug mode / erweiterte Logdaten erzeugen"},
        {form.chkAdmin.get(), 24, 30, 545, 17,
         "Normal users can't change settings to Kestrova / \xC3\x84nderungen in den "
         "Einstellungen verwehren"},
        {form.Journal.get(), 24, 45, 545, 17,
         "Tracking to journalfolder / \xC3\x84nderungen im Jurnal-Ordner mitschreiben "},
        {form.Desktopbenachrichtigung.get(), 24, 60, 545, 17,
         "Desktop-notification / Desktopbenachrichtigungsfenster anzeigen."},
        {form.chkReminders.get(), 24, 75, 545, 17,
         "Don't get Reminders from others / Keine Erinnerungen eintragen. "},
        {form.chk_pack_every_mail.get(), 24, 91, 377, 17,
         "Combine all mails / Alle Synchronisationsmails werden zusammengefasst."},
        {form.HTMLStaticText1.get(), 24, 152, 545, 81, nullptr},
        {form.catAdd.get(), 312, 248, 23, 22, ""},
        {form.catDel.get(), 312, 272, 23, 22, ""},
        {form.categoriesList.get(), 344, 248, 217, 65, nullptr},
        {form.Bevel2.get(), 16, 8, 569, 113, ""},
        {form.Bevel1.get(), 16, 136, 569, 185, ""},
        {form.SpeedButton1.get(), 8, 11, 585, 22,
         "Send debug Log, to Varnholt / Logdaten an Varnholt senden"},
        {form.chbScroll.get(), 16, 48, 345, 17, "stop log update"},
        {form.Button1.get(), 512, 40, 81, 25, "OK"},
    };
    for (const auto& e : table) {
        RECT r;
        GetWindowRect(e.c->Handle(), &r);
        MapWindowPoints(nullptr, GetParent(e.c->Handle()), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, e.x) << e.c->Name;
        EXPECT_EQ(r.top, e.y) << e.c->Name;
        EXPECT_EQ(r.right - r.left, e.cx) << e.c->Name;
        EXPECT_EQ(r.bottom - r.top, e.cy) << e.c->Name;
        if (!e.text)
            continue; // a gtest check under a bare if would dangle its else
        EXPECT_EQ(e.c->Text(), e.text) << e.c->Name;
    }
    RECT r;
    GetWindowRect(form.users->Handle(), &r);
    MapWindowPoints(nullptr, form.Panel1->Handle(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 24);
    EXPECT_EQ(r.top, 248);
    EXPECT_EQ(r.right - r.left, 273);
    EXPECT_EQ(form.Label1->Text(), "category / Kagtegorie:");
    EXPECT_EQ(form.Label2->Text(), "synchronisationrecipient / Synchronisationsempf\xC3\xA4nger:");
    EXPECT_EQ(GetWindowLongW(form.users->Handle(), GWL_STYLE) & 3, CBS_DROPDOWNLIST);
    EXPECT_EQ(GetWindowLongW(form.users->Handle(), GWL_STYLE) & CBS_SORT, 0);
    EXPECT_NE(GetWindowLongW(form.categoriesList->Handle(), GWL_STYLE) & LBS_SORT, 0);
    EXPECT_NE(GetWindowLongW(form.LogFile->Handle(), GWL_STYLE) & ES_READONLY, 0);

    // Panels: top 337 high, bottom 81 high, the rest between.
    RECT c, p1, p2, p3;
    GetClientRect(w, &c);
    GetWindowRect(form.Panel1->Handle(), &p1);
    GetWindowRect(form.Panel2->Handle(), &p2);
    GetWindowRect(form.Panel3->Handle(), &p3);
    EXPECT_EQ(p1.bottom - p1.top, 337);
    EXPECT_EQ(p2.bottom - p2.top, 81);
    EXPECT_EQ(p3.bottom - p3.top, c.bottom - 337 - 81);
    EXPECT_EQ(p3.top, p1.bottom);

    // Tab order within the upper panel, then the lower one.
    std::vector<HWND> order;
    for (HWND h = GetWindow(form.Panel1->Handle(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
        if (GetWindowLongW(h, GWL_STYLE) & WS_TABSTOP)
            order.push_back(h);
    const std::vector<HWND> expected{
        form.chkDebug->Handle(),     form.chkAdmin->Handle(),
        form.users->Handle(),        form.categoriesList->Handle(),
        form.Journal->Handle(),      form.Desktopbenachrichtigung->Handle(),
        form.chkReminders->Handle(), form.chk_pack_every_mail->Handle()};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(GetWindow(form.chbScroll->Handle(), GW_HWNDNEXT), form.Button1->Handle());

    // Hints: only chkDebug and users show theirs.
    EXPECT_EQ(SendMessageW(form.Hints->Handle(), TTM_GETTOOLCOUNT, 0, 0), 2);
    EXPECT_EQ(form.categoriesList->Hint, "only ");
    EXPECT_FALSE(form.categoriesList->ShowHint);

    // The context menu and the components.
    HMENU m = form.PopupMenu1->Handle();
    ASSERT_EQ(GetMenuItemCount(m), 4);
    const wchar_t* items[] = {L"collect count", L"collect time", L"savelog",
                              L"add-in status / Add-In-Status"};
    for (int i = 0; i < 4; ++i) {
        wchar_t buf[64];
        GetMenuStringW(m, static_cast<UINT>(i), buf, 64, MF_BYPOSITION);
        EXPECT_STREQ(buf, items[i]);
    }
    EXPECT_EQ(form.Timer1->Interval(), 4000u);
    EXPECT_TRUE(form.Timer1->Enabled());
    EXPECT_EQ(form.WinXP1->Owner, &form);
    EXPECT_THROW(TWinXP second(&form), Exception);

    // It can be made taller, never wider, and not lower than 640.
    SetWindowPos(w, nullptr, 0, 0, 900, 800, SWP_NOMOVE | SWP_NOZORDER);
    GetWindowRect(w, &wr);
    EXPECT_EQ(wr.right - wr.left, 620);
    EXPECT_EQ(wr.bottom - wr.top, 800);
    GetWindowRect(form.Panel2->Handle(), &p2);
    EXPECT_EQ(p2.bottom - p2.top, 81);
}

// Windows of one class share its icons: the second window must not get the first one's freed
// handles.
TEST(QuillardWindow, EveryWindowOfTheClassHasLiveIcons) {
    test::ScratchRoots roots;
    for (int i = 0; i < 2; ++i) {
        Recorded rec;
        TQuillard form(RecordingServices(std::make_shared<Win32Registry>(), rec));
        form.Create(SW_SHOWNOACTIVATE);
        const HICON icons[] = {
            reinterpret_cast<HICON>(GetClassLongPtrW(form.Handle(), GCLP_HICON)),
            reinterpret_cast<HICON>(GetClassLongPtrW(form.Handle(), GCLP_HICONSM)),
            reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, ICON_BIG, 0))};
        for (HICON icon : icons) {
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(icon, &info)) << "window " << i;
            const UniqueBitmap mask(info.hbmMask), colour(info.hbmColor);
        }
    }
}

// Disabled, catAdd and catDel show their glyph's shape in shadow and highlight only; enabled,
// in its own colours.
TEST(QuillardWindow, DisabledGlyphsAreGreyed) {
    test::ScratchRoots roots;
    Recorded rec;
    TQuillard form(RecordingServices(std::make_shared<Win32Registry>(), rec));
    form.Create(SW_SHOWNOACTIVATE);
    const COLORREF greys[] = {GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_BTNSHADOW),
                              GetSysColor(COLOR_BTNHIGHLIGHT)};
    // Pixels of the button's face that are not one of the greys, and those in shadow.
    const auto count = [&](TSpeedButton& b, int& coloured, int& shadow) {
        RECT r;
        GetClientRect(b.Handle(), &r);
        const WindowDC screen(nullptr);
        UniqueMemoryDC dc(CreateCompatibleDC(screen.Get()));
        UniqueBitmap bmp(CreateCompatibleBitmap(screen.Get(), r.right, r.bottom));
        SelectedObject in(dc.Get(), bmp.Get());
        SendMessageW(b.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.Get()), PRF_CLIENT);
        coloured = shadow = 0;
        for (int y = 0; y < r.bottom; ++y)
            for (int x = 0; x < r.right; ++x) {
                const COLORREF p = GetPixel(dc.Get(), x, y);
                coloured += std::find(std::begin(greys), std::end(greys), p) == std::end(greys);
                shadow += p == greys[1];
            }
    };
    for (TSpeedButton* b : {form.catAdd.get(), form.catDel.get()}) {
        ASSERT_FALSE(b->Enabled());
        int coloured = 0, shadow = 0;
        count(*b, coloured, shadow);
        EXPECT_EQ(coloured, 0) << b->Name;
        EXPECT_GT(shadow, 20) << b->Name; // the card's shape
        b->SetEnabled(true);
        count(*b, coloured, shadow);
        EXPECT_GT(coloured, 20) << b->Name;
    }
}

// Modal dialogs are driven from a thread timer that fires inside their own message loop.
std::function<void(HWND)> g_onDialog;
RECT g_menuRect{}; // where the last context menu opened

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
    HWND m = FindWindowW(L"#32768", nullptr);
    if (m && IsWindowVisible(m)) {
        KillTimer(nullptr, id);
        GetWindowRect(m, &g_menuRect);
        PostMessageW(m, WM_KEYDOWN, VK_ESCAPE, 0);
    }
}
// Callbacks are named functions: a lambda does not convert to a 32-bit stdcall pointer.
BOOL CALLBACK FirstVisibleDialog(HWND h, LPARAM lp) {
    wchar_t cls[16];
    GetClassNameW(h, cls, 16);
    if (IsWindowVisible(h) && wcscmp(cls, L"#32770") == 0) {
        *reinterpret_cast<HWND*>(lp) = h;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK FindDialog(HWND, UINT, UINT_PTR id, DWORD) {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FirstVisibleDialog, reinterpret_cast<LPARAM>(&found));
    // Acts only once the dialog is fully set up: captioned, every button labelled.
    bool ready = found && GetWindowTextLengthW(found) > 0;
    for (HWND c = found ? GetWindow(found, GW_CHILD) : nullptr; ready && c;
         c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[16];
        GetClassNameW(c, cls, 16);
        if (wcscmp(cls, L"Button") == 0 && GetWindowTextLengthW(c) == 0)
            ready = false;
    }
    if (ready) {
        KillTimer(nullptr, id);
        g_onDialog(found);
    }
}

std::wstring Text(HWND h) {
    wchar_t buf[512] = {};
    GetWindowTextW(h, buf, 512);
    return buf;
}

TEST(Dialogs, PromptTextIsAModalInputWithOkAndAbbrechen) {
    Application().Title = kApplicationTitle;
    DWORD selStart = 99, selEnd = 99;
    LRESULT limit = 0;
    std::wstring caption, prompt, ok, cancel, prefilled;
    g_onDialog = [&](HWND dlg) {
        caption = Text(dlg);
        HWND edit = FindWindowExW(dlg, nullptr, L"Edit", nullptr);
        prefilled = Text(edit);
        SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                     reinterpret_cast<LPARAM>(&selEnd));
        limit = SendMessageW(edit, EM_GETLIMITTEXT, 0, 0);
        prompt = Text(FindWindowExW(dlg, nullptr, L"Static", nullptr));
        ok = Text(GetDlgItem(dlg, IDOK));
        cancel = Text(GetDlgItem(dlg, IDCANCEL));
        SetWindowTextW(edit, L"600");
        SendMessageW(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
    };
    SetTimer(nullptr, 0, 10, FindDialog);
    EXPECT_EQ(PromptText("collect time", "Zeit in Sekunden", "900"), "600");
    EXPECT_EQ(caption, L"collect time");
    EXPECT_EQ(prompt, L"Zeit in Sekunden");
    EXPECT_EQ(prefilled, L"900");
    EXPECT_EQ(selStart, 0u);
    EXPECT_EQ(selEnd, 3u);
    EXPECT_EQ(limit, 255);
    EXPECT_EQ(ok, L"OK");
    EXPECT_EQ(cancel, L"Abbrechen");

    g_onDialog = [](HWND dlg) {
        SetWindowTextW(FindWindowExW(dlg, nullptr, L"Edit", nullptr), L"1");
        SendMessageW(GetDlgItem(dlg, IDCANCEL), BM_CLICK, 0, 0);
    };
    SetTimer(nullptr, 0, 10, FindDialog);
    EXPECT_EQ(PromptText("c", "p", "10"), "10");

    g_onDialog = [](HWND dlg) {
        SetWindowTextW(FindWindowExW(dlg, nullptr, L"Edit", nullptr), L"1");
        SendMessageW(dlg, WM_CLOSE, 0, 0);
    };
    SetTimer(nullptr, 0, 10, FindDialog);
    EXPECT_EQ(PromptText("c", "p", "10"), "10");
}

TEST(Dialogs, ErrorBoxAndNoticeAreTitledWithTheApplicationTitle) {
    Application().Title = kApplicationTitle;
    std::wstring title, text;
    g_onDialog = [&](HWND dlg) {
        title = Text(dlg);
        text = Text(GetDlgItem(dlg, 0xFFFF));
        SendMessageW(dlg, WM_COMMAND, IDOK, 0);
    };
    SetTimer(nullptr, 0, 10, FindDialog);
    ShowErrorBox("Konnte Daten f\xC3\xBCr 'debug' nicht setzen");
    EXPECT_EQ(title, L"Extended configuration for Kestrova");
    EXPECT_EQ(text, L"Konnte Daten f\u00fcr 'debug' nicht setzen.");

    SetTimer(nullptr, 0, 10, FindDialog);
    ShowNotice(kNotice);
    EXPECT_EQ(title, L"Extended configuration for Kestrova");
    EXPECT_EQ(text, L"You need Administrator privileges to change this box");
}

TEST(Dialogs, ErrorBoxTextAddsAFullStopOnlyAfterHigherCodes) {
    const struct {
        const char* in;
        const char* out;
    } table[] = {
        {"nicht setzen", "nicht setzen."},
        {"sorry!", "sorry!"},
        {"(x)", "(x)"},
        {"done.", "done."},
        {"a/", "a/."},
        {"", ""},
        {"ends in 7", "ends in 7."},
        {"gr\xC3\xBC\xC3\x9F", "gr\xC3\xBC\xC3\x9F."},
        {"comma,", "comma,"},
    };
    for (const auto& t : table)
        EXPECT_EQ(ErrorBoxText(t.in), t.out) << t.in;
}

// --- Scaled screens ----------------------------------------------------------------------------

RECT InParent(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int TextWidth(HWND h, const std::wstring& text) {
    WindowDC dc(h);
    SelectedObject font(dc.Get(), reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    SIZE sz{0, 0};
    GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &sz);
    return sz.cx;
}

int TextHeight(HWND h) {
    WindowDC dc(h);
    SelectedObject font(dc.Get(), reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc.Get(), &tm);
    return tm.tmHeight;
}

// The rows of a window's client area that hold dark (text) pixels, as it prints itself.
std::vector<int> PrintedRows(HWND h) {
    RECT c;
    GetClientRect(h, &c);
    testdata::Bitmap bmp(c.right, c.bottom);
    SendMessageW(h, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(bmp.dc()), PRF_CLIENT);
    std::vector<int> rows;
    for (int y = 0; y < c.bottom; ++y)
        for (int x = 0; x < c.right; ++x)
            if ((bmp.Pixel(x, y) & 0x808080) == 0) {
                rows.push_back(y);
                break;
            }
    return rows;
}

// The window as laid out for `dpi`: every control at its 96-DPI place times the scale, its
// caption inside it, no two controls over each other, the help paragraph drawn whole.
void ExpectLaidOutFor(TQuillard& form, UINT dpi) {
    const auto s = [dpi](int v) { return TWindow::ScaleTo(v, dpi); };
    EXPECT_EQ(form.LayoutDpi(), dpi);
    const struct {
        TWinControl* c;
        Bounds b;
        int captionExtra; // what the control draws beside its caption: a box, a glyph
    } table[] = {
        {form.chkDebug.get(), {24, 15, 537, 17}, GetSystemMetrics(SM_CXMENUCHECK) + s(4)},
        {form.chkAdmin.get(), {24, 30, 545, 17}, GetSystemMetrics(SM_CXMENUCHECK) + s(4)},
        {form.Journal.get(), {24, 45, 545, 17}, GetSystemMetrics(SM_CXMENUCHECK) + s(4)},
        {form.Desktopbenachrichtigung.get(),
         {24, 60, 545, 17},
         GetSystemMetrics(SM_CXMENUCHECK) + s(4)},
        {form.chkReminders.get(), {24, 75, 545, 17}, GetSystemMetrics(SM_CXMENUCHECK) + s(4)},
        {form.chk_pack_every_mail.get(),
         {24, 91, 377, 17},
         GetSystemMetrics(SM_CXMENUCHECK) + s(4)},
        {form.HTMLStaticText1.get(), {24, 152, 545, 81}, -1},
        {form.users.get(), {24, 248, 273, 21}, -1},
        {form.catAdd.get(), {312, 248, 23, 22}, -1},
        {form.catDel.get(), {312, 272, 23, 22}, -1},
        {form.categoriesList.get(), {344, 248, 217, 65}, -1},
        {form.SpeedButton1.get(), {8, 11, 585, 22}, s(16 + 10)},
        {form.chbScroll.get(), {16, 48, 345, 17}, GetSystemMetrics(SM_CXMENUCHECK) + s(4)},
        {form.Button1.get(), {512, 40, 81, 25}, s(8)},
        {form.Label1.get(), {344, 232, 0, 0}, 0},
        {form.Label2.get(), {24, 232, 0, 0}, 0},
    };
    // What each control shows: a caption's box and text, vertically centred as buttons draw
    // them, or the whole control. No two of these lie over each other.
    struct Ink {
        HWND parent;
        RECT r;
        const char* name;
    };
    std::vector<Ink> inks;
    for (const auto& e : table) {
        const RECT r = InParent(e.c->Handle());
        const std::string& n = e.c->Name;
        EXPECT_NEAR(r.left, s(e.b.left), 1) << n << " at " << dpi;
        EXPECT_NEAR(r.top, s(e.b.top), 1) << n << " at " << dpi;
        if (e.b.width) {
            EXPECT_NEAR(r.right - r.left, s(e.b.width), 1) << n << " at " << dpi;
            // A combo box's height is its font's, not the layout's.
            const int heightOff = r.bottom - r.top - s(e.b.height);
            EXPECT_TRUE(e.c == form.users.get() || (heightOff >= -1 && heightOff <= 1))
                << n << " at " << dpi << ": height off by " << heightOff;
        }
        RECT ink = r;
        if (e.captionExtra >= 0) {
            const int width = TextWidth(e.c->Handle(), Widen(e.c->Text())) + e.captionExtra;
            EXPECT_LE(width, r.right - r.left) << n << " at " << dpi;
            const int height = TextHeight(e.c->Handle());
            ink = {r.left, r.top + (r.bottom - r.top - height) / 2, r.left + width,
                   r.top + (r.bottom - r.top - height) / 2 + height};
        }
        if (e.c == form.HTMLStaticText1.get()) {
            const std::vector<int> rows = PrintedRows(e.c->Handle());
            ink.bottom = r.top + (rows.empty() ? 0 : rows.back() + 1);
        }
        inks.push_back({GetParent(e.c->Handle()), ink, e.c->Name.c_str()});
    }
    for (std::size_t i = 0; i < inks.size(); ++i)
        for (std::size_t j = i + 1; j < inks.size(); ++j) {
            RECT both;
            if (inks[i].parent == inks[j].parent) {
                EXPECT_FALSE(IntersectRect(&both, &inks[i].r, &inks[j].r))
                    << inks[i].name << " / " << inks[j].name << " at " << dpi;
            }
        }
    // The help paragraph: both halves, the blank line between them, nothing cut at the bottom.
    RECT lr;
    GetClientRect(form.HTMLStaticText1->Handle(), &lr);
    const std::vector<int> rows = PrintedRows(form.HTMLStaticText1->Handle());
    ASSERT_FALSE(rows.empty()) << dpi;
    // The label's text follows the screen's DPI (its window's), whatever the layout's is.
    const int line = TWindow::ScaleTo(12, form.HTMLStaticText1->Dpi());
    int gaps = 0;
    for (std::size_t i = 1; i < rows.size(); ++i)
        gaps += rows[i] - rows[i - 1] > line ? 1 : 0;
    EXPECT_EQ(gaps, 1) << dpi;
    EXPECT_LT(rows.back(), lr.bottom - 2) << dpi;
    // Panels, and the window itself at the size of its layout.
    RECT p1, p2;
    GetWindowRect(form.Panel1->Handle(), &p1);
    GetWindowRect(form.Panel2->Handle(), &p2);
    EXPECT_EQ(p1.bottom - p1.top, s(337)) << dpi;
    EXPECT_EQ(p2.bottom - p2.top, s(81)) << dpi;
    // The log view's font is made for the layout's DPI too.
    EXPECT_EQ(SendMessageW(form.LogFile->Handle(), WM_GETFONT, 0, 0),
              reinterpret_cast<LRESULT>(DefaultFont(dpi)))
        << dpi;
}

const char kDpiVariable[] = "KES_LAYOUT_DPI";

// Run as a child with the screen's DPI set in the prefix's registry (see below).
TEST(QuillardDpi, ChildLaidOutForTheScreensDpi) {
    const char* want = std::getenv(kDpiVariable);
    if (!want)
        GTEST_SKIP() << "runs as the child of LaidOutForEveryScreenDpi";
    const UINT dpi = static_cast<UINT>(std::atoi(want));
    test::ScratchRoots roots;
    Recorded rec;
    TQuillard form(RecordingServices(std::make_shared<Win32Registry>(), rec));
    form.Create(SW_SHOWNOACTIVATE);
    RECT wr;
    GetWindowRect(form.Handle(), &wr);
    EXPECT_EQ(wr.right - wr.left, TWindow::ScaleTo(620, dpi));
    ExpectLaidOutFor(form, dpi);
}

// Wine takes the screen's DPI from HKCU\Control Panel\Desktop\LogPixels when a process
// starts, so each DPI is a child process of this test program; the value is restored.
TEST(QuillardDpi, LaidOutForEveryScreenDpi) {
    const wchar_t kDesktop[] = L"Control Panel\\Desktop";
    DWORD before = 0;
    const bool had = test::ReadDword(HKEY_CURRENT_USER, kDesktop, L"LogPixels", before);
    const ScopeExit restore([&] {
        if (had)
            test::WriteDword(HKEY_CURRENT_USER, kDesktop, L"LogPixels", before);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels");
    });
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    for (const UINT dpi : {96u, 120u, 144u, 168u, 192u}) {
        test::WriteDword(HKEY_CURRENT_USER, kDesktop, L"LogPixels", dpi);
        SetEnvironmentVariableA(kDpiVariable, std::to_string(dpi).c_str());
        std::wstring cmd = L"\"" + std::wstring(self) +
                           L"\" --gtest_filter=QuillardDpi.ChildLaidOutForTheScreensDpi";
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &si, &pi));
        UniqueProcess child(pi);
        ASSERT_EQ(WaitForSingleObject(child.Process.Get(), 60000), WAIT_OBJECT_0) << dpi;
        DWORD code = 1;
        GetExitCodeProcess(child.Process.Get(), &code);
        EXPECT_EQ(code, 0u) << "the layout at " << dpi << " DPI (its failures are above)";
    }
    SetEnvironmentVariableA(kDpiVariable, nullptr);
}

// Moved to a monitor of another DPI, the window is laid out again for it.
TEST(QuillardDpi, ADpiChangeLaysTheWindowOutAgain) {
    test::ScratchRoots roots;
    Recorded rec;
    TQuillard form(RecordingServices(std::make_shared<Win32Registry>(), rec));
    form.Create(SW_SHOWNOACTIVATE);
    const UINT screen = form.LayoutDpi();
    for (const UINT dpi : {120u, 192u, 144u, 96u, screen}) {
        RECT suggested{10, 10, 10 + TWindow::ScaleTo(620, dpi), 10 + TWindow::ScaleTo(665, dpi)};
        SendMessageW(form.Handle(), kWmDpiChanged, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT wr;
        GetWindowRect(form.Handle(), &wr);
        EXPECT_EQ(wr.right - wr.left, suggested.right - suggested.left) << dpi;
        ExpectLaidOutFor(form, dpi);
        // The title bar's and the task bar's icons are drawn at the new DPI's sizes.
        for (const auto& [which, px96] : {std::pair{ICON_SMALL, 16}, std::pair{ICON_BIG, 32}}) {
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(
                reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, which, 0)), &info))
                << dpi;
            const UniqueBitmap mask(info.hbmMask), colour(info.hbmColor);
            BITMAP bm{};
            GetObjectW(info.hbmColor, sizeof bm, &bm);
            EXPECT_EQ(bm.bmWidth, TWindow::ScaleTo(px96, dpi)) << dpi << " icon " << which;
        }
    }
}

// --- Keyboard ----------------------------------------------------------------------------------

class QuillardKeys : public ::testing::Test {
protected:
    void SetUp() override {
        test::CreateKey(HKEY_CURRENT_USER,
                        L"Software\\Varnholt\\Kestrova\\UserCategories\\bob\\Kunden");
        test::CreateKey(HKEY_CURRENT_USER, L"Software\\Varnholt\\Kestrova\\Folders\\F\\Users\\bob");
        form =
            std::make_unique<TQuillard>(RecordingServices(std::make_shared<Win32Registry>(), rec));
        form->Create(SW_SHOW);
        SetForegroundWindow(form->Handle());
        ASSERT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == form->Handle(); }, 5000,
                                    form->Handle()));
    }
    bool Key(WORD vk, unsigned mods = test::kNoModifier) {
        return test::PressKey(vk, mods, form->Handle());
    }
    test::ScratchRoots roots;
    Recorded rec;
    std::unique_ptr<TQuillard> form;
};

TEST_F(QuillardKeys, TabLeavesTheLogViewAndReachesTheSupportMailButton) {
    // The first switch has the focus from the start.
    EXPECT_EQ(GetFocus(), form->chkDebug->Handle());
    const struct {
        unsigned mods;
        HWND next;
    } rows[] = {
        {test::kNoModifier, form->chkDebug->Handle()},
        {test::kShift, form->Button1->Handle()},
        {test::kCtrl, form->chkDebug->Handle()},
    };
    for (const auto& r : rows) {
        SetFocus(form->LogFile->Handle());
        ASSERT_TRUE(Key(VK_TAB, r.mods));
        EXPECT_EQ(GetFocus(), r.next) << r.mods;
    }
    // The Tab cycle reaches "Send debug Log"; Enter and space press it, once each.
    int presses = 0;
    form->SpeedButton1->OnClick = [&](TComponent*) { ++presses; };
    SetFocus(form->chkDebug->Handle());
    for (int i = 0; i < 20 && GetFocus() != form->SpeedButton1->Handle(); ++i)
        ASSERT_TRUE(Key(VK_TAB));
    ASSERT_EQ(GetFocus(), form->SpeedButton1->Handle());
    // The focus shows as a dotted line inside the button's edge, left of the glyph.
    const auto focusDots = [&] {
        TSpeedButton& b = *form->SpeedButton1;
        RECT c;
        GetClientRect(b.Handle(), &c);
        testdata::Bitmap bmp(c.right, c.bottom);
        SendMessageW(b.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(bmp.dc()), PRF_CLIENT);
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        const std::uint32_t faceRgb =
            GetRValue(face) << 16 | GetGValue(face) << 8 | GetBValue(face);
        int dots = 0;
        for (int x = b.Scale(4); x < b.Scale(60); ++x)
            dots += bmp.Pixel(x, b.Scale(3)) != faceRgb ? 1 : 0;
        return dots;
    };
    EXPECT_GE(focusDots(), 20);
    // A key held down (its repeats) presses once, as a push button does.
    const struct {
        WORD vk;
        int downs;
    } keys[] = {{VK_RETURN, 1}, {VK_SPACE, 1}, {VK_RETURN, 4}, {VK_SPACE, 4}};
    int expected = 0;
    for (const auto& k : keys) {
        std::vector<INPUT> in(static_cast<std::size_t>(k.downs) + 1);
        for (auto& i : in) {
            i.type = INPUT_KEYBOARD;
            i.ki.wVk = k.vk;
        }
        in.back().ki.dwFlags = KEYEVENTF_KEYUP;
        ASSERT_EQ(SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)), in.size());
        ASSERT_TRUE(Key(VK_SHIFT)); // delivered after the keys above
        EXPECT_EQ(presses, ++expected) << k.vk << " held for " << k.downs;
    }
    EXPECT_EQ(GetFocus(), form->SpeedButton1->Handle());
    ASSERT_TRUE(Key(VK_TAB));
    EXPECT_EQ(focusDots(), 0);
    // A click presses it too and leaves the focus where it was.
    const HWND focused = GetFocus();
    RECT c;
    GetClientRect(form->SpeedButton1->Handle(), &c);
    ASSERT_TRUE(test::Click(form->SpeedButton1->Handle(), POINT{c.right / 4, c.bottom / 2},
                            form->Handle()));
    EXPECT_EQ(presses, ++expected);
    EXPECT_EQ(GetFocus(), focused);
}

TEST_F(QuillardKeys, TheFocusGoesBackToItsControlAfterADialogOrTheMenu) {
    // A dialog (no key), or the panel's menu from the keyboard (Shift+F10, the menu key) at the
    // focused control, closed with Escape.
    const auto focus = [](HWND h) { return [h] { SetFocus(h); }; };
    TEditListBox& list = *form->categoriesList;
    const struct {
        std::function<void()> focus;
        HWND control; // where the focus is before and after
        WORD key;
        unsigned mods;
    } rows[] = {
        {focus(form->users->Handle()), form->users->Handle(), 0, test::kNoModifier},
        {focus(form->chkAdmin->Handle()), form->chkAdmin->Handle(), VK_F10, test::kShift},
        {focus(form->Journal->Handle()), form->Journal->Handle(), VK_APPS, test::kNoModifier},
        // The in-place editor commits and closes when the window is left: back to the list.
        {[&] {
             form->users->SetItemIndex(0);
             SendMessageW(GetParent(form->users->Handle()), WM_COMMAND,
                          MAKEWPARAM(ids::users, CBN_SELCHANGE),
                          reinterpret_cast<LPARAM>(form->users->Handle()));
             ASSERT_TRUE(test::PumpUntil([&] { return list.Count() == 1; }, 5000));
             SetFocus(list.Handle());
             list.SetItemIndex(0);
             list.ShowEdit();
             ASSERT_TRUE(list.Editing());
         },
         list.Handle(), 0, test::kNoModifier},
    };
    for (const auto& r : rows) {
        const std::string name = TWinControl::FromHandle(r.control)->Name;
        r.focus();
        g_menuRect = {};
        if (!r.key) {
            g_onDialog = [](HWND dlg) { SendMessageW(dlg, WM_COMMAND, IDOK, 0); };
            SetTimer(nullptr, 0, 10, FindDialog);
            ShowNotice("a dialog");
        } else {
            SetTimer(nullptr, 0, 10, CloseMenu);
            ASSERT_TRUE(Key(r.key, r.mods)) << name;
            RECT c;
            GetWindowRect(r.control, &c);
            EXPECT_TRUE(PtInRect(&c, POINT{g_menuRect.left, g_menuRect.top})) << name;
        }
        ASSERT_TRUE(test::PumpUntil([&] { return GetFocus() == r.control; }, 3000, form->Handle()))
            << name;
    }
    // The form itself given the focus hands it on to its control.
    SetFocus(form->Handle());
    EXPECT_EQ(GetFocus(), list.Handle());
}

} // namespace
} // namespace kes
