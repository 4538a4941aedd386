// The support mail for real under Wine: COM activation of a small server of ours registered
// for Outlook's class in the test prefix, and the console's window pressing its button.
#include "console/viewer/outlook_mail.h"

#include "console/form/AdminUnit1.h"
#include "console/store/kestrova_layout.h"
#include "console/store/memory_registry.h"
#include "console/store/settings_store.h"
#include "console/viewer/log_text.h"
#include "console/viewer/log_view_text.h"
#include "console/viewer/log_viewer_win32.h"
#include "console/viewer/outlook_mail_win32.h"
#include "console/viewer/zip_writer.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"
#include "toolkit/testing/window_test_kit_win32.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <oleauto.h>

namespace kes {
namespace {

// Wine reads COM classes from the machine's branch only.
const wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{0006F03A-0000-0000-C000-000000000046}";
const char kSorry[] = "There was an error, sorry!";

std::wstring BesideTheTest(const wchar_t* name) {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring p(buf, n);
    return p.substr(0, p.rfind(L'\\') + 1) + name;
}

template <class F> F Proc(HMODULE m, const char* name) {
    // Through the generic function type, which any function pointer may be cast to.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(m, name)));
}

// The server's record, read through its exports.
struct Fake {
    UniqueLibrary dll{LoadLibraryW(BesideTheTest(L"fake_outlook.dll").c_str())};
    void (*Reset)(int) = Proc<void (*)(int)>(dll.Get(), "FakeOutlookReset");
    int (*CountFn)(const wchar_t*) = Proc<int (*)(const wchar_t*)>(dll.Get(), "FakeOutlookCount");
    BSTR(*MailFn)
    (int, const wchar_t*) = Proc<BSTR (*)(int, const wchar_t*)>(dll.Get(), "FakeOutlookMail");
    BSTR(*AttachmentFn)
    (int, int, const wchar_t*) = Proc<BSTR (*)(int, int, const wchar_t*)>(dll.Get(),
                                                                          "FakeOutlookAttachment");
    void (*Busy)(int) = Proc<void (*)(int)>(dll.Get(), "FakeOutlookBusy");
    void (*OnDisplay)(void (*)(void*),
                      void*) = Proc<void (*)(void (*)(void*), void*)>(dll.Get(),
                                                                      "FakeOutlookOnDisplay");
    int Count(const wchar_t* what) const { return CountFn(what); }
    std::u16string Mail(int i, const wchar_t* field) const {
        const UniqueBstr b(MailFn(i, field));
        if (!b)
            return u"<none>";
        return std::u16string(reinterpret_cast<const char16_t*>(b.Get()), SysStringLen(b.Get()));
    }
    std::wstring AttachmentPath(int mail, int i) const {
        const UniqueBstr b(AttachmentFn(mail, i, L"Path"));
        return b ? std::wstring(b.Get(), SysStringLen(b.Get())) : L"<none>";
    }
    std::string AttachmentBytes(int mail, int i) const {
        const UniqueBstr b(AttachmentFn(mail, i, L"Bytes"));
        return b ? std::string(reinterpret_cast<const char*>(b.Get()), SysStringByteLen(b.Get()))
                 : "<none>";
    }
};

// The body as composed: the request, the add-in's status report, then "Debuglog:" and the log.
::testing::AssertionResult HoldsLog(const std::u16string& body, const std::u16string& log) {
    const std::u16string opening = kSupportOpening;
    const std::u16string request = opening.substr(0, opening.rfind(u"Debuglog:"));
    const std::u16string tail = u"\nDebuglog:\n\n" + log;
    if (body.compare(0, request.size(), request) != 0 ||
        body.compare(request.size(), 30, u"Add-in status / Add-In-Status\n") != 0 ||
        body.size() < tail.size() ||
        body.compare(body.size() - tail.size(), tail.size(), tail) != 0)
        return ::testing::AssertionFailure() << "body: " << ::testing::PrintToString(body);
    return ::testing::AssertionSuccess();
}

// The support button's captions, as a thread timer of the test finds them while messages are
// handled (also inside the wait for the log).
HWND g_button;
std::vector<std::string> g_captions;
void CALLBACK RecordCaption(HWND, UINT, UINT_PTR, DWORD) {
    wchar_t text[200] = {};
    GetWindowTextW(g_button, text, 200);
    const std::string caption = Narrow(text);
    if (g_captions.empty() || g_captions.back() != caption)
        g_captions.push_back(caption);
}

// The support button's caption when a posted click reaches the box it is posted to.
WNDPROC g_boxProc;
std::string g_captionAtClick;
LRESULT CALLBACK RecordAtClick(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == BM_CLICK) {
        RecordCaption(nullptr, 0, 0, 0);
        g_captionAtClick = g_captions.back();
    }
    return CallWindowProcW(g_boxProc, h, m, w, l);
}

class SupportMailPress : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(com.Result()));
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
        ASSERT_TRUE(fake.dll && fake.Reset && fake.CountFn && fake.MailFn && fake.Busy &&
                    fake.OnDisplay && fake.AttachmentFn);
        fake.Reset(0);
    }
    void TearDown() override {
        form.reset();
        if (!logPath.empty()) {
            DeleteFileW(logPath.c_str());
            RemoveDirectoryW(logDir.c_str());
        }
        // Hermetic: the prefix is shared by every Windows test that runs after this one.
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
    }
    void Register() {
        UniqueKey k;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                  (std::wstring(kClassKey) + L"\\InprocServer32").c_str(), 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, k.Put(), nullptr),
                  ERROR_SUCCESS);
        const std::wstring dll = BesideTheTest(L"fake_outlook.dll");
        RegSetValueExW(k.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                       static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
        const wchar_t model[] = L"Apartment";
        RegSetValueExW(k.Get(), L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                       sizeof(model));
    }
    void Start() {
        Services s;
        s.Registry = std::make_shared<MemoryRegistry>();
        s.ErrorBox = [this](const std::string& t) { errors.push_back(t); };
        s.ShowNotice = [this](const std::string& t) { notices.push_back(t); };
        s.PromptText = [](const std::string&, const std::string&, const std::string& d) {
            return d;
        };
        s.DebugLogPath = [this] { return Narrow(logPath); };
        s.FallbackLogPath = [] { return std::string(); };
        form = std::make_unique<TQuillard>(std::move(s));
        form->Create(SW_SHOWNOACTIVATE);
    }
    void Show(const std::string& ansi) { SetMemoAnsiText(form->LogFile->Handle(), ansi); }
    void Press() { SendMessageW(form->SpeedButton1->Handle(), BM_CLICK, 0, 0); }

    // The log a tick shows: a file in a folder of the test's own.
    void TickWith(const std::string& log) {
        if (logPath.empty()) {
            wchar_t tmp[MAX_PATH];
            GetTempPathW(MAX_PATH, tmp);
            logDir = std::wstring(tmp) + L"kes_mail_" + std::to_wstring(GetCurrentProcessId());
            CreateDirectoryW(logDir.c_str(), nullptr);
            logPath = logDir + L"\\Kestrova_debug.log";
        }
        {
            const UniqueFile h(
                CreateFileW(logPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            DWORD n = 0;
            WriteFile(h.Get(), log.data(), static_cast<DWORD>(log.size()), &n, nullptr);
        }
        form->chkDebug->SetChecked(true);
        form->Timer1Timer(form->Timer1.get());
    }
    static std::u16string U16(const std::string& ansi) {
        const std::wstring w = WidenAnsi(ansi);
        return std::u16string(w.begin(), w.end());
    }

    std::wstring logDir, logPath;
    ComInit com; // first in, last out: COM outlives the form and the server's exports
    Fake fake;
    std::vector<std::string> errors, notices;
    std::unique_ptr<TQuillard> form;
};

TEST_F(SupportMailPress, WithoutOutlookTheNoticeIsShownAndNothingElseHappens) {
    Start();
    Show("kept\r\n");
    Press();
    Press();
    EXPECT_EQ(notices, (std::vector<std::string>{kSorry, kSorry}));
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(form->olApp->Connected());
    EXPECT_EQ(fake.Count(L"instances"), 0);
    EXPECT_EQ(MemoText(form->LogFile->Handle()), L"kept\r\n");
}

TEST_F(SupportMailPress, OneMailPerPressOverOneConnectionAndOutlookIsNotAskedToQuit) {
    Register();
    Start();
    EXPECT_FALSE(form->olApp->Connected()); // nothing at creation
    EXPECT_EQ(fake.Count(L"instances"), 0);
    Show("10:00 start\r\n10:01 \xE4nderung\r\n");
    Press();
    ASSERT_EQ(fake.Count(L"mails"), 1);
    EXPECT_EQ(fake.Count(L"instances"), 1);
    EXPECT_EQ(fake.Mail(0, L"ItemType"), u"0");
    EXPECT_EQ(fake.Mail(0, L"To"), kSupportAddress);
    EXPECT_EQ(fake.Mail(0, L"Subject"), u"Debug.log => Kestrova");
    EXPECT_TRUE(HoldsLog(fake.Mail(0, L"Body"), u"10:00 start\r\n10:01 \u00e4nderung\r\n"));
    // Nothing read back (the test server records any read and Send), nothing sent.
    EXPECT_EQ(fake.Mail(0, L"Calls"), u"To,Subject,Body,Display,");
    // Modal: a 16-bit true, -1.
    EXPECT_EQ(fake.Mail(0, L"DisplayType"), u"11"); // VT_BOOL
    EXPECT_EQ(fake.Mail(0, L"DisplayValue"), u"-1");

    // The second press, from the keyboard (Enter on the focused button), reuses the connection;
    // an empty view gives the opening text alone.
    Show("");
    SetForegroundWindow(form->Handle());
    ASSERT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == form->Handle(); }, 5000,
                                form->Handle()));
    SetFocus(form->SpeedButton1->Handle());
    ASSERT_TRUE(test::PressKey(VK_RETURN, test::kNoModifier, form->Handle()));
    ASSERT_EQ(fake.Count(L"mails"), 2);
    EXPECT_EQ(fake.Count(L"instances"), 1);
    EXPECT_TRUE(HoldsLog(fake.Mail(1, L"Body"), u""));
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(errors.empty());

    // Closing releases everything the console held, and leaves Outlook running.
    form.reset();
    EXPECT_EQ(fake.Count(L"quits"), 0);
    EXPECT_EQ(fake.Count(L"live"), 0);
}

