#include "console/viewer/log_viewer_win32.h"

#include "console/viewer/log_text.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"

#include <commdlg.h>

#include <algorithm>
#include <atomic>
#include <vector>

namespace kes {

std::string DebugLogPath() {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, buf);
    // A longer answer is the size it would need, and the buffer holds nothing usable.
    if (n == 0 || n >= MAX_PATH)
        return {};
    return Narrow(std::wstring_view(buf, n)) + "Kestrova_debug.log";
}

std::string FallbackLogPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return "debug.log";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.rfind(L'\\');
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return Narrow(path) + "debug.log";
}

bool SetMemoAnsiText(HWND memo, const std::string& ansiText) {
    std::wstring w;
    try {
        w = WidenAnsi(ansiText);
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str())))
        return false;
    return static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0)) == w.size();
}

bool SetMemoText(HWND memo, const std::string& utf8Text) {
    const std::wstring w = Widen(utf8Text);
    return SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str())) &&
           static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0)) == w.size();
}

bool AppendMemoAnsiText(HWND memo, std::string_view ansiText, size_t totalLength) {
    std::wstring w;
    try {
        w = WidenAnsi(ansiText);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // WM_SETTEXT ignores the control's text limit, EM_REPLACESEL does not: lift it.
    SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
    const LRESULT end = SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(memo, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(w.c_str()));
    return static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0)) == totalLength;
}

