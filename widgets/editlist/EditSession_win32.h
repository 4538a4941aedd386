#pragma once
// The in-place editor of TEditListBox, a flat single-line EDIT over one entry, and the editing
// session it belongs to: what the editor and the list share while an entry is open.
#include "toolkit/controls_win32.h"

#include <windows.h>

#include <string>

namespace kes {

class TEditListBox;
class TSizeEdit;

// One entry open in the editor. Every way in is Open and every way out is Close, so the saved
// text, the recorded index, the mouse capture and the blanked entry are looked after in one
// place, whichever key, click, focus change or call ends the edit.
class TEditSession {
public:
    enum Ending {
        Commit,         // the editor's text, as OnEditDone leaves it (or the saved text on a veto)
        Revert,         // the saved text, OnEditDone asked with it
        CommitNonEmpty, // Commit, but Revert when the editor was emptied
    };
    TEditSession(TEditListBox& list, TSizeEdit& editor) : list_(list), editor_(editor) {}
    TEditSession(const TEditSession&) = delete;
    TEditSession& operator=(const TEditSession&) = delete;

    bool IsOpen() const { return open_; }
    // Open over an entry that had a text (a fresh empty entry is edited, but not pending).
    bool Pending() const { return open_ && !saved_.empty(); }
    // The entry being edited, or the last one edited; -1 when none.
    int Index() const { return index_; }
    int CountAtOpen() const { return countAtOpen_; }
    const std::string& SavedText() const { return saved_; }

    // Opens the editor over the entry: it takes the entry's text, the focus and the mouse
    // capture, and the entry is blanked beneath it. An open session is closed first.
    void Open(int index);
    // Writes the entry back (OnEditDone asked), selects it, releases the capture, hides the
    // editor and, with focusList, gives the focus to the list box; then selects `select`
    // through SetIndexAndScroll when it is an entry. Nothing when no session is open. An error
    // of OnEditDone is rethrown once all that is done, the entry then holding its saved text.
    void Close(Ending how, bool focusList = true, int select = -1);
    // The write-back alone (the commit of the Part's UpdateEdit).
    void WriteBack();
    // No entry is recorded any more.
    void Forget() { index_ = -1; }

private:
    TEditListBox& list_;
    TSizeEdit& editor_;
    bool open_ = false;
    int index_ = -1;
    int countAtOpen_ = -1;
    std::string saved_;
};

class TSizeEdit : public TWinControl {
public:
    explicit TSizeEdit(TEditListBox& list);
    TEditSession& Session() { return session_; }
    const TEditSession& Session() const { return session_; }
    void UpdateEdit() { session_.WriteBack(); }
    bool Pending() const { return session_.Pending(); }
    int EditIndex() const { return session_.Index(); }
    TNotifyEvent OnExit;

    void HandleCommand(WORD code) override;
    // Takes the list's font, and over an open entry the height of its row.
    void FollowListFont();
    // What screen readers call the editor: the list's name and the entry being edited.
    std::string AccessibleName() const;

protected:
    LRESULT HandleDlgCode(WPARAM key, const MSG* m) override;
    bool HandleKey(KeyEvent& e) override;
    bool HandleMouse(const MouseEvent& e) override;
    bool HandleFocus(bool gained, HWND other) override;
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // Its width follows its text, up to the list's client width + 1.
    void Change();

    TEditListBox& list_;
    TEditSession session_;
};

} // namespace kes
