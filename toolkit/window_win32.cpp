#include "toolkit/window_win32.h"

#include "toolkit/component.h"

#include <commctrl.h>

namespace kes {

TApplication& Application() {
    static TApplication app;
    return app;
}

void TApplication::HandleException(const std::exception& e) {
    // The error box itself must not throw into a window procedure either.
    try {
        if (OnException)
            OnException(e.what());
    } catch (...) {
    }
}

void TApplication::Guard(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        HandleException(e);
    } catch (...) {
        HandleException(Exception("Unbekannter Fehler"));
    }
}

void TApplication::ProcessMessages() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

namespace {
constexpr UINT_PTR kSubclassId = 0x4B455357; // "KESW"
// Names the object of a subclassed system window, for FromHandle; the subclass procedure
// itself gets it with every message.
const wchar_t kObjectProperty[] = L"KesWindowObject";
} // namespace

TWindow::~TWindow() {
    DestroyHandle();
}

void TWindow::DestroyHandle() {
    if (!hwnd_)
        return;
    const HWND h = hwnd_;
    // Nothing that the destruction sends may reach an object that is half gone.
    Detach();
    hwnd_ = nullptr;
    if (IsWindow(h))
        DestroyWindow(h);
}

void TWindow::Detach() {
    if (subclassed_) {
        RemoveWindowSubclass(hwnd_, SubclassProc, kSubclassId);
        RemovePropW(hwnd_, kObjectProperty);
    } else {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    }
}

TWindow* TWindow::FromHandle(HWND hwnd) {
    if (!hwnd)
        return nullptr;
    // Only windows of this process can be ours.
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId())
        return nullptr;
    if (void* object = GetPropW(hwnd, kObjectProperty))
        return static_cast<TWindow*>(object);
    // Our classes' user data is ours; any other window's may be anything.
    if (reinterpret_cast<WNDPROC>(GetClassLongPtrW(hwnd, GCLP_WNDPROC)) != ClassProc)
        return nullptr;
    return reinterpret_cast<TWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void TWindow::RegisterWindowClass(const wchar_t* name, HBRUSH background, UINT style, HICON icon,
                                  HICON smallIcon) {
    const HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    if (GetClassInfoExW(inst, name, &wc))
        return;
    wc.style = style;
    wc.lpfnWndProc = ClassProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.hIconSm = smallIcon;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

bool TWindow::CreateWindowFor(const CreateParams& p) {
    const HINSTANCE inst = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    const bool ours = GetClassInfoExW(inst, p.className, &wc) && wc.lpfnWndProc == ClassProc;
    const HWND h = CreateWindowExW(p.exStyle, p.className, p.text.c_str(), p.style, p.bounds.left,
                                   p.bounds.top, p.bounds.width, p.bounds.height, p.parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(p.id)), inst,
                                   ours ? this : nullptr);
    if (!h)
        return false;
    if (!ours) {
        hwnd_ = h;
        subclassed_ = SetWindowSubclass(h, SubclassProc, kSubclassId,
                                        reinterpret_cast<DWORD_PTR>(this)) != FALSE;
        if (subclassed_)
            SetPropW(h, kObjectProperty, this);
    }
    return true;
}

LRESULT CALLBACK TWindow::ClassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<TWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self && msg == WM_NCCREATE) {
        self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        if (self) {
            self->hwnd_ = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    // Before WM_NCCREATE (a top-level window's first WM_GETMINMAXINFO) and after the object
    // let go, the class's default handling answers.
    return self ? Entry(self, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TWindow::SubclassProc(HWND, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                       DWORD_PTR ref) {
    return Entry(reinterpret_cast<TWindow*>(ref), msg, wp, lp);
}

// The error boundary of every window of ours. A message whose handling threw has been
// answered with 0 once the error box is closed.
LRESULT TWindow::Entry(TWindow* self, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCDESTROY) {
        // The window's last message: afterwards nothing of it may reach the object.
        const HWND hwnd = self->hwnd_;
        const bool subclassed = self->subclassed_;
        self->Detach(); // a window's properties must be gone before it is
        self->hwnd_ = nullptr;
        return subclassed ? DefSubclassProc(hwnd, msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
    }
    try {
        LRESULT result = 0;
        if (self->Reflect(msg, wp, lp, result))
            return result;
        return self->WndProc(msg, wp, lp);
    } catch (const std::exception& e) {
        Application().HandleException(e);
    } catch (...) {
        Application().HandleException(Exception("Unbekannter Fehler"));
    }
    return 0;
}

// Where a notification reaches its control: any window of ours that receives one from a child
// of ours hands it to that child first.
bool TWindow::Reflect(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    HWND from = nullptr;
    switch (msg) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        from = reinterpret_cast<HWND>(lp);
        break;
    case WM_NOTIFY:
        from = lp ? reinterpret_cast<const NMHDR*>(lp)->hwndFrom : nullptr;
        break;
    case WM_DRAWITEM:
        from = wp && lp ? reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->hwndItem : nullptr;
        break;
    default:
        return false;
    }
    if (!from || from == hwnd_)
        return false;
    TWindow* child = FromHandle(from);
    return child && child->HandleNotification(msg, wp, lp, result);
}

LRESULT TWindow::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    return DefaultProc(msg, wp, lp);
}

LRESULT TWindow::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
    return subclassed_ ? DefSubclassProc(hwnd_, msg, wp, lp) : DefWindowProcW(hwnd_, msg, wp, lp);
}

bool TWindow::HandleNotification(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

} // namespace kes
