// The status window for real: keys, focus, the clipboard and what a screen reader hears; and the
// console's menu opening it over the real registry.
#include "console/status/status_window_win32.h"

#include "console/form/AdminUnit1.h"
#include "console/status/status_source_win32.h"
#include "console/store/win32_registry.h"
#include "console/testing/test_registry_win32.h"
#include "platform/utf_win32.h"
#include "toolkit/testing/window_test_kit_win32.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kes {
namespace {

const char kReport[] = "Add-in status / Add-In-Status\r\n\r\nOutlook\r\n  LoadBehavior 2\r\n";

std::wstring WindowText(HWND w) {
    std::wstring t(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
    t.resize(static_cast<std::size_t>(GetWindowTextW(w, t.data(), static_cast<int>(t.size()))));
    return t;
}

std::wstring ClipboardText() {
    if (!OpenClipboard(nullptr))
        return L"<not open>";
    std::wstring text = L"<none>";
    if (const HANDLE h = GetClipboardData(CF_UNICODETEXT))
        if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
            text = p;
            GlobalUnlock(h);
        }
    CloseClipboard();
    return text;
}

void SetClipboard(const std::wstring& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    const HGLOBAL m = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(m), text.c_str(), bytes);
    GlobalUnlock(m);
    SetClipboardData(CF_UNICODETEXT, m);
    CloseClipboard();
}

class StatusWindowKeys : public ::testing::Test {
protected:
    void Open() {
        window = std::make_unique<TStatusWindow>(nullptr, kReport);
        window->Show(host.Handle());
        ASSERT_TRUE(test::PumpUntil([this] { return GetForegroundWindow() == window->Handle(); }));
    }
    bool Key(WORD vk, unsigned mods = test::kNoModifier) {
        return test::PressKey(vk, mods, window->Handle());
    }
    test::TestHost host;
    std::unique_ptr<TStatusWindow> window;
};

TEST_F(StatusWindowKeys, ReadOnlyTextCopyAndCloseByKeyboardAndNamesForScreenReaders) {
    Open();
    const HWND w = window->Handle(), text = window->ReportText->Handle();
    EXPECT_EQ(WindowText(w), L"add-in status / Add-In-Status");
    EXPECT_EQ(GetWindow(w, GW_OWNER), host.Handle());
    EXPECT_FALSE(IsWindowEnabled(host.Handle())); // modal over the console
    EXPECT_EQ(GetFocus(), text);
    EXPECT_EQ(Narrow(WindowText(text)), kReport);
    // Read-only: typing changes nothing, whatever the reader does in it.
    ASSERT_TRUE(test::TypeText("xy", w));
    ASSERT_TRUE(Key(VK_DELETE));
    EXPECT_EQ(Narrow(WindowText(text)), kReport);
    EXPECT_EQ(test::AccessibleName(text), "Report / Bericht:");
    EXPECT_EQ(test::AccessibleRole(text), ROLE_SYSTEM_TEXT);
    // Wine's accessible objects give a BUTTON the client role; Windows says push button.
    EXPECT_EQ(test::AccessibleName(window->CopyButton->Handle()), "Copy");
    EXPECT_EQ(test::AccessibleName(window->OkButton->Handle()), "OK");

    // Tab reaches Copy, Space presses it: the whole report is on the clipboard.
    SetClipboard(L"before");
    ASSERT_TRUE(Key(VK_TAB));
    EXPECT_EQ(GetFocus(), window->CopyButton->Handle());
    ASSERT_TRUE(Key(VK_SPACE));
    EXPECT_EQ(ClipboardText(), Widen(kReport));
    ASSERT_TRUE(Key(VK_TAB));
    EXPECT_EQ(GetFocus(), window->OkButton->Handle());
    ASSERT_TRUE(Key(VK_TAB));
    EXPECT_EQ(GetFocus(), text); // round to the text again
    ASSERT_TRUE(Key(VK_TAB, test::kShift));
    EXPECT_EQ(GetFocus(), window->OkButton->Handle());
    ASSERT_TRUE(Key(VK_TAB));

    // Switching to another program and back finds the focus where it was.
    ASSERT_TRUE(Key(VK_TAB));
    ASSERT_EQ(GetFocus(), window->CopyButton->Handle());
    {
        test::TestHost other({500, 400, 200, 100});
        ASSERT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == other.Handle(); }));
        SetForegroundWindow(window->Handle());
        ASSERT_TRUE(test::PumpUntil([&] { return GetForegroundWindow() == window->Handle(); }));
        EXPECT_EQ(GetFocus(), window->CopyButton->Handle());
    }

    // Its mnemonic copies from anywhere in the window.
    SetClipboard(L"before");
    ASSERT_TRUE(Key('C', test::kAlt));
    EXPECT_EQ(ClipboardText(), Widen(kReport));

    // Escape closes, and the console is usable again.
    ASSERT_TRUE(Key(VK_ESCAPE));
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(IsWindowEnabled(host.Handle()));

    // Enter is the OK button's, from the text as well.
    Open();
    const HWND second = window->Handle();
    ASSERT_TRUE(Key(VK_RETURN));
    EXPECT_FALSE(IsWindow(second));
    EXPECT_TRUE(IsWindowEnabled(host.Handle()));
}

