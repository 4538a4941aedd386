#include "toolkit/controls_win32.h"

#include "platform/utf_win32.h"
#include "toolkit/accessible_win32.h"

#include <commctrl.h>
#include <windowsx.h>

namespace kes {

HFONT DefaultFont(UINT dpi) {
    // A window moved between monitors comes back to a DPI it had: its font is kept.
    static std::map<UINT, HFONT> fonts;
    HFONT& font = fonts[dpi];
    if (!font)
        font = CreateFontW(-TWindow::ScaleTo(11, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
    return font;
}

namespace {
const wchar_t kPanelClass[] = L"KesPanel";
const wchar_t kBevelClass[] = L"KesBevel";
const wchar_t kSpeedClass[] = L"KesSpeedButton";
const wchar_t kTimerClass[] = L"KesTimer";
// Speed-button glyphs are 16x16 bitmaps whose fuchsia pixels are transparent.
constexpr int kGlyphSize = 16;
constexpr COLORREF kGlyphTransparent = RGB(255, 0, 255);

// Panels and frames draw nothing but an edge around their client area.
void PaintEdge(HWND hwnd, HDC dc, UINT edge) {
    RECT r;
    GetClientRect(hwnd, &r);
    DrawEdge(dc, &r, edge, BF_RECT);
}

// A disabled glyph is its shape embossed in the highlight and shadow colours, as disabled
// toolbar images are: in full colour it would look clickable.
void DrawDisabledGlyph(HDC dc, int x, int y, int size, int offset, HBITMAP glyph) {
    UniqueMemoryDC colour(CreateCompatibleDC(dc)), mono(CreateCompatibleDC(dc));
    UniqueBitmap shape(CreateBitmap(size, size, 1, 1, nullptr));
    SelectedObject glyphIn(colour.Get(), glyph);
    SelectedObject shapeIn(mono.Get(), shape.Get());
    // Transparent pixels turn white, the shape black; whole pixels, never blended.
    SetBkColor(colour.Get(), kGlyphTransparent);
    SetStretchBltMode(mono.Get(), COLORONCOLOR);
    StretchBlt(mono.Get(), 0, 0, size, size, colour.Get(), 0, 0, kGlyphSize, kGlyphSize, SRCCOPY);
    const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
    // The brush where the shape is black, the background elsewhere (ROP PSDPxax).
    constexpr DWORD kBrushThroughShape = 0x00B8074A;
    const struct {
        int offset, colour;
    } layers[] = {{offset, COLOR_BTNHIGHLIGHT}, {0, COLOR_BTNSHADOW}};
    for (const auto& layer : layers) {
        SelectedObject brush(dc, GetSysColorBrush(layer.colour));
        BitBlt(dc, x + layer.offset, y + layer.offset, size, size, mono.Get(), 0, 0,
               kBrushThroughShape);
    }
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBk);
}

} // namespace

void TSpeedButton::Paint(HDC dc) {
    TSpeedButton& b = *this;
    const HWND hwnd = hwnd_;
    RECT r;
    GetClientRect(hwnd, &r);
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    const bool enabled = IsWindowEnabled(hwnd) != FALSE;
    if (enabled && (down_ || hot_))
        DrawEdge(dc, &r, down_ ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
    const std::wstring text = Widen(b.Text());
    const UINT dpi = Dpi();
    SelectedObject font(dc, DefaultFont(dpi));
    SIZE ts{0, 0};
    if (!text.empty())
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &ts);
    const int size = Scale(kGlyphSize);
    const int gw = b.Glyph() ? size : 0;
    const int gap = (gw && !text.empty()) ? Scale(b.Spacing()) : 0;
    const int total = gw + gap + ts.cx;
    const int shift = down_ ? Scale(1) : 0;
    int x = (r.right - total) / 2 + shift;
    if (b.Glyph()) {
        const int y = (r.bottom - size) / 2 + shift;
        if (enabled) {
            UniqueMemoryDC mem(CreateCompatibleDC(dc));
            SelectedObject glyph(mem.Get(), b.Glyph());
            TransparentBlt(dc, x, y, size, size, mem.Get(), 0, 0, kGlyphSize, kGlyphSize,
                           kGlyphTransparent);
        } else {
            DrawDisabledGlyph(dc, x, y, size, Scale(1), b.Glyph());
        }
        x += gw + gap;
    }
    if (!text.empty()) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
        RECT tr{x, r.top + shift, x + ts.cx + 1, r.bottom + shift};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr,
                  DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
    if (GetFocus() == hwnd && !(SendMessageW(hwnd, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)) {
        RECT f = r;
        InflateRect(&f, -Scale(3), -Scale(3));
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        DrawFocusRect(dc, &f);
    }
}

namespace {
void RegisterClasses() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        TWindow::RegisterWindowClass(kPanelClass, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
        TWindow::RegisterWindowClass(kBevelClass, nullptr);
        TWindow::RegisterWindowClass(kSpeedClass, nullptr);
        TWindow::RegisterWindowClass(kTimerClass, nullptr);
        return true;
    }();
    (void)done;
}
} // namespace

void TWinControl::CreateHandle(const wchar_t* cls, DWORD style, DWORD exStyle, HWND parent,
                               Bounds b, const std::string& text, int id) {
    RegisterClasses();
    CreateWindowFor({.className = cls,
                     .text = Widen(text),
                     .style = WS_CHILD | WS_VISIBLE | style,
                     .exStyle = exStyle,
                     .bounds = b,
                     .parent = parent,
                     .id = id});
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(Dpi())), FALSE);
}

