// Conformance of SettingsStore over any backend. Linked into the host test and the Wine test.
#include "console/store/settings_store_conformance.h"

#include "console/store/machine_view.h"
#include "console/store/memory_registry.h"
#include "console/store/settings_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace kes::test {
namespace {

class MemoryUnderTest : public BackendUnderTest {
public:
    RegistryBackend& Backend() override { return reg_; }
    void RefuseFullAccess(RootKey root, const std::string&) override {
        reg_.LimitRootAccess(root, kKeyRead);
    }

private:
    MemoryRegistry reg_;
};

const std::string kConfig = "\\Software\\Varnholt\\Kestrova\\Config";

std::vector<std::uint8_t> Bytes(std::initializer_list<int> b) {
    std::vector<std::uint8_t> v;
    for (int x : b)
        v.push_back(static_cast<std::uint8_t>(x));
    return v;
}

std::string Times(int n, const std::string& unit) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += unit;
    return out;
}

std::vector<std::uint8_t> Utf16z(const std::u16string& s) {
    std::vector<std::uint8_t> v;
    for (char16_t c : s) {
        v.push_back(std::uint8_t(c & 0xFF));
        v.push_back(std::uint8_t(c >> 8));
    }
    v.push_back(0);
    v.push_back(0);
    return v;
}

} // namespace

StoreConformance::StoreConformance() = default;
StoreConformance::~StoreConformance() = default;
void StoreConformance::SetUp() {
    under_ = GetParam().make();
}
void StoreConformance::TearDown() {
    under_.reset();
}
void StoreConformance::Stage(RootKey root, const std::string& path, const std::string& name,
                             std::uint32_t type, const std::vector<std::uint8_t>& data) {
    RegKey k = 0;
    ASSERT_EQ(B().OpenKey(RootHandle(root), path, kKeyAllAccess, true, k), 0);
    ASSERT_EQ(B().SetValue(k, name, type, data), 0);
    B().CloseKey(k);
}
bool StoreConformance::KeyExists(RootKey root, const std::string& path) {
    RegKey k = 0;
    if (B().OpenKey(RootHandle(root), path, kKeyRead, false, k) != 0)
        return false;
    B().CloseKey(k);
    return true;
}