namespace {

// One UTF-16 unit per byte, and a part converts as it would within the whole text: not so in a
// code page of lead and trail bytes.
bool SingleByteCodePage() {
    static const bool single = [] {
        CPINFO info{};
        return GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
    }();
    return single;
}

std::uint64_t FileSize(const BY_HANDLE_FILE_INFORMATION& i) {
    return (std::uint64_t(i.nFileSizeHigh) << 32) | i.nFileSizeLow;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// Grown past the limit while it was read: the size it has now, for the message.
std::uint64_t SizeNow(HANDLE f, std::uint64_t atLeast) {
    LARGE_INTEGER n{};
    return GetFileSizeEx(f, &n) ? std::max<std::uint64_t>(atLeast, n.QuadPart) : atLeast;
}

bool Seek(HANDLE f, std::uint64_t pos) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(pos);
    return SetFilePointerEx(f, at, nullptr, FILE_BEGIN) != FALSE;
}

long long ReadSome(HANDLE f, char* buf, size_t cap) {
    DWORD got = 0;
    if (!ReadFile(f, buf, static_cast<DWORD>(cap), &got, nullptr))
        return -1;
    return got;
}

// Exactly `n` bytes from `pos`; false when the file has fewer or cannot be read.
bool ReadAt(HANDLE f, std::uint64_t pos, std::string& out, size_t n) {
    out.assign(n, '\0');
    if (!Seek(f, pos))
        return false;
    size_t done = 0;
    while (done < n) {
        const long long got = ReadSome(f, out.data() + done, n - done);
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// Wine's word-wrapping EDIT takes 25 to 60 ms to put 16 KB of log lines before its text, and
// tens of milliseconds to change its first line.
constexpr size_t kViewPiece = 16 * 1024;
constexpr ULONGLONG kProgressEveryMs = 1000;

// Not drawn while its text changes away from where it is shown: the caret's scroll to the
// change and back would be painted.
class NoRedraw {
public:
    explicit NoRedraw(HWND memo)
        : memo_(memo), visible_((GetWindowLongPtrW(memo, GWL_STYLE) & WS_VISIBLE) != 0) {
        if (visible_)
            SendMessageW(memo_, WM_SETREDRAW, FALSE, 0);
    }
    ~NoRedraw() {
        if (!visible_)
            return;
        SendMessageW(memo_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(memo_, nullptr, TRUE);
    }
    NoRedraw(const NoRedraw&) = delete;
    NoRedraw& operator=(const NoRedraw&) = delete;

private:
    HWND memo_;
    bool visible_;
};

// The last lines of `text`, about kViewPiece characters from a line's start, cut off it.
std::wstring TakeLastPiece(std::wstring& text) {
    size_t at = 0;
    if (text.size() > kViewPiece) {
        const size_t lf = text.rfind(L'\n', text.size() - kViewPiece);
        at = lf == std::wstring::npos ? 0 : lf + 1;
    }
    std::wstring piece = text.substr(at);
    text.resize(at);
    return piece;
}

// What is compared of a held log at each tick before its growth is trusted: its beginning and
// the end it had, so that a log rewritten or replaced meanwhile is read anew.
constexpr size_t kHeadCheck = 4096, kTailCheck = 64 * 1024;

} // namespace

std::uint64_t HeldLogLimit() {
    MEMORYSTATUSEX ms{};
    ms.dwLength = sizeof(ms);
    // Its text with CR LF breaks, at most twice as long, must stay countable in 32 bits.
    constexpr std::uint64_t kBelow2G = 0x7FF00000ull;
    if (!GlobalMemoryStatusEx(&ms))
        return 256ull << 20;
    return std::min({ms.ullAvailVirtual / 2, ms.ullTotalPhys / 4, kBelow2G});
}

struct LogFollower::Reader {
    UniqueFile file;
    UniqueKernelHandle thread;
    std::atomic<bool> cancel{false}, done{false};
    // The view is being given its text: reading a big file at full speed slows the EDIT down
    // several times over on a busy machine, so the worker pauses after each read meanwhile.
    std::atomic<bool> yield{false};
    std::atomic<std::uint64_t> got{0};
    // Written by the worker until `done`, then read by the window's thread.
    ReadResult result = ReadResult::Failed;
    LogBytes log;
    BY_HANDLE_FILE_INFORMATION after{};
    // Set before the worker starts.
    std::uint64_t limit = 0, size = 0, from = 0;
    BY_HANDLE_FILE_INFORMATION info{};
    std::string path, head, tailText;
    std::size_t headLength = 0;
    int percent = 0;
    ULONGLONG shownAt = 0; // when the first line last changed
    // The view's text before what it shows yet, given to it a piece at a time.
    std::wstring rest;

    static DWORD WINAPI Run(void* arg) {
        auto* r = static_cast<Reader*>(arg);
        const HANDLE f = r->file.Get();
        r->result = ReadLog(
            [r, f](char* buf, size_t cap) -> long long {
                if (r->cancel.load(std::memory_order_relaxed))
                    return -1;
                if (r->yield.load(std::memory_order_relaxed))
                    Sleep(1);
                const long long n = ReadSome(f, buf, cap);
                if (n > 0)
                    r->got.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_relaxed);
                return n;
            },
            r->log, r->limit);
        // What the file was when its end was read: growth after that is the next tick's.
        GetFileInformationByHandle(f, &r->after);
        // The add-in may write its log again as soon as it is read.
        r->file.Reset();
        r->done.store(true, std::memory_order_release);
        return 0;
    }
};

namespace {
void CALLBACK ReadingTimer(HWND, UINT, UINT_PTR id, DWORD) {
    // The timer's identifier is the follower itself; it is killed before the follower goes.
    reinterpret_cast<LogFollower*>(id)->Poll();
}
} // namespace

LogFollower::LogFollower() = default;

LogFollower::~LogFollower() {
    StopReading();
}

LogFollower::Result LogFollower::Show(HWND memo, const std::string& path) {
    if (path.empty()) {
        Forget();
        return Result::kUnreadable;
    }
    // Read sharing only: while the add-in holds the log open for writing this open fails.
    UniqueFile f(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                             nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!f.Valid() || !GetFileInformationByHandle(f.Get(), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Forget();
        return Result::kUnreadable;
    }
    const std::uint64_t limit = MaxHeldBytes ? MaxHeldBytes : HeldLogLimit();
    const std::uint64_t size = FileSize(info);
    if (size > limit) {
        Forget();
        tooLarge_ = size;
        return Result::kTooLarge;
    }
    // The log being read is still the one that began to be read: the read goes on.
    if (reader_ && SameAsReading(f.Get(), info, path))
        return Result::kShown;
    StopReading();
    // The same file, not shorter, not rewritten in place at the same size, and the memo still
    // holds what it was given: only the growth is read.
    if (holds_ && path == path_ && SameFile(info, info_) && size >= log_.Size() &&
        (size > log_.Size() || SameTime(info.ftLastWriteTime, info_.ftLastWriteTime)) &&
        static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0)) == memoLength_) {
        switch (ShowGrowth(memo, f.Get(), limit)) {
        case Grown::kShown:
            GetFileInformationByHandle(f.Get(), &info_);
            return Result::kShown;
        case Grown::kFailed:
            Forget();
            return Result::kUnreadable;
        case Grown::kTooLarge: {
            const std::uint64_t seen = SizeNow(f.Get(), std::max(size, log_.Size()));
            Forget();
            tooLarge_ = seen;
            return Result::kTooLarge;
        }
        case Grown::kNotGrown:
            break;
        }
    }
    return ShowAnew(memo, f, info, path, limit);
}

bool LogFollower::SameAsReading(HANDLE f, const BY_HANDLE_FILE_INFORMATION& info,
                                const std::string& path) const {
    const Reader& r = *reader_;
    const std::uint64_t size = FileSize(info);
    if (path != r.path || !SameFile(info, r.info) || size < r.size ||
        (size == r.size && !SameTime(info.ftLastWriteTime, r.info.ftLastWriteTime)))
        return false;
    std::string head;
    return ReadAt(f, 0, head, r.head.size()) && head == r.head;
}

bool LogFollower::StartReading(HWND memo, UniqueFile& file, const BY_HANDLE_FILE_INFORMATION& info,
                               const std::string& path, std::uint64_t limit) {
    const ViewLimits& lim = view_.Limits();
    auto r = std::make_unique<Reader>();
    r->size = FileSize(info);
    // The view's part of the log, as a whole read would give it: from the first line that
    // begins within the last `keep` bytes (the byte before tells where a line begins).
    const std::uint64_t at = r->size - lim.keep - 1;
    std::string bytes;
    if (!ReadAt(file.Get(), at, bytes, static_cast<size_t>(lim.keep + 1)))
        return false;
    LogBytes tail;
    tail.Append(bytes);
    const std::uint64_t line = LineStartIn(tail, 1, tail.Size());
    const std::uint64_t start = line < tail.Size() ? line : 1;
    r->from = at + start;
    r->tailText = LogTextOf(tail, start, tail.Size(), lim.lineWidth);
    if (!ReadAt(file.Get(), 0, r->head, kHeadCheck) || !Seek(file.Get(), 0))
        return false;
    r->limit = limit;
    r->info = info;
    r->path = path;
    r->file = std::move(file);
    r->thread.Reset(CreateThread(nullptr, 0, &Reader::Run, r.get(), CREATE_SUSPENDED, nullptr));
    if (!r->thread) {
        file = std::move(r->file);
        return false;
    }
    const std::wstring headLine = WidenAnsi(ReadingLine(r->from, 0));
    r->headLength = headLine.size();
    // Wine's word-wrapping EDIT takes 0.15 s and more for the whole tail at once: it gets the
    // log's end first, the lines before it a piece at a time between messages.
    r->rest = WidenAnsi(r->tailText);
    const std::wstring last = TakeLastPiece(r->rest);
    SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>((headLine + last).c_str()));
    // Its first line is replaced as the read goes on: EM_REPLACESEL keeps to the text limit.
    SendMessageW(memo, EM_SETLIMITTEXT, 0, 0);
    memoLength_ = static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0));
    memo_ = memo;
    r->shownAt = GetTickCount64();
    reader_ = std::move(r);
    reader_->yield.store(!reader_->rest.empty());
    ResumeThread(reader_->thread.Get());
    SetTimer(memo, reinterpret_cast<UINT_PTR>(this), reader_->rest.empty() ? 50 : 10,
             &ReadingTimer);
    return true;
}

