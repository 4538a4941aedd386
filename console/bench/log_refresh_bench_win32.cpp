// The log view's costs, each against a yardstick measured in the same run:
// - refreshing the view with a 10 MB log, reloaded anew and after it grew by 10 KB, against a
//   bare WM_SETTEXT of the whole converted text into the same kind of control;
// - from the tick to the end of a 50 MB log in view, against the same for a 1 MB log;
// - a tick that appends 10 KB to a 50 MB log, against one that appends 10 KB to a 1 MB log;
// - the longest time the window does not answer during the first show of a 500 MB and a 1 GB
//   log, from the tick until the whole log is held, and while the 500 MB are packed for the
//   support mail.
#include "console/bench/max_block_win32.h"
#include "console/form/AdminUnit1.h"
#include "console/store/memory_registry.h"
#include "console/viewer/log_text.h"
#include "console/viewer/log_viewer_win32.h"
#include "console/viewer/outlook_mail_win32.h"
#include "platform/scoped_win32.h"
#include "platform/stopwatch_win32.h"
#include "platform/utf_win32.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace kes;

std::wstring g_path;

void Write(const std::string& log, const std::wstring& path = g_path) {
    const UniqueFile h(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    size_t done = 0;
    while (done < log.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(log.size() - done, 1u << 24));
        if (!WriteFile(h.Get(), log.data() + done, chunk, &n, nullptr) || n == 0)
            return;
        done += n;
    }
}