void TWinControl::PlaceScaled(const Bounds& b, UINT dpi) {
    SetWindowPos(hwnd_, nullptr, ScaleTo(b.left, dpi), ScaleTo(b.top, dpi), ScaleTo(b.width, dpi),
                 ScaleTo(b.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(dpi)), TRUE);
}

LRESULT TWinControl::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CONTEXTMENU && PopupMenu) {
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        if (lp == -1) {
            // From the keyboard (Shift+F10, the menu key): at the focused control, which is
            // the one that asked, whichever container's menu serves it.
            HWND at = reinterpret_cast<HWND>(wp);
            if (!at || !IsChild(hwnd_, at))
                at = hwnd_;
            RECT r;
            GetWindowRect(at, &r);
            pt = {r.left + Scale(4), r.top + Scale(4)};
        }
        // The focus stays where it is: a menu takes none, and the form gives it back to its
        // control after an item's dialog.
        PopupMenu->Popup(hwnd_, pt);
        return 0;
    }
    return TWindow::WndProc(msg, wp, lp);
}

bool TWinControl::HandleNotification(UINT msg, WPARAM wp, LPARAM, LRESULT& result) {
    if (msg != WM_COMMAND)
        return false;
    HandleCommand(HIWORD(wp));
    result = 0;
    return true;
}

std::string TWinControl::Text() const {
    const int n = GetWindowTextLengthW(hwnd_);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    GetWindowTextW(hwnd_, w.data(), n + 1);
    w.resize(static_cast<size_t>(n));
    return Narrow(w);
}

void TWinControl::SetText(const std::string& text) {
    SetWindowTextW(hwnd_, Widen(text).c_str());
}

TPanel::TPanel(TComponent* owner, const char* name, HWND parent, Bounds b)
    : TWinControl(owner, name) {
    CreateHandle(kPanelClass, WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT, parent, b, "", 0);
}

void TPanel::HandlePaint(HDC dc, const RECT&) {
    PaintEdge(hwnd_, dc, BDR_RAISEDINNER);
}

TCheckBox::TCheckBox(TComponent* owner, const char* name, HWND parent, Bounds b,
                     const std::string& caption, int id)
    : TWinControl(owner, name) {
    CreateHandle(L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0, parent, b, caption, id);
}

