// Repair: what the status found wrong with our own entries, put right where this user may.
// The plan is data, so the window can ask before it starts and the tests can read it.
#include "cleanup/cleanup_core.h"
#include "console/status/status.h"

#include <algorithm>
#include <map>
#include <set>

namespace kes::status {
namespace {

using State = ValueFact::State;
using Action = RepairStep::Action;

const char kOffice[] = "Software\\Microsoft\\Office\\";
constexpr std::uint32_t kSetValue = 0x0002, kCreateSubKey = 0x0004;

// A value as the report shows it, without the reason it cannot be read.
std::string Was(ValueFact v) {
    v.why.clear();
    return Shown(v);
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Error(long code) {
    return code == regcode::AccessDenied ? "access denied / Zugriff verweigert"
                                         : "error / Fehler " + std::to_string(code);
}

RepairStep Tell(std::string what) {
    RepairStep s;
    s.what = std::move(what);
    return s;
}

bool Installed(const StatusFacts& f, const std::string& version) {
    return std::any_of(
        f.outlooks.begin(), f.outlooks.end(),
        [&](const OutlookFact& o) { return o.version == version; });
}

// Whether a list value's data names one of our add-ins, as cleanup matches it.
bool NamesOurs(const std::vector<std::uint8_t>& data) {
    std::u16string units(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    const bool cut = units.size() > cleanup::kValueUnits && units[cleanup::kValueUnits] != 0;
    if (cut)
        units.resize(cleanup::kValueUnits);
    // Raw units: a zero ends the file name, as in cleanup.
    return cleanup::NamesAddIn(std::u16string_view(units), cut);
}

void PlanList(const VersionFact& v, const ListFact& l, const char* list,
              std::vector<RepairStep>& plan) {
    const std::string title = "Outlook " + v.version + " " + list;
    if (l.found == Found::Unreadable)
        plan.push_back(Tell(title + ": cannot be read / nicht lesbar (" + l.why + ")"));
    for (const std::string& name : l.ours) {
        RepairStep s;
        s.action = Action::RemoveListed;
        s.path = kOffice + v.version + "\\Outlook\\Resiliency\\" + list;
        s.name = name;
        s.what = "remove / entfernen \"" + name + "\" from / aus " + title;
        plan.push_back(std::move(s));
    }
}

} // namespace

std::vector<RepairStep> PlanRepair(const StatusFacts& f) {
    std::vector<RepairStep> plan;
    const bool elevated = f.system.elevated.state == State::Number && f.system.elevated.number;
    if (f.outlooks.empty())
        plan.push_back(Tell("no classic Outlook is installed: install it / kein klassisches "
                            "Outlook installiert: es installieren"));
    if (f.newOutlook.useNew.state == State::Number && f.newOutlook.useNew.number != 0)
        plan.push_back(Tell("the new Outlook is in use, which is not changed here: the user "
                            "switches the 'New Outlook' toggle off / das neue Outlook wird "
                            "verwendet, das hier nicht umgestellt wird: der Benutzer schaltet "
                            "den Schalter 'Neues Outlook' aus"));
    for (const AddinsKeyFact& k : f.addinKeys)
        if (k.found == Found::Unreadable)
            plan.push_back(
                Tell(k.where + " Addins: cannot be read / nicht lesbar (" + k.why + ")"));
    if (std::none_of(f.addins.begin(), f.addins.end(),
                     [](const AddinFact& a) { return a.addin == "Kestrova"; }))
        plan.push_back(Tell("Kestrova is not registered: install it again / Kestrova ist nicht "
                            "registriert: neu installieren"));
    for (const AddinFact& a : f.addins) {
        const std::string entry = a.where + " " + a.progId;
        if (a.server.state != State::Text)
            plan.push_back(Tell(entry + ": its server is not registered: install the add-in "
                                        "again / sein Server ist nicht registriert: das Add-In "
                                        "neu installieren"));
        if (a.loadBehavior.state == State::Number && a.loadBehavior.number == 3)
            continue;
        RepairStep s;
        s.action = Action::SetLoadBehavior;
        s.root = a.root;
        s.view = a.view;
        s.path = kOffice + std::string("Outlook\\Addins\\") + a.progId;
        s.name = "LoadBehavior";
        s.what =
            "LoadBehavior 3 for / f\xC3\xBCr " + entry + " (was / war " + Was(a.loadBehavior) + ")";
        s.needsAdmin = a.root == RootKey::LocalMachine && !elevated;
        plan.push_back(std::move(s));
    }
    for (const VersionFact& v : f.versions) {
        PlanList(v, v.disabled, "DisabledItems", plan);
        PlanList(v, v.crashing, "CrashingAddinList", plan);
    }
    // Outlook keeps these off its automatic switching-off; they prevent, they block nothing.
    for (const VersionFact& v : f.versions) {
        if (!Installed(f, v.version))
            continue;
        std::set<std::string> done;
        for (const ProgIdValue& p : v.doNotDisable) {
            if (!done.insert(Lower(p.progId)).second ||
                (p.value.state == State::Number && p.value.number == 1))
                continue;
            RepairStep s;
            s.action = Action::AddDoNotDisable;
            s.path = kOffice + v.version + "\\Outlook\\Resiliency\\DoNotDisableAddinList";
            s.name = p.progId;
            s.what = "Outlook " + v.version + " DoNotDisableAddinList " + p.progId +
                     " = 1 (was / war " + Was(p.value) + ")";
            s.blocks = false;
            plan.push_back(std::move(s));
        }
    }
    return plan;
}

bool ChangesAnything(const std::vector<RepairStep>& plan) {
    return std::any_of(
        plan.begin(), plan.end(),
        [](const RepairStep& s) { return s.action != Action::Tell && !s.needsAdmin; });
}

std::vector<std::string> PlanLines(const std::vector<RepairStep>& plan) {
    std::vector<std::string> lines;
    for (const RepairStep& s : plan)
        lines.push_back(s.action == Action::Tell ? "cannot be changed here / hier nicht "
                                                   "\xC3\xA4nderbar: " +
                                                       s.what
                        : s.needsAdmin ? "needs an administrator / braucht einen "
                                         "Administrator: " +
                                             s.what
                                       : "change / \xC3\xA4ndern: " + s.what);
    return lines;
}

RepairResult ApplyRepair(RegistryBackend& reg, StatusSource& source,
                         const std::vector<RepairStep>& plan) {
    RepairResult r;
    // Each list read again once, just before its entries are removed.
    std::map<std::string, std::pair<long, std::vector<NamedValue>>> lists;
    const auto failed = [&r](const RepairStep& s, long code) {
        ++r.failed;
        r.lines.push_back("not changed / nicht ge\xC3\xA4ndert (" + Error(code) +
                          (code == regcode::AccessDenied && s.root == RootKey::LocalMachine
                               ? ", needs an administrator / braucht einen Administrator"
                               : "") +
                          "): " + s.what);
    };
    for (const RepairStep& s : plan) {
        if (s.action == Action::Tell) {
            r.lines.push_back("left / bleibt: " + s.what);
            continue;
        }
        if (s.needsAdmin) {
            r.lines.push_back("needs an administrator / braucht einen Administrator: " + s.what);
            continue;
        }
        long rc = regcode::Success;
        if (s.action == Action::RemoveListed) {
            auto it = lists.find(s.path);
            if (it == lists.end()) {
                it = lists.emplace(s.path, std::pair<long, std::vector<NamedValue>>{}).first;
                it->second.first = source.ListValues(s.root, s.view, s.path, it->second.second);
            }
            const auto& values = it->second.second;
            const auto v = std::find_if(values.begin(), values.end(),
                                        [&s](const NamedValue& n) { return n.name == s.name; });
            if (it->second.first != regcode::Success && it->second.first != regcode::FileNotFound)
                rc = it->second.first;
            else if (v == values.end()) {
                r.lines.push_back("gone meanwhile / inzwischen fort: " + s.what);
                continue;
            } else if (v->error != 0 || !NamesOurs(v->data)) {
                r.lines.push_back("changed meanwhile, left / inzwischen ge\xC3\xA4ndert, "
                                  "belassen: " +
                                  s.what);
                continue;
            } else {
                rc = source.DeleteValue(s.root, s.view, s.path, s.name);
            }
        } else {
            // LoadBehavior only where the entry still is; the list key is made when missing.
            const bool create = s.action == Action::AddDoNotDisable;
            RegKey key = 0;
            rc = reg.OpenKey(RootHandle(s.root), s.path,
                             kSetValue | (create ? kCreateSubKey : 0) |
                                 static_cast<std::uint32_t>(s.view),
                             create, key);
            if (rc == regcode::Success) {
                const std::uint32_t value = s.action == Action::SetLoadBehavior ? 3 : 1;
                rc = reg.SetValue(key, s.name, regtype::Dword, {std::uint8_t(value), 0, 0, 0});
                reg.CloseKey(key);
            }
        }
        if (rc == regcode::Success)
            r.lines.push_back("changed / ge\xC3\xA4ndert: " + s.what);
        else
            failed(s, rc);
    }
    return r;
}

} // namespace kes::status
