#include "toolkit/testing/window_test_kit_win32.h"

#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"

#include <oleacc.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace kes::test {

void PumpPending(HWND dialog) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (dialog && IsWindow(dialog) && IsDialogMessageW(dialog, &m))
            continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, HWND dialog) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        PumpPending(dialog);
        if (done())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return false;
        MsgWaitForMultipleObjectsEx(0, nullptr,
                                    static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10)),
                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

TestHost::TestHost(Bounds b) : TFormWindow(nullptr) {
    CreateForm({.className = L"KesTestHost",
                .caption = "test host",
                .width = b.width,
                .height = b.height,
                .style = WS_POPUP | WS_CLIPCHILDREN});
    SetWindowPos(hwnd_, HWND_TOP, b.left, b.top, b.width, b.height, SWP_SHOWWINDOW);
    SetForegroundWindow(hwnd_);
    PumpUntil([this] { return GetForegroundWindow() == hwnd_; }, 2000);
}

namespace {

// Absolute coordinates are scaled to 65536 steps and back: a pixel off is the same place.
bool Near(POINT a, POINT b) {
    return std::abs(a.x - b.x) <= 1 && std::abs(a.y - b.y) <= 1;
}

// The last input step a call waits for: seen when this thread takes it from its queue.
struct InputWatch {
    UINT first = 0, second = 0; // the message (and its non-client twin)
    WPARAM key = 0;             // for key messages, the virtual key
    bool checkPoint = false;
    POINT point{};
    bool seen = false;
    HHOOK hook = nullptr;
    static InputWatch* active;