namespace {
std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const StoreError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST_P(StoreConformance, WritesAndReadsIntegersAndFlags) {
    SettingsStore s(B());
    EXPECT_EQ(s.Root(), RootKey::CurrentUser);
    EXPECT_EQ(s.Access(), 0xF003Fu);
    ASSERT_TRUE(s.Open(kConfig, true));
    EXPECT_EQ(s.CurrentPath(), "Software\\Varnholt\\Kestrova\\Config");
    s.PutInt("bs_collect_time", 900);
    s.PutInt("neg", -5);
    s.PutFlag("debug", true);
    s.PutFlag("journal", false);
    EXPECT_EQ(s.GetInt("bs_collect_time"), 900);
    EXPECT_EQ(s.GetInt("neg"), -5);
    EXPECT_EQ(s.GetInt("debug"), 1);
    EXPECT_FALSE(s.GetFlag("journal"));
    // Value names fold like key names.
    EXPECT_EQ(s.GetInt("DEBUG"), 1);
    s.Close();
    EXPECT_FALSE(s.HasCurrentKey());
    EXPECT_EQ(s.CurrentPath(), "");
    // A value of 5 is on.
    Stage(RootKey::CurrentUser, kConfig.substr(1), "debug", regtype::Dword, Bytes({5, 0, 0, 0}));
    ASSERT_TRUE(s.Open(kConfig, false));
    EXPECT_TRUE(s.GetFlag("debug"));
    EXPECT_EQ(s.GetInt("debug"), 5);
}

TEST_P(StoreConformance, UnreadableValuesRaiseTheirMessages) {
    SettingsStore s(B());
    EXPECT_EQ(ErrorOf([&] { s.GetInt("debug"); }), "Konnte Daten f\xC3\xBCr 'debug' nicht holen");
    EXPECT_EQ(ErrorOf([&] { s.PutInt("debug", 1); }),
              "Konnte Daten f\xC3\xBCr 'debug' nicht setzen");
    ASSERT_TRUE(s.Open(kConfig, true));
    EXPECT_EQ(ErrorOf([&] { s.GetInt("missing"); }),
              "Konnte Daten f\xC3\xBCr 'missing' nicht holen");

    const std::string p = kConfig.substr(1);
    Stage(RootKey::CurrentUser, p, "text", regtype::Sz, Utf16z(u"1"));
    Stage(RootKey::CurrentUser, p, "bin4", regtype::Binary, Bytes({1, 0, 0, 0}));
    Stage(RootKey::CurrentUser, p, "qword", regtype::Qword, Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
    Stage(RootKey::CurrentUser, p, "short", regtype::Dword, Bytes({1, 0}));
    Stage(RootKey::CurrentUser, p, "long text", regtype::Sz, Utf16z(u"a long text value"));
    EXPECT_EQ(ErrorOf([&] { s.GetInt("text"); }), "Ung\xC3\xBCltiger Datentyp f\xC3\xBCr 'text'");
    EXPECT_EQ(ErrorOf([&] { s.GetFlag("bin4"); }), "Ung\xC3\xBCltiger Datentyp f\xC3\xBCr 'bin4'");
    EXPECT_EQ(ErrorOf([&] { s.GetInt("qword"); }), "Konnte Daten f\xC3\xBCr 'qword' nicht holen");
    EXPECT_EQ(ErrorOf([&] { s.GetInt("short"); }), "Konnte Daten f\xC3\xBCr 'short' nicht holen");
    EXPECT_EQ(ErrorOf([&] { s.GetInt("long text"); }),
              "Konnte Daten f\xC3\xBCr 'long text' nicht holen");

    // The next write replaces a text value by an integer.
    s.PutFlag("text", true);
    EXPECT_EQ(s.GetInt("text"), 1);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    RegKey k = 0;
    ASSERT_EQ(B().OpenKey(RootHandle(RootKey::CurrentUser), p, kKeyRead, false, k), 0);
    ASSERT_EQ(B().QueryValue(k, "text", 64, type, data), 0);
    B().CloseKey(k);
    EXPECT_EQ(type, regtype::Dword);
    EXPECT_EQ(data, Bytes({1, 0, 0, 0}));
}

TEST_P(StoreConformance, FailedOpenChangesNothing) {
    SettingsStore s(B());
    EXPECT_FALSE(s.Open("\\Software\\Varnholt\\Kestrova\\Folders", false));
    EXPECT_FALSE(s.HasCurrentKey());
    EXPECT_FALSE(KeyExists(RootKey::CurrentUser, "Software\\Varnholt\\Kestrova\\Folders"));
    // Without the Folders key there are no recipients, and nothing is created.
    std::vector<std::string> names{"stale"};
    s.ListChildren(names);
    EXPECT_TRUE(names.empty());

    ASSERT_TRUE(s.Open(kConfig, true));
    s.PutInt("x", 3);
    EXPECT_FALSE(s.Open("\\Software\\Varnholt\\Kestrova\\Folders", false));
    EXPECT_EQ(s.CurrentPath(), "Software\\Varnholt\\Kestrova\\Config");
    EXPECT_EQ(s.GetInt("x"), 3);
}

TEST_P(StoreConformance, PathsAreRelativeToTheCurrentKeyUnlessAbsolute) {
    SettingsStore s(B());
    ASSERT_TRUE(s.Open("\\Software\\Varnholt", true));
    ASSERT_TRUE(s.Open("Kestrova\\Config", true));
    EXPECT_EQ(s.CurrentPath(), "Software\\Varnholt\\Kestrova\\Config");
    s.PutInt("rel", 7);
    ASSERT_TRUE(s.Open("\\sOFTWARE\\VARNHOLT\\kestrova\\CONFIG", false));
    EXPECT_EQ(s.GetInt("rel"), 7);
    // Changing the root releases the key; setting the same root keeps it.
    s.SetRoot(RootKey::CurrentUser);
    EXPECT_TRUE(s.HasCurrentKey());
    s.SetRoot(RootKey::LocalMachine);
    EXPECT_FALSE(s.HasCurrentKey());
}

TEST_P(StoreConformance, KeyNamesFoldBeyondAscii) {
    SettingsStore s(B());
    ASSERT_TRUE(s.Open("\\Software\\Varnholt\\Kestrova\\UserCategories\\\xC3\x84rger", true));
    s.Close();
    ASSERT_TRUE(s.Open("\\Software\\Varnholt\\Kestrova\\UserCategories\\\xC3\xA4RGER", false));
    ASSERT_TRUE(s.Open("\\Software\\Varnholt\\Kestrova\\UserCategories", false));
    s.AddChild("\xC3\xA4rger"); // the same key: no second entry
    s.AddChild("Zeta");
    s.AddChild("alpha");
    std::vector<std::string> names;
    s.ListChildren(names);
    // Listed with the spelling of their creation, in the store's own order.
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], "alpha");
    EXPECT_EQ(names[1], "Zeta");
    EXPECT_EQ(names[2], "\xC3\x84rger");
}