bool TCheckBox::Checked() const {
    return SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TCheckBox::SetChecked(bool on) {
    if (on == Checked())
        return;
    SendMessageW(hwnd_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    if (OnClick)
        OnClick(this);
}

void TCheckBox::HandleCommand(WORD code) {
    // The box has already toggled itself when the click arrives.
    if (code == BN_CLICKED && OnClick)
        OnClick(this);
}

TButton::TButton(TComponent* owner, const char* name, HWND parent, Bounds b,
                 const std::string& caption, int id)
    : TWinControl(owner, name) {
    CreateHandle(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, parent, b, caption, id);
}

void TButton::HandleCommand(WORD code) {
    if (code == BN_CLICKED && OnClick)
        OnClick(this);
}

TLabel::TLabel(TComponent* owner, const char* name, HWND parent, Bounds b,
               const std::string& caption, int id)
    : TWinControl(owner, name) {
    CreateHandle(L"STATIC", SS_LEFT | SS_NOPREFIX, 0, parent, b, caption, id);
}

void TLabel::AutoSize() {
    // A one-line label grows to its text, whatever the font's width turns out to be.
    SIZE sz{0, 0};
    {
        WindowDC dc(hwnd_);
        SelectedObject font(dc.Get(),
                            reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
        const std::wstring text = Widen(Text());
        GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &sz);
    }
    SetWindowPos(hwnd_, nullptr, 0, 0, sz.cx, sz.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TBevel::TBevel(TComponent* owner, const char* name, HWND parent, Bounds b)
    : TWinControl(owner, name) {
    CreateHandle(kBevelClass, WS_DISABLED, WS_EX_TRANSPARENT, parent, b, "", 0);
}

void TBevel::HandlePaint(HDC dc, const RECT&) {
    PaintEdge(hwnd_, dc, BDR_SUNKENOUTER);
}

LRESULT TBevel::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCHITTEST)
        return HTTRANSPARENT;
    return TWinControl::WndProc(msg, wp, lp);
}

void TItemsControl::AddItem(const std::string& item) {
    SendMessageW(hwnd_, msg_.add, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
}

void TItemsControl::AddItems(const std::vector<std::string>& items) {
    // Straight to the control's own procedure: no subclass (ours, a hint's) has any business
    // with an added entry, and under Wine each pass through one costs server round trips.
    const auto own = reinterpret_cast<WNDPROC>(GetClassLongPtrW(hwnd_, GCLP_WNDPROC));
    for (const auto& item : items)
        CallWindowProcW(own, hwnd_, msg_.add, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
}

int TItemsControl::Count() const {
    return static_cast<int>(SendMessageW(hwnd_, msg_.count, 0, 0));
}

std::wstring TItemsControl::WideItem(int index) const {
    const LRESULT n = SendMessageW(hwnd_, msg_.textLength, static_cast<WPARAM>(index), 0);
    if (n < 0)
        return {};
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    SendMessageW(hwnd_, msg_.text, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(w.data()));
    w.resize(static_cast<size_t>(n));
    return w;
}

std::string TItemsControl::Item(int index) const {
    return Narrow(WideItem(index));
}

void TItemsControl::Clear() {
    SendMessageW(hwnd_, msg_.reset, 0, 0);
}

TComboBox::TComboBox(TComponent* owner, const char* name, HWND parent, Bounds b, int id)
    : TItemsControl(owner, name,
                    {CB_ADDSTRING, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_RESETCONTENT}) {
    // The height given is the edit part's; the drop-down list needs room of its own.
    CreateHandle(L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, parent,
                 {b.left, b.top, b.width, b.height + 200}, "", id);
}

int TComboBox::ItemIndex() const {
    return static_cast<int>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0));
}

void TComboBox::SetItemIndex(int index) {
    SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TComboBox::HandleCommand(WORD code) {
    if (code == CBN_SELCHANGE && OnChange)
        OnChange(this);
}

TListBox::TListBox(TComponent* owner, const char* name, HWND parent, Bounds b, int id, bool sorted,
                   DWORD extraStyle)
    : TItemsControl(owner, name,
                    {LB_ADDSTRING, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_RESETCONTENT}) {
    CreateHandle(L"LISTBOX",
                 LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP |
                     (sorted ? LBS_SORT : 0) | extraStyle,
                 WS_EX_CLIENTEDGE, parent, b, "", id);
}

TMemo::TMemo(TComponent* owner, const char* name, HWND parent, Bounds b, int id, DWORD extraStyle)
    : TWinControl(owner, name) {
    CreateHandle(L"EDIT", ES_MULTILINE | ES_READONLY | WS_TABSTOP | extraStyle, WS_EX_CLIENTEDGE,
                 parent, b, "", id);
}

LRESULT TMemo::HandleDlgCode(WPARAM key, const MSG* m) {
    // A multi-line EDIT asks for every key, Tab included, and would keep the focus for good.
    LRESULT code = TWinControl::HandleDlgCode(key, m);
    if (m && m->wParam == VK_TAB && (m->message == WM_KEYDOWN || m->message == WM_CHAR))
        code &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
    return code;
}

TSpeedButton::TSpeedButton(TComponent* owner, const Params& p)
    : TWinControl(owner, p.name), spacing_(p.spacing), accessibleName_(p.accessibleName) {
    if (p.glyphResource)
        glyph_.Reset(static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr),
                                                     MAKEINTRESOURCEW(p.glyphResource),
                                                     IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
    CreateHandle(kSpeedClass, p.tabStop ? WS_TABSTOP : 0, 0, p.parent, p.bounds, p.caption, p.id);
}

void TSpeedButton::Click() {
    if (OnClick)
        OnClick(this);
}

bool TSpeedButton::HandleMouse(const MouseEvent& e) {
    switch (e.action) {
    case MouseEvent::Move:
        if (!hot_) {
            hot_ = true;
            TrackMouseLeave();
            InvalidateRect(hwnd_, nullptr, FALSE);
        }
        return true;
    case MouseEvent::Leave:
        hot_ = false;
        InvalidateRect(hwnd_, nullptr, FALSE);
        return true;
    default:
        break;
    }
    if (e.button != MouseEvent::Left)
        return false;
    if (e.action == MouseEvent::Down) {
        // Flat speed buttons never take the focus from a click, even those that may have it.
        down_ = true;
        SetCapture(hwnd_);
        InvalidateRect(hwnd_, nullptr, FALSE);
        return true;
    }
    if (e.action == MouseEvent::Up) {
        const bool was = down_;
        down_ = false;
        ReleaseCapture();
        InvalidateRect(hwnd_, nullptr, FALSE);
        RECT r;
        GetClientRect(hwnd_, &r);
        if (was && PtInRect(&r, e.pt))
            Click();
        return true;
    }
    return false;
}

bool TSpeedButton::HandleKey(KeyEvent& e) {
    // One press, one click, as a push button: a held key's repeats press nothing more. Enter
    // clicks at once, space when it is let go, drawn down meanwhile.
    const bool repeat = (e.lp & (1 << 30)) != 0;
    if (e.msg == WM_KEYDOWN && e.key == VK_RETURN) {
        if (!repeat && IsWindowEnabled(hwnd_))
            Click();
        return true;
    }
    if (e.msg == WM_KEYDOWN && e.key == VK_SPACE) {
        if (!repeat && IsWindowEnabled(hwnd_)) {
            spaceDown_ = down_ = true;
            InvalidateRect(hwnd_, nullptr, FALSE);
        }
        return true;
    }
    if (e.msg == WM_KEYUP && e.key == VK_SPACE) {
        if (spaceDown_) {
            spaceDown_ = down_ = false;
            InvalidateRect(hwnd_, nullptr, FALSE);
            if (IsWindowEnabled(hwnd_))
                Click();
        }
        return true;
    }
    // No beep for the characters of the keys that press it.
    return e.msg == WM_CHAR && (e.key == L'\r' || e.key == L' ');
}

LRESULT TSpeedButton::HandleDlgCode(WPARAM, const MSG* m) {
    // Enter presses the focused button rather than the dialog's default one.
    LRESULT code = DLGC_BUTTON;
    if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN)
        code |= DLGC_WANTMESSAGE;
    return code;
}

bool TSpeedButton::HandleFocus(bool, HWND) {
    // A space still held when the focus goes presses nothing.
    if (spaceDown_)
        spaceDown_ = down_ = false;
    InvalidateRect(hwnd_, nullptr, FALSE);
    return false;
}

LRESULT TSpeedButton::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case BM_CLICK:
        if (IsWindowEnabled(hwnd_))
            Click();
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd_, nullptr, FALSE);
        return 0;
    case WM_UPDATEUISTATE: // the focus rectangle shown or hidden
        InvalidateRect(hwnd_, nullptr, FALSE);
        break;
    case WM_GETOBJECT:
        if (static_cast<LONG>(lp) == static_cast<LONG>(OBJID_CLIENT) && !accessibleName_.empty()) {
            if (ComPtr<IAccessible> named =
                    NamedClientObject(hwnd_, accessibleName_, ROLE_SYSTEM_PUSHBUTTON))
                return LresultFromObject(__uuidof(IAccessible), wp, named.Get());
        }
        break;
    }
    return TWinControl::WndProc(msg, wp, lp);
}

