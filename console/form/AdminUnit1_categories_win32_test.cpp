// The category editor on the real window, with real focus and keys, through the real registry
// (HKEY_CURRENT_USER remapped to a scratch key).
#include "console/form/AdminUnit1.h"
#include "console/form/control_ids.h"
#include "console/store/memory_registry.h"
#include "console/store/win32_registry.h"
#include "console/testing/test_registry_win32.h"
#include "platform/utf_win32.h"
#include "toolkit/testing/window_test_kit_win32.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <set>

namespace kes {
namespace {

using Strings = std::vector<std::string>;
const std::wstring kCats = L"Software\\Varnholt\\Kestrova\\UserCategories\\";

Strings Subkeys(const std::wstring& path) {
    Strings out;
    UniqueKey k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS)
        return out;
    wchar_t buf[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (RegEnumKeyExW(k.Get(), i, buf, &len, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return out;
        out.push_back(Narrow(std::wstring_view(buf, len)));
    }
}

class CategoryEditor : public ::testing::Test {
protected:
    void Start(std::initializer_list<const wchar_t*> recipients) {
        for (const wchar_t* r : recipients)
            test::CreateKey(HKEY_CURRENT_USER,
                            std::wstring(L"Software\\Varnholt\\Kestrova\\Folders\\F\\Users\\") + r);
        form.reset(); // first: a form's end clears the error handler the next one sets
        form = MakeForm();
    }
    // A window of its own (a second one stands for a second Quillard of the same user).
    std::unique_ptr<TQuillard> MakeForm() {
        Services s;
        s.Registry = std::make_shared<Win32Registry>();
        s.ErrorBox = [this](const std::string& t) { errors.push_back(t); };
        s.ShowNotice = [this](const std::string& t) { notices.push_back(t); };
        s.PromptText = [this](const std::string& caption, const std::string& prompt,
                              const std::string& def) {
            EXPECT_EQ(caption, "Please put a categoriename in");
            EXPECT_EQ(prompt, "category:");
            EXPECT_EQ(def, "");
            std::string a = answers.empty() ? def : answers.front();
            if (!answers.empty())
                answers.pop_front();
            return a;
        };
        auto made = std::make_unique<TQuillard>(std::move(s));
        made->Create(SW_SHOWNORMAL);
        SetForegroundWindow(made->Handle());
        test::PumpUntil([&made] { return GetForegroundWindow() == made->Handle(); });
        return made;
    }
    void TearDown() override { form.reset(); }
    void Pump() { test::PumpPending(form->Handle()); }
    // Real keys, through the form's dialog navigation as Quillard's message loop does.
    void Key(WORD vk) { ASSERT_TRUE(test::PressKey(vk, test::kNoModifier, form->Handle())); }
    // The user picks a recipient: the focus moves to the box, then the selection changes.
    void Choose(int index) {
        ChooseOnly(index);
        Filled();
    }
    // The list is then shown in steps still to come when it is large.
    void ChooseOnly(int index) {
        SetFocus(form->users->Handle());
        form->users->SetItemIndex(index);
        SendMessageW(form->Panel1->Handle(), WM_COMMAND, MAKEWPARAM(ids::users, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(form->users->Handle()));
    }
    // A large list is filled in steps between messages.
    void Filled() {
        ASSERT_TRUE(test::PumpUntil([this] { return !form->categoriesList->Filling(); }, 60000));
    }
    void Press(TSpeedButton& b) { SendMessageW(b.Handle(), BM_CLICK, 0, 0); }

    // What a user who shows a recipient and leaves the list sees stored (folded names).
    void Leave() { SetFocus(form->users->Handle()); }
    void Edit(int index, const std::string& text) {
        TEditListBox& list = *form->categoriesList;
        SetFocus(list.Handle());
        list.SetIndexAndScroll(index);
        Key(VK_SPACE);
        ASSERT_TRUE(list.Editing());
        list.Editor()->SetText(text);
    }
    int IndexOf(const std::string& entry) {
        for (int i = 0; i < form->categoriesList->Count(); ++i)
            if (form->categoriesList->Item(i) == entry)
                return i;
        return -1;
    }

    ComInit com;
    test::ScratchRoots roots;
    Strings notices;
    std::unique_ptr<TQuillard> form;
    std::deque<std::string> answers;
    Strings errors;
};

TEST_F(CategoryEditor, LoadEditAndSaveRoundTripThroughTheRegistry) {
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"bob\\Privat");
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"bob\\Kunden");
    Start({L"bob"});
    TEditListBox& list = *form->categoriesList;
    EXPECT_TRUE(list.AutoInsert && list.AutoDelete && list.AllowEdit());
    EXPECT_EQ(list.ScrollWidth(), 17);
    EXPECT_FALSE(list.Enabled());
    EXPECT_FALSE(form->catAdd->Enabled());
    Choose(0);
    EXPECT_TRUE(list.Enabled());
    EXPECT_TRUE(form->catAdd->Enabled());
    EXPECT_FALSE(form->catDel->Enabled());
    EXPECT_EQ(list.Items(), (Strings{"Kunden", "Privat"}));

    // "+" adds unchecked names; nothing is stored yet.
    answers = {"kunden", "Nested\\Deep", "\\Lead", "\\", "\xC3\x84rger"};
    for (int i = 0; i < 5; ++i)
        Press(*form->catAdd);
    Press(*form->catAdd); // cancelled: the empty answer adds nothing
    EXPECT_EQ(list.Count(), 7);
    EXPECT_EQ(Subkeys(kCats + L"bob"), (Strings{"Kunden", "Privat"}));
    // Insert then Escape leaves an empty entry; the selection enables catDel.
    SetFocus(list.Handle());
    Key(VK_INSERT);
    Key(VK_ESCAPE);
    EXPECT_EQ(list.Item(0), "");
    EXPECT_TRUE(form->catDel->Enabled());

    // Leaving the list stores it: a case duplicate of a stored category adds nothing, "\"
    // nests, the leading "\" is dropped, the empty entry and a lone "\" name no key.
    SetFocus(form->users->Handle());
    EXPECT_EQ(Subkeys(kCats + L"bob"),
              (Strings{"Kunden", "Lead", "Nested", "Privat", "\xC3\x84rger"}));
    EXPECT_EQ(Subkeys(kCats + L"bob\\Nested"), Strings{"Deep"});
    EXPECT_TRUE(errors.empty());
    Choose(0);
    // The list sorts by the platform's collation, which puts the umlaut first.
    EXPECT_EQ(list.Items(), (Strings{"\xC3\x84rger", "Kunden", "Lead", "Nested", "Privat"}));

    // catDel deletes the selected entry; the last one gone disables it.
    list.SetIndexAndScroll(0);
    EXPECT_TRUE(form->catDel->Enabled());
    while (list.Count() > 0) {
        list.SetIndexAndScroll(0);
        Press(*form->catDel);
    }
    EXPECT_FALSE(form->catDel->Enabled());
    Press(*form->catDel); // nothing selected: nothing happens
    EXPECT_FALSE(form->catDel->Enabled());

    // The glyph-only buttons carry names for screen readers, as push buttons.
    for (const auto& [button, name] :
         {std::pair{form->catAdd.get(), L"Add category / Kategorie hinzuf\u00fcgen"},
          std::pair{form->catDel.get(), L"Delete category / Kategorie l\u00f6schen"}}) {
        ComPtr<IAccessible> acc;
        ASSERT_EQ(AccessibleObjectFromWindow(button->Handle(), OBJID_CLIENT, __uuidof(IAccessible),
                                             acc.PutVoid()),
                  S_OK);
        VARIANT self;
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR got = nullptr;
        ASSERT_EQ(acc->get_accName(self, &got), S_OK);
        UniqueBstr owned(got);
        EXPECT_STREQ(got, name);
        UniqueVariant role;
        ASSERT_EQ(acc->get_accRole(self, &role.v), S_OK);
        EXPECT_EQ(role.v.vt, VT_I4);
        EXPECT_EQ(role.v.lVal, ROLE_SYSTEM_PUSHBUTTON);
    }
}

TEST_F(CategoryEditor, NothingTypedIsLostOnCloseOrRecipientChange) {
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"bob\\Alt");
    Start({L"bob", L"carol"});
    TEditListBox& list = *form->categoriesList;
    // "+" with the focus outside the list, then another recipient: bob's list is stored
    // first; carol's, unchanged, is not written (her key stays absent).
    Choose(0);
    answers = {"Neu"};
    Press(*form->catAdd);
    Choose(1);
    EXPECT_EQ(Subkeys(kCats + L"bob"), (Strings{"Alt", "Neu"}));
    EXPECT_TRUE(list.Items().empty());
    Choose(0);
    EXPECT_FALSE(test::KeyExists(HKEY_CURRENT_USER, kCats + L"carol"));
    EXPECT_EQ(list.Items(), (Strings{"Alt", "Neu"}));
    // Her key is made with the first category stored for her.
    Choose(1);
    answers = {"Erst"};
    Press(*form->catAdd);
    Choose(0);
    EXPECT_EQ(Subkeys(kCats + L"carol"), Strings{"Erst"});

