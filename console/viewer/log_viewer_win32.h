#pragma once
// The debug-log viewer's platform side: where the log lies, reading it with the add-in still
// writing, showing it in the memo, the save dialog and the saved copy.
#include "console/viewer/log_text.h"
#include "console/viewer/log_view_text.h"
#include "toolkit/component.h"

#include <windows.h>

#include <cstdint>
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
// beginning; anything else is read anew.
class LogFollower {
public:
    enum class Result { kShown, kUnreadable, kTooLarge };
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

private:
    enum class Grown { kShown, kNotGrown, kFailed, kTooLarge };
    Grown ShowGrowth(HWND memo, HANDLE file, std::uint64_t limit);
    Result ShowAnew(HWND memo, HANDLE file, const std::string& path, std::uint64_t limit);
    bool Apply(HWND memo, const ViewChange& change);

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