void LogFollower::GivePiece() {
    Reader& r = *reader_;
    const std::wstring piece = TakeLastPiece(r.rest);
    {
        const NoRedraw quiet(memo_);
        SendMessageW(memo_, EM_SETSEL, r.headLength, static_cast<LPARAM>(r.headLength));
        SendMessageW(memo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
        ScrollToEnd();
    }
    memoLength_ = static_cast<size_t>(SendMessageW(memo_, WM_GETTEXTLENGTH, 0, 0));
    if (r.rest.empty()) {
        r.yield.store(false);
        SetTimer(memo_, reinterpret_cast<UINT_PTR>(this), 50, &ReadingTimer);
    }
}

void LogFollower::StopReading() {
    if (!reader_)
        return;
    reader_->cancel.store(true);
    // It stops within one read of 64 KB.
    WaitForSingleObject(reader_->thread.Get(), INFINITE);
    if (IsWindow(memo_))
        KillTimer(memo_, reinterpret_cast<UINT_PTR>(this));
    reader_.reset();
}

void LogFollower::ScrollToEnd() {
    const int lines = ShownLineCount(memo_);
    const int first = static_cast<int>(SendMessageW(memo_, EM_GETFIRSTVISIBLELINE, 0, 0));
    if (lines > 1)
        SendMessageW(memo_, EM_LINESCROLL, 0, lines - 1 - first);
}

void LogFollower::Poll() {
    if (!reader_)
        return;
    Reader& r = *reader_;
    try {
        if (!r.rest.empty()) {
            GivePiece();
            return;
        }
        if (!r.done.load(std::memory_order_acquire)) {
            const int percent = ReadPercent();
            if (percent == r.percent || GetTickCount64() - r.shownAt < kProgressEveryMs)
                return;
            // The first line tells how far the read has come; the view stays where it stood.
            const std::wstring line = WidenAnsi(ReadingLine(r.from, percent));
            const NoRedraw quiet(memo_);
            const LRESULT first = SendMessageW(memo_, EM_GETFIRSTVISIBLELINE, 0, 0);
            SendMessageW(memo_, EM_SETSEL, 0, static_cast<LPARAM>(r.headLength));
            SendMessageW(memo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
            SendMessageW(memo_, EM_LINESCROLL, 0,
                         first - SendMessageW(memo_, EM_GETFIRSTVISIBLELINE, 0, 0));
            r.percent = percent;
            r.shownAt = GetTickCount64();
            r.headLength = line.size();
            memoLength_ = static_cast<size_t>(SendMessageW(memo_, WM_GETTEXTLENGTH, 0, 0));
            return;
        }
        const std::unique_ptr<Reader> done = std::move(reader_);
        WaitForSingleObject(done->thread.Get(), INFINITE);
        KillTimer(memo_, reinterpret_cast<UINT_PTR>(this));
        if (done->result != ReadResult::Ok) {
            // Shrunk, replaced or unreadable midway, or too large: the next tick reads anew.
            Forget();
            return;
        }
        log_ = std::move(done->log);
        info_ = done->after;
        path_ = done->path;
        holds_ = true;
        const ViewChange change = view_.Rebuild(log_);
        // Unchanged meanwhile: only the first line changes.
        if (change.text == OmittedLine(done->from) + done->tailText) {
            const std::wstring line = WidenAnsi(OmittedLine(done->from));
            SendMessageW(memo_, EM_SETSEL, 0, static_cast<LPARAM>(done->headLength));
            SendMessageW(memo_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
            memoLength_ = static_cast<size_t>(SendMessageW(memo_, WM_GETTEXTLENGTH, 0, 0));
        } else {
            SendMessageW(memo_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
            if (!Apply(memo_, change)) {
                Forget();
                return;
            }
        }
        ScrollToEnd();
    } catch (const std::exception&) {
        // Out of memory for the view's text: the next tick reads anew.
        Forget();
    }
}

int LogFollower::ReadPercent() const {
    if (!reader_)
        return 100;
    return static_cast<int>(std::min<std::uint64_t>(
        99, reader_->got.load(std::memory_order_relaxed) * 100 / reader_->size));
}

bool LogFollower::WaitWhole(const std::function<void(int percent)>& progress) {
    if (!reader_)
        return holds_;
    // Input waits meanwhile: the cursor says so.
    const HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    int shown = -1;
    while (reader_) {
        if (progress && ReadPercent() != shown)
            progress(shown = ReadPercent());
        const HANDLE thread = reader_->thread.Get();
        MsgWaitForMultipleObjects(1, &thread, FALSE, 100, QS_PAINT | QS_TIMER | QS_SENDMESSAGE);
        Poll();
        MSG m;
        // Ticks may find the log rewritten and start over, or unreadable and stop.
        if (PeekMessageW(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
            DispatchMessageW(&m);
        if (PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE))
            DispatchMessageW(&m);
    }
    SetCursor(cursor);
    return holds_;
}

LogFollower::Grown LogFollower::ShowGrowth(HWND memo, HANDLE f, std::uint64_t limit) {
    const std::uint64_t held = log_.Size();
    const size_t head = static_cast<size_t>(std::min<std::uint64_t>(held, kHeadCheck));
    const size_t tail = static_cast<size_t>(std::min<std::uint64_t>(held, kTailCheck));
    std::string bytes;
    if (!ReadAt(f, 0, bytes, head) || !log_.Matches(0, bytes) ||
        !ReadAt(f, held - tail, bytes, tail) || !log_.Matches(held - tail, bytes))
        return Grown::kNotGrown;
    // The file stands right after what is held: the rest is the growth, read to its end.
    switch (ReadLog([f](char* buf, size_t cap) { return ReadSome(f, buf, cap); }, log_, limit)) {
    case ReadResult::Ok:
        break;
    case ReadResult::Failed:
        return Grown::kFailed;
    case ReadResult::TooLarge:
        return Grown::kTooLarge;
    }
    // In a code page of lead and trail bytes the view's length in characters is not known from
    // its bytes: it is given its text anew, which costs only what it shows.
    const ViewChange change = SingleByteCodePage() ? view_.Grow(log_, held) : view_.Rebuild(log_);
    return Apply(memo, change) ? Grown::kShown : Grown::kFailed;
}

LogFollower::Result LogFollower::ShowAnew(HWND memo, UniqueFile& file,
                                          const BY_HANDLE_FILE_INFORMATION& info,
                                          const std::string& path, std::uint64_t limit) {
    Forget();
    if (FileSize(info) > std::max(SyncReadUpTo, view_.Limits().wholeUpTo) &&
        StartReading(memo, file, info, path, limit))
        return Result::kShown;
    const HANDLE f = file.Get();
    if (!Seek(f, 0))
        return Result::kUnreadable;
    switch (ReadLog([f](char* buf, size_t cap) { return ReadSome(f, buf, cap); }, log_, limit)) {
    case ReadResult::Ok:
        break;
    case ReadResult::Failed:
        Forget();
        return Result::kUnreadable;
    case ReadResult::TooLarge: {
        const std::uint64_t seen = SizeNow(f, log_.Size());
        Forget();
        tooLarge_ = seen;
        return Result::kTooLarge;
    }
    }
    // The old text goes before the new one is made.
    SendMessageW(memo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
    if (!Apply(memo, view_.Rebuild(log_))) {
        Forget();
        return Result::kUnreadable;
    }
    GetFileInformationByHandle(f, &info_);
    path_ = path;
    holds_ = true;
    return Result::kShown;
}

bool LogFollower::Apply(HWND memo, const ViewChange& change) {
    bool ok = true;
    if (change.kind == ViewChange::kWhole) {
        ok = SetMemoAnsiText(memo, change.text);
    } else if (change.kind == ViewChange::kAppend) {
        const size_t before = static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0));
        ok = AppendMemoAnsiText(memo, change.text, before + change.text.size());
        if (ok && (change.cut || !change.head.empty())) {
            // Trimmed at its start: the dropped lines and the old head give way to the new head.
            const std::wstring head = WidenAnsi(change.head);
            SendMessageW(memo, EM_SETSEL, 0, static_cast<LPARAM>(change.cut));
            SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(head.c_str()));
        }
        ok =
            ok && static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0)) == view_.Length();
    }
    memoLength_ = static_cast<size_t>(SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0));
    return ok;
}