TEST_P(StoreConformance, ChildrenAreAddedNestedAndRemovedWithEverythingBelow) {
    SettingsStore s(B());
    const std::string user = "\\Software\\Varnholt\\Kestrova\\UserCategories\\anna@example.org";
    ASSERT_TRUE(s.Open(user, true));
    std::vector<std::string> names{"stale"};
    s.ListChildren(names);
    EXPECT_TRUE(names.empty()); // an empty category key lists nothing
    s.AddChild("Privat");
    s.AddChild("Kunden\\Nord"); // a "\" makes nested keys
    s.ListChildren(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Kunden", "Privat"}));
    EXPECT_TRUE(KeyExists(RootKey::CurrentUser, user.substr(1) + "\\Kunden\\Nord"));

    ASSERT_TRUE(s.Open(user + "\\Privat", false));
    s.AddChild("deep\\deeper");
    ASSERT_TRUE(s.Open(user, false));
    EXPECT_TRUE(s.RemoveChild("Privat"));
    EXPECT_TRUE(s.RemoveChild("Kunden"));
    EXPECT_FALSE(s.RemoveChild("Kunden"));
    EXPECT_FALSE(s.RemoveChild(""));
    s.ListChildren(names);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(KeyExists(RootKey::CurrentUser, user.substr(1)));
}

// Names that differ in letter case only are one key in every script; a change of case renames
// the key with what is below it. Characters beyond 16 bits (surrogate pairs) do not fold.
TEST_P(StoreConformance, NamesFoldAsTheRegistryFoldsThemInEveryScript) {
    const struct {
        std::string a, b;
        bool one;
    } pairs[] = {
        {"\xCE\xAD\xCF\x81\xCE\xB3\xCE\xB1", "\xCE\x88\xCF\x81\xCE\xB3\xCE\xB1", true}, // έργα
        {"\xD2\x91\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xBA", "\xD2\x90\xD0\xB0\xD0\xBD\xD0\xBE\xD0\xBA",
         true},                                                         // ґанок
        {"\xD0\x9F\xD1\x80\xD0\xBE", "\xD0\x9F\xD0\xA0\xD0\x9E", true}, // Про
        {"\xE1\xBB\xB1", "\xE1\xBB\xB0", true},                         // ự Ự
        {"\xC7\x86", "\xC7\x84", true},                                 // ǆ Ǆ
        {"\xC7\x85", "\xC7\x84", false},                                // ǅ Ǆ: title case stays
        {"\xCF\x82", "\xCE\xA3", false},                                // final ς, Σ
        {"\xD5\xA1\xD5\xB6", "\xD4\xB1\xD5\x86", true},                 // ան Ան
        {"\xC3\xBF", "\xC5\xB8", true},                                 // ÿ Ÿ
        {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", false},                // Deseret, beyond 16 bits
        {"\xC3\x9F", "SS", false},                                      // ß
        {"\xC3\x9F", "\xE1\xBA\x9E", false},                            // ß ẞ
        {"\xD0\xB5", "e", false},                                       // Cyrillic е, Latin e
        {Times(255, "\xCE\xB1"), Times(255, "\xCE\x91"), true}, // 255 units: the longest name
        {Times(127, "\xF0\x90\x90\xA8") + "a", Times(127, "\xF0\x90\x90\xA8") + "A", true},
    };
    SettingsStore s(B());
    for (std::size_t i = 0; i < std::size(pairs); ++i) {
        const auto& p = pairs[i];
        SCOPED_TRACE(std::string(p.a) + " " + p.b);
        const std::string user =
            "\\Software\\Varnholt\\Kestrova\\UserCategories\\u" + std::to_string(i);
        EXPECT_EQ(B().CompareNames(p.a, p.b) == 0, p.one);
        EXPECT_EQ(B().CompareNames(p.a, p.b) < 0, B().CompareNames(p.b, p.a) > 0);
        ASSERT_TRUE(s.Open(user, true));
        s.AddChild(std::string(p.a) + "\\Sub");
        s.AddChild(p.b);
        std::vector<std::string> names;
        s.ListChildren(names);
        EXPECT_EQ(names.size(), p.one ? 1u : 2u);
        EXPECT_TRUE(s.RenameChild(p.a, std::string(p.b) + (p.one ? "" : "2")));
        s.ListChildren(names);
        EXPECT_EQ(std::count(names.begin(), names.end(), std::string(p.a)), 0);
        EXPECT_TRUE(KeyExists(RootKey::CurrentUser,
                              user.substr(1) + "\\" + p.b + (p.one ? "" : "2") + "\\Sub"));
    }
    // A name of more than 255 units is refused in every script, as Windows refuses it (Wine's
    // registry would take 256), also as a new spelling; nothing is created.
    ASSERT_TRUE(s.Open("\\Software\\Varnholt\\Kestrova\\UserCategories\\long", true));
    s.AddChild("Kept");
    for (const std::string& name : {Times(256, "x"), Times(256, "\xCE\xB1"),
                                    Times(128, "\xF0\x90\x90\xA8"), "Neu\\" + Times(256, "x")}) {
        EXPECT_THROW(s.AddChild(name), StoreError);
        EXPECT_FALSE(s.RenameChild("Kept", name));
        std::vector<std::string> names;
        s.ListChildren(names);
        EXPECT_EQ(names, std::vector<std::string>{"Kept"});
    }
}

// A category whose spelling changes keeps what is below it, also for a change of case only.
TEST_P(StoreConformance, RenamedChildrenKeepTheirKeysBelow) {
    SettingsStore s(B());
    const std::string user = "\\Software\\Varnholt\\Kestrova\\UserCategories\\bob";
    EXPECT_FALSE(s.RenameChild("kunden", "Kunden")); // no current key
    ASSERT_TRUE(s.Open(user, true));
    s.AddChild("kunden\\Wichtig");
    s.AddChild("Privat");
    std::vector<std::string> names;
    EXPECT_TRUE(s.RenameChild("kunden", "Kunden"));
    EXPECT_TRUE(s.RenameChild("privat", "Urlaub"));
    EXPECT_FALSE(s.RenameChild("Urlaub", "kunden")); // taken by another key
    EXPECT_FALSE(s.RenameChild("missing", "Neu"));
    s.ListChildren(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Kunden", "Urlaub"}));
    EXPECT_TRUE(KeyExists(RootKey::CurrentUser, user.substr(1) + "\\Kunden\\Wichtig"));
}

TEST_P(StoreConformance, EmptyNamesReachTheKeyItselfAndALeadingBackslashIsRefused) {
    SettingsStore s(B());
    const std::string user = "\\Software\\Varnholt\\Kestrova\\UserCategories\\bob";
    ASSERT_TRUE(s.Open(user, true));
    s.AddChild(""); // the recipient's own key: nothing is created, nothing raised
    std::vector<std::string> names{"stale"};
    s.ListChildren(names);
    EXPECT_TRUE(names.empty());
    // Doubled and trailing separators are skipped; a leading one is refused.
    s.AddChild("Kunden\\\\Nord\\");
    EXPECT_TRUE(KeyExists(RootKey::CurrentUser, user.substr(1) + "\\Kunden\\Nord"));
    EXPECT_TRUE(KeyExists(RootKey::CurrentUser, user.substr(1) + "\\Kunden\\\\Nord\\"));
    EXPECT_EQ(ErrorOf([&] { s.AddChild("\\Privat"); }),
              "Erzeugung von Schl\xC3\xBCssel \\Privat misslungen");
    // Built step by step: GCC 12 for i686 warns of a bogus overlap in `"\\" + std::string&&`.
    std::string leading = "\\";
    EXPECT_FALSE(KeyExists(RootKey::CurrentUser, leading.append(user, 1)));
    EXPECT_FALSE(s.Open("\\" + user, false));
    EXPECT_FALSE(s.Open("\\" + user, true));
    EXPECT_EQ(s.CurrentPath(), user.substr(1));
    s.ListChildren(names);
    EXPECT_EQ(names, std::vector<std::string>{"Kunden"});
}

TEST_P(StoreConformance, AddChildUnderAVanishedKeyRaises) {
    SettingsStore s(B());
    ASSERT_TRUE(s.Open("\\Software\\Varnholt\\Kestrova\\UserCategories\\gone", true));
    SettingsStore other(B());
    ASSERT_TRUE(other.Open("\\Software\\Varnholt\\Kestrova\\UserCategories", false));
    ASSERT_TRUE(other.RemoveChild("gone"));
    EXPECT_EQ(ErrorOf([&] { s.AddChild("Privat"); }),
              "Erzeugung von Schl\xC3\xBCssel Privat misslungen");
    EXPECT_EQ(ErrorOf([&] { s.PutInt("v", 1); }), "Konnte Daten f\xC3\xBCr 'v' nicht setzen");
}

TEST_P(StoreConformance, ARefusedRootCannotBeOpenedWithFullAccessNotEvenToRead) {
    {
        SettingsStore admin(B());
        admin.SetRoot(RootKey::LocalMachine);
        ASSERT_TRUE(admin.Open(kConfig, true));
        admin.PutInt("lock", 1);
    }
    under_->RefuseFullAccess(RootKey::LocalMachine, kConfig.substr(1));
    SettingsStore s(B());
    s.SetRoot(RootKey::LocalMachine);
    s.SetAccess(0xF003F);
    EXPECT_FALSE(s.Open(kConfig, true));
    EXPECT_EQ(ErrorOf([&] { s.GetInt("lock"); }), "Konnte Daten f\xC3\xBCr 'lock' nicht holen");
    EXPECT_EQ(ErrorOf([&] { s.PutInt("lock", 0); }), "Konnte Daten f\xC3\xBCr 'lock' nicht setzen");
    // The current user's root is not affected.
    SettingsStore u(B());
    EXPECT_TRUE(u.Open(kConfig, true));
}

// The 32-bit view of the machine's Software key is the 64-bit view's Software\Wow6432Node; a
// handle's view decides which one the lock lands in. The user's Software is one for both.
TEST_P(StoreConformance, TheViewDecidesWhereAMachineValueLands) {
    const std::string in32 = "Software\\Wow6432Node\\Varnholt\\Kestrova\\Config";
    const std::uint32_t read64 = kKeyRead | static_cast<std::uint32_t>(RegView::Bits64);
    {
        SettingsStore s(B());
        s.SetRoot(RootKey::LocalMachine);
        ASSERT_TRUE(s.Open(kConfig, true));
        s.SetView(RegView::Bits32); // a change of view releases the key
        EXPECT_FALSE(s.HasCurrentKey());
        EXPECT_EQ(s.View(), RegView::Bits32);
        ASSERT_TRUE(s.Open(kConfig, true));
        s.PutInt("lock", 1);
        EXPECT_EQ(s.GetInt("lock"), 1);
    }
    RegKey k = 0;
    ASSERT_EQ(B().OpenKey(RootHandle(RootKey::LocalMachine), in32, read64, false, k), 0);
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    EXPECT_EQ(B().QueryValue(k, "lock", 4, type, data), 0);
    EXPECT_EQ(data, Bytes({1, 0, 0, 0}));
    B().CloseKey(k);
    SettingsStore s64(B());
    s64.SetRoot(RootKey::LocalMachine);
    s64.SetView(RegView::Bits64);
    ASSERT_TRUE(s64.Open(kConfig, true));
    EXPECT_EQ(ErrorOf([&] { s64.GetInt("lock"); }), "Konnte Daten f\xC3\xBCr 'lock' nicht holen");

    SettingsStore user(B());
    user.SetView(RegView::Bits32);
    ASSERT_TRUE(user.Open(kConfig, true));
    user.PutInt("debug", 1);
    user.SetView(RegView::Bits64);
    ASSERT_TRUE(user.Open(kConfig, false));
    EXPECT_EQ(user.GetInt("debug"), 1);
}

TEST_P(StoreConformance, TheNewestOutlooksBitnessChoosesTheMachineView) {
    const auto text = [](const char* s) {
        std::u16string u;
        for (; *s; ++s)
            u.push_back(char16_t(*s));
        return Utf16z(u);
    };
    const RootKey lm = RootKey::LocalMachine;
    EXPECT_EQ(OutlookMachineView(B()), RegView::Bits64); // no Outlook: the native view
    Stage(lm, "Software\\Microsoft\\Office\\12.0\\Outlook", "", regtype::Sz, text("left over"));
    EXPECT_EQ(OutlookMachineView(B()), RegView::Bits32); // before 14.0: 32-bit only
    Stage(lm, "Software\\Microsoft\\Office\\14.0\\Outlook", "Bitness", regtype::Sz, text("x64"));
    EXPECT_EQ(OutlookMachineView(B()), RegView::Bits64);
    // A newer one registered by a 32-bit installation, in the 32-bit view, wins.
    Stage(lm, "Software\\Wow6432Node\\Microsoft\\Office\\16.0\\Outlook", "Bitness", regtype::Sz,
          text("x86"));
    EXPECT_EQ(OutlookMachineView(B()), RegView::Bits32);
    // A value that names no bitness is passed over.
    Stage(lm, "Software\\Microsoft\\Office\\16.0\\Outlook", "Bitness", regtype::Dword,
          Bytes({1, 0, 0, 0}));
    EXPECT_EQ(OutlookMachineView(B()), RegView::Bits32);
    // Within one version the 64-bit view's entry comes first.
    Stage(lm, "Software\\Microsoft\\Office\\16.0\\Outlook", "Bitness", regtype::Sz, text("x64"));
    EXPECT_EQ(OutlookMachineView(B()), RegView::Bits64);
    // Click-to-Run decides over every MSI version's key, stale ones too.
    Stage(lm, "Software\\Microsoft\\Office\\ClickToRun\\Configuration", "Platform", regtype::Sz,
          text("x86"));
    EXPECT_EQ(OutlookMachineView(B()), RegView::Bits32);
    Stage(lm, "Software\\Microsoft\\Office\\ClickToRun\\Configuration", "Platform", regtype::Sz,
          text("X64"));
    EXPECT_EQ(OutlookMachineView(B()), RegView::Bits64);
}

} // namespace

std::unique_ptr<BackendUnderTest> MakeMemoryBackend() {
    return std::make_unique<MemoryUnderTest>();
}

} // namespace kes::test

// Instantiated in the test executables (not here) so each chooses its backends.
