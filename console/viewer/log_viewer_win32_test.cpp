// The debug-log view on the real window, with real files, the real temporary-folder query and
// the real EDIT control, under Wine.
#include "console/viewer/log_viewer_win32.h"

#include "console/dialogs/dialogs.h"
#include "console/form/AdminUnit1.h"
#include "console/store/win32_registry.h"
#include "console/testing/test_registry_win32.h"
#include "console/viewer/log_text.h"
#include "console/viewer/log_view_text.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"
#include "toolkit/testing/window_test_kit_win32.h"

#include <commdlg.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace kes {
namespace {

namespace fs = std::filesystem;
const wchar_t kConfig[] = L"Software\\Varnholt\\Kestrova\\Config";
const wchar_t kRestart[] = L"Please restart Outlook to get this logfile\r\n";

void WriteBytes(const fs::path& p, const std::string& bytes) {
    const UniqueFile h(
        CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(h) << p.string();
    DWORD n = 0;
    WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
}

std::string ReadBytes(const fs::path& p) {
    const UniqueFile h(
        CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h)
        return "<missing>";
    std::string out;
    std::vector<char> buf(1 << 20);
    DWORD n = 0;
    while (ReadFile(h.Get(), buf.data(), static_cast<DWORD>(buf.size()), &n, nullptr) && n > 0)
        out.append(buf.data(), n);
    return out;
}

void AppendBytes(const fs::path& p, const std::string& bytes) {
    const UniqueFile h(
        CreateFileW(p.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
    ASSERT_TRUE(h) << p.string();
    DWORD n = 0;
    WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
}

// Log lines as the add-in writes them, CR LF, numbered from `first` until `bytes` are made.
std::string LogLines(int first, size_t bytes) {
    std::string s;
    for (int i = first; s.size() < bytes; ++i)
        s += "12:00:00.000 Kestrova sync item " + std::to_string(i) + " state \xE4nderung ok\r\n";
    return s;
}

// What a view given this log anew shows.
std::wstring FreshView(const std::string& log) {
    LogBytes bytes;
    bytes.Append(log);
    LogViewText view;
    return WidenAnsi(view.Rebuild(bytes).text);
}

// A view of the log from `from` on.
std::wstring ViewFrom(const std::string& log, size_t from) {
    LogBytes bytes;
    bytes.Append(log);
    return WidenAnsi(OmittedLine(from) +
                     LogTextOf(bytes, from, bytes.Size(), kViewLimits.lineWidth));
}

// Every EM_LINESCROLL that reaches the memo, as the control received it, and how often its text
// was set whole or replaced in part.
std::vector<LPARAM> g_scrolls;
int g_setTexts = 0, g_replaces = 0;
size_t g_largestText = 0; // characters given in one message
WNDPROC g_editProc = nullptr;
LRESULT CALLBACK SpyProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == EM_LINESCROLL)
        g_scrolls.push_back(l);
    g_setTexts += m == WM_SETTEXT;
    g_replaces += m == EM_REPLACESEL;
    if ((m == WM_SETTEXT || m == EM_REPLACESEL) && l)
        g_largestText = std::max(g_largestText, wcslen(reinterpret_cast<const wchar_t*>(l)));
    return CallWindowProcW(g_editProc, h, m, w, l);
}
void ResetSpy() {
    g_scrolls.clear();
    g_setTexts = g_replaces = 0;
    g_largestText = 0;
}
// What the view shows after a whole reload of a log with these bytes.
std::wstring WholeReload(const std::string& log) {
    return WidenAnsi(LogToCrLf(log));
}

class LogView : public ::testing::Test {
protected:
    void SetUp() override {
        scratch =
            fs::temp_directory_path() / (L"kes_viewer_" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(scratch);
        fs::create_directories(scratch / L"tmp");
        fs::create_directories(scratch / L"prog");
        savedTmp = Env(L"TMP");
        savedTemp = Env(L"TEMP");
        SetTemp(scratch / L"tmp");
        primary = scratch / L"tmp" / L"Kestrova_debug.log";
        fallback = scratch / L"prog" / L"debug.log";
    }
    void TearDown() override {
        if (form && g_editProc)
            SetWindowLongPtrW(form->LogFile->Handle(), GWLP_WNDPROC,
                              reinterpret_cast<LONG_PTR>(g_editProc));
        g_editProc = nullptr;
        ResetSpy();
        form.reset();
        SetEnvironmentVariableW(L"TMP", savedTmp.empty() ? nullptr : savedTmp.c_str());
        SetEnvironmentVariableW(L"TEMP", savedTemp.empty() ? nullptr : savedTemp.c_str());
        std::error_code ec;
        fs::remove_all(L"\\\\?\\" + scratch.wstring(), ec);
    }
    static std::wstring Env(const wchar_t* name) {
        wchar_t buf[32768];
        const DWORD n = GetEnvironmentVariableW(name, buf, 32768);
        return n ? std::wstring(buf, n) : std::wstring();
    }
    static void SetTemp(const fs::path& dir) {
        SetEnvironmentVariableW(L"TMP", dir.c_str());
        SetEnvironmentVariableW(L"TEMP", dir.c_str());
    }
    // The primary path is the real query's; the fallback is moved into the scratch folder
    // unless a test wants the real one beside the program.
    void Start(bool debug, bool realFallback = false) {
        if (debug)
            test::WriteDword(HKEY_CURRENT_USER, kConfig, L"debug", 1);
        Services s;
        s.Registry = std::make_shared<Win32Registry>();
        s.ErrorBox = [this](const std::string& t) { errors.push_back(t); };
        s.ShowNotice = [this](const std::string& t) { notices.push_back(t); };
        s.PromptText = [](const std::string&, const std::string&, const std::string& d) {
            return d;
        };
        s.DebugLogPath = DebugLogPath;
        if (realFallback)
            s.FallbackLogPath = FallbackLogPath;
        else
            s.FallbackLogPath = [this] { return Narrow(fallback.wstring()); };
        s.ExecuteSaveDialog = [this](TSaveDialog& d) {
            dialogs.push_back(&d);
            if (growDuringSave)
                growDuringSave();
            d.FileName = Narrow(saveAs.wstring());
            return !saveAs.empty() && !cancel;
        };
        form = std::make_unique<TQuillard>(std::move(s));
        form->Create(SW_SHOWNOACTIVATE);
        g_editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            form->LogFile->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SpyProc)));
    }
    void Tick() { form->Timer1Timer(form->Timer1.get()); }
    std::wstring Shown() const { return MemoText(form->LogFile->Handle()); }
    int FirstVisible() const {
        return static_cast<int>(
            SendMessageW(form->LogFile->Handle(), EM_GETFIRSTVISIBLELINE, 0, 0));
    }
    int RowsPerPage() const {
        HWND m = form->LogFile->Handle();
        RECT r;
        SendMessageW(m, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
        const WindowDC dc(m);
        const SelectedObject font(dc.Get(),
                                  reinterpret_cast<HFONT>(SendMessageW(m, WM_GETFONT, 0, 0)));
        TEXTMETRICW tm;
        GetTextMetricsW(dc.Get(), &tm);
        return (r.bottom - r.top) / tm.tmHeight;
    }
    // The log's last line is among the visible rows.
    bool EndInView() const {
        const int last = ShownLineCount(form->LogFile->Handle()) - 1, first = FirstVisible();
        return first <= last && first + RowsPerPage() > last;
    }
    void Save() {
        Application().Guard([this] { form->savelog1->Click(); });
    }
    // The view holds the end of a log of CR LF lines: its last lines, from a line's start, under
    // the line that says how much is not shown, and never more than the limits allow.
    ::testing::AssertionResult ShowsEndOf(const std::string& log) const {
        const std::string view = NarrowAnsi(Shown());
        if (log.size() <= kViewLimits.wholeUpTo && view == log)
            return ::testing::AssertionSuccess();
        const size_t firstBreak = view.find("\r\n");
        if (firstBreak == std::string::npos)
            return ::testing::AssertionFailure() << "no omitted-part line: " << view.substr(0, 80);
        const std::string rest = view.substr(firstBreak + 2);
        if (rest.empty() || rest.size() > kViewLimits.wholeUpTo)
            return ::testing::AssertionFailure() << "the view holds " << rest.size() << " bytes";
        const size_t from = log.size() - rest.size();
        if (log.compare(from, rest.size(), rest) != 0 || log.compare(from - 2, 2, "\r\n") != 0)
            return ::testing::AssertionFailure() << "not the log's end from a line's start";
        if (view.substr(0, firstBreak + 2) != OmittedLine(from))
            return ::testing::AssertionFailure() << view.substr(0, firstBreak);
        if (!EndInView())
            return ::testing::AssertionFailure() << "the end is not in view: " << FirstVisible();
        return ::testing::AssertionSuccess();
    }

    test::ScratchRoots roots;
    fs::path scratch, primary, fallback, saveAs;
    bool cancel = false; // the dialog answers "cancelled" although it holds a file name
    std::wstring savedTmp, savedTemp;
    std::vector<std::string> errors, notices;
    std::vector<TSaveDialog*> dialogs;
    std::unique_ptr<TQuillard> form;
    std::function<void()> growDuringSave; // runs while the save dialog is open
};

TEST_F(LogView, DebugModeOffShowsNothingWhateverLogsExist) {
    WriteBytes(primary, "primary\r\n");
    WriteBytes(fallback, "fallback\r\n");
    Start(false);
    for (int i = 0; i < 3; ++i)
        Tick();
    EXPECT_EQ(Shown(), L"");
}

TEST_F(LogView, NoLogAnywhereShowsOneMessageLineAfterManyTicks) {
    Start(true);
    for (int i = 0; i < 10; ++i)
        Tick();
    EXPECT_EQ(Shown(), kRestart);
    EXPECT_EQ(ShownLineCount(form->LogFile->Handle()), 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogView, PrimaryLogIsShownAndPreferred) {
    WriteBytes(primary, "from temp\n");
    WriteBytes(fallback, "beside the program\n");
    Start(true);
    Tick();
    EXPECT_EQ(Shown(), L"from temp\r\n");
    // Gone from the temporary folder: the fallback.
    fs::remove(primary);
    Tick();
    EXPECT_EQ(Shown(), L"beside the program\r\n");
}

TEST_F(LogView, LogHeldOpenForWritingFallsBackToDebugLogBesideTheProgram) {
    const fs::path beside = fs::path(FallbackLogPath());
    ASSERT_EQ(beside.filename(), L"debug.log");
    WriteBytes(primary, "being written\n");
    WriteBytes(beside, "fallback beside the exe\n");
    struct Remove {
        fs::path p;
        ~Remove() { fs::remove(p); }
    } cleanup{beside};
    // The add-in's writer lets others read; the reader's read-only sharing still fails.
    UniqueFile writer(CreateFileW(primary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    Start(true, true);
    Tick();
    EXPECT_EQ(Shown(), L"fallback beside the exe\r\n");
    writer.Reset();
    Tick();
    EXPECT_EQ(Shown(), L"being written\r\n");
}

TEST_F(LogView, ThousandLinesAreScrolledByNineHundredNinetyNine) {
    std::string log;
    for (int i = 1; i <= 1000; ++i)
        log += "line " + std::to_string(i) + "\r\n";
    WriteBytes(primary, log);
    Start(true);
    Tick();
    ASSERT_EQ(g_scrolls.size(), 1u);
    EXPECT_EQ(g_scrolls[0], 999);
    // Windows puts line 1000 at the top. Wine's EDIT stops when the last page is full (its
    // empty row after the final break included), so there the last line is the last but one
    // visible row; on both it is in view.
    const int first = FirstVisible(), rows = RowsPerPage();
    ASSERT_GT(rows, 1);
    EXPECT_TRUE(first == 999 || first == 1001 - rows) << first << " with " << rows << " rows";
    EXPECT_LE(first, 999);
    EXPECT_GT(first + rows, 999);
}

TEST_F(LogView, WrappedRowsCountAndAFinalBreakDoesNot) {
    Start(true);
    HWND memo = form->LogFile->Handle();
    // One log line far wider than the view: word wrap makes several rows of it.
    std::string wide;
    for (int i = 0; i < 120; ++i)
        wide += "word" + std::to_string(i) + " ";
    const struct {
        std::string log;
        bool trailingBreak;
    } cases[] = {
        {"a\r\nb", false},
        {"a\r\nb\r\n", true},
        {"head\n" + wide + "\ntail", false},
        {wide + "\n", true},
    };
    for (const auto& c : cases) {
        WriteBytes(primary, c.log);
        g_scrolls.clear();
        Tick();
        const int rows = static_cast<int>(SendMessageW(memo, EM_GETLINECOUNT, 0, 0));
        const int shown = rows - (c.trailingBreak ? 1 : 0);
        ASSERT_EQ(g_scrolls.size(), 1u) << c.log;
        EXPECT_EQ(g_scrolls[0], shown - 1) << c.log;
        EXPECT_GT(shown, c.log == wide + "\n" ? 1 : 0);
    }
}

TEST_F(LogView, EmptyLogShowsNothingUnscrolledAndNoMessage) {
    WriteBytes(primary, "");
    WriteBytes(fallback, "fallback\n");
    Start(true);
    Tick();
    EXPECT_EQ(Shown(), L"");
    EXPECT_TRUE(g_scrolls.empty());
    EXPECT_EQ(FirstVisible(), 0);
}

TEST_F(LogView, AnyBytesAreShownAndSavedBackUnchangedButForLineBreaks) {
    // NUL, CR alone, LF alone, bytes of the upper half, no final break.
    WriteBytes(primary, std::string("a\0b\rc\nd\x80\xE4\xFF", 10));
    saveAs = scratch / L"copy.txt";
    Start(true);
    Tick();
    EXPECT_EQ(Shown(), L"a b\r\nc\r\nd\u20AC\u00E4\u00FF");
    Save();
    EXPECT_EQ(ReadBytes(saveAs), std::string("a\0b\r\nc\r\nd\x80\xE4\xFF", 12)); // NUL kept
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogView, SaveWritesCrLfAndReplacesAnExistingFileWithTheDialogsSettings) {
    WriteBytes(primary, "one\ntwo\n");
    saveAs = scratch / L"existing.log";
    WriteBytes(saveAs, std::string(5000, 'X'));
    Start(true);
    Tick();
    Save();
    EXPECT_EQ(ReadBytes(saveAs), "one\r\ntwo\r\n");
    ASSERT_EQ(dialogs.size(), 1u);
    const TSaveDialog& d = *dialogs[0];
    EXPECT_EQ(&d, form->SaveDialog1.get());
    EXPECT_EQ(d.Title, "save logfile");
    EXPECT_EQ(d.Filter, "Logfile|*.log|Text|*.txt");
    EXPECT_EQ(d.FilterIndex, 1);
    EXPECT_EQ(d.DefaultExt, "txt");
    EXPECT_EQ(d.InitialDir, "C:\\temp");
    EXPECT_EQ(d.Options, static_cast<DWORD>(OFN_HIDEREADONLY | OFN_ENABLESIZING));
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogView, CancelledSaveWritesNothing) {
    WriteBytes(primary, "one\n");
    const fs::path chosen = scratch / L"chosen";
    fs::create_directories(chosen);
    saveAs = chosen / L"copy.log";
    cancel = true;
    Start(true);
    Tick();
    Save();
    EXPECT_EQ(dialogs.size(), 1u);
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(fs::exists(saveAs));
    EXPECT_TRUE(fs::is_empty(chosen));
}

TEST_F(LogView, UnwritableSaveTargetReachesTheErrorBoxAndLosesNothing) {
    WriteBytes(primary, "kept\n");
    Start(true);
    Tick();
    // A folder that does not exist.
    saveAs = scratch / L"no such folder" / L"copy.txt";
    Save();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("kann nicht erstellt werden"), std::string::npos) << errors[0];
    // A file someone else holds open without sharing: left as it is.
    saveAs = scratch / L"locked.txt";
    WriteBytes(saveAs, "theirs");
    UniqueFile other(
        CreateFileW(saveAs.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other);
    Save();
    other.Reset();
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_EQ(ReadBytes(saveAs), "theirs");
    EXPECT_EQ(Shown(), L"kept\r\n");
}

TEST_F(LogView, StopLogUpdateAndDebugModeOffFreezeTheView) {
    WriteBytes(primary, "first\n");
    saveAs = scratch / L"frozen.txt";
    Start(true);
    Tick();
    SendMessageW(form->chbScroll->Handle(), BM_CLICK, 0, 0);
    ASSERT_TRUE(form->chbScroll->Checked());
    // A selection and a scroll position that a refresh would lose.
    SendMessageW(form->LogFile->Handle(), EM_SETSEL, 1, 3);
    WriteBytes(primary, "second\n");
    Tick();
    EXPECT_EQ(Shown(), L"first\r\n");
    DWORD from = 0, to = 0;
    SendMessageW(form->LogFile->Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                 reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 1u);
    EXPECT_EQ(to, 3u);
    Save();
    EXPECT_EQ(ReadBytes(saveAs), "first\r\n");

    SendMessageW(form->chbScroll->Handle(), BM_CLICK, 0, 0);
    Tick();
    EXPECT_EQ(Shown(), L"second\r\n");

    // Unticking debug mode freezes it too (and writes the switch); ticking it resumes.
    SendMessageW(form->chkDebug->Handle(), BM_CLICK, 0, 0);
    ASSERT_FALSE(form->chkDebug->Checked());
    WriteBytes(primary, "third\n");
    Tick();
    EXPECT_EQ(Shown(), L"second\r\n");
    SendMessageW(form->chkDebug->Handle(), BM_CLICK, 0, 0);
    Tick();
    EXPECT_EQ(Shown(), L"third\r\n");
}

TEST_F(LogView, TemporaryPathTooLongForItsBufferUsesTheFallback) {
    // 259 characters, and the query's answer adds a backslash: it no longer fits in 260.
    std::wstring dir = scratch.wstring() + L"\\";
    while (dir.size() < 259)
        dir += L'd';
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + dir).c_str(), nullptr));
    WriteBytes(L"\\\\?\\" + dir + L"\\Kestrova_debug.log", "must not be read\n");
    WriteBytes(fallback, "fallback\n");
    SetTemp(dir);
    EXPECT_EQ(DebugLogPath(), "");
    Start(true);
    Tick();
    EXPECT_EQ(Shown(), L"fallback\r\n");
}

// Polls from inside the dialog's loop; closes the dialog once the view shows the tick. A named
// function, since a lambda does not convert to a 32-bit stdcall pointer.
TQuillard* g_dialogForm;
int g_dialogPolls;
bool g_sawTick;
void CALLBACK CloseDialogAfterATick(HWND, UINT, UINT_PTR, DWORD) {
    HWND dlg = FindWindowW(L"#32770", L"bs_collect_count");
    if (!dlg)
        return;
    g_sawTick = MemoText(g_dialogForm->LogFile->Handle()) == L"ticked\r\n";
    if (g_sawTick || ++g_dialogPolls > 1000)
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(LogView, TimerTicksWhileAModalDialogIsOpen) {
    WriteBytes(primary, "ticked\n");
    Start(true);
    // The real input dialog, closed from a thread timer once the view has been refreshed by a
    // tick delivered through the dialog's own message loop.
    g_dialogForm = form.get();
    g_dialogPolls = 0;
    g_sawTick = false;
    SetTimer(form->Timer1->Window(), 1, 20, nullptr); // Timer1's own timer, sooner
    const UINT_PTR poll = SetTimer(nullptr, 0, 10, CloseDialogAfterATick);
    form->Svc().PromptText = kes::PromptText;
    form->Collectcount1->Click();
    KillTimer(nullptr, poll);
    EXPECT_TRUE(g_sawTick);
}

TEST_F(LogView, GrowingLogIsAppendedAndShowsWhatAWholeReloadWould) {
    std::string log;
    for (int i = 0; i < 300; ++i)
        log += "12:00:00 line " + std::to_string(i) + " of the first tick\n";
    log += "ends in a CR\r";
    WriteBytes(primary, log);
    saveAs = scratch / L"copy.txt";
    Start(true);
    Tick();
    ASSERT_EQ(Shown(), WholeReload(log));
    HWND memo = form->LogFile->Handle();

    // The CR's LF comes with the next tick, then a NUL, and enough to pass the EDIT's default
    // limit of 30000 characters, which EM_REPLACESEL (unlike WM_SETTEXT) keeps to.
    std::string grown = log + std::string("\nafter a NUL: \0.\n", 19);
    for (int i = 0; grown.size() < 40000; ++i)
        grown += "12:00:04 appended line " + std::to_string(i) + "\r\n";
    WriteBytes(primary, grown);
    ResetSpy();
    Tick();
    EXPECT_EQ(g_setTexts, 0);
    EXPECT_EQ(g_replaces, 1);
    EXPECT_EQ(Shown(), WholeReload(grown));
    EXPECT_TRUE(EndInView()) << FirstVisible();
    Save();
    EXPECT_EQ(ReadBytes(saveAs), LogToCrLf(grown, NulBytes::kKeep));

    // Nothing new: the text is left alone and only scrolled back to the end.
    SendMessageW(memo, WM_VSCROLL, SB_TOP, 0);
    ASSERT_EQ(FirstVisible(), 0);
    ResetSpy();
    Tick();
    EXPECT_EQ(g_setTexts + g_replaces, 0);
    EXPECT_EQ(g_scrolls.size(), 1u);
    EXPECT_TRUE(EndInView()) << FirstVisible();
    EXPECT_EQ(Shown(), WholeReload(grown));

    // Grown while "stop log update" held the view: the next tick after it adds all that came.
    SendMessageW(form->chbScroll->Handle(), BM_CLICK, 0, 0);
    grown += "while frozen\n";
    WriteBytes(primary, grown);
    Tick();
    grown += "and after\r";
    WriteBytes(primary, grown);
    SendMessageW(form->chbScroll->Handle(), BM_CLICK, 0, 0);
    ResetSpy();
    Tick();
    EXPECT_EQ(g_setTexts, 0);
    EXPECT_EQ(Shown(), WholeReload(grown));
    EXPECT_TRUE(EndInView()) << FirstVisible();
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogView, LogNotMerelyGrownIsReloadedWhole) {
    // The shortest log that grows: appended, not reloaded.
    WriteBytes(primary, "x");
    Start(true);
    Tick();
    ASSERT_EQ(Shown(), L"x");
    AppendBytes(primary, "y\n");
    ResetSpy();
    Tick();
    EXPECT_EQ(Shown(), L"xy\r\n");
    EXPECT_EQ(g_setTexts, 0);
    EXPECT_EQ(g_replaces, 1);

    const std::string first = "alpha\nbeta\ngamma\n";
    WriteBytes(primary, first);
    Tick();
    ASSERT_EQ(Shown(), WholeReload(first));
    const char* const next[] = {
        "alpha\nbeta\ngammA\n",           // rewritten, as long, its last byte differs
        "alpha\nbeta\n",                  // replaced by a shorter one that it began with
        "alpha\nbetA\ngamma\nand more\n", // rewritten longer, differing inside
        "rotated\n",                      // truncated and written anew
        "",                               // truncated
    };
    for (const char* log : next) {
        WriteBytes(primary, log);
        ResetSpy();
        Tick();
        EXPECT_EQ(Shown(), WholeReload(log)) << log;
        EXPECT_GE(g_setTexts, 1) << log;
        EXPECT_EQ(g_replaces, 0) << log;
    }
}

TEST_F(LogView, FallbackAndMessageLineNeverMixWithTheLog) {
    WriteBytes(primary, "a\n");
    WriteBytes(fallback, "a\nfrom the fallback\n");
    Start(true);
    Tick();
    ASSERT_EQ(Shown(), L"a\r\n");
    {
        // The fallback takes over: reloaded, though it begins with what the view holds.
        UniqueFile writer(CreateFileW(primary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(writer);
        ResetSpy();
        Tick();
        EXPECT_EQ(Shown(), L"a\r\nfrom the fallback\r\n");
        EXPECT_GE(g_setTexts, 1);
        // A fallback as long as the log: the primary's growth below must not land on it.
        WriteBytes(fallback, "z\n");
        Tick();
        ASSERT_EQ(Shown(), L"z\r\n");
    }
    WriteBytes(primary, "a\nb\n");
    Tick();
    EXPECT_EQ(Shown(), L"a\r\nb\r\n");

    // The message line, as long as the log shown before it; then the log is back, grown.
    const std::string log(42, 'x');
    WriteBytes(primary, log + "\n");
    Tick();
    ASSERT_EQ(Shown().size(), std::wstring(kRestart).size());
    fs::remove(primary);
    fs::remove(fallback);
    Tick();
    ASSERT_EQ(Shown(), kRestart);
    WriteBytes(primary, log + "\nback\n");
    Tick();
    EXPECT_EQ(Shown(), WholeReload(log + "\nback\n"));
    EXPECT_TRUE(EndInView());
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogView, LogsPastSixtyFourMegabytesShowTheirEndWhileTheWindowAnswersAndSaveWhole) {
    const std::string log = LogLines(0, 65u << 20);
    WriteBytes(primary, log);
    saveAs = scratch / L"whole.log";
    Start(true);
    SetForegroundWindow(form->Handle());
    ASSERT_TRUE(test::PumpUntil([this] { return GetForegroundWindow() == form->Handle(); }));
    // Timer1's own timer, sooner: the tick comes through the message loop, and a real click on
    // a box is handled around it.
    SetTimer(form->Timer1->Window(), 1, 20, nullptr);
    HWND journal = form->Journal->Handle();
    RECT box;
    GetClientRect(journal, &box);
    ASSERT_TRUE(test::Click(journal, {8, box.bottom / 2}, form->Handle()));
    EXPECT_TRUE(test::PumpUntil([this] { return !Shown().empty(); }, 60000));
    EXPECT_TRUE(test::PumpUntil([this] { return form->Journal->Checked(); }));
    form->Timer1->SetEnabled(false);
    EXPECT_TRUE(test::PumpUntil([this] { return form->LogShown().Holds(); }, 60000));
    EXPECT_TRUE(ShowsEndOf(log));
    EXPECT_NE(Shown().find(L" MB before this point not shown"), std::wstring::npos);
    Save();
    EXPECT_TRUE(ReadBytes(saveAs) == log) << "the saved copy is not the whole log";
    EXPECT_TRUE(errors.empty());
}

// A large log shows its end at once, under a line that says the rest is being read; the whole
// log is then held byte for byte. A save meanwhile waits for it; a rewrite starts over; a
// console closed meanwhile lets go of the file.
TEST_F(LogView, ALargeLogShowsItsEndAtOnceAndIsReadWholeInTheBackground) {
    const std::string first = LogLines(0, 3u << 20), second = LogLines(7, 2u << 20),
                      third = LogLines(9, 5u << 19) + std::string("\0 NUL kept\r\n", 13) +
                              LogLines(90000, 5u << 19);
    // Right after the tick: the log's end, under the line that tells where the view's part
    // begins and that nothing is read yet as far as the window knows. The view is given its
    // text in pieces between messages (a word-wrapping EDIT takes long for all of it at once).
    const auto tailShown = [this](const std::string& log) {
        const std::string view = NarrowAnsi(Shown());
        const size_t cut = view.find("\r\n") + 2;
        const std::string rest = view.substr(cut);
        LogBytes bytes;
        bytes.Append(log);
        LogViewText whole;
        whole.Rebuild(bytes);
        const bool ok = view.substr(0, cut) == ReadingLine(whole.ShownFrom(), 0) &&
                        rest.size() > 1000 &&
                        log.compare(log.size() - rest.size(), rest.size(), rest) == 0 &&
                        g_largestText < kViewLimits.keep / 2;
        ResetSpy();
        return ok;
    };
    WriteBytes(primary, first);
    saveAs = scratch / L"whole.log";
    Start(true);
    form->LogShown().SyncReadUpTo = 256 * 1024;
    ResetSpy();
    Tick();
    EXPECT_TRUE(form->LogShown().Reading());
    EXPECT_FALSE(form->LogShown().Holds());
    EXPECT_TRUE(tailShown(first)) << NarrowAnsi(Shown()).substr(0, 120);
    Save();
    EXPECT_TRUE(ReadBytes(saveAs) == LogToCrLf(first, NulBytes::kKeep));
    EXPECT_TRUE(form->LogShown().Holds());
    EXPECT_TRUE(ShowsEndOf(first));

    // Rewritten, and rewritten again before that read was taken over (the file is shared for
    // reading only while it is read): the last one is read whole.
    WriteBytes(primary, second);
    Tick();
    ASSERT_TRUE(form->LogShown().Reading());
    EXPECT_TRUE(tailShown(second));
    for (int i = 0; i < 20000 && !UniqueFile(CreateFileW(primary.c_str(), GENERIC_WRITE, 0, nullptr,
                                                         OPEN_EXISTING, 0, nullptr));
         ++i)
        Sleep(5);
    ASSERT_TRUE(form->LogShown().Reading());
    WriteBytes(primary, third);
    Tick();
    EXPECT_TRUE(tailShown(third));
    ASSERT_TRUE(test::PumpUntil([this] { return form->LogShown().Holds(); }, 60000));
    EXPECT_EQ(Shown(), FreshView(third));
    Save();
    EXPECT_TRUE(ReadBytes(saveAs) == LogToCrLf(third, NulBytes::kKeep));
    EXPECT_TRUE(EndInView());

    // Closed while reading: the worker ends and the file can be deleted at once.
    WriteBytes(primary, first);
    Tick();
    ASSERT_TRUE(form->LogShown().Reading());
    form.reset();
    EXPECT_TRUE(DeleteFileW(primary.c_str())) << GetLastError();
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogView, AGrowingLogStaysBoundedIsAlwaysItsEndAndSavesWhole) {
    std::string log = LogLines(0, 100 * 1024);
    int line = 0;
    WriteBytes(primary, log);
    saveAs = scratch / L"copy.log";
    Start(true);
    Tick();
    ASSERT_EQ(Shown(), WidenAnsi(log));
    // Past the limits and on: each tick adds what came and drops lines at the start, the view
    // is never given a whole text again.
    ResetSpy();
    for (int tick = 0; tick < 40; ++tick) {
        const std::string grown = LogLines(line += 1000, 20 * 1024);
        log += grown;
        AppendBytes(primary, grown);
        Tick();
        ASSERT_TRUE(ShowsEndOf(log)) << "tick " << tick;
    }
    EXPECT_EQ(g_setTexts, 0);
    EXPECT_GT(g_replaces, 40); // the growth, and the trims at the start
    Save();
    EXPECT_TRUE(ReadBytes(saveAs) == log);

    // Frozen by "stop log update": saved as it was then, though the log grew.
    SendMessageW(form->chbScroll->Handle(), BM_CLICK, 0, 0);
    AppendBytes(primary, "after the freeze\r\n");
    Tick();
    Save();
    EXPECT_TRUE(ReadBytes(saveAs) == log);
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogView, OddLogsAlwaysShowTheirEnd) {
    saveAs = scratch / L"copy.log";
    Start(true);
    // One line with no break at all, longer than the view keeps; then longer still.
    std::string log(400 * 1024, 'x');
    WriteBytes(primary, log);
    Tick();
    EXPECT_EQ(Shown(), FreshView(log));
    EXPECT_EQ(Shown().substr(0, 5), L"[... ");
    EXPECT_LE(Shown().size(), kViewLimits.keep * 2);
    const size_t from = log.size() - kViewLimits.keep;
    log += std::string(10 * 1024, 'y');
    AppendBytes(primary, std::string(10 * 1024, 'y'));
    Tick();
    EXPECT_EQ(Shown(), ViewFrom(log, from));
    EXPECT_TRUE(EndInView());
    Save();
    EXPECT_TRUE(ReadBytes(saveAs) == log);

    // NULs, a run of them (a write cut off), and bytes the code page leaves undefined: shown,
    // and saved as they are.
    log = LogLines(0, 300 * 1024);
    for (size_t i = 100; i < log.size(); i += 997)
        if (log[i] != '\r' && log[i] != '\n')
            log[i] = "\0\x81\x8D\x8F\x90\x9D\xFF"[i % 7];
    log.insert(log.find('\n', 150 * 1024) + 1, std::string(4096, '\0'));
    WriteBytes(primary, log);
    Tick();
    EXPECT_EQ(Shown(), FreshView(log));
    Save();
    EXPECT_TRUE(ReadBytes(saveAs) == log);

    // Replaced by another file of the same size that differs only in its middle, then
    // rewritten in place at the same size differing only at its end: each is shown anew.
    log = LogLines(0, 300 * 1024);
    WriteBytes(primary, log);
    Tick();
    std::string other = log;
    other.replace(other.size() / 2, 6, "OTHER!");
    const fs::path next = scratch / L"tmp" / L"next.log";
    WriteBytes(next, other);
    ASSERT_TRUE(MoveFileExW(next.c_str(), primary.c_str(), MOVEFILE_REPLACE_EXISTING));
    Tick();
    EXPECT_EQ(Shown(), FreshView(other));
    Save();
    EXPECT_TRUE(ReadBytes(saveAs) == other);
    other[other.size() - 3] = '#';
    WriteBytes(primary, other);
    Tick();
    EXPECT_EQ(Shown(), FreshView(other));

    // Growing while the save dialog is open: saved as of the last tick.
    growDuringSave = [this] { AppendBytes(primary, "written meanwhile\r\n"); };
    Save();
    growDuringSave = nullptr;
    EXPECT_TRUE(ReadBytes(saveAs) == other);

    // Truncated to nothing.
    WriteBytes(primary, "");
    Tick();
    EXPECT_EQ(Shown(), L"");
    EXPECT_TRUE(errors.empty());
}

TEST_F(LogView, ALogTooLargeToHoldIsNamedWithItsSizeNotARestart) {
    WriteBytes(primary, LogLines(0, 1500));
    Start(true);
    form->LogShown().MaxHeldBytes = fs::file_size(primary);
    Tick();
    ASSERT_EQ(Shown(), WidenAnsi(LogLines(0, 1500))) << "a log as large as may be held";
    form->LogShown().MaxHeldBytes = 2000;
    // Grown past what may be held: the file and its size, in both languages.
    AppendBytes(primary, LogLines(100, 1000));
    const std::string path = Narrow(primary.wstring());
    Tick();
    EXPECT_EQ(Shown(), Widen(TooLargeLine(path, fs::file_size(primary))));
    EXPECT_FALSE(form->LogShown().Holds());
    Tick(); // and so at every tick, never accumulating
    EXPECT_EQ(Shown(), Widen(TooLargeLine(path, fs::file_size(primary))));
    // A fallback that can be held is shown instead.
    WriteBytes(fallback, "fallback\r\n");
    Tick();
    EXPECT_EQ(Shown(), L"fallback\r\n");
    EXPECT_TRUE(errors.empty());
}

} // namespace
} // namespace kes