void LogFollower::Forget() {
    StopReading();
    holds_ = false;
    path_.clear();
    log_.Clear();
    memoLength_ = 0;
    tooLarge_ = 0;
}

std::wstring MemoText(HWND memo) {
    const LRESULT n = SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    const LRESULT got = SendMessageW(memo, WM_GETTEXT, static_cast<WPARAM>(w.size()),
                                     reinterpret_cast<LPARAM>(w.data()));
    w.resize(static_cast<size_t>(got));
    return w;
}

std::string MemoAnsiText(HWND memo) {
    return NarrowAnsi(MemoText(memo));
}

int ShownLineCount(HWND memo) {
    if (SendMessageW(memo, WM_GETTEXTLENGTH, 0, 0) == 0)
        return 0;
    const int rows = static_cast<int>(SendMessageW(memo, EM_GETLINECOUNT, 0, 0));
    const LRESULT lastStart = SendMessageW(memo, EM_LINEINDEX, static_cast<WPARAM>(rows - 1), 0);
    if (rows > 0 && lastStart >= 0 && SendMessageW(memo, EM_LINELENGTH, lastStart, 0) == 0)
        return rows - 1;
    return rows;
}

void SaveFileBytes(const std::string& path, const std::string& bytes) {
    UniqueFile f(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.Valid())
        throw Exception("Datei " + path + " kann nicht erstellt werden");
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD wrote = 0;
        if (!WriteFile(f.Get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0)
            throw Exception("Stream-Schreibfehler");
        done += wrote;
    }
}

