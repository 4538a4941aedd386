// The per-recipient category editor: users chooses the recipient, categoriesList holds its
// categories, catAdd and catDel beside it. The list is stored when the focus leaves it, when
// the window closes, and before another recipient's list replaces one with unsaved changes.
// A recipient's list is read on a worker and shown in steps (thousands of keys take seconds
// under Wine); until it is whole it holds nothing of the user's, so it is never stored.
#include "console/form/AdminUnit1.h"
#include "console/store/kestrova_layout.h"
#include "console/store/settings_store.h"

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace kes {
namespace {

const char kCatAddName[] = "Add category / Kategorie hinzuf\xC3\xBCgen";
const char kCatDelName[] = "Delete category / Kategorie l\xC3\xB6schen";
const char kReading[] = "Reading categories ... / Kategorien werden gelesen ...";

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

// The category key a key path starts with.
std::string TopOf(const std::string& keyPath) {
    return keyPath.substr(0, keyPath.find('\\'));
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
    // A list still being filled is dropped: part of what is stored would read as removed.
    if (!categoriesList->Filling() && !categoriesOwner_.empty() && !categoriesReadOnly_ &&
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
    categoriesList->SetEnabled(true);
    // Nothing is added before the list holds what is stored.
    catAdd->SetEnabled(false);
    categoriesOwner_ = user;
    // Nothing is loaded yet: should a save ever reach a list still filling, it would only add.
    storedCategories_.clear();
    auto writable = std::make_shared<bool>(true);
    // Read on the list's worker: the Windows registry may be used from any thread; the in-memory
    // tree of tests is not, so those wait for the list before they touch the store again.
    categoriesList->FillInBackground(
        [registry = services_.Registry, path = CategoriesKey(user), writable] {
            std::vector<std::string> names;
            // Read with read access only: what is stored is shown even where it cannot be
            // changed.
            SettingsStore reg(*registry);
            reg.SetAccess(kKeyRead);
            if (reg.Open(path, false)) {
                reg.ListChildren(names);
                SettingsStore full(*registry);
                *writable = full.Open(path, false);
            }
            // A key added or removed by another program during the enumeration can have
            // another listed twice.
            std::set<std::string> seen;
            names.erase(
                std::remove_if(names.begin(), names.end(),
                               [&seen](const std::string& n) { return !seen.insert(n).second; }),
                names.end());
            return names;
        },
        [this, user, writable](const std::vector<std::string>& shown, const std::string& error) {
            storedCategories_ = shown;
            SetCategoriesReadOnly(!*writable);
            if (!error.empty())
                throw StoreError(error);
            if (!*writable)
                services_.ShowNotice("The categories of '" + user +
                                     "' can only be read here; changes could not be stored. / Die "
                                     "Kategorien von '" +
                                     user +
                                     "' k\xC3\xB6nnen hier nur gelesen werden; \xC3\x84nderungen "
                                     "lie\xC3\x9F"
                                     "en sich nicht speichern.");
        },
        kReading);
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
    // empty name would reach every recipient's key); a read-only one holds no changes, nor does
    // one still being filled.
    if (!categoriesOwner_.empty() && !categoriesReadOnly_ && !categoriesList->Filling())
        SaveCategoriesFor(categoriesOwner_);
}

void TQuillard::SaveCategoriesFor(const std::string& user) {
    const std::vector<std::string> entries = categoriesList->Items();
    // Nothing changed here: nothing is written, so what others changed meanwhile stays.
    if (entries == storedCategories_)
        return;
    const std::string path = CategoriesKey(user);
    SettingsStore reg(*services_.Registry);
    if (!reg.Open(path, true))
        throw StoreError("Erzeugung von Schl\xC3\xBCssel " + path.substr(1) + " misslungen");

    // The save is a merge against the list as loaded: only what the user added, removed or
    // re-spelt is written; whatever others stored or removed meanwhile is kept. Names compare
    // as the registry compares them.
    using Names = std::map<std::string, std::string, NameOrder>; // a name -> its spelling
    const NameOrder order(*services_.Registry);
    Names loadedTops(order), tops(order), stored(order);
    std::set<std::string, NameOrder> loadedKeys(order), addedKeys(order);
    for (const auto& entry : storedCategories_) {
        const std::string key = CategoryKeyPath(entry);
        if (!key.empty()) {
            loadedKeys.insert(key);
            loadedTops.emplace(TopOf(key), TopOf(key));
        }
    }
    std::vector<std::string> added;
    std::set<std::string> spellings; // every category as the list spells it
    for (const auto& entry : entries) {
        const std::string key = CategoryKeyPath(entry);
        // An empty entry (a cleared edit, Insert then Escape) names no category.
        if (key.empty())
            continue;
        tops.emplace(TopOf(key), TopOf(key)); // spelt as its first entry is
        spellings.insert(TopOf(key));
        if (loadedKeys.count(key) == 0 && addedKeys.insert(key).second)
            added.push_back(key);
    }
    // Categories the list still spells as loaded; the others of the loaded ones were re-spelt.
    std::set<std::string, NameOrder> kept(order);
    for (const auto& entry : storedCategories_)
        if (spellings.count(TopOf(CategoryKeyPath(entry))) != 0)
            kept.insert(TopOf(CategoryKeyPath(entry)));
    std::vector<std::string> now;
    reg.ListChildren(now);
    for (const auto& name : now)
        stored.emplace(name, name);

    // First everything the user added or re-spelt exists, and only then goes what the user
    // removed: the add-in, reading meanwhile, never misses a category that stays, and a refused
    // name stops the save with every stored category still in place. Kept keys are not
    // touched, so what is below them stays; a change of letter case renames the key (a mere
    // duplicate in another case, the loaded spelling still listed, changes nothing).
    for (const auto& [name, spelling] : tops) {
        const auto was = loadedTops.find(name);
        const bool respelt = was != loadedTops.end() && kept.count(name) == 0;
        if (was != loadedTops.end() && !respelt)
            continue;
        const auto it = stored.find(name);
        if (it == stored.end())
            reg.AddChild(spelling);
        else if (respelt && it->second != spelling)
            reg.RenameChild(it->second, spelling); // refused: the old spelling stays stored
    }
    for (const auto& key : added)
        if (key.size() != TopOf(key).size())
            reg.AddChild(key);
    std::string stuck;
    for (const auto& [name, spelling] : loadedTops) {
        const auto it = stored.find(name);
        if (tops.count(name) == 0 && it != stored.end() && !reg.RemoveChild(it->second))
            stuck += (stuck.empty() ? "" : ", ") + it->second;
    }
    reg.Close();
    storedCategories_ = entries;
    if (!stuck.empty())
        throw StoreError("L\xC3\xB6schen von Schl\xC3\xBCssel " + stuck + " misslungen");
}

void TQuillard::catAddClick(TComponent*) {
    if (categoriesList->Filling())
        return;
    const std::string name = services_.PromptText("Please put a categoriename in", "category:", "");
    if (!name.empty())
        categoriesList->AddItem(name);
}

void TQuillard::catDelClick(TComponent*) {
    if (categoriesList->Filling())
        return;
    const int at = categoriesList->ItemIndex();
    if (at >= 0)
        categoriesList->Delete(at);
    catDel->SetEnabled(categoriesList->Count() > 0);
}

void TQuillard::categoriesListSelChange(TComponent*, int) {
    catDel->SetEnabled(categoriesList->Count() > 0);
}

} // namespace kes