// What support asks first travels with the mail: the status as it stands at the press.
TEST_F(SupportMailPress, TheBodyCarriesTheAddinStatusReadAtThePress) {
    Register();
    Start();
    {
        SettingsStore s(*form->Svc().Registry);
        ASSERT_TRUE(s.Open(layout::kConfig, true));
        s.PutInt(layout::kJournal, 1);
    }
    Show("10:00 start\r\n");
    Press();
    ASSERT_EQ(fake.Count(L"mails"), 1);
    const std::u16string body = fake.Mail(0, L"Body");
    EXPECT_TRUE(HoldsLog(body, u"10:00 start\r\n"));
    const std::size_t journal = body.find(u"\n  journal: on / ein (1)\n");
    EXPECT_NE(journal, std::u16string::npos);
    EXPECT_LT(journal, body.find(u"Debuglog:"));
    EXPECT_NE(body.find(u"\n  No Outlook found / Kein Outlook gefunden\n"), std::u16string::npos);
    EXPECT_EQ(body.find(u'\r'), body.find(u"10:00 start\r\n") + 11); // LF until the log
}

TEST_F(SupportMailPress, ARunningOutlookIsUsedWithoutStartingAnother) {
    Register();
    ComPtr<IUnknown> running;
    ASSERT_EQ(CoCreateInstance(CLSID_OutlookApplication, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IUnknown, running.PutVoid()),
              S_OK);
    DWORD cookie = 0;
    ASSERT_EQ(
        RegisterActiveObject(running.Get(), CLSID_OutlookApplication, ACTIVEOBJECT_STRONG, &cookie),
        S_OK);
    fake.Reset(0);
    Start();
    Show("running\r\n");
    Press();
    EXPECT_EQ(fake.Count(L"instances"), 0);
    ASSERT_EQ(fake.Count(L"mails"), 1);
    EXPECT_TRUE(HoldsLog(fake.Mail(0, L"Body"), u"running\r\n"));
    EXPECT_TRUE(notices.empty());
    form.reset();
    RevokeActiveObject(cookie, nullptr);
    running.Reset();
    EXPECT_EQ(fake.Count(L"live"), 0);
    EXPECT_EQ(fake.Count(L"quits"), 0);
}