TEST_F(StatusWindowKeys, ALongReportIsShownWholeAndTheWindowResizes) {
    std::string big;
    for (int i = 0; i < 3000; ++i)
        big += "  Kestrova: HKLM 64-bit Vendor.Addin" + std::to_string(i) + "\r\n";
    window = std::make_unique<TStatusWindow>(nullptr, big);
    window->Show(host.Handle());
    EXPECT_EQ(Narrow(WindowText(window->ReportText->Handle())), big); // past the EDIT's 30000
    MoveWindow(window->Handle(), 0, 0, 100, 100, TRUE);
    RECT r;
    GetWindowRect(window->Handle(), &r);
    EXPECT_GE(r.right - r.left, 360); // not smaller than its buttons and some text
    GetClientRect(window->Handle(), &r);
    RECT ok;
    GetWindowRect(window->OkButton->Handle(), &ok);
    MapWindowPoints(nullptr, window->Handle(), reinterpret_cast<POINT*>(&ok), 2);
    EXPECT_LE(ok.right, r.right);
    EXPECT_LE(ok.bottom, r.bottom);
    // Gone while open (its owner's end): the console is not left disabled.
    window.reset();
    EXPECT_TRUE(IsWindowEnabled(host.Handle()));
}

// Moved to a screen of another DPI: the suggested size, and controls, fonts and the smallest
// size scaled from the 96-DPI layout (Wine has one DPI for all windows: the message is sent).
TEST_F(StatusWindowKeys, AnotherScreensDpiScalesTheLayoutAndFonts) {
    Open();
    for (const UINT dpi : {144u, 192u, 120u, 96u}) {
        const auto px = [dpi](int v) { return TWindow::ScaleTo(v, dpi); };
        RECT suggested{10, 10, 10 + px(640), 10 + px(480)};
        SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT r, ok;
        GetWindowRect(window->Handle(), &r);
        EXPECT_EQ(r.right - r.left, px(640)) << dpi;
        GetWindowRect(window->OkButton->Handle(), &ok);
        EXPECT_EQ(ok.right - ok.left, px(81)) << dpi;
        EXPECT_EQ(ok.bottom - ok.top, px(25)) << dpi;
        for (HWND c : {window->OkButton->Handle(), window->ReportText->Handle()})
            EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)), DefaultFont(dpi))
                << dpi;
        MoveWindow(window->Handle(), 0, 0, 100, 100, TRUE);
        GetWindowRect(window->Handle(), &r);
        EXPECT_GE(r.right - r.left, px(360)) << dpi;
    }
}