TTimer::TTimer(TComponent* owner, const char* name, UINT interval)
    : TComponent(owner), interval_(interval) {
    Name = name;
    RegisterClasses();
    CreateWindowFor({.className = kTimerClass, .bounds = {0, 0, 0, 0}, .parent = HWND_MESSAGE});
    SetEnabled(true);
}

TTimer::~TTimer() {
    SetEnabled(false);
}

bool TTimer::HandleTimer(UINT_PTR) {
    if (enabled_ && OnTimer)
        OnTimer(this);
    return true;
}

void TTimer::SetEnabled(bool on) {
    if (on == enabled_)
        return;
    enabled_ = on;
    if (on)
        SetTimer(hwnd_, 1, interval_, nullptr);
    else
        KillTimer(hwnd_, 1);
}

void TMenuItem::Click() {
    if (OnClick)
        OnClick(this);
}

TPopupMenu::TPopupMenu(TComponent* owner, const char* name) : TComponent(owner) {
    Name = name;
    menu_.Reset(CreatePopupMenu());
}

void TPopupMenu::Add(TMenuItem* item) {
    items_.push_back(item);
    AppendMenuW(menu_.Get(), MF_STRING, items_.size(), Widen(item->Caption).c_str());
}

void TPopupMenu::Popup(HWND owner, POINT screen) {
    const UINT id = static_cast<UINT>(TrackPopupMenu(menu_.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                     screen.x, screen.y, 0, owner, nullptr));
    if (id >= 1 && id <= items_.size())
        items_[id - 1]->Click();
}

THintWindow::THintWindow(HWND owner) : owner_(owner) {
    RegisterClasses();
    tip_.Reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, owner,
                               nullptr, GetModuleHandleW(nullptr), nullptr));
    SendMessageW(tip_.Get(), TTM_SETMAXTIPWIDTH, 0, 600);
}

void THintWindow::Add(TWinControl& control) {
    std::wstring text = Widen(control.Hint);
    TOOLINFOW ti{};
    ti.cbSize = TTTOOLINFOW_V1_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = owner_;
    ti.uId = reinterpret_cast<UINT_PTR>(control.Handle());
    ti.lpszText = text.data();
    SendMessageW(tip_.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
}

} // namespace kes