    // Closing while an entry is being edited stores the edit, not a blank.
    SetFocus(list.Handle());
    list.SetIndexAndScroll(0);
    Key(VK_SPACE);
    ASSERT_TRUE(list.Editing());
    // A name no key can have (over 255 characters) is refused: the error box, the window
    // stays open, and the entry is still there to be corrected.
    list.Editor()->SetText(std::string(300, 'x'));
    HWND w = form->Handle();
    SendMessageW(w, WM_CLOSE, 0, 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Erzeugung von Schl\xC3\xBC"
                         "ssel " +
                             std::string(300, 'x') + " misslungen");
    EXPECT_TRUE(IsWindow(w));
    EXPECT_EQ(list.Item(0), std::string(300, 'x'));
    list.SetIndexAndScroll(0);
    SetFocus(list.Handle());
    Key(VK_SPACE);
    list.Editor()->SetText("Alt2");
    SendMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(Subkeys(kCats + L"bob"), (Strings{"Alt2", "Neu"}));
    EXPECT_EQ(errors.size(), 1u);
}

// Log-off or shut-down with an entry added by "+" and an edit in progress: both are stored
// before the session ends, and the window goes with it, without a box.
TEST_F(CategoryEditor, TheSessionsEndStoresWhatIsPending) {
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"bob\\Alt");
    Start({L"bob"});
    TEditListBox& list = *form->categoriesList;
    Choose(0);
    answers = {"Neu"};
    Press(*form->catAdd);
    SetFocus(list.Handle());
    list.SetIndexAndScroll(0);
    Key(VK_SPACE);
    ASSERT_TRUE(list.Editing());
    list.Editor()->SetText("Alt2");
    const HWND w = form->Handle();
    EXPECT_EQ(TRUE, SendMessageW(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    EXPECT_EQ(Subkeys(kCats + L"bob"), (Strings{"Alt2", "Neu"}));
    SendMessageW(w, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(Subkeys(kCats + L"bob"), (Strings{"Alt2", "Neu"}));
    EXPECT_TRUE(errors.empty());
}

// What is stored never passes through a loss: nested keys of a category that stays, a name the
// registry refuses, a change of letter case, a key that cannot be removed.
TEST_F(CategoryEditor, TheSaveNeverLosesWhatIsStored) {
    for (const wchar_t* c : {L"B\u00fcro", L"Kunden\\Wichtig", L"Privat\\Alt", L"Urlaub"})
        test::CreateKey(HKEY_CURRENT_USER, kCats + L"anna\\" + c);
    Start({L"anna"});
    TEditListBox& list = *form->categoriesList;
    Choose(0);
    ASSERT_EQ(list.Items(), (Strings{"B\xC3\xBCro", "Kunden", "Privat", "Urlaub"}));
    // In and out of the list: nothing below a kept category goes.
    SetFocus(list.Handle());
    Leave();
    EXPECT_EQ(Subkeys(kCats + L"anna\\Kunden"), Strings{"Wichtig"});

    // A refused name (more than 255 characters, refused under Wine too), with
    // "Urlaub" deleted as well: everything stored stays, the entry waits.
    list.Delete(IndexOf("Urlaub"));
    answers = {std::string(300, 'x')};
    Press(*form->catAdd);
    SetFocus(list.Handle());
    Leave();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Erzeugung von Schl\xC3\xBCssel " + std::string(300, 'x') + " misslungen");
    EXPECT_EQ(Subkeys(kCats + L"anna"), (Strings{"B\xC3\xBCro", "Kunden", "Privat", "Urlaub"}));
    EXPECT_EQ(Subkeys(kCats + L"anna\\Kunden"), Strings{"Wichtig"});
    ASSERT_GE(IndexOf(std::string(300, 'x')), 0);

    // Corrected to the longest name allowed, the case of "Privat" changed: the key is renamed, and
    // what is below it stays.
    Edit(IndexOf(std::string(300, 'x')), std::string(255, 'y'));
    Key(VK_RETURN);
    Edit(IndexOf("Privat"), "PRIVAT");
    Key(VK_RETURN);
    Leave();
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(Subkeys(kCats + L"anna"),
              (Strings{"B\xC3\xBCro", "Kunden", "PRIVAT", std::string(255, 'y')}));
    EXPECT_EQ(Subkeys(kCats + L"anna\\PRIVAT"), Strings{"Alt"});
    EXPECT_EQ(Subkeys(kCats + L"anna\\Kunden"), Strings{"Wichtig"});

    // A key that cannot be removed is named in the box, not passed over.
    {
        test::ReadOnlyKey stuck(HKEY_CURRENT_USER, Narrow(kCats) + "anna\\B\xC3\xBCro");
        list.Delete(IndexOf("B\xC3\xBCro"));
        SetFocus(list.Handle());
        Leave();
    }
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[1], "L\xC3\xB6schen von Schl\xC3\xBCssel B\xC3\xBCro misslungen");
    EXPECT_EQ(Subkeys(kCats + L"anna"),
              (Strings{"B\xC3\xBCro", "Kunden", "PRIVAT", std::string(255, 'y')}));
}

// A registry notification on a recipient's key and everything below it.
class KeyWatch {
public:
    explicit KeyWatch(const std::wstring& path)
        : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_NOTIFY, key_.Put()), 0);
        EXPECT_EQ(RegNotifyChangeKeyValue(key_.Get(), TRUE,
                                          REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                          event_.Get(), TRUE),
                  0);
    }
    bool Written() const { return WaitForSingleObject(event_.Get(), 0) == WAIT_OBJECT_0; }

