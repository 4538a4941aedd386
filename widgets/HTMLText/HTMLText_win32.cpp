#include "widgets/HTMLText/HTMLText_win32.h"

#include "platform/utf_win32.h"
#include "toolkit/accessible_win32.h"
#include "widgets/HTMLText/gdi_canvas_win32.h"

#include <commctrl.h>
#include <shellapi.h>

namespace kes {

namespace {

const wchar_t kClass[] = L"KesHTMLStaticText";
constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerInterval = 100;
constexpr int kHintShift = 10; // an anchor's hint sits this far right of and above the pointer

RECT ToRECT(const Rect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

// Shown text as a BSTR, decoded word by word as the drawing decodes its pieces: UTF-8 where
// it is valid, Windows-1252 where not.
HRESULT ShownBstr(const std::string& s, BSTR* out) {
    std::wstring w;
    for (std::size_t b = 0; b < s.size();) {
        std::size_t e = s.find(' ', b);
        e = e == std::string::npos ? s.size() : e + 1;
        w += GdiCanvas::ToWide(std::string_view(s).substr(b, e - b));
        b = e;
    }
    *out = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
    return *out || w.empty() ? S_OK : E_OUTOFMEMORY;
}

// The keys and buttons a mouse message says are held. Alt it does not say: asked only when an
// event will see it, since under Wine each question is a round trip to the server.
TShiftState ShiftOf(WPARAM wp, bool withAlt) {
    TShiftState s = 0;
    if (wp & MK_SHIFT)
        s |= ssShift;
    if (wp & MK_CONTROL)
        s |= ssCtrl;
    if (withAlt && GetKeyState(VK_MENU) < 0)
        s |= ssAlt;
    if (wp & MK_LBUTTON)
        s |= ssLeft;
    if (wp & MK_RBUTTON)
        s |= ssRight;
    if (wp & MK_MBUTTON)
        s |= ssMiddle;
    return s;
}

TMouseButton ButtonOf(MouseEvent::Button b) {
    switch (b) {
    case MouseEvent::Right:
        return mbRight;
    case MouseEvent::Middle:
        return mbMiddle;
    default:
        return mbLeft;
    }
}

} // namespace

// The label for screen readers: its text as shown is its name, each anchor a link child (name:
// its words, value: its href, default action: the click, location: where it is drawn). What the
// window itself knows (parent, location, navigation) comes from the system's object for the
// client area.
class LabelAccessible : public AccessibleBase {
public:
    LabelAccessible(THTMLStaticText* owner, HWND hwnd) : owner_(owner) {
        CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible), std_.PutVoid());
    }
    // The window is going: clients that still hold the object get errors from now on.
    void Disconnect() {
        owner_ = nullptr;
        std_.Reset();
    }

    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
        if (!owner_)
            return E_FAIL;
        return std_ ? std_->get_accParent(out) : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override {
        if (!owner_)
            return E_FAIL;
        *n = static_cast<long>(Anchors().size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
        *out = nullptr;
        int i = 0;
        const HRESULT hr = Child(child, i);
        return FAILED(hr) ? hr : (i == 0 ? E_INVALIDARG : S_FALSE); // links are simple elements
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
        int i = 0;
        const HRESULT hr = Child(child, i);
        if (FAILED(hr))
            return hr;
        return ShownBstr(i == 0 ? ShownText(PreprocessMarkup(owner_->GetDisplText()))
                                : Anchors()[i - 1].text,
                         out);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
        int i = 0;
        const HRESULT hr = Child(child, i);
        if (FAILED(hr))
            return hr;
        if (i == 0) {
            *out = nullptr;
            return S_FALSE;
        }
        return Text(Anchors()[i - 1].href, out);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* out) override {
        *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
        int i = 0;
        const HRESULT hr = Child(child, i);
        if (FAILED(hr))
            return hr;
        out->vt = VT_I4;
        out->lVal = i == 0 ? ROLE_SYSTEM_STATICTEXT : ROLE_SYSTEM_LINK;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
        int i = 0;
        const HRESULT hr = Child(child, i);
        if (FAILED(hr))
            return hr;
        long state = STATE_SYSTEM_READONLY;
        if (!owner_->Enabled())
            state |= STATE_SYSTEM_UNAVAILABLE;
        if (i > 0) {
            state |= STATE_SYSTEM_LINKED | STATE_SYSTEM_FOCUSABLE;
            if (GetFocus() == owner_->Handle() && owner_->FocusedAnchor() == i - 1)
                state |= STATE_SYSTEM_FOCUSED;
            if (owner_->HoveredAnchor() == i)
                state |= STATE_SYSTEM_HOTTRACKED;
            const Rect shown = owner_->ShownAnchorRect(i);
            if (shown.left >= shown.right)
                state |= STATE_SYSTEM_OFFSCREEN;
        }
        out->vt = VT_I4;
        out->lVal = state;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override {
        *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
        *file = nullptr;
        *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* out) override {
        *out = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
        if (!owner_)
            return E_FAIL;
        out->vt = VT_EMPTY;
        if (GetFocus() != owner_->Handle())
            return S_FALSE;
        const int f = owner_->FocusedAnchor();
        out->vt = VT_I4;
        out->lVal = f >= 0 && f < static_cast<int>(Anchors().size()) ? f + 1 : CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
        out->vt = VT_EMPTY;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
        int i = 0;
        const HRESULT hr = Child(child, i);
        if (FAILED(hr))
            return hr;
        if (i == 0) {
            *out = nullptr;
            return S_FALSE;
        }
        return Text("Click", out);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h,
                                          VARIANT child) override {
        int i = 0;
        const HRESULT hr = Child(child, i);
        if (FAILED(hr))
            return hr;
        if (i == 0)
            return std_ ? std_->accLocation(x, y, w, h, child) : E_FAIL;
        // A wrapped link is where all its lines are, as far as they are shown.
        *x = *y = *w = *h = 0;
        RECT u = ToRECT(owner_->ShownAnchorRect(i));
        if (u.left >= u.right)
            return S_FALSE; // scrolled out of view
        MapWindowPoints(owner_->Handle(), nullptr, reinterpret_cast<POINT*>(&u), 2);
        *x = u.left;
        *y = u.top;
        *w = u.right - u.left;
        *h = u.bottom - u.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* out) override {
        out->vt = VT_EMPTY;
        int i = 0;
        const HRESULT hr = Child(start, i);
        if (FAILED(hr))
            return hr;
        const int n = static_cast<int>(Anchors().size());
        int to = 0;
        if (i == 0) {
            if (dir != NAVDIR_FIRSTCHILD && dir != NAVDIR_LASTCHILD)
                return std_ ? std_->accNavigate(dir, start, out) : S_FALSE; // among windows
            to = dir == NAVDIR_FIRSTCHILD ? 1 : n;
        } else if (dir == NAVDIR_NEXT || dir == NAVDIR_DOWN || dir == NAVDIR_RIGHT) {
            to = i + 1;
        } else if (dir == NAVDIR_PREVIOUS || dir == NAVDIR_UP || dir == NAVDIR_LEFT) {
            to = i - 1;
        } else {
            return E_INVALIDARG; // a link has no children
        }
        if (to < 1 || to > n)
            return S_FALSE;
        out->vt = VT_I4;
        out->lVal = to;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override {
        out->vt = VT_EMPTY;
        if (!owner_)
            return E_FAIL;
        POINT pt{x, y};
        ScreenToClient(owner_->Handle(), &pt);
        RECT rc;
        GetClientRect(owner_->Handle(), &rc);
        if (!PtInRect(&rc, pt))
            return S_FALSE;
        out->vt = VT_I4;
        out->lVal = owner_->AnchorAt(pt.x, pt.y);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        int i = 0;
        const HRESULT hr = Child(child, i);
        if (FAILED(hr))
            return hr;
        if (i == 0)
            return DISP_E_MEMBERNOTFOUND;
        THTMLStaticText* owner = owner_;
        Application().Guard([owner, i] { owner->ActivateAnchor(i); });
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    std::vector<AnchorInfo> Anchors() const { return ListAnchors(owner_->GetDisplText()); }
    // The child index (0 for the label itself) of a VARIANT.
    HRESULT Child(const VARIANT& v, int& i) const {
        if (!owner_)
            return E_FAIL;
        if (v.vt != VT_I4)
            return E_INVALIDARG;
        if (v.lVal < 0 || v.lVal > static_cast<long>(Anchors().size()))
            return E_INVALIDARG;
        i = static_cast<int>(v.lVal);
        return S_OK;
    }

    THTMLStaticText* owner_;
    ComPtr<IAccessible> std_;
};

THTMLStaticText::THTMLStaticText(TComponent* owner, const char* name, HWND parent, Bounds b, int id)
    : TWinControl(owner, name), THTMLStaticTextCore(this), measureDC_(CreateCompatibleDC(nullptr)) {
    // Double clicks arrive as such (OnDblClick).
    RegisterWindowClass(kClass, nullptr, CS_DBLCLKS);
    OpenTarget = ShellOpen;
    // The caption stays empty: the markup is drawn, never the window text.
    CreateHandle(kClass, WS_CLIPSIBLINGS, 0, parent, b, "", id);
    dpi_ = Dpi();
}

THTMLStaticText::~THTMLStaticText() {
    if (accessible_) {
        accessible_->Disconnect();
        accessible_->Release();
    }
    if (hwnd_)
        KillTimer(hwnd_, kTimerId);
    DestroyHandle();
}

void THTMLStaticText::ShellOpen(const std::string& target) {
    ShellExecuteW(nullptr, L"open", Widen(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool THTMLStaticText::SystemHighContrast() {
    HIGHCONTRASTW hc{sizeof(hc), 0, nullptr};
    return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(hc), &hc, 0) &&
           (hc.dwFlags & HCF_HIGHCONTRASTON);
}

Rect THTMLStaticText::ClientRect() const {
    RECT rc{0, 0, 0, 0};
    GetClientRect(hwnd_, &rc);
    return Rect{rc.left, rc.top, rc.right, rc.bottom};
}

void THTMLStaticText::SetClientSize(int width, int height) {
    SetWindowPos(hwnd_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void THTMLStaticText::Invalidate(const Rect* r) {
    if (!hwnd_)
        return;
    // Every paint is a whole one into a buffer, so nothing needs erasing first.
    if (r) {
        const RECT rc = ToRECT(*r);
        InvalidateRect(hwnd_, &rc, FALSE);
    } else {
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
}

void THTMLStaticText::Repaint(bool) {
    // The text is never drawn over itself: the window paints the whole label from a buffer.
    Invalidate(nullptr);
}

void THTMLStaticText::Measure(const std::function<void(Canvas&)>& f) {
    GdiCanvas cv(measureDC_.Get(), static_cast<int>(dpi_));
    cv.ShareFonts(Fonts());
    f(cv);
}

bool THTMLStaticText::TabStop() const {
    return (GetWindowLongPtrW(hwnd_, GWL_STYLE) & WS_TABSTOP) != 0;
}

void THTMLStaticText::SetTabStop(bool on) {
    const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
    SetWindowLongPtrW(hwnd_, GWL_STYLE, on ? style | WS_TABSTOP : style & ~LONG_PTR{WS_TABSTOP});
}

void THTMLStaticText::AnchorFocused(int index) {
    // Screen readers follow the keyboard from link to link (the child id counts from 1).
    if (GetFocus() == hwnd_)
        NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd_, OBJID_CLIENT, index + 1);
}

void THTMLStaticText::TextChanged() {
    if (hwnd_)
        NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, hwnd_, OBJID_CLIENT, CHILDID_SELF);
}

void THTMLStaticText::HandleDpiChanged(UINT dpi) {
    if (dpi == 0 || dpi == dpi_)
        return;
    dpi_ = dpi;
    Fonts().Clear(); // made for the old DPI
    Invalidate(nullptr);
}

bool THTMLStaticText::Focused() const {
    return GetFocus() == hwnd_;
}

bool THTMLStaticText::PointerPos(int& x, int& y) const {
    POINT pt;
    if (!GetCursorPos(&pt) || !ScreenToClient(hwnd_, &pt))
        return false;
    x = pt.x;
    y = pt.y;
    return true;
}

void THTMLStaticText::CursorChanged() {
    if (tracking_)
        SetCursor(LoadCursorW(nullptr, Cursor() == crHandPoint ? IDC_HAND : IDC_ARROW));
}

void THTMLStaticText::CancelHint() {
    if (tip_)
        SendMessageW(tip_.Get(), TTM_POP, 0, 0);
}

void THTMLStaticText::StartTimer() {
    SetTimer(hwnd_, kTimerId, kTimerInterval, nullptr);
}

void THTMLStaticText::StopTimer() {
    KillTimer(hwnd_, kTimerId);
}

void THTMLStaticText::MakeHintWindow() {
    tip_.Reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                               nullptr, GetModuleHandleW(nullptr), nullptr));
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V1_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = hwnd_;
    ti.uId = reinterpret_cast<UINT_PTR>(hwnd_);
    ti.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(tip_.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

void THTMLStaticText::HandlePaint(HDC dc, const RECT& rc) {
    const TColor back = HighContrast() ? clWindow : Color;
    UniqueBrush brush(CreateSolidBrush(ToColorRef(back)));
    FillRect(dc, &rc, brush.Get());
    if (UpdateCount() > 0)
        return;
    GdiCanvas cv(dc, static_cast<int>(dpi_));
    cv.ShareFonts(Fonts());
    DoPaint(cv, true);
}

bool THTMLStaticText::HandleMouse(const MouseEvent& e) {
    switch (e.action) {
    case MouseEvent::Move:
        if ((ShowHint || AnchorHint) && !tip_)
            MakeHintWindow();
        if (!tracking_) {
            // Without tracking, a pointer that leaves the window is never noticed.
            tracking_ = TrackMouseLeave();
            MouseEnter();
        }
        MouseMove(e.pt.x, e.pt.y, ShiftOf(e.keys, OnMouseMove != nullptr));
        return true;
    case MouseEvent::Leave:
        tracking_ = false;
        MouseLeave();
        return true;
    case MouseEvent::Down:
    case MouseEvent::DoubleClick: {
        // A label in the tab order is focused by a click, as any control there is.
        if (e.button == MouseEvent::Left && TabStop() && GetFocus() != hwnd_)
            SetFocus(hwnd_);
        SetCapture(hwnd_);
        const TShiftState shift = ShiftOf(e.keys, OnMouseDown != nullptr);
        // The class asks for double clicks, so a second press of any button may come as one.
        if (e.action == MouseEvent::Down)
            MouseDown(e.pt.x, e.pt.y, ButtonOf(e.button), shift);
        else if (e.button == MouseEvent::Left)
            DblClick(e.pt.x, e.pt.y, shift);
        else
            MouseDown(e.pt.x, e.pt.y, ButtonOf(e.button), shift | ssDouble);
        return true;
    }
    case MouseEvent::Up:
        if (GetCapture() == hwnd_)
            ReleaseCapture();
        MouseUp(e.pt.x, e.pt.y, ButtonOf(e.button), ShiftOf(e.keys, OnMouseUp != nullptr));
        // The release of the right button is what makes WM_CONTEXTMENU: the label's own menu,
        // or, without one, its parent's.
        return e.button != MouseEvent::Right;
    }
    return false;
}

LRESULT THTMLStaticText::HandleDlgCode(WPARAM, const MSG* m) {
    if (AnchorCount() <= 0)
        return 0;
    LRESULT code = DLGC_WANTARROWS | DLGC_WANTCHARS;
    if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN)
        code |= DLGC_WANTMESSAGE;
    return code;
}

bool THTMLStaticText::HandleFocus(bool gained, HWND) {
    FocusChanged(gained);
    return true;
}

bool THTMLStaticText::HandleKey(KeyEvent& e) {
    if (e.msg == WM_KEYDOWN) {
        int key = static_cast<int>(e.key);
        KeyDown(key);
        return key == 0;
    }
    if (e.msg == WM_CHAR && (e.key == '\r' || e.key == ' ')) {
        KeyPress(static_cast<char>(e.key));
        return true;
    }
    return false;
}

bool THTMLStaticText::HandleTimer(UINT_PTR id) {
    if (id != kTimerId)
        return false;
    TimerTick();
    return true;
}

LRESULT THTMLStaticText::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, Cursor() == crHandPoint ? IDC_HAND : IDC_ARROW));
            return TRUE;
        }
        break;
    case WM_DISPLAYCHANGE:
    case WM_SIZE:
    case WM_ENABLE:
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
        Invalidate(nullptr);
        break;
    case WM_GETOBJECT:
        if (static_cast<LONG>(lp) == static_cast<LONG>(OBJID_CLIENT)) {
            if (!accessible_)
                accessible_ = new LabelAccessible(this, hwnd_);
            return LresultFromObject(__uuidof(IAccessible), wp, accessible_);
        }
        break;
    case WM_NOTIFY:
        if (auto* hdr = reinterpret_cast<NMHDR*>(lp); tip_ && hdr->hwndFrom == tip_.Get()) {
            LRESULT result = 0;
            if (HintNotification(hdr, result))
                return result;
        }
        break;
    case WM_DESTROY:
        KillTimer(hwnd_, kTimerId);
        break;
    }
    return TWinControl::WndProc(msg, wp, lp);
}

bool THTMLStaticText::HintNotification(NMHDR* hdr, LRESULT& result) {
    POINT pt;
    GetCursorPos(&pt);
    POINT client = pt;
    ScreenToClient(hwnd_, &client);
    bool onAnchor = false;
    const std::string anchorHint = HintText(client.x, client.y, onAnchor);
    if (hdr->code == TTN_GETDISPINFOW) {
        static std::wstring text; // must outlive the notification
        text = Widen(onAnchor ? anchorHint : (ShowHint ? TWinControl::Hint : std::string()));
        reinterpret_cast<NMTTDISPINFOW*>(hdr)->lpszText = text.data();
        result = 0;
        return true;
    }
    if (hdr->code == TTN_SHOW && onAnchor) {
        SetWindowPos(tip_.Get(), nullptr, pt.x + kHintShift, pt.y - kHintShift, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        result = TRUE;
        return true;
    }
    return false;
}

} // namespace kes