void Append(const std::string& bytes, const std::wstring& path = g_path) {
    const UniqueFile h(
        CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
    DWORD n = 0;
    WriteFile(h.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
}

std::string Log(size_t bytes) {
    std::string log;
    log.reserve(bytes + 100);
    for (int i = 0; log.size() < bytes; ++i)
        log += "12:00:00 Kestrova sync item " + std::to_string(i) + " state \xE4nderung ok\n";
    return log;
}

// 10 KB of lines, ending inside a CR LF: the next growth brings its LF.
std::string Growth(int round) {
    std::string g;
    for (int i = 0; g.size() < 10 * 1024; ++i)
        g += "12:00:04 Kestrova appended " + std::to_string(round) + "." + std::to_string(i) +
             " state ok\r\n";
    g.pop_back();
    return "\n" + g;
}

// One tick and the paint that puts its text on the screen.
double TimedTick(TQuillard& form) {
    const double t0 = MillisecondsNow();
    form.Timer1Timer(form.Timer1.get());
    UpdateWindow(form.LogFile->Handle());
    return MillisecondsNow() - t0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A console following one log file of its own.
struct Follower {
    std::wstring path;
    std::string log;
    std::unique_ptr<TQuillard> form;
    Follower(const std::wstring& file, size_t bytes) : path(file), log(Log(bytes)) {
        Services s;
        s.Registry = std::make_shared<MemoryRegistry>();
        s.ErrorBox = [](const std::string& t) { std::fprintf(stderr, "error: %s\n", t.c_str()); };
        s.ShowNotice = s.ErrorBox;
        s.PromptText = [](const std::string&, const std::string&, const std::string& d) {
            return d;
        };
        s.DebugLogPath = [this] { return Narrow(path); };
        s.FallbackLogPath = [] { return std::string(); };
        form = std::make_unique<TQuillard>(std::move(s));
        form->Create(SW_SHOWNOACTIVATE);
        form->chkDebug->SetChecked(true);
        form->Timer1->SetEnabled(false);
    }
    ~Follower() {
        form.reset();
        DeleteFileW(path.c_str());
    }
    // From the tick to the log's end in view, the view showing something else before.
    double FirstShow(int round) {
        SetMemoAnsiText(form->LogFile->Handle(), "");
        form->LogShown().Forget();
        log[1] = static_cast<char>('0' + round % 10);
        Write(log, path);
        const double t = TimedTick(*form);
        form->LogShown().WaitWhole();
        Application().ProcessMessages();
        return t;
    }
    // The longest time the window does not answer from the tick until the log is held.
    double FirstShowMaxBlock(double& wholeMs) {
        SetMemoAnsiText(form->LogFile->Handle(), "");
        form->LogShown().Forget();
        Write(log, path);
        MaxBlock watch(form->Handle());
        const double t0 = MillisecondsNow();
        form->Timer1Timer(form->Timer1.get());
        PumpUntil([this] { return form->LogShown().Holds(); });
        wholeMs = MillisecondsNow() - t0;
        const double blocked = watch.StopMs();
        if (!form->LogShown().Holds() || form->LogShown().Log().Size() != log.size())
            std::fprintf(stderr, "the log was not read whole\n");
        return blocked;
    }
    // The longest time the window does not answer while the log held is packed for the mail.
    double ZipMaxBlock(double& wholeMs) {
        MaxBlock watch(form->Handle());
        const double t0 = MillisecondsNow();
        bool done = false, complete = false;
        AttachedLogCopy copy(form->LogShown().Log(), form->LogShown().Path(), form->Handle());
        copy.OnDone = [&](bool ok) { done = true, complete = ok; };
        PumpUntil([&] { return done; });
        wholeMs = MillisecondsNow() - t0;
        if (!complete)
            std::fprintf(stderr, "the log was not packed\n");
        return watch.StopMs();
    }
    // A tick that finds 10 KB more.
    double AppendTick(int round) {
        const std::string g = Growth(round);
        log += g;
        Append(g, path);
        const double t = TimedTick(*form);
        Application().ProcessMessages();
        return t;
    }
};

// The view holds the log's end: its text after the omitted-part line ends the log's text.
bool ShowsEnd(TQuillard& form, const std::string& log) {
    const std::wstring shown = MemoText(form.LogFile->Handle());
    const std::wstring whole = WidenAnsi(LogToCrLf(log));
    const size_t head = shown.find(L"\r\n") + 2;
    return shown.size() > head && whole.size() >= shown.size() - head &&
           whole.compare(whole.size() - (shown.size() - head), std::wstring::npos, shown, head) ==
               0;
}

} // namespace

int wmain() {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    g_path = std::wstring(tmp) + L"kes_log_refresh_bench.log";

    Services s;
    s.Registry = std::make_shared<MemoryRegistry>();
    s.ErrorBox = [](const std::string& t) { std::fprintf(stderr, "error: %s\n", t.c_str()); };
    s.ShowNotice = s.ErrorBox;
    s.PromptText = [](const std::string&, const std::string&, const std::string& d) { return d; };
    s.DebugLogPath = [] { return Narrow(g_path); };
    s.FallbackLogPath = [] { return std::string(); };
    TQuillard form(std::move(s));
    form.Create(SW_SHOWNOACTIVATE);
    form.chkDebug->SetChecked(true);
    form.Timer1->SetEnabled(false); // only the refreshes measured here

    // The same kind of control, same size and font, on a window of its own.
    RECT r;
    GetClientRect(form.LogFile->Handle(), &r);
    UniqueWindow top(CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, r.right + 40,
                                     r.bottom + 40, nullptr, nullptr, nullptr, nullptr));
    HWND bare =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                        WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | WS_TABSTOP |
                            WS_VSCROLL | ES_AUTOVSCROLL,
                        13, 13, r.right + 4, r.bottom + 4, top.Get(), nullptr, nullptr, nullptr);
    SendMessageW(bare, WM_SETFONT, SendMessageW(form.LogFile->Handle(), WM_GETFONT, 0, 0), FALSE);

    // 10 MB: the view against a bare WM_SETTEXT of it all. Each side takes seconds under Wine
    // for the bare control; the best of three rounds keeps other load out.
    std::string log = Log(10u * 1024 * 1024);
    const std::wstring converted = WidenAnsi(LogToCrLf(log));
    double refresh = 1e300, bareSet = 1e300;
    for (int round = 0; round < 3; ++round) {
        // Rewritten in its first line, so that every round shows it anew.
        log[1] = static_cast<char>('0' + round);
        Write(log);
        double t0 = MillisecondsNow();
        form.Timer1Timer(form.Timer1.get());
        refresh = std::min(refresh, MillisecondsNow() - t0);
        form.LogShown().WaitWhole();
        Application().ProcessMessages();
        t0 = MillisecondsNow();
        SendMessageW(bare, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(converted.c_str()));
        bareSet = std::min(bareSet, MillisecondsNow() - t0);
        Application().ProcessMessages();
    }
    top.Reset();
    double append = 1e300;
    for (int round = 0; round < 3; ++round) {
        const std::string g = Growth(round);
        log += g;
        Append(g);
        const double t0 = MillisecondsNow();
        form.Timer1Timer(form.Timer1.get());
        append = std::min(append, MillisecondsNow() - t0);
        Application().ProcessMessages();
    }
    bool same = ShowsEnd(form, log);

    // 50 MB against 1 MB, each followed by a console of its own, the two measured in turn so
    // that the machine's other load falls on both: the first show (the best of five), and
    // ticks that append (the median of fifteen, so that trims at the view's start count as
    // often as they come).
    Follower small(std::wstring(tmp) + L"kes_log_bench_1mb.log", 1024 * 1024);
    Follower big(std::wstring(tmp) + L"kes_log_bench_50mb.log", 50u * 1024 * 1024);
    double firstSmall = 1e300, firstBig = 1e300;
    for (int round = 0; round < 5; ++round) {
        firstSmall = std::min(firstSmall, small.FirstShow(round));
        firstBig = std::min(firstBig, big.FirstShow(round));
    }
    std::vector<double> ticksSmall, ticksBig;
    for (int round = 0; round < 15; ++round) {
        ticksSmall.push_back(small.AppendTick(round));
        ticksBig.push_back(big.AppendTick(round));
    }
    const double appendSmall = Median(ticksSmall), appendBig = Median(ticksBig);
    same = same && ShowsEnd(*small.form, small.log) && ShowsEnd(*big.form, big.log);
    double whole500 = 0, whole1g = 0, block500 = 0, block1g = 0, zip500 = 0, zipBlock500 = 0;
    {
        Follower huge(std::wstring(tmp) + L"kes_log_bench_500mb.log", 500u << 20);
        block500 = huge.FirstShowMaxBlock(whole500);
        zipBlock500 = huge.ZipMaxBlock(zip500);
    }
    {
        Follower huge(std::wstring(tmp) + L"kes_log_bench_1gb.log", 1024u << 20);
        block1g = huge.FirstShowMaxBlock(whole1g);
    }
    DeleteFileW(g_path.c_str());
    if (!same) {
        std::fprintf(stderr, "the view does not show the log's end\n");
        return 1;
    }
    std::printf("log_refresh_ms: %.1f\n", refresh);
    std::printf("log_settext_ms: %.1f\n", bareSet);
    std::printf("log_refresh_ratio: %.3f\n", refresh / bareSet);
    std::printf("log_tick_append_ms: %.1f\n", append);
    std::printf("log_tick_append_ratio: %.4f\n", append / bareSet);
    std::printf("log_first_show_ms_1mb: %.1f\n", firstSmall);
    std::printf("log_first_show_ms_50mb: %.1f\n", firstBig);
    std::printf("log_first_show_ratio_50mb: %.2f\n", firstBig / firstSmall);
    std::printf("log_tick_append_ms_1mb: %.2f\n", appendSmall);
    std::printf("log_tick_append_ms_50mb: %.2f\n", appendBig);
    std::printf("log_tick_append_ratio_50mb: %.2f\n", appendBig / appendSmall);
    std::printf("log_first_show_whole_ms_500mb: %.0f\n", whole500);
    std::printf("log_first_show_max_block_ms_500mb: %.0f\n", block500);
    std::printf("log_first_show_whole_ms_1gb: %.0f\n", whole1g);
    std::printf("log_first_show_max_block_ms_1gb: %.0f\n", block1g);
    std::printf("mail_zip_whole_ms_500mb: %.0f\n", zip500);
    std::printf("mail_zip_max_block_ms_500mb: %.0f\n", zipBlock500);
    return 0;
}