private:
    UniqueKey key_;
    UniqueKernelHandle event_;
};

// Another program (the add-in, a logon script, a second Quillard) changes the categories while
// the list is shown: a visit without an edit writes nothing, an edit writes only itself, two
// windows keep both users' additions, and closing with nothing changed writes nothing.
TEST_F(CategoryEditor, WhatOthersStoreMeanwhileIsKept) {
    for (const wchar_t* c : {L"Kunden\\Wichtig", L"Urlaub"})
        test::CreateKey(HKEY_CURRENT_USER, kCats + L"anna\\" + c);
    Start({L"anna"});
    Choose(0);
    ASSERT_EQ(form->categoriesList->Items(), (Strings{"Kunden", "Urlaub"}));
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"anna\\Extern");
    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, (kCats + L"anna\\Urlaub").c_str()), 0);
    {
        const KeyWatch watch(kCats + L"anna");
        SetFocus(form->categoriesList->Handle());
        Leave();
        EXPECT_FALSE(watch.Written());
    }
    answers = {"Neu"};
    Press(*form->catAdd);
    SetFocus(form->categoriesList->Handle());
    Leave();
    EXPECT_EQ(Subkeys(kCats + L"anna"), (Strings{"Extern", "Kunden", "Neu"}));
    EXPECT_EQ(Subkeys(kCats + L"anna\\Kunden"), Strings{"Wichtig"});

    std::unique_ptr<TQuillard> other = MakeForm();
    std::swap(form, other);
    Choose(0);
    answers = {"Zweit"};
    Press(*form->catAdd);
    std::swap(form, other);
    answers = {"Erst"};
    Press(*form->catAdd);
    SetFocus(form->categoriesList->Handle());
    Leave();
    std::swap(form, other);
    SetFocus(form->categoriesList->Handle());
    Leave();
    EXPECT_EQ(Subkeys(kCats + L"anna"), (Strings{"Erst", "Extern", "Kunden", "Neu", "Zweit"}));
    const KeyWatch watch(kCats + L"anna");
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    SendMessageW(other->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(watch.Written());
    EXPECT_TRUE(errors.empty());
}