// The modal window runs its own loop inside the menu's handler: the test drives it from a
// timer that fires in that loop.
std::function<void()> g_inModalLoop;
void CALLBACK InModalLoop(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    if (auto run = std::exchange(g_inModalLoop, nullptr))
        run();
}

TStatusWindow* OpenStatusWindow() {
    TStatusWindow* found = nullptr;
    test::PumpUntil([&found] {
        found = dynamic_cast<TStatusWindow*>(
            TWindow::FromHandle(FindWindowW(L"KestrovaStatusWindow", nullptr)));
        return found && GetForegroundWindow() == found->Handle();
    });
    return found;
}

TEST(StatusFromTheMenu, TheFourthItemOpensTheReportReadAfreshEachTime) {
    test::ScratchRoots roots;
    const std::wstring entry = L"Software\\Microsoft\\Office\\Outlook\\Addins\\Kestrova.Connect";
    const std::wstring clsid = L"{6F1A0C44-0D2B-4C1E-9E4F-2B7A3C5D8E91}";
    test::WriteDword(HKEY_CURRENT_USER, entry, L"LoadBehavior", 2);
    test::WriteString(HKEY_CURRENT_USER, L"Software\\Classes\\Kestrova.Connect\\CLSID", L"", clsid);
    test::WriteString(HKEY_CURRENT_USER,
                      L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32", L"",
                      L"C:\\Kestrova\\kestrova.dll");
    std::vector<std::string> errors;
    Services s;
    s.Registry = std::make_shared<Win32Registry>();
    s.ErrorBox = [&errors](const std::string& t) { errors.push_back(t); };
    s.ShowNotice = [&errors](const std::string& t) { errors.push_back(t); };
    s.PromptText = [](const std::string&, const std::string&, const std::string& d) { return d; };
    s.DebugLogPath = [] { return std::string("C:\\nowhere\\Kestrova_debug.log"); };
    s.FallbackLogPath = [] { return std::string("C:\\nowhere\\debug.log"); };
    TQuillard form(std::move(s));
    form.Create(SW_SHOWNORMAL);
    const auto& items = form.PopupMenu1->Items();
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[3], form.addinstatus1.get());
    EXPECT_EQ(items[3]->Caption, "add-in status / Add-In-Status");

    std::wstring shown;
    bool ownerDisabled = false;
    const auto readAndEscape = [&] {
        TStatusWindow* w = OpenStatusWindow();
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(test::PumpUntil([w] { return !w->Busy(); }));
        shown = WindowText(w->ReportText->Handle());
        ownerDisabled = !IsWindowEnabled(form.Handle());
        ASSERT_TRUE(test::PressKey(VK_ESCAPE, test::kNoModifier, w->Handle()));
    };
    g_inModalLoop = readAndEscape;
    SetTimer(nullptr, 0, 1, InModalLoop);
    items[3]->Click(); // returns when the window is closed
    EXPECT_NE(shown.find(L"\r\n    LoadBehavior 2 = not loaded"), std::wstring::npos)
        << Narrow(shown);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(form.Handle()));
    EXPECT_EQ(FindWindowW(L"KestrovaStatusWindow", nullptr), nullptr);

    test::WriteDword(HKEY_CURRENT_USER, entry, L"LoadBehavior", 3);
    g_inModalLoop = readAndEscape;
    SetTimer(nullptr, 0, 1, InModalLoop);
    items[3]->Click();
    EXPECT_NE(shown.find(L"\r\n    LoadBehavior 3 = loaded at start-up"), std::wstring::npos);

    // The program is told to end while the window is open: its loop ends and the main loop
    // still gets the word.
    g_inModalLoop = [] {
        ASSERT_NE(OpenStatusWindow(), nullptr);
        PostQuitMessage(7);
    };
    SetTimer(nullptr, 0, 1, InModalLoop);
    items[3]->Click();
    EXPECT_TRUE(IsWindowEnabled(form.Handle()));
    EXPECT_EQ(FindWindowW(L"KestrovaStatusWindow", nullptr), nullptr);
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 7u);
    EXPECT_TRUE(errors.empty());
}