TEST_F(SupportMailPress, RefusedItemOrNoMailInterfaceShowsTheNoticeAndDisplaysNothing) {
    Register();
    Start();
    fake.Reset(1); // CreateItem fails
    Press();
    EXPECT_EQ(fake.Count(L"mails"), 0);
    EXPECT_EQ(notices, std::vector<std::string>{kSorry});
    fake.Reset(2); // an item, but no _MailItem
    Press();
    ASSERT_EQ(fake.Count(L"mails"), 1);
    EXPECT_EQ(fake.Mail(0, L"Calls"), u"");
    EXPECT_EQ(notices, (std::vector<std::string>{kSorry, kSorry}));
    // Outlook itself still answers: the connection made by the first press stays in use.
    fake.Reset(0);
    Press();
    EXPECT_EQ(fake.Count(L"instances"), 0);
    EXPECT_EQ(fake.Count(L"mails"), 1);
    EXPECT_EQ(notices.size(), 2u);
    EXPECT_TRUE(errors.empty());
}

// Whatever filter the thread had must come back after the mail.
struct ThreadFilter : IMessageFilter {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return ~0u; }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
};

IMessageFilter* CurrentFilter() {
    IMessageFilter* f = nullptr;
    CoRegisterMessageFilter(nullptr, &f);
    CoRegisterMessageFilter(f, nullptr);
    if (f)
        f->Release();
    return f;
}