// A recipient with thousands of categories is read on a worker and shown in steps, and messages
// are handled between them. Whatever happens while the list holds only part of them (another
// recipient, closing, the session's end, keys, clicks, "+", with another program removing a
// shown category and adding one meanwhile) stores nothing and loses nothing; once whole, the list
// holds every category read, in the list's order, and the user's additions are stored beside the
// other program's changes.
TEST_F(CategoryEditor, AListStillFillingLosesNothingAndWritesNothing) {
    constexpr int kMany = 3000; // three steps at least
    Strings stored;
    {
        UniqueKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (kCats + L"viel").c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, key.Put(), nullptr),
                  0);
        for (int i = 0; i < kMany; ++i) {
            stored.push_back("Kat " + std::to_string(i * 7919 % kMany) +
                             (i % 3 ? " \xC3\xA4" : "_b"));
            UniqueKey sub;
            RegCreateKeyExW(key.Get(), Widen(stored.back()).c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, sub.Put(), nullptr);
        }
    }
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"anna\\Alt");
    const auto sorted = [](Strings v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    enum Act { kNothing, kOtherRecipient, kClose, kSessionEnd, kInput };
    for (const Act act : {kNothing, kOtherRecipient, kClose, kSessionEnd, kInput}) {
        SCOPED_TRACE(act);
        Start({L"anna", L"viel"});
        const HWND w = form->Handle();
        TEditListBox& list = *form->categoriesList;
        std::string gone; // what the other program removed
        std::optional<KeyWatch> watch;
        // Handled whenever the queue comes to it; it acts the first time the list is partly
        // filled.
        TButton probe(nullptr, "probe", form->Panel1->Handle(), Bounds{0, 0, 0, 0}, "", 999);
        const auto post = [&] {
            PostMessageW(form->Panel1->Handle(), WM_COMMAND, MAKEWPARAM(999, BN_CLICKED),
                         reinterpret_cast<LPARAM>(probe.Handle()));
        };
        probe.OnClick = [&](TComponent*) {
            if (!list.Filling() || !gone.empty())
                return;
            if (list.Count() == 0)
                return post();
            EXPECT_FALSE(form->catAdd->Enabled());
            gone = list.Item(0);
            ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, (kCats + L"viel\\" + Widen(gone)).c_str()),
                      0);
            test::CreateKey(HKEY_CURRENT_USER, kCats + L"viel\\Extern");
            watch.emplace(kCats + L"viel");
            switch (act) {
            case kOtherRecipient:
                ChooseOnly(0);
                break;
            case kClose:
                SendMessageW(w, WM_CLOSE, 0, 0);
                break;
            case kSessionEnd:
                EXPECT_EQ(TRUE, SendMessageW(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
                SendMessageW(w, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
                break;
            case kInput:
                SetFocus(list.Handle());
                list.SetIndexAndScroll(0);
                for (WORD k : {VK_INSERT, VK_DELETE})
                    SendMessageW(list.Handle(), WM_KEYDOWN, k, 0);
                SendMessageW(list.Handle(), WM_CHAR, ' ', 0);
                SendMessageW(list.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
                SendMessageW(list.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
                answers = {"Neu"};
                Press(*form->catAdd);
                Press(*form->catDel);
                Leave();
                break;
            case kNothing:
                break;
            }
            EXPECT_FALSE(watch->Written());
        };
        ChooseOnly(1);
        post();
        ASSERT_TRUE(list.Filling());
        Filled();
        ASSERT_FALSE(gone.empty()) << "no message handled while the list was partly filled";
        Strings want = stored;
        want.erase(std::find(want.begin(), want.end(), gone));
        want.push_back("Extern");
        if (IsWindow(w)) {
            const Strings shown = list.Items();
            EXPECT_EQ(sorted(shown), act == kOtherRecipient ? Strings{"Alt"} : sorted(stored));
            EXPECT_FALSE(list.Editing());
            const auto locale = static_cast<LCID>(SendMessageW(list.Handle(), LB_GETLOCALE, 0, 0));
            for (std::size_t i = 1; i < shown.size(); ++i)
                ASSERT_NE(CompareStringW(locale, NORM_IGNORECASE, Widen(shown[i - 1]).c_str(), -1,
                                         Widen(shown[i]).c_str(), -1),
                          CSTR_GREATER_THAN)
                    << i;
            SetFocus(list.Handle());
            Leave();
        }
        EXPECT_FALSE(watch->Written());
        EXPECT_EQ(sorted(Subkeys(kCats + L"viel")), sorted(want));
        if (act == kInput) {
            answers = {"Neu"};
            Press(*form->catAdd);
            SetFocus(list.Handle());
            Leave();
            want.push_back("Neu");
            EXPECT_EQ(sorted(Subkeys(kCats + L"viel")), sorted(want));
        }
        EXPECT_TRUE(errors.empty());
        // Back as it was for the next row.
        test::CreateKey(HKEY_CURRENT_USER, kCats + L"viel\\" + Widen(gone));
        for (const char* extra : {"Extern", "Neu"})
            RegDeleteKeyW(HKEY_CURRENT_USER, (kCats + L"viel\\" + Widen(extra)).c_str());
    }
}

// A change of letter case in any script renames the key and keeps what is below it.
TEST_F(CategoryEditor, ACaseChangeInAnyScriptKeepsWhatIsBelow) {
    std::string longLower, longUpper; // 255 units, the longest name a key may have
    for (int i = 0; i < 255; ++i) {
        longLower += "\xCE\xB1"; // α
        longUpper += "\xCE\x91"; // Α
    }
    const std::pair<std::string, std::string> edits[] = {
        {"\xCE\xAD\xCF\x81\xCE\xB3\xCE\xB1", "\xCE\x88\xCF\x81\xCE\xB3\xCE\xB1"}, // έργα
        {"\xD2\x91\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xBA",
         "\xD2\x90\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xBA"},           // ґанок
        {"d\xE1\xBB\xB1 \xC3\xA1n", "D\xE1\xBB\xB0 \xC3\x81N"}, // dự án
        {"\xC7\x86ungla", "\xC7\x84ungla"},                     // ǆ
        {"\xD5\xA1\xD5\xB6\xD5\xB8\xD6\x82\xD5\xB6",
         "\xD4\xB1\xD5\xB6\xD5\xB8\xD6\x82\xD5\xB6"}, // անուն
        {"\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB5\xD0\xBA\xD1\x82\xD1\x8B",
         "\xD0\x9F\xD0\xA0\xD0\x9E\xD0\x95\xD0\x9A\xD0\xA2\xD0\xAB"}, // Проекты
        {longLower, longUpper},
    };
    // One recipient each: Wine's registry loses a sibling when several keys of one parent are
    // renamed in turn (seen with "d\u1EF1" among non-Latin names), which Windows does not.
    std::vector<const wchar_t*> people = {L"r0", L"r1", L"r2", L"r3", L"r4", L"r5", L"r6"};
    for (std::size_t i = 0; i < std::size(edits); ++i)
        test::CreateKey(HKEY_CURRENT_USER,
                        kCats + people[i] + L"\\" + Widen(edits[i].first) + L"\\Sub");
    Start({L"r0", L"r1", L"r2", L"r3", L"r4", L"r5", L"r6"});
    for (std::size_t i = 0; i < std::size(edits); ++i) {
        const auto& [from, to] = edits[i];
        Choose(int(i));
        ASSERT_GE(IndexOf(from), 0) << from;
        Edit(IndexOf(from), to);
        Key(VK_RETURN);
        Leave();
        EXPECT_EQ(Subkeys(kCats + people[i]), Strings{to});
        EXPECT_EQ(Subkeys(kCats + people[i] + L"\\" + Widen(to)), Strings{"Sub"}) << to;
    }
    EXPECT_TRUE(errors.empty());
}

// A recipient whose key may be read but not written: what is stored is shown, the list
// cannot be changed and says why; the next recipient is editable again.
TEST_F(CategoryEditor, AKeyThatMayOnlyBeReadIsShownAndNotChanged) {
    for (const wchar_t* c : {L"Eins", L"Zwei", L"Drei", L"Vier"})
        test::CreateKey(HKEY_CURRENT_USER, kCats + L"bert\\" + c);
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"anna\\Alt");
    test::ReadOnlyKey readOnly(HKEY_CURRENT_USER, Narrow(kCats) + "bert");
    Start({L"anna", L"bert"});
    TEditListBox& list = *form->categoriesList;
    Choose(1);
    EXPECT_EQ(list.Items(), (Strings{"Drei", "Eins", "Vier", "Zwei"}));
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("'bert' can only be read"), std::string::npos);
    EXPECT_FALSE(form->catAdd->Enabled());
    SetFocus(list.Handle());
    list.SetIndexAndScroll(0);
    Key(VK_INSERT);
    Key(VK_DELETE);
    Key(VK_SPACE);
    EXPECT_FALSE(list.Editing());
    EXPECT_EQ(list.Count(), 4);
    Leave();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(Subkeys(kCats + L"bert"), (Strings{"Drei", "Eins", "Vier", "Zwei"}));

    Choose(0);
    EXPECT_TRUE(form->catAdd->Enabled());
    SetFocus(list.Handle());
    Key(VK_INSERT);
    ASSERT_TRUE(list.Editing());
    ASSERT_TRUE(test::TypeText("Neu", form->Handle()));
    Key(VK_RETURN);
    Leave();
    EXPECT_EQ(Subkeys(kCats + L"anna"), (Strings{"Alt", "Neu"}));
    EXPECT_EQ(notices.size(), 1u);
}

// The selection of users changes while the in-place editor is open and keeps the focus (as
// automation does): the edit goes to the recipient it was made for, the next one is untouched.
TEST_F(CategoryEditor, ARecipientChangeWithTheEditorOpenEndsTheEditFirst) {
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"anna\\B\xC3\xBCro");
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"bert\\X1");
    Start({L"anna", L"bert"});
    TEditListBox& list = *form->categoriesList;
    Choose(0);
    Edit(0, "B\xC3\xBCro-neu");
    form->users->SetItemIndex(1);
    SendMessageW(form->Panel1->Handle(), WM_COMMAND, MAKEWPARAM(ids::users, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(form->users->Handle()));
    Filled();
    EXPECT_FALSE(list.Editing());
    EXPECT_EQ(Subkeys(kCats + L"anna"), Strings{"B\xC3\xBCro-neu"});
    EXPECT_EQ(list.Items(), Strings{"X1"});
    Leave();
    EXPECT_EQ(Subkeys(kCats + L"bert"), Strings{"X1"});
    EXPECT_TRUE(errors.empty());
}