// The window over the real registry, its work as the console gives it.
class StatusWindowWork : public ::testing::Test {
protected:
    StatusWork Work() {
        StatusWork work;
        work.Read = [this] { return status::ReadStatus(reg, source); };
        work.Apply = [this](const std::vector<status::RepairStep>& plan) {
            return status::ApplyRepair(reg, source, plan);
        };
        return work;
    }
    test::ScratchRoots roots;
    Win32Registry reg;
    status::Win32StatusSource source{[] { return std::string(); }, [] { return std::string(); }};
    test::TestHost host;
};

const wchar_t kEntry[] = L"Software\\Microsoft\\Office\\Outlook\\Addins\\Kestrova.Connect";

// The message box that Repair asks with, answered from inside its own loop.
std::string g_question;
void AnswerRepair(int button) {
    g_inModalLoop = [button] {
        HWND box = nullptr;
        ASSERT_TRUE(test::PumpUntil([&box] {
            box = FindWindowW(L"#32770", L"add-in status / Add-In-Status");
            return box != nullptr;
        }));
        g_question = Narrow(WindowText(GetDlgItem(box, 0xFFFF)));
        SendMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
    };
    SetTimer(nullptr, 0, 1, InModalLoop);
}

TEST_F(StatusWindowWork, RepairAsksFirstChangesOnlyOnYesAndShowsTheResult) {
    const std::wstring clsid = L"{6F1A0C44-0D2B-4C1E-9E4F-2B7A3C5D8E91}";
    test::WriteDword(HKEY_CURRENT_USER, kEntry, L"LoadBehavior", 2);
    test::WriteString(HKEY_CURRENT_USER, L"Software\\Classes\\Kestrova.Connect\\CLSID", L"", clsid);
    test::WriteString(HKEY_CURRENT_USER,
                      L"Software\\Classes\\CLSID\\" + clsid + L"\\InprocServer32", L"",
                      L"C:\\Kestrova\\kestrova.dll");
    TStatusWindow window(nullptr, Work());
    window.Show(host.Handle());
    ASSERT_TRUE(test::PumpUntil([&] { return !window.Busy(); }));
    const HWND repair = window.RepairButton->Handle();
    EXPECT_TRUE(IsWindowEnabled(repair));
    EXPECT_EQ(test::AccessibleName(repair), "Repair / Reparieren");
    const std::string expected =
        "Repair changes this / Die Reparatur \xC3\xA4ndert dies:\n\ncannot be changed here / "
        "hier nicht \xC3\xA4nderbar: no classic Outlook is installed: install it / kein "
        "klassisches Outlook installiert: es installieren\nchange / \xC3\xA4ndern: "
        "LoadBehavior 3 for / f\xC3\xBCr HKCU Kestrova.Connect (was / war 2)\n\nRepair now? / "
        "Jetzt reparieren?";

    // No: nothing is written, the report stays.
    AnswerRepair(IDNO);
    ASSERT_TRUE(test::PressKey('R', test::kAlt, window.Handle()));
    EXPECT_EQ(g_question, expected);
    EXPECT_FALSE(window.Busy());
    DWORD value = 0;
    ASSERT_TRUE(test::ReadDword(HKEY_CURRENT_USER, kEntry, L"LoadBehavior", value));
    EXPECT_EQ(value, 2u);

    // Yes: repaired, then read again and shown with what was done.
    g_question.clear();
    AnswerRepair(IDYES);
    ASSERT_TRUE(test::PressKey('R', test::kAlt, window.Handle()));
    EXPECT_EQ(g_question, expected);
    ASSERT_TRUE(test::PumpUntil([&] { return !window.Busy(); }));
    ASSERT_TRUE(test::ReadDword(HKEY_CURRENT_USER, kEntry, L"LoadBehavior", value));
    EXPECT_EQ(value, 3u);
    const std::string shown = Narrow(WindowText(window.ReportText->Handle()));
    EXPECT_EQ(shown.rfind("Repair / Reparatur\r\n", 0), 0u) << shown;
    EXPECT_NE(shown.find("\r\n  changed / ge\xC3\xA4ndert: LoadBehavior 3 for / f\xC3\xBCr HKCU "
                         "Kestrova.Connect (was / war 2)\r\n"),
              std::string::npos);
    EXPECT_NE(shown.find("\r\n    LoadBehavior 3 = loaded at start-up"), std::string::npos);
    // Nothing left that it could change.
    EXPECT_FALSE(IsWindowEnabled(repair));
}