void SaveLogFile(const std::string& path, const LogBytes& log) {
    UniqueFile f(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f.Valid())
        throw Exception("Datei " + path + " kann nicht erstellt werden");
    // Converted and written a block at a time: a big log is never held twice.
    std::string out;
    CrLfConverter conv(out, 0, NulBytes::kKeep);
    const auto flush = [&] {
        size_t done = 0;
        while (done < out.size()) {
            DWORD wrote = 0;
            if (!WriteFile(f.Get(), out.data() + done, static_cast<DWORD>(out.size() - done),
                           &wrote, nullptr) ||
                wrote == 0)
                throw Exception("Stream-Schreibfehler");
            done += wrote;
        }
        out.clear();
    };
    log.ForEachPiece(0, log.Size(), [&](std::string_view piece) {
        conv.Feed(piece);
        flush();
    });
}

bool ExecuteSaveDialog(TSaveDialog& dialog) {
    // "A|b|C|d" becomes "A\0b\0C\0d\0\0".
    std::wstring filter = Widen(dialog.Filter);
    for (auto& c : filter)
        if (c == L'|')
            c = L'\0';
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    const std::wstring title = Widen(dialog.Title), ext = Widen(dialog.DefaultExt),
                       dir = Widen(dialog.InitialDir);
    std::vector<wchar_t> file(32768, L'\0');
    const std::wstring initial = Widen(dialog.FileName);
    initial.copy(file.data(), std::min(initial.size(), file.size() - 1));
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(dialog.FilterIndex);
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = ext.empty() ? nullptr : ext.c_str();
    ofn.Flags = dialog.Options | OFN_EXPLORER;
    // The common dialogs bring the shell along: loaded when first needed, not at every start.
    using SaveFileName = BOOL(WINAPI*)(OPENFILENAMEW*);
    static const auto save = reinterpret_cast<SaveFileName>(reinterpret_cast<void (*)()>(
        GetProcAddress(LoadLibraryW(L"comdlg32.dll"), "GetSaveFileNameW")));
    if (!save || !save(&ofn))
        return false;
    dialog.FileName = Narrow(file.data());
    dialog.FilterIndex = static_cast<int>(ofn.nFilterIndex);
    return true;
}

} // namespace kes
