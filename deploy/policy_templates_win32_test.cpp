// The group-policy templates against the console. The templates must be well-formed (MSXML
// parses them); every key and value name in them must be one that Quillard writes, and every
// one it writes must have a policy: what it writes is learnt by driving the real window on
// scratch registry roots. Every string and presentation id they use must be defined in each
// language file.
#include "console/form/AdminUnit1.h"
#include "console/store/kestrova_layout.h"
#include "console/store/win32_registry.h"
#include "console/testing/test_registry_win32.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"

#include <windows.h>

#include <gtest/gtest.h>
#include <msxml2.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace kes {
namespace {

const wchar_t kNamespaces[] =
    L"xmlns:p='http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions'";
const wchar_t* const kLanguages[] = {L"en-US", L"de-DE"};
// MSXML 3, which Wine carries; mingw's headers declare the ids without defining them.
constexpr GUID kDomDocument30 = {
    0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
constexpr GUID kIXMLDOMDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

// Class ("User" or "Machine"), key path and value name.
using Setting = std::tuple<std::wstring, std::wstring, std::wstring>;

std::wstring Beside(const std::wstring& name) {
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring path(self, n);
    return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// Every value below `path` of a (remapped) root.
void CollectValues(HKEY root, const std::wstring& path, const wchar_t* cls,
                   std::set<Setting>& out) {
    UniqueKey key;
    if (RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, key.Put()) !=
        ERROR_SUCCESS)
        return;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (RegEnumValueW(key.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != 0)
            break;
        out.emplace(cls, path, std::wstring(name, len));
    }
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (RegEnumKeyExW(key.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != 0)
            break;
        CollectValues(root, (path.empty() ? L"" : path + L"\\") + std::wstring(name, len), cls,
                      out);
    }
}

// What the console writes: every switch ticked, both collection numbers answered, on empty
// scratch roots, then everything found below them.
std::set<Setting> WrittenByConsole() {
    test::ScratchRoots roots;
    std::vector<std::string> errors;
    Services s;
    s.Registry = std::make_shared<Win32Registry>();
    s.ErrorBox = [&errors](const std::string& t) { errors.push_back(t); };
    s.ShowNotice = [&errors](const std::string& t) { errors.push_back(t); };
    s.PromptText = [](const std::string&, const std::string&, const std::string&) {
        return std::string("20");
    };
    {
        TQuillard form(std::move(s));
        form.Create(SW_SHOWNOACTIVATE);
        for (TCheckBox* box : {form.chkDebug.get(), form.chkAdmin.get(), form.Journal.get(),
                               form.Desktopbenachrichtigung.get(), form.chkReminders.get(),
                               form.chk_pack_every_mail.get()})
            Application().Guard([box] { box->SetChecked(true); });
        for (TMenuItem* item : {form.Collectcount1.get(), form.collecttime1.get()})
            Application().Guard([item] { item->Click(); });
    }
    EXPECT_TRUE(errors.empty()) << errors.front();
    std::set<Setting> written;
    CollectValues(HKEY_CURRENT_USER, L"", L"User", written);
    CollectValues(HKEY_LOCAL_MACHINE, L"", L"Machine", written);
    return written;
}

std::wstring Text(BSTR s) {
    return s != nullptr ? std::wstring(s, SysStringLen(s)) : std::wstring();
}

ComPtr<IXMLDOMDocument2> Load(const std::wstring& path) {
    ComPtr<IXMLDOMDocument2> doc;
    if (FAILED(CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIXMLDOMDocument2,
                                doc.PutVoid())))
        return {};
    doc->put_async(VARIANT_FALSE);
    doc->put_resolveExternals(VARIANT_FALSE);
    UniqueVariant file, language, namespaces;
    file.v.vt = VT_BSTR;
    file.v.bstrVal = SysAllocString(path.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (FAILED(doc->load(file.v, &ok)) || ok != VARIANT_TRUE) {
        ComPtr<IXMLDOMParseError> error;
        UniqueBstr reason;
        if (SUCCEEDED(doc->get_parseError(error.Put())) && error)
            error->get_reason(reason.Put());
        ADD_FAILURE() << "not well-formed: " << std::string(path.begin(), path.end()) << ": "
                      << [&] {
                             std::wstring r = Text(reason.Get());
                             return std::string(r.begin(), r.end());
                         }();
        return {};
    }
    language.v.vt = VT_BSTR;
    language.v.bstrVal = SysAllocString(L"XPath");
    namespaces.v.vt = VT_BSTR;
    namespaces.v.bstrVal = SysAllocString(kNamespaces);
    const UniqueBstr selectionLanguage(SysAllocString(L"SelectionLanguage"));
    const UniqueBstr selectionNamespaces(SysAllocString(L"SelectionNamespaces"));
    doc->setProperty(selectionLanguage.Get(), language.v);
    doc->setProperty(selectionNamespaces.Get(), namespaces.v);
    return doc;
}

std::vector<ComPtr<IXMLDOMNode>> Select(IXMLDOMNode* from, const wchar_t* xpath) {
    std::vector<ComPtr<IXMLDOMNode>> nodes;
    const UniqueBstr query(SysAllocString(xpath));
    ComPtr<IXMLDOMNodeList> list;
    if (FAILED(from->selectNodes(query.Get(), list.Put())) || !list)
        return nodes;
    for (;;) {
        ComPtr<IXMLDOMNode> node;
        if (list->nextNode(node.Put()) != S_OK || !node)
            break;
        nodes.push_back(std::move(node));
    }
    return nodes;
}

std::wstring TextOf(IXMLDOMNode* node) {
    UniqueBstr text;
    node->get_text(text.Put());
    return Text(text.Get());
}

// An attribute's text; empty when the node has none.
std::wstring Attribute(IXMLDOMNode* node, const std::wstring& name) {
    std::vector<ComPtr<IXMLDOMNode>> found = Select(node, (L"@" + name).c_str());
    return found.empty() ? std::wstring() : TextOf(found[0].Get());
}

// The ids of every "$(kind.id)" reference in a document's attributes.
std::set<std::wstring> References(IXMLDOMNode* doc, const std::wstring& kind) {
    std::set<std::wstring> ids;
    const std::wstring head = L"$(" + kind + L".";
    for (const ComPtr<IXMLDOMNode>& attr : Select(doc, L"//@*")) {
        const std::wstring v = TextOf(attr.Get());
        if (v.rfind(head, 0) == 0 && v.back() == L')')
            ids.insert(v.substr(head.size(), v.size() - head.size() - 1));
    }
    return ids;
}

std::set<std::wstring> Ids(IXMLDOMNode* doc, const wchar_t* xpath) {
    std::set<std::wstring> ids;
    for (const ComPtr<IXMLDOMNode>& node : Select(doc, xpath))
        ids.insert(TextOf(node.Get()));
    return ids;
}

std::string Narrow(const std::wstring& s) {
    return std::string(s.begin(), s.end());
}

// A machine key's path with the 32-bit view's "Wow6432Node" taken out.
std::wstring InOneView(std::wstring key) {
    const std::wstring node = L"Software\\Wow6432Node\\";
    if (key.rfind(node, 0) == 0)
        key.replace(0, node.size(), L"Software\\");
    return key;
}

// One registry item of a policy: key, value name and the number it writes.
struct PolicyItem {
    std::wstring key, valueName;
    DWORD value = 0;
};

// What a policy writes when enabled (or disabled): its own value and its list's items.
std::vector<PolicyItem> ItemsOf(IXMLDOMNode* policy, bool enabled) {
    std::vector<PolicyItem> items;
    const std::wstring state = enabled ? L"enabled" : L"disabled";
    for (const ComPtr<IXMLDOMNode>& v :
         Select(policy, (L"p:" + state + L"Value/p:decimal").c_str()))
        items.push_back({Attribute(policy, L"key"), Attribute(policy, L"valueName"),
                         static_cast<DWORD>(std::stoul(Attribute(v.Get(), L"value")))});
    for (const ComPtr<IXMLDOMNode>& item : Select(policy, (L"p:" + state + L"List/p:item").c_str()))
        for (const ComPtr<IXMLDOMNode>& v : Select(item.Get(), L"p:value/p:decimal"))
            items.push_back({Attribute(item.Get(), L"key"), Attribute(item.Get(), L"valueName"),
                             static_cast<DWORD>(std::stoul(Attribute(v.Get(), L"value")))});
    return items;
}

// The lock as the add-in of one bitness reads it; ~0 when there is none.
DWORD LockIn(REGSAM view) {
    UniqueKey key;
    DWORD value = ~0u, size = sizeof value, type = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Varnholt\\Kestrova\\Config", 0,
                      KEY_READ | view, key.Put()) != ERROR_SUCCESS ||
        RegQueryValueExW(key.Get(), L"lock", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD)
        return ~0u;
    return value;
}

// The machine's keys that the lock test stages, in both views.
void ClearMachine() {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        UniqueKey software;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | view,
                          software.Put()) != ERROR_SUCCESS)
            continue;
        RegDeleteTreeW(software.Get(), L"Varnholt");
        RegDeleteKeyExW(software.Get(), L"Varnholt", view, 0);
        RegDeleteTreeW(software.Get(), L"Microsoft\\Office\\16.0");
        RegDeleteKeyExW(software.Get(), L"Microsoft\\Office\\16.0", view, 0);
        RegDeleteKeyExW(software.Get(), L"Microsoft\\Office", view, 0); // only when empty
    }
}