    InputWatch(UINT msg, UINT alt) : first(msg), second(alt) {
        active = this;
        hook = SetWindowsHookExW(WH_GETMESSAGE, Proc, nullptr, GetCurrentThreadId());
    }
    ~InputWatch() {
        UnhookWindowsHookEx(hook);
        active = nullptr;
    }
    static LRESULT CALLBACK Proc(int code, WPARAM wp, LPARAM lp) {
        if (code == HC_ACTION && wp == PM_REMOVE && active) {
            const MSG& m = *reinterpret_cast<const MSG*>(lp);
            InputWatch& w = *active;
            if ((m.message == w.first || m.message == w.second) &&
                (w.key == 0 || m.wParam == w.key) && (!w.checkPoint || Near(m.pt, w.point)))
                w.seen = true;
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
};
InputWatch* InputWatch::active = nullptr;

INPUT MouseInput(DWORD flags, POINT screen) {
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    // Rounded up, so that the pixel the system computes back is the one meant.
    in.mi.dx = (screen.x * 65536 + cx - 1) / cx;
    in.mi.dy = (screen.y * 65536 + cy - 1) / cy;
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
    return in;
}

bool SendAndWait(std::vector<INPUT> inputs, InputWatch& watch, HWND dialog) {
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    return sent == inputs.size() && PumpUntil([&watch] { return watch.seen; }, 5000, dialog);
}

bool ClickWith(HWND window, POINT client, DWORD down, DWORD up, UINT upMsg, UINT ncUpMsg, int times,
               HWND dialog) {
    POINT pt = client;
    ClientToScreen(window, &pt);
    if (!MovePointer(pt, dialog))
        return false;
    InputWatch watch(upMsg, ncUpMsg);
    watch.checkPoint = true;
    watch.point = pt;
    // Each press and release names its place too: Wine may meanwhile have moved the pointer
    // back to where its X display last saw it.
    std::vector<INPUT> in;
    for (int i = 0; i < times; ++i) {
        in.push_back(MouseInput(MOUSEEVENTF_MOVE | down, pt));
        in.push_back(MouseInput(MOUSEEVENTF_MOVE | up, pt));
    }
    // Only the last release ends the wait.
    if (!SendAndWait(in, watch, dialog))
        return false;
    PumpPending(dialog);
    return true;
}

bool IsExtended(WORD vk) {
    switch (vk) {
    case VK_INSERT:
    case VK_DELETE:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_APPS:
        return true;
    }
    return false;
}

INPUT KeyInput(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtended(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    return in;
}

} // namespace

bool MovePointer(POINT screen, HWND dialog) {
    POINT now{};
    GetCursorPos(&now);
    if (Near(now, screen)) {
        // A move to where the pointer already is may make no message at all: step aside first.
        POINT aside{screen.x > 4 ? screen.x - 4 : screen.x + 4, screen.y};
        if (!MovePointer(aside, dialog))
            return false;
    }
    InputWatch watch(WM_MOUSEMOVE, WM_NCMOUSEMOVE);
    watch.checkPoint = true;
    watch.point = screen;
    const INPUT in = MouseInput(MOUSEEVENTF_MOVE, screen);
    if (SendInput(1, const_cast<INPUT*>(&in), sizeof(INPUT)) != 1)
        return false;
    // Over a window of another thread (or none) nothing arrives here: then the pointer's own
    // position is all there is to wait for.
    return PumpUntil(
        [&] {
            POINT p{};
            GetCursorPos(&p);
            const HWND under = WindowFromPoint(screen);
            const bool ours =
                under && GetWindowThreadProcessId(under, nullptr) == GetCurrentThreadId();
            return (watch.seen || !ours) && Near(p, screen);
        },
        5000, dialog);
}

bool Click(HWND window, POINT client, HWND dialog) {
    return ClickWith(window, client, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, WM_LBUTTONUP,
                     WM_NCLBUTTONUP, 1, dialog);
}

bool RightClick(HWND window, POINT client, HWND dialog) {
    return ClickWith(window, client, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, WM_RBUTTONUP,
                     WM_NCRBUTTONUP, 1, dialog);
}

bool DoubleClick(HWND window, POINT client, HWND dialog) {
    return ClickWith(window, client, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, WM_LBUTTONUP,
                     WM_NCLBUTTONUP, 2, dialog);
}

bool PressKey(WORD vk, unsigned modifiers, HWND dialog) {
    const WORD mods[] = {VK_SHIFT, VK_CONTROL, VK_MENU};
    std::vector<INPUT> in;
    for (int i = 0; i < 3; ++i)
        if (modifiers & (1u << i))
            in.push_back(KeyInput(mods[i], false));
    in.push_back(KeyInput(vk, false));
    in.push_back(KeyInput(vk, true));
    WORD last = vk;
    for (int i = 2; i >= 0; --i)
        if (modifiers & (1u << i)) {
            in.push_back(KeyInput(mods[i], true));
            last = mods[i];
        }
    InputWatch watch(WM_KEYUP, WM_SYSKEYUP);
    watch.key = last;
    if (!SendAndWait(in, watch, dialog))
        return false;
    PumpPending(dialog); // the characters that the press made
    return true;
}

bool TypeText(std::string_view utf8, HWND dialog) {
    for (const wchar_t c : Widen(std::string(utf8))) {
        const SHORT scan = VkKeyScanW(c);
        if (scan != -1) {
            const unsigned state = static_cast<unsigned>(HIBYTE(scan));
            // VkKeyScan's shift state: 1 Shift, 2 Ctrl, 4 Alt, as our modifiers.
            if (!PressKey(LOBYTE(scan), state & 7u, dialog))
                return false;
            continue;
        }
        INPUT in[2]{};
        for (auto& i : in) {
            i.type = INPUT_KEYBOARD;
            i.ki.wScan = static_cast<WORD>(c);
            i.ki.dwFlags = KEYEVENTF_UNICODE;
        }
        in[1].ki.dwFlags |= KEYEVENTF_KEYUP;
        InputWatch watch(WM_KEYUP, WM_SYSKEYUP);
        watch.key = VK_PACKET;
        if (!SendAndWait({in[0], in[1]}, watch, dialog))
            return false;
        PumpPending(dialog);
    }
    return true;
}

namespace {
ComPtr<IAccessible> ClientObject(HWND window) {
    ComPtr<IAccessible> acc;
    AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                               acc.PutVoid());
    return acc;
}
VARIANT Child(LONG id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}
} // namespace

std::string AccessibleName(HWND window, LONG child) {
    const ComInit com;
    const ComPtr<IAccessible> acc = ClientObject(window);
    UniqueBstr name;
    if (!acc || acc->get_accName(Child(child), name.Put()) != S_OK || !name)
        return {};
    return Narrow(std::wstring(name.Get(), SysStringLen(name.Get())));
}

LONG AccessibleRole(HWND window, LONG child) {
    const ComInit com;
    const ComPtr<IAccessible> acc = ClientObject(window);
    UniqueVariant role;
    if (!acc || acc->get_accRole(Child(child), &role.v) != S_OK || role.v.vt != VT_I4)
        return 0;
    return role.v.lVal;
}

namespace {
struct ClientJob {
    const std::function<void()>* f;
};
DWORD WINAPI RunClient(void* p) {
    const ComInit com;
    (*static_cast<ClientJob*>(p)->f)();
    return 0;
}
std::vector<WinEventLog*>& ActiveEventLogs() {
    static std::vector<WinEventLog*> logs;
    return logs;
}
} // namespace

bool OnClientThread(const std::function<void()>& f, DWORD timeoutMs, HWND dialog) {
    ClientJob job{&f};
    const UniqueKernelHandle thread(CreateThread(nullptr, 0, RunClient, &job, 0, nullptr));
    if (!thread)
        return false;
    if (PumpUntil([&] { return WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0; }, timeoutMs,
                  dialog))
        return true;
    // f still runs and uses what the caller owns: wait for it, pumping, whatever it takes.
    HANDLE h = thread.Get();
    while (MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
        PumpPending(dialog);
    return false;
}

WinEventLog::WinEventLog(DWORD first, DWORD last) {
    ActiveEventLogs().push_back(this);
    hook_ = SetWinEventHook(first, last, nullptr, Proc, GetCurrentProcessId(), 0,
                            WINEVENT_OUTOFCONTEXT);
}

WinEventLog::~WinEventLog() {
    if (hook_)
        UnhookWinEvent(hook_);
    auto& logs = ActiveEventLogs();
    logs.erase(std::remove(logs.begin(), logs.end(), this), logs.end());
}

std::vector<std::pair<DWORD, LONG>> WinEventLog::Of(HWND window, LONG object) const {
    std::vector<std::pair<DWORD, LONG>> out;
    for (const WinEvent& e : events_)
        if (e.window == window && e.object == object)
            out.emplace_back(e.event, e.child);
    return out;
}

void CALLBACK WinEventLog::Proc(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object,
                                LONG child, DWORD, DWORD) {
    for (WinEventLog* log : ActiveEventLogs())
        if (log->hook_ == hook)
            log->events_.push_back({event, window, object, child});
}

namespace {
std::vector<MessageLog*>& ActiveLogs() {
    static std::vector<MessageLog*> logs;
    return logs;
}
} // namespace

MessageLog::MessageLog(std::initializer_list<HWND> windows, std::set<UINT> interesting)
    : windows_(windows), interesting_(std::move(interesting)) {
    ActiveLogs().push_back(this);
    sent_ = SetWindowsHookExW(WH_CALLWNDPROC, SentHook, nullptr, GetCurrentThreadId());
    posted_ = SetWindowsHookExW(WH_GETMESSAGE, PostedHook, nullptr, GetCurrentThreadId());
}

MessageLog::~MessageLog() {
    UnhookWindowsHookEx(sent_);
    UnhookWindowsHookEx(posted_);
    auto& logs = ActiveLogs();
    logs.erase(std::remove(logs.begin(), logs.end(), this), logs.end());
}

void MessageLog::Record(const MSG& m, bool posted) {
    if (windows_.contains(m.hwnd) && interesting_.contains(m.message))
        messages_.push_back({m.hwnd, m.message, posted, m.wParam, m.lParam});
}

LRESULT CALLBACK MessageLog::SentHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION) {
        const auto& c = *reinterpret_cast<const CWPSTRUCT*>(lp);
        const MSG m{c.hwnd, c.message, c.wParam, c.lParam, 0, {}};
        for (MessageLog* log : ActiveLogs())
            log->Record(m, false);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK MessageLog::PostedHook(int code, WPARAM wp, LPARAM lp) {
    if (code == HC_ACTION && wp == PM_REMOVE)
        for (MessageLog* log : ActiveLogs())
            log->Record(*reinterpret_cast<const MSG*>(lp), true);
    return CallNextHookEx(nullptr, code, wp, lp);
}

namespace {
bool Matches(const ExpectedMessage& e, const RecordedMessage& r) {
    return e.message == r.message && !((e.flags & kSent) && r.posted) &&
           !((e.flags & kPosted) && !r.posted) && !((e.flags & kWParam) && e.wParam != r.wParam) &&
           !((e.flags & kLParam) && e.lParam != r.lParam);
}
std::string Describe(const RecordedMessage& r) {
    std::ostringstream s;
    s << "0x" << std::hex << r.message << (r.posted ? " posted" : " sent") << " wp=0x" << r.wParam
      << " lp=0x" << r.lParam;
    return s.str();
}
std::string Describe(const ExpectedMessage& e) {
    std::ostringstream s;
    s << "0x" << std::hex << e.message;
    if (e.flags & kWParam)
        s << " wp=0x" << e.wParam;
    if (e.flags & kLParam)
        s << " lp=0x" << e.lParam;
    return s.str();
}
} // namespace

::testing::AssertionResult MatchesSequence(const MessageLog& log,
                                           const std::vector<ExpectedMessage>& expected) {
    const std::vector<RecordedMessage>& got = log.Messages();
    std::size_t e = 0, g = 0;
    while (e < expected.size() || g < got.size()) {
        if (e < expected.size() && g < got.size() && Matches(expected[e], got[g])) {
            ++e;
            ++g;
        } else if (e < expected.size() && (expected[e].flags & kOptional)) {
            ++e;
        } else {
            auto failure = ::testing::AssertionFailure();
            failure << "message " << g << ": expected "
                    << (e < expected.size() ? Describe(expected[e]) : std::string("nothing"))
                    << ", got " << (g < got.size() ? Describe(got[g]) : std::string("nothing"))
                    << "; received:";
            for (const RecordedMessage& r : got)
                failure << " [" << Describe(r) << "]";
            return failure;
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace kes::test
