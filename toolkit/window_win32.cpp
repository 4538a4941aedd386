#include "toolkit/window_win32.h"

#include "toolkit/component.h"

#include <commctrl.h>
#include <windowsx.h>

#include <optional>

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

// The off-screen copy of a buffered window, kept from paint to paint while the size and the
// target's format hold: making a bitmap costs more than most paints.
struct TWindow::PaintBuffer {
    UniqueMemoryDC dc;
    UniqueBitmap bitmap;
    std::optional<SelectedObject> selected;
    int width = 0, height = 0, bits = 0;
};

TWindow::TWindow() = default;

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
        // An accessibility client is asking: its objects are marshalled through COM.
        if (msg == WM_GETOBJECT)
            UseCom();
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

namespace {
MouseEvent MouseEventOf(UINT msg, WPARAM wp, LPARAM lp) {
    MouseEvent e{
        MouseEvent::Move, MouseEvent::None, {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, wp, msg, wp, lp};
    switch (msg) {
    case WM_MOUSELEAVE:
        e.action = MouseEvent::Leave;
        e.pt = {0, 0};
        e.keys = 0;
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        e.action = MouseEvent::Down;
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        e.action = MouseEvent::Up;
        break;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
        e.action = MouseEvent::DoubleClick;
        break;
    }
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        e.button = MouseEvent::Left;
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
        e.button = MouseEvent::Right;
        break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
        e.button = MouseEvent::Middle;
        break;
    }
    return e;
}
} // namespace

LRESULT TWindow::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = 0;
    if (PaintMessage(msg, wp, lp, result))
        return result;
    switch (msg) {
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MBUTTONDBLCLK:
        if (HandleMouse(MouseEventOf(msg, wp, lp)))
            return 0;
        break;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCHAR: {
        KeyEvent e{msg, wp, lp};
        if (HandleKey(e))
            return 0;
        return DefaultProc(msg, e.key, lp);
    }
    case WM_GETDLGCODE:
        return HandleDlgCode(wp, reinterpret_cast<const MSG*>(lp));
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        if (HandleFocus(msg == WM_SETFOCUS, reinterpret_cast<HWND>(wp)))
            return 0;
        break;
    case WM_TIMER:
        if (HandleTimer(static_cast<UINT_PTR>(wp)))
            return 0;
        break;
    case kWmDpiChanged: {
        // Only a top-level window gets it; the suggested rectangle keeps it on the monitor it
        // moved to, at the size that holds its layout there.
        if (const auto* r = reinterpret_cast<const RECT*>(lp))
            SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        HandleDpiChanged(HIWORD(wp));
        return 0;
    }
    case WM_DISPLAYCHANGE:
        buffer_.reset(); // one of the old format is made anew
        break;
    case kWmDpiChangedAfterParent:
        // A child's turn comes once its parent has laid out for the new DPI.
        HandleDpiChanged(Dpi());
        return 0;
    }
    return DefaultProc(msg, wp, lp);
}

bool TWindow::PaintMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    const PaintMode mode = Painting();
    if (mode == PaintMode::None)
        return false;
    switch (msg) {
    case WM_ERASEBKGND:
        if (mode == PaintMode::OverBackground)
            return false;
        result = 1; // the paint covers it
        return true;
    case WM_PAINT: {
        PaintDC paint(hwnd_);
        PaintInto(paint.Get(), paint.Dirty());
        return true;
    }
    case WM_PRINTCLIENT: {
        const auto dc = reinterpret_cast<HDC>(wp);
        if (mode == PaintMode::OverBackground && (lp & PRF_ERASEBKGND))
            DefaultProc(WM_ERASEBKGND, wp, 0);
        RECT all{0, 0, 0, 0};
        GetClientRect(hwnd_, &all);
        PaintInto(dc, all);
        return true;
    }
    }
    return false;
}

void TWindow::PaintInto(HDC target, const RECT& dirty) {
    if (Painting() != PaintMode::Buffered) {
        HandlePaint(target, dirty);
        return;
    }
    RECT rc{0, 0, 0, 0};
    GetClientRect(hwnd_, &rc);
    if (rc.right <= 0 || rc.bottom <= 0)
        return;
    // The buffer takes the target's format: a memory context's is its bitmap's. GetDeviceCaps
    // would tell as well, at the cost of a round trip to the display under Wine.
    int bits = 0;
    if (GetObjectType(target) == OBJ_MEMDC) {
        BITMAP bm{};
        if (GetObjectW(GetCurrentObject(target, OBJ_BITMAP), sizeof bm, &bm))
            bits = bm.bmBitsPixel * bm.bmPlanes;
    }
    if (!buffer_)
        buffer_ = std::make_unique<PaintBuffer>();
    PaintBuffer& b = *buffer_;
    if (!b.dc || rc.right != b.width || rc.bottom != b.height || bits != b.bits) {
        b.selected.reset();
        b.bitmap.Reset(CreateCompatibleBitmap(target, rc.right, rc.bottom));
        b.dc.Reset(CreateCompatibleDC(target));
        b.selected.emplace(b.dc.Get(), b.bitmap.Get());
        b.width = rc.right;
        b.height = rc.bottom;
        b.bits = bits;
    }
    if (!b.bitmap || !b.dc) {
        // No memory for the copy (a huge window): straight onto the target; tried anew next time.
        b.selected.reset();
        b.dc.Reset();
        HandlePaint(target, rc);
        return;
    }
    HandlePaint(b.dc.Get(), rc);
    BitBlt(target, 0, 0, rc.right, rc.bottom, b.dc.Get(), 0, 0, SRCCOPY);
}

void TWindow::HandlePaint(HDC, const RECT&) {}

bool TWindow::HandleMouse(const MouseEvent&) {
    return false;
}

bool TWindow::HandleKey(KeyEvent&) {
    return false;
}

LRESULT TWindow::HandleDlgCode(WPARAM key, const MSG* m) {
    return DefaultProc(WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(m));
}

bool TWindow::HandleFocus(bool, HWND) {
    return false;
}

bool TWindow::HandleTimer(UINT_PTR) {
    return false;
}

void TWindow::HandleDpiChanged(UINT) {}

bool TWindow::TrackMouseLeave() {
    TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, hwnd_, 0};
    return TrackMouseEvent(&tme) != FALSE;
}

UINT TWindow::Dpi() const {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    // Looked up, not linked: the programs also run on systems older than the function.
    static const auto getDpiForWindow =
        reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && hwnd_) {
        if (const UINT dpi = getDpiForWindow(hwnd_))
            return dpi;
    }
    const WindowDC dc(hwnd_);
    const int dpi = dc ? GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

LRESULT TWindow::DefaultProc(UINT msg, WPARAM wp, LPARAM lp) {
    return subclassed_ ? DefSubclassProc(hwnd_, msg, wp, lp) : DefWindowProcW(hwnd_, msg, wp, lp);
}

bool TWindow::HandleNotification(UINT, WPARAM, LPARAM, LRESULT&) {
    return false;
}

} // namespace kes