// Wine's COM channel never asks a client's filter (it treats a server's "retry later" as
// handled), so the test server answers the busy code itself and checks the filter in place.
TEST_F(SupportMailPress, ABusyOutlookIsRetriedWithinTheBoundWhileOurFilterStands) {
    Register();
    Start();
    ThreadFilter previous;
    ASSERT_EQ(CoRegisterMessageFilter(&previous, nullptr), S_OK);
    // Off the thread again whatever fails below: it lives on this stack.
    const struct Unregister {
        ~Unregister() { CoRegisterMessageFilter(nullptr, nullptr); }
    } unregister;
    form->olApp->BusyRetryDelayMs = 0;
    fake.Busy(3);
    Press();
    EXPECT_EQ(fake.Count(L"rejected"), 3);
    EXPECT_EQ(fake.Count(L"filtered"), 3); // each time our filter was there and would retry
    ASSERT_EQ(fake.Count(L"mails"), 1);
    EXPECT_EQ(fake.Mail(0, L"Calls"), u"To,Subject,Body,Display,");
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(CurrentFilter(), &previous);

    // Past the bound the call fails, once, with the one message.
    form->olApp->BusyTimeoutMs = 0;
    fake.Busy(1000);
    Press();
    EXPECT_EQ(fake.Count(L"rejected"), 4);
    EXPECT_EQ(fake.Count(L"mails"), 1);
    EXPECT_EQ(notices, std::vector<std::string>{kSorry});
    EXPECT_EQ(CurrentFilter(), &previous);
    EXPECT_TRUE(errors.empty());
}

TEST_F(SupportMailPress, APressWhileTheMailIsShownStartsNoSecondMail) {
    Register();
    Start();
    struct Inside {
        HWND button;
        int presses = 0;
    } inside{form->SpeedButton1->Handle()};
    fake.OnDisplay(
        [](void* c) {
            auto* in = static_cast<Inside*>(c);
            ++in->presses;
            SendMessageW(in->button, BM_CLICK, 0, 0);
        },
        &inside);
    Press();
    EXPECT_EQ(inside.presses, 1);
    EXPECT_EQ(fake.Count(L"mails"), 1);
    EXPECT_TRUE(notices.empty());
    // Once the mail window is closed the button works again.
    fake.OnDisplay(nullptr, nullptr);
    Press();
    EXPECT_EQ(fake.Count(L"mails"), 2);
    EXPECT_TRUE(errors.empty());
}

