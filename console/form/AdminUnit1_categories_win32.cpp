// The per-recipient category editor: users chooses the recipient, categoriesList holds its
// categories, catAdd and catDel beside it. The list is stored when the focus leaves it, when
// the window closes, and before another recipient's list replaces one with unsaved changes.
#include "console/form/AdminUnit1.h"
#include "console/store/kestrova_layout.h"
#include "console/store/memory_registry.h"
#include "console/store/settings_store.h"

#include <map>
#include <set>

namespace kes {
namespace {

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

// The key whose subkeys are the recipient's categories.
std::string CategoriesKey(const std::string& user) {
    return std::string(layout::kUserCategories) + "\\" + user;
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
    catAdd->SetAccessibleName(kCatAddName);
    catDel->SetAccessibleName(kCatDelName);
    catAdd->OnClick = [this](TComponent* s) { catAddClick(s); };
    catDel->OnClick = [this](TComponent* s) { catDelClick(s); };
}

void TQuillard::usersChange(TComponent*) {
    // An edit still open belongs to the recipient shown so far (the selection can change
    // without the focus leaving the editor): put it back, then store it under that recipient.
    categoriesList->EndEdit();
    if (!categoriesOwner_.empty() && !categoriesReadOnly_ &&
        categoriesList->Items() != storedCategories_) {
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
    LoadCategories(users->Text());
}

void TQuillard::LoadCategories(const std::string& user) {
    catAdd->SetEnabled(true);
    categoriesList->SetEnabled(true);
    categoriesList->Clear();
    const std::string path = CategoriesKey(user);
    std::vector<std::string> names;
    bool stored = false, writable = true;
    {
        // Read with read access only: what is stored is shown even where it cannot be changed.
        SettingsStore reg(*services_.Registry);
        reg.SetAccess(kKeyRead);
        stored = reg.Open(path, false);
        reg.ListChildren(names);
    }
    if (stored) {
        SettingsStore reg(*services_.Registry);
        writable = reg.Open(path, false);
    }
    categoriesList->AddItems(names);
    categoriesOwner_ = user;
    storedCategories_ = categoriesList->Items();
    SetCategoriesReadOnly(!writable);
    if (!writable)
        services_.ShowNotice("The categories of '" + user +
                             "' can only be read here; changes could not be stored. / Die "
                             "Kategorien von '" +
                             user +
                             "' k\xC3\xB6nnen hier nur gelesen werden; \xC3\x84nderungen "
                             "lie\xC3\x9F"
                             "en sich nicht speichern.");
}

void TQuillard::SetCategoriesReadOnly(bool on) {
    categoriesReadOnly_ = on;
    categoriesList->SetAllowEdit(!on);
    categoriesList->AutoInsert = !on;
    categoriesList->AutoDelete = !on;
    catAdd->SetEnabled(!on);
    if (on)
        catDel->SetEnabled(false);
}

void TQuillard::categoriesListExit(TComponent*) {
    SaveCategories();
}

void TQuillard::SaveCategories() {
    // The list belongs to the recipient it was loaded for (none: it was never enabled, and an
    // empty name would reach every recipient's key); a read-only one holds no changes.
    if (!categoriesOwner_.empty() && !categoriesReadOnly_)
        SaveCategoriesFor(categoriesOwner_);
}

void TQuillard::SaveCategoriesFor(const std::string& user) {
    const std::vector<std::string> entries = categoriesList->Items();
    const std::string path = CategoriesKey(user);
    SettingsStore reg(*services_.Registry);
    if (!reg.Open(path, true)) {
        // Nothing to lose when the list is what was loaded; otherwise the user must know.
        if (user == categoriesOwner_ && entries == storedCategories_)
            return;
        throw StoreError("Erzeugung von Schl\xC3\xBCssel " + path.substr(1) + " misslungen");
    }
    std::vector<std::string> old;
    reg.ListChildren(old);
    std::map<std::u16string, std::size_t> stored;
    for (std::size_t i = 0; i < old.size(); ++i)
        stored.emplace(FoldName(old[i]), i);

    // The keys the list names: one per first path component, spelt as its first entry is.
    std::set<std::u16string> wanted;
    std::vector<std::string> tops, nested;
    for (const auto& entry : entries) {
        const std::string key = CategoryKeyPath(entry);
        // An empty entry (a cleared edit, Insert then Escape) names no category.
        if (key.empty())
            continue;
        const std::string top = key.substr(0, key.find('\\'));
        if (wanted.insert(FoldName(top)).second)
            tops.push_back(top);
        if (top.size() != key.size())
            nested.push_back(key);
    }
    // First everything the list holds exists, and only then goes what the user removed: the
    // add-in, reading meanwhile, never misses a category that stays, and a refused name
    // stops the save with every stored category still in place. Kept keys are not touched,
    // so what is below them stays; a change of letter case renames the key.
    for (const auto& top : tops) {
        const auto it = stored.find(FoldName(top));
        if (it == stored.end())
            reg.AddChild(top);
        else if (old[it->second] != top)
            reg.RenameChild(old[it->second], top); // refused: the old spelling stays stored
    }
    for (const auto& key : nested)
        reg.AddChild(key);
    std::string stuck;
    for (const auto& name : old)
        if (wanted.count(FoldName(name)) == 0 && !reg.RemoveChild(name))
            stuck += (stuck.empty() ? "" : ", ") + name;
    reg.Close();
    if (user == categoriesOwner_)
        storedCategories_ = entries;
    if (!stuck.empty())
        throw StoreError("L\xC3\xB6schen von Schl\xC3\xBCssel " + stuck + " misslungen");
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
