// The per-recipient category editor: users chooses the recipient, categoriesList holds its
// categories, catAdd and catDel beside it. The list is stored when the focus leaves it, when
// the window closes, and before another recipient's list replaces one with unsaved changes.
#include "console/form/AdminUnit1.h"
#include "console/store/settings_store.h"
#include "platform/utf_win32.h"

#include <oleacc.h>

namespace kes {
namespace {

const char kUserCategories[] = "\\Software\\Varnholt\\Kestrova\\UserCategories\\";
const char kCatAddName[] = "Add category / Kategorie hinzuf\xC3\xBCgen";
const char kCatDelName[] = "Delete category / Kategorie l\xC3\xB6schen";

// A category's key path: a "\" separates nested keys, and empty components (a leading "\",
// doubled or trailing ones) name no key. The registry refuses a leading "\" and skips the
// others; dropping them all stores "\Privat" as "Privat" instead of failing the whole save.
std::string CategoryKeyPath(const std::string& name) {
    std::string out, part;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '\\') {
            if (!part.empty())
                out += (out.empty() ? "" : "\\") + part;
            part.clear();
        } else {
            part += name[i];
        }
    }
    return out;
}

// The glyph-only speed buttons have no text of their own, so a screen reader would announce
// two nameless buttons: their client object is the standard one with a name.
class NamedAccessible : public IAccessible {
public:
    NamedAccessible(IAccessible* inner, std::wstring name)
        : inner_(inner), name_(std::move(name)) {}
    virtual ~NamedAccessible() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) ||
            iid == __uuidof(IAccessible)) {
            *out = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const long left = --refs_;
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        return inner_->GetTypeInfoCount(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID l, ITypeInfo** t) override {
        return inner_->GetTypeInfo(i, l, t);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID r, LPOLESTR* n, UINT c, LCID l,
                                            DISPID* d) override {
        return inner_->GetIDsOfNames(r, n, c, l, d);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v,
                                     EXCEPINFO* e, UINT* a) override {
        return inner_->Invoke(d, r, l, f, p, v, e, a);
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!name)
            return E_POINTER;
        if (child.vt == VT_I4 && child.lVal == CHILDID_SELF) {
            *name = SysAllocString(name_.c_str());
            return *name ? S_OK : E_OUTOFMEMORY;
        }
        return inner_->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** p) override {
        return inner_->get_accParent(p);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override {
        return inner_->get_accChildCount(n);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT c, IDispatch** p) override {
        return inner_->get_accChild(c, p);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT c, BSTR* v) override {
        return inner_->get_accValue(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT c, BSTR* v) override {
        return inner_->get_accDescription(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT c, VARIANT* v) override {
        // A push button, whatever the standard object makes of an unknown class.
        if (c.vt == VT_I4 && c.lVal == CHILDID_SELF && v) {
            v->vt = VT_I4;
            v->lVal = ROLE_SYSTEM_PUSHBUTTON;
            return S_OK;
        }
        return inner_->get_accRole(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT c, VARIANT* v) override {
        return inner_->get_accState(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT c, BSTR* v) override {
        return inner_->get_accHelp(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* f, VARIANT c, long* t) override {
        return inner_->get_accHelpTopic(f, c, t);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT c, BSTR* v) override {
        return inner_->get_accKeyboardShortcut(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* v) override { return inner_->get_accFocus(v); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* v) override {
        return inner_->get_accSelection(v);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT c, BSTR* v) override {
        return inner_->get_accDefaultAction(c, v);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long f, VARIANT c) override {
        return inner_->accSelect(f, c);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT c) override {
        return inner_->accLocation(x, y, w, h, c);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long d, VARIANT s, VARIANT* e) override {
        return inner_->accNavigate(d, s, e);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* c) override {
        return inner_->accHitTest(x, y, c);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT c) override {
        return inner_->accDoDefaultAction(c);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT c, BSTR v) override {
        return inner_->put_accName(c, v);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT c, BSTR v) override {
        return inner_->put_accValue(c, v);
    }

private:
    long refs_ = 1;
    ComPtr<IAccessible> inner_;
    std::wstring name_;
};

LRESULT CALLBACK NamedButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                 DWORD_PTR ref) {
    if (msg == WM_GETOBJECT && static_cast<long>(lp) == OBJID_CLIENT) {
        ComPtr<IAccessible> standard;
        if (SUCCEEDED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                                standard.PutVoid()))) {
            ComPtr<IAccessible> named(
                new NamedAccessible(standard.Release(), Widen(reinterpret_cast<const char*>(ref))));
            return LresultFromObject(__uuidof(IAccessible), wp, named.Get());
        }
    }
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, NamedButtonProc, id);
    return DefSubclassProc(hwnd, msg, wp, lp);
}

void GiveAccessibleName(TWinControl& control, const char* name) {
    SetWindowSubclass(control.Handle(), NamedButtonProc, 1, reinterpret_cast<DWORD_PTR>(name));
}

} // namespace

void TQuillard::CreateCategoryEditor(HWND parent, int id) {
    categoriesList = std::make_unique<TEditListBox>(this, "categoriesList", parent,
                                                    Bounds{344, 248, 217, 65}, id, true);
    categoriesList->AutoInsert = true;
    categoriesList->AutoDelete = true;
    categoriesList->SetAllowEdit(true);
    categoriesList->SetScrollWidth(17);
    categoriesList->OnSelChange = [this](TComponent* s, int i) { categoriesListSelChange(s, i); };
    categoriesList->OnExit = [this](TComponent* s) { categoriesListExit(s); };
}

void TQuillard::WireCategoryEditor() {
    GiveAccessibleName(*catAdd, kCatAddName);
    GiveAccessibleName(*catDel, kCatDelName);
    catAdd->OnClick = [this](TComponent* s) { catAddClick(s); };
    catDel->OnClick = [this](TComponent* s) { catDelClick(s); };
}

void TQuillard::usersChange(TComponent*) {
    // Typed and not yet stored (a "+" while the focus was elsewhere): stored under the
    // recipient it belongs to before the next one is shown.
    if (!categoriesOwner_.empty() && categoriesList->Items() != storedCategories_) {
        try {
            SaveCategoriesFor(categoriesOwner_);
        } catch (...) {
            // Shown again with its recipient, so nothing is lost and a later save goes to it.
            for (int i = 0; i < users->Count(); ++i)
                if (users->Item(i) == categoriesOwner_)
                    users->SetItemIndex(i);
            throw;
        }
    }
    catAdd->SetEnabled(true);
    categoriesList->SetEnabled(true);
    categoriesList->Clear();
    SettingsStore reg(*services_.Registry);
    std::vector<std::string> names;
    const std::string user = users->Text();
    if (reg.Open(kUserCategories + user, false)) {
        reg.ListChildren(names);
        for (const auto& name : names)
            categoriesList->AddItem(name);
    }
    reg.Close();
    categoriesOwner_ = user;
    storedCategories_ = categoriesList->Items();
}

void TQuillard::categoriesListExit(TComponent*) {
    SaveCategories();
}

void TQuillard::SaveCategories() {
    SaveCategoriesFor(users->Text());
}

void TQuillard::SaveCategoriesFor(const std::string& user) {
    SettingsStore reg(*services_.Registry);
    std::vector<std::string> old;
    if (!reg.Open(kUserCategories + user, true))
        return;
    reg.ListChildren(old);
    for (const auto& name : old)
        reg.RemoveChild(name);
    const std::vector<std::string> entries = categoriesList->Items();
    for (const auto& entry : entries) {
        const std::string path = CategoryKeyPath(entry);
        // An empty entry (a cleared edit, Insert then Escape) names no category.
        if (!path.empty())
            reg.AddChild(path);
    }
    reg.Close();
    if (user == categoriesOwner_)
        storedCategories_ = entries;
}

void TQuillard::catAddClick(TComponent*) {
    const std::string name = services_.PromptText("Please put a categoriename in", "category:", "");
    if (!name.empty())
        categoriesList->AddItem(name);
}

void TQuillard::catDelClick(TComponent*) {
    const int at = categoriesList->ItemIndex();
    if (at >= 0)
        categoriesList->Delete(at);
    catDel->SetEnabled(categoriesList->Count() > 0);
}

void TQuillard::categoriesListSelChange(TComponent*, int) {
    catDel->SetEnabled(categoriesList->Count() > 0);
}

} // namespace kes