TEST_F(SupportMailPress, AShownWholeLogGoesInTheBodyABigOneTravelsAttached) {
    Register();
    Start();
    // Shown whole: the log's own text in the body, its long line unbroken, nothing attached.
    const std::string small = "10:00 start\n" + std::string(300, 'w') + "\n10:01 \xE4nderung\n";
    TickWith(small);
    Press();
    ASSERT_EQ(fake.Count(L"mails"), 1);
    EXPECT_TRUE(HoldsLog(fake.Mail(0, L"Body"), U16(LogToCrLf(small))));
    EXPECT_EQ(fake.Mail(0, L"Attachments"), u"0");
    EXPECT_EQ(fake.Mail(0, L"Calls"), u"To,Subject,Body,Display,");

    // Past what the view shows whole: the whole log attached as it was at the tick, its end
    // in the body under a line that says where the rest is.
    std::string big;
    for (int i = 0; big.size() < 600 * 1024; ++i)
        big += "12:00:00 Kestrova item " + std::to_string(i) + " \xE4nderung\n";
    big.insert(1000, std::string(700, '\0')); // a cut-off write: the zip keeps it
    TickWith(big);
    const std::uint64_t from = form->LogShown().View().ShownFrom();
    ASSERT_GT(from, 0u);
    const std::u16string tail = U16(LogToCrLf(big.substr(from)));
    const std::string caption = form->SpeedButton1->Text();
    Press();
    // Packed on a worker: the press returns at once with the button telling how far it has
    // come, and a message posted meanwhile is handled while it packs.
    EXPECT_EQ(fake.Count(L"mails"), 1);
    EXPECT_EQ(form->SpeedButton1->Text(), PackingCaption(0));
    g_button = form->SpeedButton1->Handle();
    g_captions.clear();
    g_boxProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        form->Journal->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordAtClick)));
    PostMessageW(form->Journal->Handle(), BM_CLICK, 0, 0);
    ASSERT_TRUE(test::PumpUntil([this] { return form->Journal->Checked(); }));
    SetWindowLongPtrW(form->Journal->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_boxProc));
    EXPECT_EQ(g_captionAtClick.substr(0, 30), "Packing the log for the mail: ") << g_captionAtClick;
    ASSERT_TRUE(test::PumpUntil([this] { return fake.Count(L"mails") == 2; }));
    EXPECT_EQ(form->SpeedButton1->Text(), caption);
    EXPECT_EQ(fake.Mail(1, L"Calls"), u"To,Subject,Attach,Body,Display,");
    ASSERT_EQ(fake.Mail(1, L"Attachments"), u"1");
    const std::wstring attached = fake.AttachmentPath(1, 0);
    EXPECT_EQ(attached.substr(attached.rfind(L'\\') + 1), L"Kestrova_debug.zip");
    // A zip of the log's text as savelog writes it (its round trip is checked on the host,
    // with zlib): the name, size and checksum of that text, in a fraction of its bytes.
    const std::string zip = fake.AttachmentBytes(1, 0);
    std::string text;
    for (char c : big)
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_GT(zip.size(), 30u);
    const auto le = [&zip](size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(zip[at]) |
                                          static_cast<unsigned char>(zip[at + 1]) << 8 |
                                          static_cast<unsigned char>(zip[at + 2]) << 16 |
                                          static_cast<unsigned char>(zip[at + 3]) << 24);
    };
    EXPECT_EQ(le(0), 0x04034B50u);
    EXPECT_EQ(zip.substr(30, 18), "Kestrova_debug.log");
    // Dated today (the DOS date of the local time).
    SYSTEMTIME today;
    GetLocalTime(&today);
    EXPECT_EQ(static_cast<unsigned char>(zip[12]) | static_cast<unsigned char>(zip[13]) << 8,
              (today.wYear - 1980) << 9 | today.wMonth << 5 | today.wDay);
    EXPECT_EQ(le(14), Crc32(0, text));
    EXPECT_EQ(le(22), text.size());
    EXPECT_EQ(le(18) + 30 + 18 + 46 + 18 + 22, zip.size());
    EXPECT_LT(zip.size(), text.size() / 5);
    EXPECT_TRUE(
        HoldsLog(fake.Mail(1, L"Body"), MailOmittedLine(from, u"Kestrova_debug.zip") + tail));
    // The copy made for Outlook is gone with the mail window, its folder too.
    EXPECT_EQ(GetFileAttributesW(attached.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(attached.substr(0, attached.rfind(L'\\')).c_str()),
              INVALID_FILE_ATTRIBUTES);

    // Outlook refuses the attachment: the body then says what the view says, no promise.
    fake.Reset(3);
    Press();
    ASSERT_TRUE(test::PumpUntil([this] { return fake.Count(L"mails") == 1; }));
    EXPECT_EQ(fake.Mail(0, L"Attachments"), u"0");
    EXPECT_TRUE(HoldsLog(fake.Mail(0, L"Body"), U16(OmittedLine(from)) + tail));
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(errors.empty());
}

// The folders this process made for attachments, still in the temporary folder.
int MailFolders() {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring pattern =
        std::wstring(tmp) + L"Kestrova mail " + std::to_wstring(GetCurrentProcessId()) + L"-*";
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do
        ++n;
    while (FindNextFileW(h, &found));
    FindClose(h);
    return n;
}