TEST(PolicyTemplates, NameWhatTheConsoleWritesInEveryLanguage) {
    const ComInit com;
    ASSERT_TRUE(SUCCEEDED(com.Result()));
    const ComPtr<IXMLDOMDocument2> admx = Load(Beside(L"templates\\Kestrova.admx"));
    ASSERT_TRUE(admx);

    // Each policy's value, or the values of its elements (under the policy's key unless they
    // name their own).
    std::set<Setting> named;
    for (const ComPtr<IXMLDOMNode>& policy : Select(admx.Get(), L"//p:policies/p:policy")) {
        const std::wstring cls = Attribute(policy.Get(), L"class");
        const std::wstring key = Attribute(policy.Get(), L"key");
        EXPECT_TRUE(cls == L"User" || cls == L"Machine") << Narrow(cls);
        if (std::wstring value = Attribute(policy.Get(), L"valueName"); !value.empty())
            named.emplace(cls, key, value);
        // On the scratch roots the two views are one key: an item for the 32-bit view names
        // what the console writes there.
        for (const ComPtr<IXMLDOMNode>& item :
             Select(policy.Get(), L"p:enabledList/p:item | p:disabledList/p:item"))
            named.emplace(cls, InOneView(Attribute(item.Get(), L"key")),
                          Attribute(item.Get(), L"valueName"));
        for (const ComPtr<IXMLDOMNode>& element : Select(policy.Get(), L"p:elements/*")) {
            const std::wstring own = Attribute(element.Get(), L"key");
            named.emplace(cls, own.empty() ? key : own, Attribute(element.Get(), L"valueName"));
        }
    }
    const std::set<Setting> written = WrittenByConsole();
    // Every value of the add-in's layout that the console sets is among them.
    const std::wstring config = Widen(layout::kConfig + 1);
    for (const char* value :
         {layout::kDebug, layout::kJournal, layout::kRemoveReminder, layout::kPackEveryTime,
          layout::kDesktopNotification, layout::kCollectCount, layout::kCollectTime})
        EXPECT_TRUE(written.contains({L"User", config, Widen(value)})) << value;
    EXPECT_TRUE(written.contains({L"Machine", config, Widen(layout::kLock)}));
    for (const Setting& s : named)
        EXPECT_TRUE(written.contains(s))
            << "the console writes no " << Narrow(std::get<0>(s)) << " value "
            << Narrow(std::get<1>(s)) << "\\" << Narrow(std::get<2>(s));
    for (const Setting& s : written)
        EXPECT_TRUE(named.contains(s)) << "no policy for " << Narrow(std::get<0>(s)) << " value "
                                       << Narrow(std::get<1>(s)) << "\\" << Narrow(std::get<2>(s));

    const std::set<std::wstring> strings = References(admx.Get(), L"string");
    const std::set<std::wstring> presentations = References(admx.Get(), L"presentation");
    EXPECT_FALSE(strings.empty());
    for (const wchar_t* language : kLanguages) {
        const ComPtr<IXMLDOMDocument2> adml =
            Load(Beside(L"templates\\" + std::wstring(language) + L"\\Kestrova.adml"));
        ASSERT_TRUE(adml) << Narrow(language);
        const std::set<std::wstring> defined = Ids(adml.Get(), L"//p:stringTable/p:string/@id");
        for (const std::wstring& id : strings)
            EXPECT_TRUE(defined.contains(id)) << Narrow(language) << ": no string " << Narrow(id);
        const std::set<std::wstring> shown =
            Ids(adml.Get(), L"//p:presentationTable/p:presentation/@id");
        for (const std::wstring& id : presentations)
            EXPECT_TRUE(shown.contains(id))
                << Narrow(language) << ": no presentation " << Narrow(id);
    }
}

