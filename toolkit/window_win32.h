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

class TWindow {
public:
    TWindow() = default;
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;
    // Detaches the object and destroys the window (with its children) if it still exists.
    virtual ~TWindow();

    HWND Handle() const { return hwnd_; }
    // The object of one of our windows; nullptr for any other window.
    static TWindow* FromHandle(HWND hwnd);

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

    bool subclassed_ = false;
};

} // namespace kes
