// The status report: what was found, said plainly, and for the known causes of trouble one
// hint of what to do. English first, German after a slash, as the console's texts are.
#include "console/status/status.h"

#include <algorithm>
#include <iterator>

namespace kes::status {
namespace {

using State = ValueFact::State;

const char kYes[] = "yes / ja";
const char kNo[] = "no / nein";
const char kNotSet[] = "not set / nicht gesetzt";
const char kCannotRead[] = "cannot be read / nicht lesbar";
const char kHint[] = "    Hint / Hinweis: ";
const char kAccessDenied[] = "access denied / Zugriff verweigert";
const char kRunCleanup[] = "run cleanup / cleanup ausf\xC3\xBChren";

class Report {
public:
    void Line(std::string text) { lines_.push_back(std::move(text)); }
    void Item(std::string text) { lines_.push_back("  " + std::move(text)); }
    void Hint(const std::string& text) { lines_.push_back(kHint + text); }
    void Section(const std::string& title) {
        lines_.emplace_back();
        lines_.push_back(title);
    }
    std::vector<std::string> Take() { return std::move(lines_); }

private:
    std::vector<std::string> lines_;
};

std::string CannotRead(const std::string& why) {
    return why.empty() ? kCannotRead : std::string(kCannotRead) + " (" + why + ")";
}

std::string ViewName(RegView view) {
    return view == RegView::Bits32 ? "32-bit view / 32-Bit-Ansicht"
                                   : "64-bit view / 64-Bit-Ansicht";
}

std::string Bits(int bits) {
    return std::to_string(bits) + "-bit / " + std::to_string(bits) + "-Bit";
}

std::string Switch(const ValueFact& v) {
    if (v.state != State::Number)
        return Shown(v);
    return (v.number != 0 ? "on / ein (" : "off / aus (") + std::to_string(v.number) + ")";
}

// What Outlook makes of a LoadBehavior.
std::string LoadBehaviorMeaning(std::uint32_t n) {
    switch (n) {
    case 0:
        return "not loaded, not at start-up / nicht geladen, nicht beim Start";
    case 1:
        return "loaded, not at start-up / geladen, nicht beim Start";
    case 2:
        return "not loaded: Outlook switched it off / nicht geladen: von Outlook abgeschaltet";
    case 3:
        return "loaded at start-up / beim Start geladen";
    case 8:
        return "loaded on demand only / nur bei Bedarf geladen";
    case 9:
        return "loaded on demand / bei Bedarf geladen";
    case 16:
        return "loaded once at the first start, then on demand / einmal beim ersten Start "
               "geladen, dann bei Bedarf";
    default:
        return "unknown / unbekannt";
    }
}

void System(Report& r, const SystemFacts& s) {
    r.Line("Add-in status / Add-In-Status");
    r.Section("Console / Konsole");
    r.Item("Quillard " + s.consoleVersion + ", " + Bits(s.consoleBits));
    r.Item(s.windowsVersion.empty() ? std::string("Windows: ") + kCannotRead
                                    : "Windows " + s.windowsVersion + ", " + Bits(s.windowsBits));
    r.Item(std::string("Elevated / Mit erh\xC3\xB6hten Rechten: ") +
           (s.elevated.state == State::Number ? (s.elevated.number ? kYes : kNo)
                                              : CannotRead(s.elevated.why)));
}

void Outlooks(Report& r, const StatusFacts& f) {
    r.Section("Outlook");
    if (f.outlooks.empty())
        r.Item("No Outlook found / Kein Outlook gefunden");
    for (std::size_t i = 0; i < f.outlooks.size(); ++i) {
        const OutlookFact& o = f.outlooks[i];
        std::string line = "Outlook " + o.version +
                           (o.clickToRun ? " (Click-to-Run / Klick-und-Los)" : " (MSI)") + ", " +
                           ViewName(o.view) + ": ";
        if (o.bitness.state == State::Text)
            line += o.bitness.text;
        else if (o.bitness.state == State::Missing)
            line += o.version < "14.0"
                        ? "32-bit only / nur 32-Bit"
                        : (o.clickToRun ? "Platform " : "Bitness ") + std::string(kNotSet);
        else
            line += CannotRead(o.bitness.why);
        if (static_cast<int>(i) == f.decider)
            line += "; decides the lock's view / bestimmt die Ansicht der Sperre";
        r.Item(line);
    }
    r.Item("The add-in reads the lock in the / Das Add-In liest die Sperre in der " +
           ViewName(f.lockView) + (f.decider < 0 ? " (the machine's own / die des Rechners)" : ""));
}

bool NewOutlookInUse(const NewOutlookFact& n) {
    return n.useNew.state == State::Number && n.useNew.number != 0;
}

void NewOutlook(Report& r, const StatusFacts& f) {
    const NewOutlookFact& n = f.newOutlook;
    const bool office16 = std::any_of(f.outlooks.begin(), f.outlooks.end(),
                                      [](const OutlookFact& o) { return o.version == "16.0"; });
    const ValueFact* values[] = {&n.useNew, &n.hideToggle, &n.autoMigration, &n.policy};
    if (!office16 && std::all_of(std::begin(values), std::end(values),
                                 [](const ValueFact* v) { return v->state == State::Missing; }))
        return;
    r.Section("New Outlook for Windows / Neues Outlook f\xC3\xBCr Windows");
    const bool inUse = NewOutlookInUse(n);
    r.Item(std::string("Outlook in use / Verwendetes Outlook: ") +
           (inUse ? "the new Outlook / das neue Outlook"
            : n.useNew.state == State::Unreadable
                ? "unknown / unbekannt"
                : "the classic Outlook / das klassische Outlook") +
           " (UseNewOutlook " + Shown(n.useNew) + ")");
    const bool hidden = n.hideToggle.state == State::Number && n.hideToggle.number == 1;
    r.Item(std::string("Toggle 'New Outlook' / Schalter 'Neues Outlook': ") +
           (hidden ? "hidden / ausgeblendet" : "shown / angezeigt") + " (HideNewOutlookToggle " +
           Shown(n.hideToggle) + ")");
    const bool noMigration = n.autoMigration.state == State::Number && n.autoMigration.number == 0;
    r.Item(std::string("Automatic migration / Automatische Umstellung: ") +
           (noMigration ? "off / aus" : "not prevented / nicht verhindert") +
           " (DoNewOutlookAutoMigration " + Shown(n.autoMigration) + ")");
    r.Item(std::string("Migration policy / Umstellungsrichtlinie: ") +
           (n.policy.state == State::Missing ? kNotSet : "set / gesetzt, ") +
           (n.policy.state == State::Missing
                ? ""
                : "NewOutlookMigrationUserSetting " + Shown(n.policy)));
    if (inUse) {
        r.Hint("Kestrova runs only in the classic Outlook: switch the 'New Outlook' toggle in "
               "the new Outlook's title bar off / Kestrova l\xC3\xA4uft nur im klassischen "
               "Outlook: den Schalter 'Neues Outlook' in der Titelleiste des neuen Outlook "
               "ausschalten");
        r.Hint("administrators keep users on the classic Outlook by policy: HideNewOutlookToggle "
               "1 and DoNewOutlookAutoMigration 0 below HKCU\\Software\\Microsoft\\Office\\"
               "16.0\\Outlook\\Options\\General, NewOutlookMigrationUserSetting below "
               "HKCU\\Software\\Policies\\Microsoft\\Office\\16.0\\Outlook\\Preferences / "
               "Administratoren halten Benutzer per Richtlinie beim klassischen Outlook: "
               "HideNewOutlookToggle 1 und DoNewOutlookAutoMigration 0 unter ...\\Options\\"
               "General, NewOutlookMigrationUserSetting unter ...\\Policies\\...\\Preferences");
    }
}

void Addins(Report& r, const StatusFacts& f) {
    r.Section("Add-in registrations / Add-In-Registrierungen");
    for (const AddinsKeyFact& k : f.addinKeys)
        if (k.found == Found::Unreadable)
            r.Item(k.where + " Addins: " + CannotRead(k.why));
    if (f.addins.empty()) {
        r.Item("Kestrova is not registered for Outlook / Kestrova ist nicht f\xC3\xBCr Outlook "
               "registriert");
        r.Hint("install the add-in again / das Add-In neu installieren");
    }
    for (const AddinFact& a : f.addins) {
        r.Item(a.addin + ": " + a.where + " " + a.progId + ", FriendlyName " +
               Shown(a.friendlyName) + ", server / Server " +
               (a.server.state == State::Text ? a.server.text : CannotRead(a.server.why)));
        const ValueFact& lb = a.loadBehavior;
        r.Item("  LoadBehavior " + Shown(lb) +
               (lb.state == State::Number ? " = " + LoadBehaviorMeaning(lb.number) : ""));
        if (lb.state == State::Unreadable && lb.why == kAccessDenied)
            r.Hint("this user may not read the entry: it needs the right to read (Read) for "
                   "this user / dieser Benutzer darf den Eintrag nicht lesen: er braucht das "
                   "Leserecht (Lesen) f\xC3\xBCr diesen Benutzer");
        else if (lb.state != State::Number || lb.number != 3)
            r.Hint("set LoadBehavior to 3 (Outlook: File > Options > Add-ins > COM Add-ins) / "
                   "LoadBehavior auf 3 setzen (Outlook: Datei > Optionen > Add-Ins > "
                   "COM-Add-Ins)");
        if (a.server.state != State::Text)
            r.Hint("install the add-in again / das Add-In neu installieren");
    }
    std::size_t others = 0, unresolved = 0;
    for (const AddinsKeyFact& k : f.addinKeys) {
        others += k.others;
        unresolved += k.unresolved;
    }
    r.Item("Other add-ins / Andere Add-Ins: " + std::to_string(others) +
           (unresolved ? ", " + std::to_string(unresolved) +
                             " without a server that can be found / ohne auffindbaren Server"
                       : ""));
}

std::string Names(const std::vector<std::string>& names) {
    std::string s;
    for (const std::string& n : names)
        s += (s.empty() ? "\"" : ", \"") + n + "\"";
    return s;
}

void List(Report& r, const char* title, const ListFact& l, const char* hint) {
    std::string line = std::string(title) + ": ";
    if (l.found == Found::Unreadable)
        line += CannotRead(l.why);
    else if (l.ours.empty())
        line += "none of ours / keiner von unseren";
    else
        line += std::to_string(l.ours.size()) + " of ours / von unseren: " + Names(l.ours);
    if (l.unreadable)
        line += "; " + std::to_string(l.unreadable) + " values / Werte " + kCannotRead;
    r.Item(line);
    if (!l.ours.empty())
        r.Hint(hint);
}

void Versions(Report& r, const StatusFacts& f) {
    for (const VersionFact& v : f.versions) {
        r.Section("Outlook " + v.version + " resiliency / Ausfallsicherheit");
        List(r, "Disabled items / Deaktivierte Elemente", v.disabled, kRunCleanup);
        List(r, "CrashingAddinList", v.crashing,
             "close Outlook, run cleanup and start Outlook again / Outlook schlie\xC3\x9F"
             "en, cleanup ausf\xC3\xBChren und Outlook neu starten");
        for (const ProgIdValue& p : v.doNotDisable)
            r.Item("DoNotDisableAddinList " + p.progId + ": " + Shown(p.value));
        for (const ProgIdValue& p : v.policy) {
            const ValueFact& val = p.value;
            std::string line =
                "Policy 'List of managed add-ins' / Richtlinie 'Liste der verwalteten Add-Ins' " +
                p.progId + ": " + Shown(val);
            if (val.state == State::Number)
                line += val.number == 1   ? " = always enabled / immer aktiviert"
                        : val.number == 0 ? " = always disabled / immer deaktiviert"
                        : val.number == 2 ? " = the user's choice / Wahl des Benutzers"
                                          : " = unknown / unbekannt";
            r.Item(line);
            if (val.state != State::Number || val.number != 1)
                r.Hint("add the ProgID to the policy 'List of managed add-ins' with value 1 / "
                       "die ProgID mit dem Wert 1 in die Richtlinie 'Liste der verwalteten "
                       "Add-Ins' aufnehmen");
        }
    }
}

void Settings(Report& r, const StatusFacts& f) {
    const SettingsFacts& s = f.settings;
    r.Section("Kestrova settings / Kestrova-Einstellungen");
    for (int i = 0; i < 5; ++i)
        r.Item(std::string(kSwitchNames[i]) + ": " + Switch(s.switches[i]));
    r.Item("lock (HKLM, " + ViewName(s.lockView) + "): " + Switch(s.lock));
    r.Item(std::string("This user may change the lock / Dieser Benutzer darf die Sperre "
                       "\xC3\xA4ndern: ") +
           (s.mayChangeLock == Found::Yes  ? kYes
            : s.mayChangeLock == Found::No ? "no, administrators only / nein, nur "
                                             "Administratoren"
                                           : kCannotRead));
    if (s.otherViewLock.state != State::Missing) {
        const RegView other = s.lockView == RegView::Bits64 ? RegView::Bits32 : RegView::Bits64;
        r.Item("lock in the / in der " + ViewName(other) +
               ", which the add-in does not read / die das Add-In nicht liest: " +
               Switch(s.otherViewLock));
        const bool stale = s.otherViewLock.state == State::Number && s.otherViewLock.number != 0 &&
                           (s.lock.state != State::Number || s.lock.number == 0);
        if (stale && f.decider >= 0)
            r.Hint("tick the lock in this console, which writes it where Outlook reads it / "
                   "die Sperre in dieser Konsole setzen, sie schreibt sie dorthin, wo Outlook "
                   "sie liest");
    }
    r.Item("bs_collect_count: " + Shown(s.collectCount));
    r.Item("bs_collect_time: " + Shown(s.collectTime));
    r.Item(s.recipientsKey == Found::Unreadable
               ? std::string("Recipients / Empf\xC3\xA4nger: ") + kCannotRead
               : "Recipients / Empf\xC3\xA4nger: " + std::to_string(s.recipients) +
                     ", categories / Kategorien: " + std::to_string(s.categories));
}

std::string FileLine(const char* title, const FileFact& file) {
    std::string line = std::string(title) + ": " + file.path + ": ";
    if (file.found == Found::No)
        return line + "not there / nicht vorhanden";
    if (file.found == Found::Unreadable)
        return line + CannotRead(file.why);
    line += std::to_string(file.size) + " bytes / Bytes, changed / ge\xC3\xA4ndert " +
            file.modified + ", ";
    return line + (file.readable ? "can be read now / jetzt lesbar" : CannotRead(file.why));
}

void Files(Report& r, const StatusFacts& f) {
    r.Section("Files / Dateien");
    const FileFact* logs[] = {&f.primaryLog, &f.fallbackLog};
    const char* titles[] = {"Debug log / Debuglog", "Fallback / Ersatz"};
    const FileFact* used = nullptr;
    bool unreadable = false;
    for (int i = 0; i < 2; ++i) {
        if (!logs[i]->path.empty())
            r.Item(FileLine(titles[i], *logs[i]));
        if (!used && logs[i]->found == Found::Yes && logs[i]->readable)
            used = logs[i];
        unreadable = unreadable || (logs[i]->found != Found::No && !logs[i]->readable);
    }
    r.Item(std::string("The log view shows / Das Log-Fenster zeigt: ") +
           (used == &f.primaryLog    ? "the debug log / das Debuglog"
            : used == &f.fallbackLog ? "the fallback / den Ersatz"
                                     : "no log / kein Log"));
    const ValueFact& debug = f.settings.switches[0];
    if (!used && unreadable)
        r.Hint("close Outlook, or check the rights of the file / Outlook schlie\xC3\x9F"
               "en oder die Rechte der Datei pr\xC3\xBC"
               "fen");
    else if (!used && debug.state == State::Number && debug.number != 0)
        r.Hint("restart Outlook to get the log / Outlook neu starten, damit das Log entsteht");
    else if (!used)
        r.Hint("tick Debug mode and restart Outlook / erweiterte Logdaten einschalten und "
               "Outlook neu starten");
    if (f.secureTemp.empty())
        r.Item("Secure temporary folder / Sicherer Temp-Ordner: none named / keiner eingetragen");
    for (const SecureTempFact& t : f.secureTemp) {
        std::string line =
            "Secure temporary folder / Sicherer Temp-Ordner (Outlook " + t.version + "): ";
        if (t.folder.state != State::Text)
            line += Shown(t.folder);
        else if (t.folder.text.empty())
            line += "empty / leer";
        else if (t.huf.folder == Found::No)
            line += t.folder.text + ": not there / nicht vorhanden";
        else if (t.huf.folder == Found::Unreadable)
            line += t.folder.text + ": " + CannotRead(t.huf.why);
        else
            line += t.folder.text + ": " + std::to_string(t.huf.files) + " .huf files / Dateien";
        r.Item(line);
    }
}

std::string ListBlocker(const std::string& version, const char* title, const ListFact& l) {
    const std::string where = "Outlook " + version + " " + title;
    if (l.found == Found::Unreadable)
        return where + ": " + CannotRead(l.why);
    return l.ours.empty() ? "" : where + ": " + Names(l.ours);
}

} // namespace

// A value as text: its number or text, "not set", or why it cannot be read.
std::string Shown(const ValueFact& v) {
    switch (v.state) {
    case State::Number:
        return std::to_string(v.number);
    case State::Text:
        return "\"" + v.text + "\"";
    case State::Missing:
        return kNotSet;
    case State::Unreadable:
        break;
    }
    return CannotRead(v.why);
}

std::vector<std::string> Blockers(const StatusFacts& f) {
    std::vector<std::string> b;
    if (f.outlooks.empty())
        b.push_back("no classic Outlook is installed / kein klassisches Outlook installiert");
    const ValueFact& useNew = f.newOutlook.useNew;
    if (NewOutlookInUse(f.newOutlook))
        b.push_back("the new Outlook is in use, which loads no add-ins / das neue Outlook wird "
                    "verwendet, es l\xC3\xA4"
                    "dt keine Add-Ins (UseNewOutlook " +
                    Shown(useNew) + ")");
    else if (useNew.state == State::Unreadable)
        b.push_back("UseNewOutlook: " + Shown(useNew));
    for (const AddinsKeyFact& k : f.addinKeys)
        if (k.found == Found::Unreadable)
            b.push_back(k.where + " Addins: " + CannotRead(k.why));
    if (std::none_of(f.addins.begin(), f.addins.end(),
                     [](const AddinFact& a) { return a.addin == "Kestrova"; }))
        b.push_back("Kestrova is not registered for Outlook / Kestrova ist nicht f\xC3\xBCr "
                    "Outlook registriert");
    for (const AddinFact& a : f.addins) {
        const std::string entry = a.where + " " + a.progId;
        if (a.server.state != State::Text)
            b.push_back(entry + ": server / Server " + CannotRead(a.server.why));
        if (a.loadBehavior.state != State::Number || a.loadBehavior.number != 3)
            b.push_back(entry + ": LoadBehavior " + Shown(a.loadBehavior));
    }
    for (const VersionFact& v : f.versions)
        for (std::string line :
             {ListBlocker(v.version, "disabled items / deaktivierte Elemente", v.disabled),
              ListBlocker(v.version, "CrashingAddinList", v.crashing)})
            if (!line.empty())
                b.push_back(std::move(line));
    return b;
}

std::vector<std::string> VerdictLines(const std::vector<std::string>& blockers) {
    std::vector<std::string> lines{
        blockers.empty() ? "Verdict / Ergebnis: the add-in will run as configured / das Add-In "
                           "wird wie eingerichtet laufen"
                         : "Verdict / Ergebnis: the add-in will not run / das Add-In wird nicht "
                           "laufen"};
    for (const std::string& b : blockers)
        lines.push_back("  - " + b);
    return lines;
}

std::vector<std::string> ComposeReport(const StatusFacts& facts) {
    Report r;
    System(r, facts.system);
    Outlooks(r, facts);
    NewOutlook(r, facts);
    Addins(r, facts);
    Versions(r, facts);
    Settings(r, facts);
    Files(r, facts);
    return r.Take();
}

std::string JoinLines(const std::vector<std::string>& lines, const char* newline) {
    std::string out;
    for (const std::string& l : lines)
        out.append(l).append(newline);
    return out;
}

} // namespace kes::status