// While a big log is packed for the mail, the log stays as it was at the press (the packing
// thread reads it), whatever a tick finds; a console closed meanwhile, by its close path or
// destroyed outright, stops the packing and leaves no file behind. Pressed while the log is
// still read, the button tells so, then how far the packing has come.
TEST_F(SupportMailPress, ALogBeingPackedStaysAsItWasAndClosingMidwayLeavesNothing) {
    Register();
    std::string log;
    for (int i = 0; log.size() < 6u << 20; ++i)
        log += "12:00:00 Kestrova item " + std::to_string(i) + " state ok\r\n";
    const struct {
        const char* what;
        bool whileRead, closeFirst, destroy;
        int outlook; // the test server's answer: 0 a mail, 1 no item
    } cases[] = {
        {"ticks meanwhile", false, false, false, 0},
        {"pressed while read", true, false, false, 0},
        {"no mail item after packing", false, false, false, 1},
        {"closed", false, true, false, 0},
        {"destroyed", false, false, true, 0},
    };
    for (const auto& c : cases) {
        fake.Reset(c.outlook);
        notices.clear();
        Start();
        TickWith(log);
        ASSERT_TRUE(form->LogShown().Reading()) << c.what;
        ASSERT_TRUE(c.whileRead || form->LogShown().WaitWhole()) << c.what;
        const int before = MailFolders();
        const std::string caption = form->SpeedButton1->Text();
        g_button = form->SpeedButton1->Handle();
        g_captions.clear();
        const UINT_PTR record = SetTimer(nullptr, 0, 1, RecordCaption);
        Press();
        KillTimer(nullptr, record);
        if (c.whileRead) {
            ASSERT_FALSE(g_captions.empty());
            EXPECT_EQ(g_captions[0].substr(0, 17), "Reading the log: ") << g_captions[0];
            EXPECT_EQ(form->SpeedButton1->Text(), PackingCaption(0));
            ASSERT_TRUE(test::PumpUntil([this] { return fake.Count(L"mails") == 1; }, 60000));
            EXPECT_EQ(form->SpeedButton1->Text(), caption);
            form.reset();
            continue;
        }
        ASSERT_EQ(MailFolders(), before + 1) << c.what;
        if (c.closeFirst) {
            SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
            test::PumpPending();
        }
        if (c.outlook) {
            // The one message, the button as it was, nothing left behind, and usable again.
            ASSERT_TRUE(test::PumpUntil([this] { return !notices.empty(); }, 60000));
            EXPECT_EQ(notices, std::vector<std::string>{kSorry});
            EXPECT_EQ(form->SpeedButton1->Text(), caption);
            EXPECT_EQ(MailFolders(), before);
            fake.Reset(0);
            Press();
            EXPECT_TRUE(test::PumpUntil([this] { return fake.Count(L"mails") == 1; }, 60000));
            form.reset();
            notices.clear();
            continue;
        }
        if (c.closeFirst || c.destroy) {
            form.reset();
            EXPECT_EQ(MailFolders(), before) << c.what;
            EXPECT_EQ(fake.Count(L"mails"), 0) << c.what;
            continue;
        }
        // Rewritten and ticked meanwhile: the mail still carries the log of the press.
        TickWith("rewritten\r\n");
        EXPECT_EQ(form->LogShown().Log().Size(), log.size());
        ASSERT_TRUE(test::PumpUntil([this] { return fake.Count(L"mails") == 1; }, 60000));
        const std::string zip = fake.AttachmentBytes(0, 0);
        ASSERT_GT(zip.size(), 30u);
        EXPECT_EQ(static_cast<std::uint32_t>(static_cast<unsigned char>(zip[14]) |
                                             static_cast<unsigned char>(zip[15]) << 8 |
                                             static_cast<unsigned char>(zip[16]) << 16 |
                                             static_cast<unsigned char>(zip[17]) << 24),
                  Crc32(0, log));
        EXPECT_EQ(MailFolders(), before);
        // Then the ticks go on.
        TickWith("rewritten\r\n");
        EXPECT_EQ(MemoText(form->LogFile->Handle()), L"rewritten\r\n");
        form.reset();
    }
    EXPECT_TRUE(notices.empty());
    EXPECT_TRUE(errors.empty());
}

} // namespace
} // namespace kes