// The lock policy reaches the add-in of either bitness: its registry items applied as the 64-bit
// policy client applies them (every key in the 64-bit view), the console shows what the
// add-in of the installed Outlook reads and leaves it there, and its own change lands where
// the policy writes. wine64 has both views; the machine's own keys are used.
TEST(PolicyTemplates, TheLockPolicyAndTheConsoleAgreeForEitherOutlook) {
    const ComInit com;
    ASSERT_TRUE(SUCCEEDED(com.Result()));
    const ComPtr<IXMLDOMDocument2> admx = Load(Beside(L"templates\\Kestrova.admx"));
    ASSERT_TRUE(admx);
    const std::vector<ComPtr<IXMLDOMNode>> lock =
        Select(admx.Get(), L"//p:policies/p:policy[@name='Lock']");
    ASSERT_EQ(lock.size(), 1u);
    test::ScratchRoots roots(/*remapMachine=*/false);
    const struct {
        const wchar_t* bitness;
        REGSAM outlookIn;
    } outlooks[] = {{L"x86", KEY_WOW64_32KEY}, {L"x64", KEY_WOW64_64KEY}};
    for (const auto& outlook : outlooks) {
        for (bool enabled : {true, false}) {
            const std::string what = Narrow(outlook.bitness) + (enabled ? " enabled" : " disabled");
            ClearMachine();
            UniqueKey office;
            ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                      L"Software\\Microsoft\\Office\\16.0\\Outlook", 0, nullptr, 0,
                                      KEY_ALL_ACCESS | outlook.outlookIn, nullptr, office.Put(),
                                      nullptr),
                      ERROR_SUCCESS);
            RegSetValueExW(office.Get(), L"Bitness", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(outlook.bitness), 4 * sizeof(wchar_t));
            for (const PolicyItem& item : ItemsOf(lock[0].Get(), enabled)) {
                UniqueKey key;
                ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, item.key.c_str(), 0, nullptr, 0,
                                          KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, key.Put(),
                                          nullptr),
                          ERROR_SUCCESS);
                RegSetValueExW(key.Get(), item.valueName.c_str(), 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&item.value), sizeof item.value);
            }
            const DWORD applied = enabled ? 1 : 0;
            std::vector<std::string> errors;
            Services s;
            s.Registry = std::make_shared<Win32Registry>();
            s.ErrorBox = [&errors](const std::string& t) { errors.push_back(t); };
            s.ShowNotice = [&errors](const std::string& t) { errors.push_back(t); };
            {
                TQuillard form(std::move(s));
                form.Create(SW_SHOWNOACTIVATE);
                EXPECT_TRUE(form.chkAdmin->Enabled()) << what;
                EXPECT_EQ(form.chkAdmin->Checked(), enabled) << what;
                EXPECT_EQ(LockIn(outlook.outlookIn), applied) << what << ": the add-in's view";
                EXPECT_EQ(LockIn(KEY_WOW64_64KEY), LockIn(KEY_WOW64_32KEY)) << what;
                // The administrator changes it in the console: both views follow.
                Application().Guard([&form, enabled] { form.chkAdmin->SetChecked(!enabled); });
                EXPECT_EQ(LockIn(KEY_WOW64_64KEY), 1 - applied) << what;
                EXPECT_EQ(LockIn(KEY_WOW64_32KEY), 1 - applied) << what;
            }
            EXPECT_TRUE(errors.empty()) << what << ": " << errors.front();
        }
    }
    ClearMachine();
}

} // namespace
} // namespace kes
