#pragma once
// The debug-log viewer's platform side: where the log lies, reading it with the add-in still
// writing, showing it in the memo, the save dialog and the saved copy.
#include "console/viewer/log_text.h"
#include "console/viewer/log_view_text.h"
#include "platform/scoped_win32.h"
#include "toolkit/component.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kes {

// "Kestrova_debug.log" in the user's temporary folder, joined as they are; empty when the
// folder's path cannot be had in 260 characters.
std::string DebugLogPath();
// "debug.log" in the folder of the running program.
std::string FallbackLogPath();

// Gives the memo the text, converted from the ANSI code page in one piece. False when the
// control did not take all of it.
bool SetMemoAnsiText(HWND memo, const std::string& ansiText);
// The same for a text in UTF-8 (a message that names a path).
bool SetMemoText(HWND memo, const std::string& utf8Text);
// Adds the text at the memo's end, with no undo, converted from the ANSI code page. False when
// the memo then does not hold `totalLength` characters.
bool AppendMemoAnsiText(HWND memo, std::string_view ansiText, size_t totalLength);
// The memo's text converted back to the ANSI code page.
std::string MemoAnsiText(HWND memo);
std::wstring MemoText(HWND memo);
// Lines as the memo shows them: wrapped rows count, the empty row after a final break does not.
int ShownLineCount(HWND memo);

// How much of a log the console holds: half the address space still free, at most a quarter of
// the machine's memory (so that holding it never drives Windows into paging), and below 2 GB
// (the zipped copy for the support mail counts its text's size in 32 bits).
std::uint64_t HeldLogLimit();

// Keeps a memo following a log file. It holds the log's bytes as of the last tick (for the
// saved copy and the support mail) and shows their end: a tick that finds the log grown reads
// and converts only what was added, after checking that what it held is still the log's
// beginning; anything else is read anew. A large log is shown by its end at once and read whole
// on a worker thread meanwhile (reading 1 GB holds a window for many seconds); the view's first
// line tells how far that has come, and the log is held once it is complete.
class LogFollower {
public:
    enum class Result { kShown, kUnreadable, kTooLarge };
    LogFollower();
    ~LogFollower();
    LogFollower(const LogFollower&) = delete;
    LogFollower& operator=(const LogFollower&) = delete;
    // Opens the file for reading, letting others only read it meanwhile, and shows it. On
    // kUnreadable (missing, locked, a read error, or the memo did not take the text) and
    // kTooLarge nothing is held any more; the memo is then left alone unless it refused text.
    Result Show(HWND memo, const std::string& path);
    // The memo was given something else (a message line).
    void Forget();

    bool Holds() const { return holds_; }
    const std::string& Path() const { return path_; }
    const LogBytes& Log() const { return log_; }
    const LogViewText& View() const { return view_; }
    // The size of the last file found too large to hold.
    std::uint64_t TooLargeSize() const { return tooLarge_; }
    // Bytes held at most; 0 means HeldLogLimit().
    std::uint64_t MaxHeldBytes = 0;
    // A log larger than this (and than the view shows whole) is read in the background.
    std::uint64_t SyncReadUpTo = 4u << 20;
    bool Reading() const { return reader_ != nullptr; }
    // How much of the log a background read has read, in per cent; 100 when none runs.
    int ReadPercent() const;
    // Until a background read has ended: paints, timers and sent messages are handled, input
    // waits (nothing may close the window under a caller) under the wait cursor, and
    // `progress` hears each new percentage. True when the log is then held.
    bool WaitWhole(const std::function<void(int percent)>& progress = {});
    // Takes over a finished background read, else shows its progress; its timer calls it.
    void Poll();

private:
    enum class Grown { kShown, kNotGrown, kFailed, kTooLarge };
    Grown ShowGrowth(HWND memo, HANDLE file, std::uint64_t limit);
    Result ShowAnew(HWND memo, UniqueFile& file, const BY_HANDLE_FILE_INFORMATION& info,
                    const std::string& path, std::uint64_t limit);
    bool StartReading(HWND memo, UniqueFile& file, const BY_HANDLE_FILE_INFORMATION& info,
                      const std::string& path, std::uint64_t limit);
    bool SameAsReading(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info,
                       const std::string& path) const;
    void StopReading();
    void ScrollToEnd();
    void GivePiece();
    bool Apply(HWND memo, const ViewChange& change);

    struct Reader;
    std::unique_ptr<Reader> reader_;
    HWND memo_ = nullptr;

    std::string path_;
    BY_HANDLE_FILE_INFORMATION info_{};
    LogBytes log_;
    LogViewText view_;
    size_t memoLength_ = 0; // what the memo held after the last tick, in UTF-16 units
    std::uint64_t tooLarge_ = 0;
    bool holds_ = false;
};

// Creates or replaces the file, held exclusively while it is written; raises Exception when it
// cannot be created or written.
void SaveFileBytes(const std::string& path, const std::string& bytes);
// The same for a whole log, written with its line breaks made CR LF and its NULs kept.
void SaveLogFile(const std::string& path, const LogBytes& log);

// The save-file dialog's settings and, after it was confirmed, the chosen file.
class TSaveDialog : public TComponent {
public:
    TSaveDialog(TComponent* owner, const char* name) : TComponent(owner) { Name = name; }
    std::string Title, Filter, DefaultExt, InitialDir, FileName;
    int FilterIndex = 1;
    DWORD Options = 0; // OFN_ flags
};

// Shows the real dialog modally, owned by the active window; false when cancelled.
bool ExecuteSaveDialog(TSaveDialog& dialog);

} // namespace kes
