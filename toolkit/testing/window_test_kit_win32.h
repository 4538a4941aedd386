#pragma once
// What every Windows test that makes a window stands on: a host form, pumping until a condition
// holds (bounded, never a bare sleep), real input that waits until Wine has delivered each step,
// accessible names, and declared message sequences compared with what a window really got.
#include "toolkit/form_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kes::test {

// Dispatches every waiting message; with a dialog window, through its keyboard navigation
// (IsDialogMessage) as the console's message loop does.
void PumpPending(HWND dialog = nullptr);
// Pumps until done() holds or the time is up; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000, HWND dialog = nullptr);

// A visible top-level form of the toolkit in the foreground, so real input reaches it.
class TestHost : public TFormWindow {
public:
    explicit TestHost(Bounds b = {100, 100, 400, 300});
    void Pump() { PumpPending(hwnd_); }
    bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000) {
        return test::PumpUntil(done, timeoutMs, hwnd_);
    }
};

// Real input (SendInput). Each call returns once this thread has taken the last message of the
// input from its queue, dispatched through PumpPending(dialog): a press is never sent before
// the pointer has arrived where it is meant to land.
bool MovePointer(POINT screen, HWND dialog = nullptr);
bool Click(HWND window, POINT client, HWND dialog = nullptr);
bool RightClick(HWND window, POINT client, HWND dialog = nullptr);
bool DoubleClick(HWND window, POINT client, HWND dialog = nullptr);
// One key pressed and released, with Shift, Ctrl or Alt held when asked.
enum Modifier : unsigned { kNoModifier = 0, kShift = 1, kCtrl = 2, kAlt = 4 };
bool PressKey(WORD vk, unsigned modifiers = kNoModifier, HWND dialog = nullptr);
// Text as typed on the keyboard; characters the layout has no key for come as VK_PACKET.
bool TypeText(std::string_view utf8, HWND dialog = nullptr);

// What a screen reader reads of a window (or of one of its children).
std::string AccessibleName(HWND window, LONG child = CHILDID_SELF);
LONG AccessibleRole(HWND window, LONG child = CHILDID_SELF);

// A screen reader's client thread: runs f on a thread of its own, with COM initialized there,
// while this thread pumps (the window's object answers on this thread). False when f did not
// end in time. Check results on this thread: f only gathers them.
bool OnClientThread(const std::function<void()>& f, DWORD timeoutMs = 10000, HWND dialog = nullptr);

// Accessibility events (SetWinEventHook, out of context) that this process raises while the log
// lives, in order; they arrive as this thread pumps.
struct WinEvent {
    DWORD event;
    HWND window;
    LONG object;
    LONG child;
    friend bool operator==(const WinEvent&, const WinEvent&) = default;
};
class WinEventLog {
public:
    WinEventLog(DWORD first, DWORD last);
    ~WinEventLog();
    WinEventLog(const WinEventLog&) = delete;
    WinEventLog& operator=(const WinEventLog&) = delete;
    void Clear() { events_.clear(); }
    const std::vector<WinEvent>& Events() const { return events_; }
    // The events of one window's object (OBJID_CLIENT unless said), as {event, child} pairs.
    std::vector<std::pair<DWORD, LONG>> Of(HWND window, LONG object = OBJID_CLIENT) const;

private:
    static void CALLBACK Proc(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child,
                              DWORD thread, DWORD time);
    HWINEVENTHOOK hook_ = nullptr;
    std::vector<WinEvent> events_;
};

// Declared message sequences, compared with what watched windows received: sent messages (seen
// before the window procedure runs) and posted ones (seen when taken from the queue).
enum MessageFlags : unsigned {
    kSent = 1,      // must have been sent
    kPosted = 2,    // must have been posted
    kWParam = 4,    // compare wParam
    kLParam = 8,    // compare lParam
    kOptional = 16, // may be missing
};
struct ExpectedMessage {
    UINT message;
    unsigned flags = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
struct RecordedMessage {
    HWND window;
    UINT message;
    bool posted;
    WPARAM wParam;
    LPARAM lParam;
};

// Records, while it lives, the messages of interest that the watched windows receive on this
// thread.
class MessageLog {
public:
    MessageLog(std::initializer_list<HWND> windows, std::set<UINT> interesting);
    ~MessageLog();
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;
    void Clear() { messages_.clear(); }
    const std::vector<RecordedMessage>& Messages() const { return messages_; }

private:
    static LRESULT CALLBACK SentHook(int code, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK PostedHook(int code, WPARAM wp, LPARAM lp);
    void Record(const MSG& m, bool posted);
    std::set<HWND> windows_;
    std::set<UINT> interesting_;
    std::vector<RecordedMessage> messages_;
    HHOOK sent_ = nullptr, posted_ = nullptr;
};

// Succeeds when the log holds exactly the expected sequence (optional entries may be missing);
// otherwise says where the two part.
::testing::AssertionResult MatchesSequence(const MessageLog& log,
                                           const std::vector<ExpectedMessage>& expected);

} // namespace kes::test