TEST_F(StatusWindowWork, AReadThatFailsSaysWhyAndTheWindowStays) {
    StatusWork work = Work();
    work.Read = []() -> status::StatusFacts { throw std::runtime_error("Nicht genug Speicher"); };
    TStatusWindow window(nullptr, std::move(work));
    window.Show(host.Handle());
    ASSERT_TRUE(test::PumpUntil([&] { return !window.Busy(); }));
    EXPECT_EQ(Narrow(WindowText(window.ReportText->Handle())),
              "The status could not be read / Der Status konnte nicht gelesen werden: Nicht genug "
              "Speicher\r\n");
    EXPECT_FALSE(IsWindowEnabled(window.RepairButton->Handle()));
    EXPECT_TRUE(IsWindowEnabled(window.CopyButton->Handle()));
}

TEST_F(StatusWindowWork, AnswersWhileFiveThousandEntriesAreRead) {
    for (int i = 0; i < 5000; ++i)
        test::CreateKey(HKEY_CURRENT_USER,
                        L"Software\\Microsoft\\Office\\Outlook\\Addins\\Vendor.Addin" +
                            std::to_wstring(i));
    // The read is held at its end until the window has shown that it answers meanwhile.
    const UniqueKernelHandle read(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const UniqueKernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    StatusWork work = Work();
    work.Read = [this, &read, &release] {
        status::StatusFacts facts = status::ReadStatus(reg, source);
        SetEvent(read.Get());
        WaitForSingleObject(release.Get(), 60000);
        return facts;
    };
    TStatusWindow window(nullptr, std::move(work));
    window.Show(host.Handle());
    const ScopeExit releaseAtEnd([&release] { SetEvent(release.Get()); });
    EXPECT_EQ(Narrow(WindowText(window.ReportText->Handle())),
              "Reading the add-in's status ... / Der Add-In-Status wird gelesen ...\r\n");
    // Tab is handled while the worker reads: Repair and Copy wait for the report.
    ASSERT_TRUE(test::PressKey(VK_TAB, test::kNoModifier, window.Handle()));
    EXPECT_EQ(GetFocus(), window.OkButton->Handle());
    EXPECT_FALSE(IsWindowEnabled(window.CopyButton->Handle()));
    ASSERT_TRUE(test::PumpUntil([&] { return WaitForSingleObject(read.Get(), 0) == 0; }, 60000));
    EXPECT_TRUE(window.Busy());
    ASSERT_TRUE(test::PressKey(VK_TAB, test::kNoModifier, window.Handle()));
    EXPECT_EQ(GetFocus(), window.ReportText->Handle());
    SetEvent(release.Get());
    ASSERT_TRUE(test::PumpUntil([&] { return !window.Busy(); }));
    EXPECT_NE(Narrow(WindowText(window.ReportText->Handle()))
                  .find("Other add-ins / Andere Add-Ins: 5000, 5000 without a server"),
              std::string::npos);
    EXPECT_TRUE(IsWindowEnabled(window.CopyButton->Handle()));
}

} // namespace
} // namespace kes
