// Reading for the status report: only opens with read access (and one full-access open that
// tells whether the lock may be changed), never creates, never writes.
#include "cleanup/cleanup_core.h"
#include "console/status/status.h"
#include "console/store/kestrova_layout.h"
#include "console/store/machine_view.h"

#include <algorithm>
#include <set>

namespace kes::status {

const char* const kSwitchNames[5] = {layout::kDebug, layout::kJournal, layout::kRemoveReminder,
                                     layout::kPackEveryTime, layout::kDesktopNotification};

namespace {

const char kOffice[] = "Software\\Microsoft\\Office\\";
// The layout's paths without their leading "\", as the backend takes them.
const char* const kConfig = layout::kConfig + 1;
const char* const kVersions[] = {"16.0", "15.0", "14.0", "13.0", "12.0", "11.0"};
// cleanup's secure-temp versions.
const char* const kTempVersions[] = {"16.0", "15.0", "14.0", "13.0", "12.0", "11.0", "10.0", "9.0"};
// Longer than any name or path that the report shows; a longer value is "too long".
constexpr std::size_t kTextBytes = 4096;
constexpr std::uint32_t kCreateSubKey = 0x0004;

// A key of the backend, closed when it goes.
class Key {
public:
    Key(RegistryBackend& reg, RootKey root, RegView view, const std::string& path,
        std::uint32_t access = kKeyRead)
        : reg_(reg) {
        code_ = reg.OpenKey(RootHandle(root), path, access | static_cast<std::uint32_t>(view),
                            false, key_);
        if (code_ != regcode::Success)
            key_ = 0;
    }
    ~Key() {
        if (key_)
            reg_.CloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    bool Open() const { return key_ != 0; }
    long Code() const { return code_; }
    RegKey Get() const { return key_; }
    Found State() const {
        return key_ ? Found::Yes : code_ == regcode::FileNotFound ? Found::No : Found::Unreadable;
    }

private:
    RegistryBackend& reg_;
    RegKey key_ = 0;
    long code_ = 0;
};

std::string Error(long code) {
    return code == regcode::AccessDenied ? "access denied / Zugriff verweigert"
                                         : "error / Fehler " + std::to_string(code);
}

ValueFact Unreadable(std::string why) {
    ValueFact v;
    v.state = ValueFact::State::Unreadable;
    v.why = std::move(why);
    return v;
}

ValueFact FromKey(const Key& key) {
    return key.State() == Found::No ? ValueFact{} : Unreadable(Error(key.Code()));
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | c >> 18));
        out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u16string Units(const std::vector<std::uint8_t>& data) {
    std::u16string units(data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    return units;
}

// UTF-16 registry text up to its first zero; a lone surrogate becomes U+FFFD.
std::string TextOf(const std::vector<std::uint8_t>& data) {
    const std::u16string units = Units(data);
    std::string out;
    for (std::size_t i = 0; i < units.size() && units[i] != 0; ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

ValueFact ReadValue(RegistryBackend& reg, const Key& key, const std::string& name) {
    if (!key.Open())
        return FromKey(key);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    const long rc = reg.QueryValue(key.Get(), name, kTextBytes, type, data);
    if (rc == regcode::FileNotFound)
        return {};
    if (rc == regcode::MoreData)
        return Unreadable("too long / zu lang");
    if (rc != regcode::Success)
        return Unreadable(Error(rc));
    ValueFact v;
    if (type == regtype::Dword) {
        if (data.size() != 4)
            return Unreadable("DWORD of " + std::to_string(data.size()) + " bytes / Bytes");
        v.state = ValueFact::State::Number;
        v.number = std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                   std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24;
        return v;
    }
    if (type == regtype::Sz || type == regtype::ExpandSz) {
        if (data.size() % 2 != 0)
            return Unreadable("odd length / ungerade L\xC3\xA4nge");
        v.state = ValueFact::State::Text;
        v.text = TextOf(data);
        v.expandable = type == regtype::ExpandSz;
        return v;
    }
    return Unreadable("type / Typ " + std::to_string(type));
}

ValueFact ReadNumber(RegistryBackend& reg, const Key& key, const std::string& name) {
    ValueFact v = ReadValue(reg, key, name);
    return v.state == ValueFact::State::Text ? Unreadable("text, not a DWORD / Text statt DWORD")
                                             : v;
}

ValueFact ReadText(RegistryBackend& reg, const Key& key, const std::string& name) {
    ValueFact v = ReadValue(reg, key, name);
    return v.state == ValueFact::State::Number ? Unreadable("DWORD, not text / DWORD statt Text")
                                               : v;
}

// The managed-add-ins policy writes text ("1"); a DWORD is taken as well.
ValueFact ReadPolicyNumber(RegistryBackend& reg, const Key& key, const std::string& name) {
    ValueFact v = ReadValue(reg, key, name);
    if (v.state != ValueFact::State::Text)
        return v;
    if (v.text.empty() || v.text.size() > 9 ||
        !std::all_of(v.text.begin(), v.text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return Unreadable("\"" + v.text + "\" is not a number / ist keine Zahl");
    v.state = ValueFact::State::Number;
    v.number = static_cast<std::uint32_t>(std::stoul(v.text));
    return v;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Which of our add-ins a server path names, by its file name.
std::string AddinOfServer(std::string path) {
    path.erase(std::remove(path.begin(), path.end(), '"'), path.end());
    const std::size_t slash = path.find_last_of("\\/");
    const std::string file = Lower(slash == std::string::npos ? path : path.substr(slash + 1));
    return file == "kestrova.dll" ? "Kestrova" : file == "tarnwick.dll" ? "Tarnwick" : "";
}

std::string AddinOfProgId(const std::string& progId) {
    const std::string p = Lower(progId);
    return p.find("kestrova") != std::string::npos   ? "Kestrova"
           : p.find("tarnwick") != std::string::npos ? "Tarnwick"
                                                     : "";
}

// A class's default value, looked up as COM does: the user's classes, then the machine's.
ValueFact ClassValue(RegistryBackend& reg, RegView view, const std::string& path) {
    ValueFact last;
    for (RootKey root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
        Key key(reg, root, view, "Software\\Classes\\" + path);
        if (key.State() == Found::No)
            continue;
        last = ReadText(reg, key, "");
        if (last.state == ValueFact::State::Text && !last.text.empty())
            return last;
    }
    return last;
}

// The in-process server of a ProgID, or why there is none.
ValueFact ServerOf(RegistryBackend& reg, RegView view, const std::string& progId) {
    const ValueFact clsid = ClassValue(reg, view, progId + "\\CLSID");
    if (clsid.state == ValueFact::State::Unreadable)
        return Unreadable("CLSID: " + clsid.why);
    if (clsid.state != ValueFact::State::Text || clsid.text.empty())
        return Unreadable("no CLSID / keine CLSID");
    const ValueFact server = ClassValue(reg, view, "CLSID\\" + clsid.text + "\\InprocServer32");
    if (server.state == ValueFact::State::Unreadable)
        return Unreadable(clsid.text + ": " + server.why);
    if (server.state != ValueFact::State::Text || server.text.empty())
        return Unreadable(clsid.text + " is not registered / ist nicht registriert");
    return server;
}

bool IsBitnessText(const ValueFact& v) {
    return v.state == ValueFact::State::Text && (Lower(v.text) == "x86" || Lower(v.text) == "x64");
}

void ReadOutlooks(RegistryBackend& reg, const std::vector<RegView>& views, StatusFacts& f) {
    for (const char* v : kVersions) {
        const bool hasBitness = std::string(v) >= "14.0";
        for (RegView view : views) {
            Key key(reg, RootKey::LocalMachine, view, kOffice + std::string(v) + "\\Outlook");
            if (key.State() == Found::No)
                continue;
            OutlookFact o{v, false, view, {}};
            if (!key.Open())
                o.bitness = FromKey(key);
            else if (hasBitness)
                o.bitness = ReadText(reg, key, "Bitness");
            if (f.decider < 0 && key.Open() && (!hasBitness || IsBitnessText(o.bitness)))
                f.decider = static_cast<int>(f.outlooks.size());
            f.outlooks.push_back(std::move(o));
        }
    }
    for (RegView view : views) {
        Key key(reg, RootKey::LocalMachine, view,
                kOffice + std::string("ClickToRun\\Configuration"));
        if (key.State() == Found::No)
            continue;
        OutlookFact o{"16.0", true, view,
                      key.Open() ? ReadText(reg, key, "Platform") : FromKey(key)};
        if (f.decider < 0 && IsBitnessText(o.bitness))
            f.decider = static_cast<int>(f.outlooks.size());
        f.outlooks.push_back(std::move(o));
    }
}

void ReadNewOutlook(RegistryBackend& reg, StatusFacts& f) {
    NewOutlookFact& n = f.newOutlook;
    const std::string outlook = kOffice + std::string("16.0\\Outlook\\");
    n.useNew =
        ReadNumber(reg, Key(reg, RootKey::CurrentUser, RegView::Own, outlook + "Preferences"),
                   "UseNewOutlook");
    const Key general(reg, RootKey::CurrentUser, RegView::Own, outlook + "Options\\General");
    n.hideToggle = ReadNumber(reg, general, "HideNewOutlookToggle");
    n.autoMigration = ReadNumber(reg, general, "DoNewOutlookAutoMigration");
    n.policy = ReadNumber(reg,
                          Key(reg, RootKey::CurrentUser, RegView::Own,
                              "Software\\Policies\\Microsoft\\Office\\16.0\\Outlook\\Preferences"),
                          "NewOutlookMigrationUserSetting");
}

void ReadAddins(RegistryBackend& reg, const std::vector<RegView>& views, StatusFacts& f) {
    struct Place {
        std::string where;
        RootKey root;
        RegView view;
    };
    std::vector<Place> places{{"HKCU", RootKey::CurrentUser, RegView::Own}};
    for (RegView view : views)
        places.push_back({views.size() == 1         ? "HKLM"
                          : view == RegView::Bits64 ? "HKLM 64-bit"
                                                    : "HKLM 32-bit",
                          RootKey::LocalMachine, view});
    for (const Place& p : places) {
        AddinsKeyFact k{p.where, Found::No, "", 0, 0};
        Key key(reg, p.root, p.view, kOffice + std::string("Outlook\\Addins"));
        k.found = key.State();
        std::vector<std::string> progIds;
        if (key.Open()) {
            const long rc = reg.EnumKeys(key.Get(), progIds);
            if (rc != regcode::Success) {
                k.found = Found::Unreadable;
                progIds.clear();
            }
            k.why = rc != regcode::Success ? Error(rc) : "";
        } else {
            k.why = Error(key.Code());
        }
        // The user's entries are loaded by the Outlook that runs: its view resolves them.
        const RegView classes = p.root == RootKey::CurrentUser ? f.lockView : p.view;
        for (const std::string& progId : progIds) {
            const ValueFact server = ServerOf(reg, classes, progId);
            std::string addin = server.state == ValueFact::State::Text ? AddinOfServer(server.text)
                                                                       : AddinOfProgId(progId);
            if (addin.empty()) {
                ++k.others;
                k.unresolved += server.state != ValueFact::State::Text;
                continue;
            }
            Key entry(reg, p.root, p.view, kOffice + std::string("Outlook\\Addins\\") + progId);
            f.addins.push_back({p.where, p.root, p.view, progId, addin, server,
                                ReadText(reg, entry, "FriendlyName"),
                                ReadNumber(reg, entry, "LoadBehavior")});
        }
        f.addinKeys.push_back(std::move(k));
    }
}

ListFact ReadList(StatusSource& source, const std::string& path) {
    ListFact l;
    std::vector<NamedValue> values;
    const long rc = source.ListValues(RootKey::CurrentUser, RegView::Own, path, values);
    l.found = rc == regcode::Success        ? Found::Yes
              : rc == regcode::FileNotFound ? Found::No
                                            : Found::Unreadable;
    if (l.found == Found::Unreadable)
        l.why = Error(rc);
    for (const NamedValue& v : values) {
        if (v.error != 0) {
            ++l.unreadable;
            continue;
        }
        // As cleanup examines it: the first units, whose zeros end a path.
        std::u16string units = Units(v.data);
        const bool cut = units.size() > cleanup::kValueUnits && units[cleanup::kValueUnits] != 0;
        if (cut)
            units.resize(cleanup::kValueUnits);
        if (cleanup::NamesAddIn(std::u16string_view(units), cut))
            l.ours.push_back(v.name);
    }
    return l;
}

void ReadVersions(RegistryBackend& reg, StatusSource& source, StatusFacts& f) {
    std::vector<std::string> progIds;
    std::set<std::string> seen;
    for (const AddinFact& a : f.addins)
        if (seen.insert(Lower(a.progId)).second)
            progIds.push_back(a.progId);
    for (const char* v : kVersions) {
        const std::string outlook = kOffice + std::string(v) + "\\Outlook";
        const bool installed = std::any_of(f.outlooks.begin(), f.outlooks.end(),
                                           [v](const OutlookFact& o) { return o.version == v; });
        if (!installed &&
            Key(reg, RootKey::CurrentUser, RegView::Own, outlook).State() == Found::No)
            continue;
        VersionFact vf;
        vf.version = v;
        vf.disabled = ReadList(source, outlook + "\\Resiliency\\DisabledItems");
        vf.crashing = ReadList(source, outlook + "\\Resiliency\\CrashingAddinList");
        const Key doNotDisable(reg, RootKey::CurrentUser, RegView::Own,
                               outlook + "\\Resiliency\\DoNotDisableAddinList");
        const Key policy(reg, RootKey::CurrentUser, RegView::Own,
                         "Software\\Policies\\Microsoft\\Office\\" + std::string(v) +
                             "\\Outlook\\Resiliency\\AddinList");
        for (const std::string& id : progIds) {
            vf.doNotDisable.push_back({id, ReadNumber(reg, doNotDisable, id)});
            vf.policy.push_back({id, ReadPolicyNumber(reg, policy, id)});
        }
        f.versions.push_back(std::move(vf));
    }
}

Found MayChangeLock(RegistryBackend& reg, RegView view) {
    std::string path = kConfig;
    for (std::uint32_t access = kKeyAllAccess;; access = kCreateSubKey) {
        Key key(reg, RootKey::LocalMachine, view, path, access);
        if (key.Open())
            return Found::Yes;
        if (key.Code() == regcode::AccessDenied)
            return Found::No;
        const std::size_t cut = path.rfind('\\');
        if (key.Code() != regcode::FileNotFound || cut == std::string::npos)
            return Found::Unreadable;
        // A missing key is created by the console where the user may create it.
        path.resize(cut);
    }
}

std::size_t CountChildren(RegistryBackend& reg, const std::string& path) {
    Key key(reg, RootKey::CurrentUser, RegView::Own, path);
    std::vector<std::string> names;
    if (key.Open() && reg.EnumKeys(key.Get(), names) != regcode::Success)
        return 0;
    return names.size();
}

void ReadSettings(RegistryBackend& reg, const std::vector<RegView>& views, StatusFacts& f) {
    SettingsFacts& s = f.settings;
    {
        const Key config(reg, RootKey::CurrentUser, RegView::Own, kConfig);
        for (int i = 0; i < 5; ++i)
            s.switches[i] = ReadNumber(reg, config, kSwitchNames[i]);
        s.collectCount = ReadNumber(reg, config, layout::kCollectCount);
        s.collectTime = ReadNumber(reg, config, layout::kCollectTime);
    }
    s.lockView = f.lockView;
    s.lock = ReadNumber(reg, Key(reg, RootKey::LocalMachine, f.lockView, kConfig), layout::kLock);
    if (views.size() > 1) {
        const RegView other = f.lockView == RegView::Bits64 ? RegView::Bits32 : RegView::Bits64;
        s.otherViewLock =
            ReadNumber(reg, Key(reg, RootKey::LocalMachine, other, kConfig), layout::kLock);
    }
    s.mayChangeLock = MayChangeLock(reg, f.lockView);

    // Recipients as the console lists them: once each, compared exactly.
    const std::string folders = layout::kFolders + 1;
    Key folderKey(reg, RootKey::CurrentUser, RegView::Own, folders);
    s.recipientsKey = folderKey.State();
    std::vector<std::string> folderNames;
    if (folderKey.Open() && reg.EnumKeys(folderKey.Get(), folderNames) != regcode::Success)
        s.recipientsKey = Found::Unreadable;
    std::set<std::string> recipients;
    for (const std::string& folder : folderNames) {
        Key users(reg, RootKey::CurrentUser, RegView::Own,
                  folders + "\\" + folder + "\\" + layout::kUsers);
        std::vector<std::string> names;
        if (users.Open())
            reg.EnumKeys(users.Get(), names);
        recipients.insert(names.begin(), names.end());
    }
    s.recipients = recipients.size();
    const std::string categories = layout::kUserCategories + 1;
    Key catKey(reg, RootKey::CurrentUser, RegView::Own, categories);
    std::vector<std::string> owners;
    if (catKey.Open())
        reg.EnumKeys(catKey.Get(), owners);
    for (const std::string& owner : owners)
        s.categories += CountChildren(reg, categories + "\\" + owner);
}

void ReadSecureTemp(RegistryBackend& reg, StatusSource& source, StatusFacts& f) {
    for (const char* v : kTempVersions) {
        const Key key(reg, RootKey::CurrentUser, RegView::Own,
                      kOffice + std::string(v) + "\\Outlook\\Security");
        SecureTempFact t{v, ReadText(reg, key, "OutlookSecureTempFolder"), {}};
        if (t.folder.state == ValueFact::State::Missing)
            continue;
        if (t.folder.state == ValueFact::State::Text && !t.folder.text.empty())
            t.huf = source.CountHufFiles(t.folder.text, t.folder.expandable);
        f.secureTemp.push_back(std::move(t));
    }
}

} // namespace

StatusFacts ReadStatus(RegistryBackend& reg, StatusSource& source) {
    StatusFacts f;
    f.system = source.System();
    // On a 32-bit Windows both view bits are ignored: one view, read once.
    const std::vector<RegView> views = f.system.windowsBits == 32
                                           ? std::vector<RegView>{RegView::Bits64}
                                           : std::vector<RegView>{RegView::Bits64, RegView::Bits32};
    f.lockView = OutlookMachineView(reg);
    ReadOutlooks(reg, views, f);
    ReadNewOutlook(reg, f);
    ReadAddins(reg, views, f);
    ReadVersions(reg, source, f);
    ReadSettings(reg, views, f);
    const auto file = [&source](const std::string& path) {
        return path.empty() ? FileFact{} : source.File(path);
    };
    f.primaryLog = file(source.DebugLogPath());
    f.fallbackLog = file(source.FallbackLogPath());
    ReadSecureTemp(reg, source, f);
    return f;
}

} // namespace kes::status
