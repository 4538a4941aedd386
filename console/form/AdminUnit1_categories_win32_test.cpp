// The category editor on the real window, with real focus and keys, through the real registry
// (HKEY_CURRENT_USER remapped to a scratch key).
#include "console/form/AdminUnit1.h"
#include "console/form/control_ids.h"
#include "console/store/win32_registry.h"
#include "console/testing/test_registry_win32.h"
#include "platform/utf_win32.h"
#include "toolkit/testing/window_test_kit_win32.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <deque>

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
        Services s;
        s.Registry = std::make_shared<Win32Registry>();
        s.ErrorBox = [this](const std::string& t) { errors.push_back(t); };
        s.ShowNotice = [](const std::string&) {};
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
        form = std::make_unique<TQuillard>(std::move(s));
        form->Create(SW_SHOWNORMAL);
        SetForegroundWindow(form->Handle());
        test::PumpUntil([this] { return GetForegroundWindow() == form->Handle(); });
    }
    void TearDown() override { form.reset(); }
    void Pump() { test::PumpPending(form->Handle()); }
    // Real keys, through the form's dialog navigation as Quillard's message loop does.
    void Key(WORD vk) { ASSERT_TRUE(test::PressKey(vk, test::kNoModifier, form->Handle())); }
    // The user picks a recipient: the focus moves to the box, then the selection changes.
    void Choose(int index) {
        SetFocus(form->users->Handle());
        form->users->SetItemIndex(index);
        SendMessageW(form->Panel1->Handle(), WM_COMMAND, MAKEWPARAM(ids::users, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(form->users->Handle()));
    }
    void Press(TSpeedButton& b) { SendMessageW(b.Handle(), BM_CLICK, 0, 0); }

    ComInit com;
    test::ScratchRoots roots;
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

    // Leaving the list stores it: case duplicates once, in the first spelling of the list,
    // "\" nesting, the leading "\" dropped, the empty entry and a lone "\" naming no key.
    std::string firstKunden;
    for (const auto& e : list.Items())
        if (firstKunden.empty() && UpperAscii(e) == "KUNDEN")
            firstKunden = e;
    SetFocus(form->users->Handle());
    EXPECT_EQ(Subkeys(kCats + L"bob"),
              (Strings{firstKunden, "Lead", "Nested", "Privat", "\xC3\x84rger"}));
    EXPECT_EQ(Subkeys(kCats + L"bob\\Nested"), Strings{"Deep"});
    EXPECT_TRUE(errors.empty());
    Choose(0);
    // The list sorts by the platform's collation, which puts the umlaut first.
    EXPECT_EQ(list.Items(), (Strings{"\xC3\x84rger", firstKunden, "Lead", "Nested", "Privat"}));

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

} // namespace
} // namespace kes