// A seeded walk of user actions through the real window; after every step the registry holds
// what a small model of the editor says. KES_WALK_SEED replays one seed.
TEST_F(CategoryEditor, ARandomWalkKeepsTheRegistryAsTheModelSays) {
    const char* fromEnv = std::getenv("KES_WALK_SEED");
    const unsigned seed = fromEnv ? unsigned(std::strtoul(fromEnv, nullptr, 10)) : 20261209u;
    SCOPED_TRACE("KES_WALK_SEED=" + std::to_string(seed));
    std::mt19937 rng(seed);
    const auto pick = [&rng](int n) {
        return int(std::uniform_int_distribution<int>(0, n - 1)(rng));
    };
    const std::vector<std::string> pool = {"B\xC3\xBCro", "b\xC3\xBCro", "Kunden", "Spa\xC3\x9F",
                                           "a.b", " Rand ", "Neu\\Tief", "\\Vorn", "X",
                                           // Non-Latin names, some in two letter cases.
                                           "\xCE\xAD\xCF\x81\xCE\xB3\xCE\xB1",     // έργα
                                           "\xCE\x88\xCF\x81\xCE\xB3\xCE\xB1",     // Έργα
                                           "\xD2\x91\xD0\xB0", "\xD2\x90\xD0\xB0", // ґа Ґа
                                           "d\xE1\xBB\xB1", "D\xE1\xBB\xB0",       // dự Dự
                                           "\xC7\x86", "\xC7\x85", "\xC7\x84",     // ǆ ǅ Ǆ
                                           "\xF0\x90\x90\xA8",
                                           "\xF0\x90\x90\x80"}; // Deseret, beyond 16 bits
    const Strings people = {"anna", "bert", "carl"};
    // The model: each recipient's folded names and their spellings ("" where either of two the
    // list holds may be the one stored).
    std::map<std::string, std::map<std::u16string, std::string>> stored;
    // An entry's key path (empty components dropped) and its first component.
    const auto keyOf = [](const std::string& entry) {
        std::string key, part;
        for (char c : entry + "\\")
            if (c != '\\') {
                part += c;
            } else if (!part.empty()) {
                key += (key.empty() ? "" : "\\") + part;
                part.clear();
            }
        return key;
    };
    const auto top = [&](const std::string& entry) {
        const std::string key = keyOf(entry);
        return key.substr(0, key.find('\\'));
    };
    const auto fold = [&](const std::string& entry) {
        return top(entry).empty() ? std::u16string() : FoldName(top(entry));
    };
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"anna\\Kunden");
    stored["anna"] = {{FoldName("Kunden"), "Kunden"}};
    stored["bert"] = {};
    test::CreateKey(HKEY_CURRENT_USER, kCats + L"carl\\Fest");
    stored["carl"] = {{FoldName("Fest"), "Fest"}};
    test::ReadOnlyKey readOnly(HKEY_CURRENT_USER, Narrow(kCats) + "carl");

    std::string owner;   // whose list is shown
    Strings list, saved; // the model's list and the list as last loaded or stored
    bool inList = false;
    // The merge: what the user removed goes, what the user added (a new key path) or re-spelt
    // (the loaded spelling no longer listed) is there, everything else stays as others left it.
    const auto save = [&] {
        Strings a = list, b = saved;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        if (owner.empty() || owner == "carl" || a == b)
            return;
        std::set<std::u16string> now, before, keys;
        for (const auto& e : list)
            if (!fold(e).empty())
                now.insert(fold(e));
        for (const auto& e : saved)
            if (!fold(e).empty()) {
                before.insert(fold(e));
                keys.insert(FoldName(keyOf(e)));
            }
        auto& s = stored[owner];
        for (const auto& f : before)
            if (now.count(f) == 0)
                s.erase(f);
        for (const auto& e : list) {
            if (fold(e).empty())
                continue;
            const bool respelt =
                before.count(fold(e)) != 0 &&
                std::none_of(saved.begin(), saved.end(), [&](const std::string& o) {
                    return fold(o) == fold(e) &&
                           std::any_of(list.begin(), list.end(),
                                       [&](const std::string& n) { return top(n) == top(o); });
                });
            std::set<std::string> spellings;
            for (const auto& n : list)
                if (fold(n) == fold(e))
                    spellings.insert(top(n));
            const std::string spelling = spellings.size() == 1 ? top(e) : "";
            if (respelt)
                s[fold(e)] = spelling;
            else if (keys.count(FoldName(keyOf(e))) == 0)
                s.emplace(fold(e), spelling);
        }
        saved = list;
    };
    // The entry the editor took: the list box's caret, which can lag behind the selection (an
    // entry added before the selected one moves the selection, not the caret).
    const auto edit = [&](int at, const std::string& text) {
        Strings was = form->categoriesList->Items(), now = was;
        Edit(at, text);
        now = form->categoriesList->Items();
        if (const auto blank = std::find(now.begin(), now.end(), std::string()); blank != now.end())
            now.erase(blank);
        for (const auto& n : now)
            if (const auto it = std::find(was.begin(), was.end(), n); it != was.end())
                was.erase(it);
        return was.empty() ? std::string() : was.front();
    };
    const auto open = [&] {
        Start({L"anna", L"bert", L"carl"});
        owner.clear();
        list.clear();
        inList = false;
    };
    const auto check = [&](int step) {
        for (const auto& who : people) {
            std::map<std::u16string, std::string> got;
            for (const auto& k : Subkeys(kCats + Widen(who)))
                got[FoldName(k)] =
                    stored[who].count(FoldName(k)) && stored[who][FoldName(k)].empty() ? "" : k;
            ASSERT_EQ(got, stored[who]) << "step " << step << ", recipient " << who;
        }
        Strings shown = form->categoriesList->Items(), model = list;
        std::sort(shown.begin(), shown.end());
        std::sort(model.begin(), model.end());
        ASSERT_EQ(shown, model) << "step " << step;
        ASSERT_TRUE(errors.empty()) << "step " << step << ": " << errors.front();
    };
    open();
    for (int step = 0; step < 150; ++step) {
        TEditListBox& box = *form->categoriesList;
        const bool editable = !owner.empty() && owner != "carl";
        switch (pick(owner.empty() ? 1 : 11)) {
        case 0: { // choose a recipient
            const int who = pick(3);
            if (inList)
                save();
            Choose(who);
            if (list != saved)
                save();
            owner = people[who];
            list.clear();
            for (const auto& k : Subkeys(kCats + Widen(owner)))
                list.push_back(k);
            saved = list;
            inList = false;
            break;
        }
        case 1: // "+"
            if (!editable)
                break;
            {
                const std::string name = pool[pick(int(pool.size()))];
                answers = {name};
                Press(*form->catAdd);
                list.push_back(name);
                break;
            }
        case 2: { // Insert, typing, Enter
            SetFocus(box.Handle());
            inList = true;
            Key(VK_INSERT);
            if (!editable)
                break;
            const std::string name = pool[pick(int(pool.size()))];
            ASSERT_TRUE(test::TypeText(name, form->Handle()));
            Key(VK_RETURN);
            list.push_back(name);
            break;
        }
        case 3: // Insert, Escape: an empty entry
            SetFocus(box.Handle());
            inList = true;
            Key(VK_INSERT);
            Key(VK_ESCAPE);
            if (editable)
                list.push_back("");
            break;
        case 4: // Delete
            if (box.Count() == 0)
                break;
            SetFocus(box.Handle());
            inList = true;
            {
                const int at = pick(box.Count());
                box.SetIndexAndScroll(at);
                const std::string gone = box.Item(at);
                Key(VK_DELETE);
                if (editable)
                    list.erase(std::find(list.begin(), list.end(), gone));
            }
            break;
        case 5: // the focus leaves the list
            if (inList)
                save();
            Leave();
            inList = false;
            break;
        case 6: // close and open again
            SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
            save();
            ASSERT_FALSE(IsWindow(form->Handle()));
            open();
            break;
        case 7: // the session ends with an edit in progress
            if (editable && box.Count() > 0) {
                const std::string before = edit(pick(box.Count()), "Ende");
                list.erase(std::find(list.begin(), list.end(), before));
                list.push_back("Ende");
                inList = true;
            }
            SendMessageW(form->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
            SendMessageW(form->Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
            save();
            open();
            break;
        case 8: // a refused name, corrected at once
            if (!editable)
                break;
            // Stored first, so that the refused name is the only change.
            SetFocus(box.Handle());
            Leave();
            save();
            answers = {std::string(300, 'z')};
            Press(*form->catAdd);
            list.push_back(std::string(300, 'z'));
            SetFocus(box.Handle());
            Leave();
            ASSERT_EQ(errors.size(), 1u) << "step " << step;
            errors.clear();
            check(step); // nothing stored has gone, the entry is still there
            box.Delete(IndexOf(std::string(300, 'z')));
            list.pop_back();
            SetFocus(box.Handle());
            Leave();
            save();
            inList = false;
            break;
        case 10: { // an entry re-spelt in place in another letter case
            if (!editable || box.Count() == 0)
                break;
            const int at = pick(box.Count());
            const auto to = std::find_if(pool.begin(), pool.end(), [&](const std::string& n) {
                return n != box.Item(at) && keyOf(n) == n && fold(n) == fold(box.Item(at));
            });
            if (fold(box.Item(at)).empty() || to == pool.end())
                break;
            const std::string before = edit(at, *to);
            Key(VK_RETURN);
            list.erase(std::find(list.begin(), list.end(), before));
            list.push_back(*to);
            inList = true;
            break;
        }
        case 9: { // another program adds or removes a category meanwhile
            const std::wstring key = kCats + Widen(people[pick(2)]);
            const std::string name = top(pool[pick(int(pool.size()))]);
            auto& model = stored[Narrow(key.substr(kCats.size()))];
            if (pick(2) == 0) {
                test::CreateKey(HKEY_CURRENT_USER, key + L"\\" + Widen(name));
                model.emplace(FoldName(name), name);
                break;
            }
            for (const auto& k : Subkeys(key))
                if (FoldName(k) == FoldName(name))
                    RegDeleteTreeW(HKEY_CURRENT_USER, (key + L"\\" + Widen(k)).c_str());
            model.erase(FoldName(name));
            break;
        }
        }
        check(step);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
} // namespace kes
