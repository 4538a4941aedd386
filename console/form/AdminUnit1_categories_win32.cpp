// The per-recipient category editor: users chooses the recipient, categoriesList holds its
// categories, catAdd and catDel beside it. The list is stored when the focus leaves it, when
// the window closes, and before another recipient's list replaces one with unsaved changes.
#include "console/form/AdminUnit1.h"
#include "console/store/kestrova_layout.h"
#include "console/store/settings_store.h"

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
    if (reg.Open(std::string(layout::kUserCategories) + "\\" + user, false)) {
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
    if (!reg.Open(std::string(layout::kUserCategories) + "\\" + user, true))
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
