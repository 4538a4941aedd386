#pragma once
// The debug-log viewer's platform side: where the log lies, reading it with the add-in still
// writing, showing it in the memo, the save dialog and the saved copy.
#include "toolkit/component.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace kes {

// "Kestrova_debug.log" in the user's temporary folder, joined as they are; empty when the
// folder's path cannot be had in 260 characters.
std::string DebugLogPath();
// "debug.log" in the folder of the running program.
std::string FallbackLogPath();

// Opens an existing file for reading, letting others only read it meanwhile, and reads it whole
// with its line breaks made CR LF. False for a missing, locked, unreadable or oversized file.
bool LoadLogFile(const std::string& path, std::string& text);

// Gives the memo the text, converted from the ANSI code page in one piece. False when the
// control did not take all of it.
bool SetMemoAnsiText(HWND memo, const std::string& ansiText);
// Adds the text at the memo's end, with no undo, converted from the ANSI code page. False when
// the memo then does not hold `totalLength` characters.
bool AppendMemoAnsiText(HWND memo, std::string_view ansiText, size_t totalLength);
// The memo's text converted back to the ANSI code page.
std::string MemoAnsiText(HWND memo);
std::wstring MemoText(HWND memo);
// Lines as the memo shows them: wrapped rows count, the empty row after a final break does not.
int ShownLineCount(HWND memo);

// Keeps a memo following a log file. It remembers the converted text that it gave the memo and
// the file it came from, so that a log which only grew costs the memo the new part, not the
// whole text again.
class LogFollower {
public:
    // Reads the file whole and shows it: by appending when it is the file shown before, the memo
    // still holds that text, and the new text begins with exactly it; otherwise as a whole new
    // text. False when the file cannot be read (the memo is left alone) or the memo did not
    // take the text (it may then hold anything, and nothing is remembered).
    bool Show(HWND memo, const std::string& path);
    // The memo was given something else (the message line).
    void Forget();

private:
    std::string path_, text_;
    bool holds_ = false;
};

// Creates or replaces the file, held exclusively while it is written; raises Exception when it
// cannot be created or written.
void SaveFileBytes(const std::string& path, const std::string& bytes);

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
