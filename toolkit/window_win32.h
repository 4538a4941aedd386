#pragma once
// The toolkit's one window base. Every window of ours reaches its object through one entry:
// our own classes attach the object at WM_NCCREATE, system classes (BUTTON, EDIT, LISTBOX ...)
// when they are subclassed right after creation. At that entry errors stop, so no event
// handler's exception unwinds through USER32, and notifications that a parent receives go back
// to the child that sent them, whatever the parent is.
#include "platform/scoped_win32.h"

#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace kes {

// The process-wide application object: its title captions message boxes, and every error that
// escapes an event handler reaches HandleException.
struct TApplication {
    std::string Title;
    std::function<void(const std::string& message)> OnException;
    void HandleException(const std::exception& e);
    // Runs code that is not called from a window procedure (start-up, tests) under the same
    // rule: whatever it throws goes to the error box.
    void Guard(const std::function<void()>& handler);
    // Dispatches every message already waiting for this thread, then returns.
    void ProcessMessages();
};
TApplication& Application();

struct Bounds {
    int left, top, width, height;
};

// A mouse message as the typed handler sees it. `msg`, `wp` and `lp` are the message itself,
// for a handler that hands it on to the class's own handling.
struct MouseEvent {
    enum Action { Move, Down, Up, DoubleClick, Leave } action;
    enum Button { None, Left, Right, Middle } button;
    POINT pt;    // client coordinates; none for Leave
    WPARAM keys; // MK_* flags
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

// WM_KEYDOWN, WM_KEYUP, WM_CHAR (and their WM_SYS* twins). A handler that leaves the message
// to the class may change `key`: the class then sees the changed one.
struct KeyEvent {
    UINT msg;
    WPARAM key;
    LPARAM lp;
};

// The DPI that layouts are written for: their pixel values are at this one.
constexpr UINT kBaseDpi = 96;
// Named here: the headers declare them only for Windows versions newer than the one we target.
constexpr UINT kWmDpiChanged = 0x02E0;
constexpr UINT kWmDpiChangedAfterParent = 0x02E3;

class TWindow {
public:
    TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;
    // Detaches the object and destroys the window (with its children) if it still exists.
    virtual ~TWindow();

    HWND Handle() const { return hwnd_; }
    // The object of one of our windows; nullptr for any other window.
    static TWindow* FromHandle(HWND hwnd);

    // The window's DPI: GetDpiForWindow where the system has it (Windows 10 1607 on), else
    // the screen's LOGPIXELSY, as older systems have one DPI for every window.
    UINT Dpi() const;
    // A length of the 96-DPI layout at this window's DPI.
    int Scale(int px96) const { return ScaleTo(px96, Dpi()); }
    static int ScaleTo(int px96, UINT dpi) {
        return MulDiv(px96, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
    }

    // Registers a window class whose windows are ours; once per name and process.
    static void RegisterWindowClass(const wchar_t* name, HBRUSH background, UINT style = 0,
                                    HICON icon = nullptr, HICON smallIcon = nullptr);

protected:
    struct CreateParams {
        const wchar_t* className = nullptr;
        std::wstring text{};
        DWORD style = 0, exStyle = 0;
        Bounds bounds{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
        HWND parent = nullptr;
        int id = 0; // a child's control id
    };
    // What the destructor does, for a derived destructor whose members the window's last
    // messages must not reach.
    void DestroyHandle();
    // Creates the window and attaches this object: a class of ours (RegisterWindowClass) at
    // WM_NCCREATE, any other class by subclassing it at once. False when creation failed.
    bool CreateWindowFor(const CreateParams& p);

    // The one message handler: what a derived window does not handle goes to DefaultProc.
    virtual LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp);
    // The class's own handling: DefWindowProc for ours, the system class's procedure otherwise.
    LRESULT DefaultProc(UINT msg, WPARAM wp, LPARAM lp);
    // Typed handlers, reached from the base's WndProc. Each returns true when it handled the
    // message (answered 0); false leaves it to DefaultProc.
    // How WM_PAINT, WM_PRINTCLIENT and WM_ERASEBKGND reach HandlePaint.
    enum class PaintMode {
        None,           // the class paints itself; HandlePaint is not called
        OverBackground, // the class background is erased, then HandlePaint draws on it
        Opaque,         // HandlePaint covers the whole client area; nothing is erased
        Buffered,       // Opaque, drawn off screen and copied at once: it never flickers
    };
    virtual PaintMode Painting() const { return PaintMode::None; }
    // `dc` is the window's, a printing target's or the buffer's; `dirty` what needs drawing.
    virtual void HandlePaint(HDC dc, const RECT& dirty);
    virtual bool HandleMouse(const MouseEvent& e);
    virtual bool HandleKey(KeyEvent& e);
    // WM_GETDLGCODE: which keys the control wants from the dialog navigation.
    virtual LRESULT HandleDlgCode(WPARAM key, const MSG* m);
    // WM_SETFOCUS / WM_KILLFOCUS; `other` is the window that lost or gets the focus.
    virtual bool HandleFocus(bool gained, HWND other);
    virtual bool HandleTimer(UINT_PTR id);
    // The window's DPI changed (to another monitor, or the user's setting): a top-level window
    // has been moved to the rectangle the system suggested; lay out again for `dpi`.
    virtual void HandleDpiChanged(UINT dpi);
    // Asks for WM_MOUSELEAVE once the pointer leaves; false when tracking failed.
    bool TrackMouseLeave();

    // A notification this window sent to its parent (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*,
    // WM_DRAWITEM, scroll bars' WM_HSCROLL/WM_VSCROLL), handed back to it. True when handled;
    // then `result` is the parent's answer.
    virtual bool HandleNotification(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);

    // Owned: destroyed with this object unless the window went first (its parent's end).
    HWND hwnd_ = nullptr;

private:
    static LRESULT CALLBACK ClassProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static LRESULT Entry(TWindow* self, UINT msg, WPARAM wp, LPARAM lp);
    bool Reflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    void Detach();

    bool PaintMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
    void PaintInto(HDC target, const RECT& dirty);

    bool subclassed_ = false;
    struct PaintBuffer;
    std::unique_ptr<PaintBuffer> buffer_;
};

} // namespace kes
