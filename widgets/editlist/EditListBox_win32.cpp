#include "widgets/editlist/EditListBox_win32.h"

#include "platform/utf_win32.h"
#include "toolkit/colors_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

namespace kes {
namespace {

// The editor is as wide as its text and this much more, up to the list's client width + 1.
constexpr int kEditorSlack = 15;
constexpr UINT kHoverInterval = 1000;

// Looked up in the already loaded comctl32 at every call: absent means "do nothing".
template <typename F> F CommonControlsFunction(const char* name) {
    HMODULE lib = GetModuleHandleW(L"comctl32.dll");
    if (!lib)
        return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(lib, name)));
}

bool InClient(HWND hwnd, POINT screen, POINT& client) {
    client = screen;
    ScreenToClient(hwnd, &client);
    RECT r;
    GetClientRect(hwnd, &r);
    return PtInRect(&r, client) != FALSE;
}

// The reads and writes of a persistence store: an ini file or a key below the current user.
class PersistStore {
public:
    PersistStore(const TELPersist& p, bool forWriting) : p_(p) {
        if (p.Storage != stRegistry)
            return;
        std::string path = p.Key;
        while (!path.empty() && path.front() == '\\')
            path.erase(0, 1);
        if (!p.Section.empty())
            path += (path.empty() ? "" : "\\") + p.Section;
        const std::wstring w = Widen(path);
        if (forWriting)
            RegCreateKeyExW(HKEY_CURRENT_USER, w.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            key_.Put(), nullptr);
        else
            RegOpenKeyExW(HKEY_CURRENT_USER, w.c_str(), 0, KEY_READ, key_.Put());
    }
    std::string Read(const std::string& name) {
        const std::wstring n = Widen(name);
        if (p_.Storage == stRegistry) {
            DWORD type = 0, size = 0;
            if (!key_.Get() ||
                RegQueryValueExW(key_.Get(), n.c_str(), nullptr, &type, nullptr, &size) !=
                    ERROR_SUCCESS ||
                type != REG_SZ)
                return {};
            std::wstring v(size / sizeof(wchar_t) + 1, L'\0');
            RegQueryValueExW(key_.Get(), n.c_str(), nullptr, nullptr,
                             reinterpret_cast<BYTE*>(v.data()), &size);
            v.resize(wcsnlen(v.c_str(), v.size()));
            return Narrow(v);
        }
        std::wstring buf(4096, L'\0');
        const DWORD len =
            GetPrivateProfileStringW(Widen(p_.Section).c_str(), n.c_str(), L"", buf.data(),
                                     static_cast<DWORD>(buf.size()), Widen(p_.Key).c_str());
        buf.resize(len);
        return Narrow(buf);
    }
    void Write(const std::string& name, const std::string& value) {
        const std::wstring n = Widen(name), v = Widen(value);
        if (p_.Storage == stRegistry) {
            if (key_.Get())
                RegSetValueExW(key_.Get(), n.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(v.c_str()),
                               static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
            return;
        }
        WritePrivateProfileStringW(Widen(p_.Section).c_str(), n.c_str(), v.c_str(),
                                   Widen(p_.Key).c_str());
    }

private:
    const TELPersist& p_;
    UniqueKey key_;
};

} // namespace

// --- TSizeEdit --------------------------------------------------------------------------------

TSizeEdit::TSizeEdit(TEditListBox& list) : TWinControl(&list, "SizeEdit"), list_(list) {
    // A flat border: one line, not the sunken three-dimensional edge.
    CreateHandle(L"EDIT", ES_AUTOHSCROLL | WS_BORDER, 0, list.Handle(), {0, 0, 0, 0}, "", 0);
    ShowWindow(hwnd_, SW_HIDE);
}

void TSizeEdit::HandleCommand(WORD code) {
    if (code == EN_CHANGE)
        Change();
}

void TSizeEdit::Change() {
    std::wstring text = Widen(Text());
    SIZE sz{0, 0};
    {
        WindowDC dc(hwnd_);
        SelectedObject font(dc.Get(),
                            reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
        GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &sz);
    }
    RECT client;
    GetClientRect(list_.Handle(), &client);
    const int width = std::min<int>(sz.cx + kEditorSlack, client.right + 1);
    RECT r;
    GetWindowRect(hwnd_, &r);
    SetWindowPos(hwnd_, nullptr, 0, 0, width, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TSizeEdit::UpdateEdit() {
    std::string text = Text();
    bool allow = true;
    list_.noRefresh_ = true;
    list_.SetItem(index_, text);
    try {
        if (list_.OnEditDone)
            list_.OnEditDone(&list_, text, allow);
    } catch (...) {
        // A handler that fails has accepted nothing: the entry keeps what was stored.
        list_.noRefresh_ = false;
        list_.SetItem(index_, savedText_);
        throw;
    }
    list_.noRefresh_ = false;
    list_.SetItem(index_, allow ? text : savedText_);
    if (list_.MultiSelect())
        SendMessageW(list_.Handle(), LB_SETSEL, TRUE, index_);
}

void TSizeEdit::DoExit() {
    if (!list_.open_)
        return;
    list_.open_ = false;
    if (GetCapture() == hwnd_)
        ReleaseCapture();
    // The editor closes whatever OnEditDone does; its error is reported after that.
    std::exception_ptr failed;
    try {
        UpdateEdit();
    } catch (...) {
        failed = std::current_exception();
    }
    list_.Select(index_);
    if (list_.MultiSelect())
        SendMessageW(list_.Handle(), LB_SETSEL, TRUE, index_);
    ShowWindow(hwnd_, SW_HIDE);
    // Asked for while the focus is leaving the editor, this wins over the change in progress.
    SetFocus(list_.Handle());
    savedText_.clear();
    if (failed)
        std::rethrow_exception(failed);
    if (OnExit)
        OnExit(&list_);
}

void TSizeEdit::Close(int select) {
    ShowWindow(hwnd_, SW_HIDE);
    SetFocus(list_.Handle());
    DoExit(); // in case hiding left the focus where it was
    if (select >= 0)
        list_.SetIndexAndScroll(select);
    savedText_.clear();
}

LRESULT TSizeEdit::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_GETDLGCODE: {
        // Enter and Escape belong to the editor, not to the dialog navigation.
        const auto* m = reinterpret_cast<const MSG*>(lp);
        LRESULT code = DefaultProc(msg, wp, lp);
        if (m && m->message == WM_KEYDOWN && (m->wParam == VK_RETURN || m->wParam == VK_ESCAPE))
            code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_KEYDOWN:
        if (!list_.open_)
            break;
        if (wp == VK_RETURN) {
            Close(index_);
            return 0;
        }
        if (wp == VK_UP || wp == VK_DOWN) {
            const int at = index_;
            int next = at;
            if (wp == VK_UP)
                next = std::max(at - 1, 0);
            else if (at + 1 < countAtOpen_)
                next = at + 1;
            Close(next);
            WORD key = static_cast<WORD>(wp);
            list_.KeyDown(key);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wp == VK_RETURN)
            return 0; // no beep, no key press
        if (wp == VK_ESCAPE && list_.open_) {
            SetText(savedText_);
            Close(-1);
            return 0;
        }
        break;
    case WM_LBUTTONDOWN: {
        RECT r;
        GetClientRect(hwnd_, &r);
        POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
        // A press elsewhere reaches the editor through its capture and only closes it.
        if (GetCapture() == hwnd_ && !PtInRect(&r, pt) && list_.open_) {
            Close(index_);
            return 0;
        }
        break;
    }
    case WM_KILLFOCUS: {
        const LRESULT r = DefaultProc(msg, wp, lp);
        DoExit();
        return r;
    }
    case WM_SETTEXT: {
        const LRESULT r = DefaultProc(msg, wp, lp);
        Change();
        return r;
    }
    }
    return DefaultProc(msg, wp, lp);
}

// --- Tab positions ----------------------------------------------------------------------------

void TTabPositionItem::SetTabPosition(int pixels) {
    stop_.TabPosition = pixels;
    TEditListBox& list = owner_->GetOwner();
    list.SetTabStops();
    list.UpdateHScrollBar();
    InvalidateRect(list.Handle(), nullptr, TRUE);
}

void TTabPositionItem::SetTabType(TTabType type) {
    stop_.TabType = type;
    TEditListBox& list = owner_->GetOwner();
    list.SetTabStops();
    list.UpdateHScrollBar();
    InvalidateRect(list.Handle(), nullptr, TRUE);
}

TTabPositionItem& TTabPositionCollection::Add() {
    items_.push_back(std::make_unique<TTabPositionItem>(*this, TabStop{}));
    return *items_.back();
}

void TTabPositionCollection::Delete(int index) {
    items_.erase(items_.begin() + index);
}

std::vector<TabStop> TTabPositionCollection::Stops() const {
    std::vector<TabStop> out;
    for (const auto& i : items_)
        out.push_back(i->stop_);
    return out;
}

void TTabPositionCollection::SetStops(const std::vector<TabStop>& stops) {
    items_.clear();
    for (const auto& s : stops)
        items_.push_back(std::make_unique<TTabPositionItem>(*this, s));
}

// --- TEditListBox -----------------------------------------------------------------------------

TEditListBox::TEditListBox(TComponent* owner, const char* name, HWND parent, Bounds b, int id,
                           bool sorted, bool designMode)
    : TListBox(owner, name, parent, b, id, sorted, LBS_USETABSTOPS | WS_HSCROLL),
      allowEdit_(!designMode), designMode_(designMode),
      scrollWidth_(GetSystemMetrics(SM_CXVSCROLL)) {
    SetColor(clWindow);
    SelectFont();
    if (!designMode)
        editor_ = std::make_unique<TSizeEdit>(*this);
    Loaded();
}

TEditListBox::~TEditListBox() {
    editor_.reset();
    if (hwnd_ && hovering_ && !designMode_)
        KillTimer(hwnd_, kHoverTimer);
}

bool TEditListBox::HandleNotification(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    // The list's background is its parent's answer to WM_CTLCOLORLISTBOX.
    if (msg == WM_CTLCOLORLISTBOX) {
        SetBkColor(reinterpret_cast<HDC>(wp), ToColorRef(color_));
        result = reinterpret_cast<LRESULT>(brush_.Get());
        return true;
    }
    return TListBox::HandleNotification(msg, wp, lp, result);
}

std::vector<std::string> TEditListBox::Items() const {
    std::vector<std::string> out;
    const int n = Count();
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        out.push_back(Item(i));
    return out;
}

void TEditListBox::SetItem(int index, const std::string& text) {
    if (index < 0 || index >= Count())
        return;
    const int sel = ItemIndex();
    SendMessageW(hwnd_, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    SendMessageW(hwnd_, LB_INSERTSTRING, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(Widen(text).c_str()));
    if (!MultiSelect())
        Select(sel);
}

void TEditListBox::Delete(int index) {
    SendMessageW(hwnd_, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

int TEditListBox::ItemIndex() const {
    if (MultiSelect())
        return static_cast<int>(SendMessageW(hwnd_, LB_GETCARETINDEX, 0, 0));
    return static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
}

void TEditListBox::SetIndexAndScroll(int index) {
    if (MultiSelect())
        SendMessageW(hwnd_, LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
    else if (index != ItemIndex())
        Select(index);
    UpdateVScrollBar();
}

int TEditListBox::ItemHeight() const {
    return std::max(static_cast<int>(SendMessageW(hwnd_, LB_GETITEMHEIGHT, 0, 0)), 1);
}

void TEditListBox::SetColor(TColor c) {
    color_ = c;
    brush_.Reset(CreateSolidBrush(ToColorRef(c)));
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TEditListBox::ShowEdit() {
    const int sel = ItemIndex();
    if (!editor_ || sel == -1 || Count() == 0)
        return;
    SendMessageW(hwnd_, WM_HSCROLL, MAKEWPARAM(SB_LEFT, 0), 0);
    const int top = static_cast<int>(SendMessageW(hwnd_, LB_GETTOPINDEX, 0, 0));
    const int h = ItemHeight();
    noRefresh_ = true;
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const std::string text = Item(sel);
    HWND edit = editor_->Handle();
    SetWindowPos(edit, HWND_TOP, 0, (sel - top) * h, 0, h, SWP_SHOWWINDOW);
    editor_->SetText(text);
    open_ = true;
    SetFocus(edit);
    editor_->index_ = sel;
    editor_->countAtOpen_ = Count();
    editor_->savedText_ = text;
    SetCapture(edit);
    SetItem(sel, "");
    SetIndexAndScroll(-1);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    noRefresh_ = false;
}

void TEditListBox::EndEdit() {
    if (editor_)
        editor_->DoExit();
}

void TEditListBox::SetEditMode(bool on) {
    if (on && !editMode_) {
        ShowEdit();
    } else if (!on && editMode_ && editor_) {
        const std::string text = editor_->Text();
        if (!text.empty())
            SetItem(editor_->index_, text);
        open_ = false; // the text is written: the exit handling has nothing more to do
        SetFocus(hwnd_);
        ShowWindow(editor_->Handle(), SW_HIDE);
        editor_->savedText_.clear();
    }
    editMode_ = on;
}

void TEditListBox::SetAllowEdit(bool on) {
    if (Editing()) {
        open_ = false;
        if (GetCapture() == editor_->Handle())
            ReleaseCapture();
        editor_->UpdateEdit();
        ShowWindow(editor_->Handle(), SW_HIDE);
        editor_->savedText_.clear();
        editor_->index_ = -1;
        allowEdit_ = on;
        SetFocus(hwnd_);
        return;
    }
    allowEdit_ = on;
}

void TEditListBox::Lookup() {
    if (Count() == 0 || !LookupIncr)
        return;
    const int found = LookupIndex(Items(), lookup_, LookupFull);
    if (found >= 0)
        SetIndexAndScroll(found);
    else
        lookup_.clear();
}

void TEditListBox::UpdateHover() {
    POINT pt;
    const int sel = ItemIndex();
    if (!InClient(hwnd_, PointerPos(), pt) || sel < 0)
        return;
    RECT r;
    SendMessageW(hwnd_, LB_GETITEMRECT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(&r));
    POINT target{pt.x, r.top + (r.bottom - r.top) / 2};
    ClientToScreen(hwnd_, &target);
    MovePointer(target);
}

void TEditListBox::SetHovering(bool on) {
    if (on == hovering_)
        return;
    hovering_ = on;
    if (designMode_)
        return;
    if (on)
        SetTimer(hwnd_, kHoverTimer, kHoverInterval, nullptr);
    else
        KillTimer(hwnd_, kHoverTimer);
}

void TEditListBox::WMTimer() {
    POINT pt;
    if (inSelChange_ || GetFocus() != hwnd_ || !InClient(hwnd_, PointerPos(), pt))
        return;
    const LRESULT r = SendMessageW(hwnd_, LB_ITEMFROMPOINT, 0, MAKELPARAM(pt.x, pt.y));
    SetIndexAndScroll(LOWORD(r));
}

void TEditListBox::HandleCommand(WORD code) {
    if (code == LBN_DBLCLK) {
        if (OnDblClick)
            OnDblClick(this);
        return;
    }
    if (code != LBN_SELCHANGE)
        return;
    {
        inSelChange_ = true;
        // Cleared however the handlers end: an error box must not leave hover stopped.
        const ScopeExit done([this] { inSelChange_ = false; });
        UpdateVScrollBar();
        if (OnSelChange)
            OnSelChange(this, ItemIndex());
        if (hovering_)
            UpdateHover();
    }
    if (OnClick)
        OnClick(this);
}

void TEditListBox::KeyDown(WORD& key) {
    if (key == VK_INSERT && AutoInsert) {
        std::string text;
        if (OnAutoInsert)
            OnAutoInsert(this, text);
        const int at = static_cast<int>(
            SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(text).c_str())));
        if (MultiSelect())
            SendMessageW(hwnd_, LB_SETSEL, TRUE, at);
        SetIndexAndScroll(at);
        ShowEdit();
    } else if (key == VK_DELETE && AutoDelete && Count() > 0 && ItemIndex() >= 0) {
        bool allow = true;
        std::string value = Item(ItemIndex());
        if (OnAutoDelete)
            OnAutoDelete(this, value, allow);
        if (allow) {
            int at = ItemIndex();
            Delete(at);
            if (at >= Count())
                --at;
            SetIndexAndScroll(at);
        }
    }
    switch (key) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_UP:
    case VK_DOWN:
        lookup_.clear();
        break;
    }
    if (OnKeyDown)
        OnKeyDown(this, key);
}

bool TEditListBox::WMChar(wchar_t c) {
    if (c == 27) {
        lookup_.clear();
        return true;
    }
    if (c == 32) {
        if (!allowEdit_)
            return false;
        ShowEdit();
        return true;
    }
    if ((c >= 48 && c <= 58) || (c >= 65 && c <= 122)) {
        lookup_ += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        return true;
    }
    return false;
}

void TEditListBox::WMLButtonDown(UINT msg, WPARAM wp, LPARAM lp) {
    lookup_.clear();
    if (!allowEdit_ || !editor_) {
        Default(msg, wp, lp);
        return;
    }
    const int y = static_cast<short>(HIWORD(lp));
    const int under =
        y / ItemHeight() + static_cast<int>(SendMessageW(hwnd_, LB_GETTOPINDEX, 0, 0));
    const int before = ItemIndex();
    if (editor_->index_ == before && editor_->Pending())
        return;
    Default(msg, wp, lp);
    if (designMode_)
        return;
    if (under == before && before >= 0 && !editor_->Pending()) {
        ShowEdit();
        return;
    }
    ShowWindow(editor_->Handle(), SW_HIDE);
    if (editor_->Pending()) {
        const std::string text = editor_->Text();
        SetItem(editor_->index_, text.empty() ? editor_->savedText_ : text);
        editor_->savedText_.clear();
    }
}

void TEditListBox::DoExit() {
    if (Editing() || open_) {
        open_ = false;
        editor_->UpdateEdit();
        ShowWindow(editor_->Handle(), SW_HIDE);
        editor_->savedText_.clear();
        editor_->index_ = -1;
    }
    if (OnExit)
        OnExit(this);
}

LRESULT TEditListBox::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_GETDLGCODE: {
        const auto* m = reinterpret_cast<const MSG*>(lp);
        LRESULT code = Default(msg, wp, lp);
        if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN &&
            (ReturnIsTab || ReturnIsClick || ReturnIsDblClick))
            code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_KEYDOWN: {
        WORD key = static_cast<WORD>(wp);
        if (key == VK_RETURN) {
            if (ReturnIsTab) {
                key = VK_TAB;
                PostMessageW(hwnd_, WM_KEYDOWN, VK_TAB, 0);
            }
            if (ReturnIsClick && OnClick)
                OnClick(this);
            if (ReturnIsDblClick && OnDblClick)
                OnDblClick(this);
        }
        KeyDown(key);
        return Default(msg, key, lp);
    }
    case WM_KEYUP: {
        WORD key = static_cast<WORD>(wp);
        if (OnKeyUp)
            OnKeyUp(this, key);
        const LRESULT r = Default(msg, key, lp);
        if (!lookup_.empty())
            Lookup();
        return r;
    }
    case WM_CHAR: {
        if (WMChar(static_cast<wchar_t>(wp)))
            return 0;
        wchar_t c = static_cast<wchar_t>(wp);
        if (OnKeyPress)
            OnKeyPress(this, c);
        return Default(msg, c, lp);
    }
    case WM_LBUTTONDOWN:
        WMLButtonDown(msg, wp, lp);
        return 0;
    case WM_SETFOCUS:
        savedColor_ = color_;
        SetColor(FocusColor);
        lookup_.clear();
        break;
    case WM_KILLFOCUS: {
        SetColor(savedColor_);
        const LRESULT r = Default(msg, wp, lp);
        // Into its own editor is no exit of the list box.
        if (!editor_ || reinterpret_cast<HWND>(wp) != editor_->Handle())
            DoExit();
        return r;
    }
    case WM_TIMER:
        if (wp == kHoverTimer) {
            WMTimer();
            return 0;
        }
        break;
    case LB_SETCURSEL: {
        const LRESULT r = Default(msg, wp, lp);
        if (!MultiSelect()) {
            if (OnSelChange)
                OnSelChange(this, ItemIndex());
            if (hovering_)
                UpdateHover();
        }
        return r;
    }
    case LB_ADDSTRING:
    case LB_INSERTSTRING: {
        const LRESULT r = Default(msg, wp, lp);
        if (r >= 0) {
            widest_.Added(MeasureEntry(reinterpret_cast<const wchar_t*>(lp)));
            Refresh();
        }
        return r;
    }
    case LB_DELETESTRING: {
        const int gone = MeasureEntry(WideItem(static_cast<int>(wp)));
        const LRESULT r = Default(msg, wp, lp);
        if (r != LB_ERR) {
            widest_.Removed(gone);
            Refresh();
        }
        return r;
    }
    case LB_RESETCONTENT: {
        const LRESULT r = Default(msg, wp, lp);
        widest_.Cleared();
        Refresh();
        FlatShowScrollBar(SB_VERT, false);
        return r;
    }
    case WM_SIZE: {
        const LRESULT r = Default(msg, wp, lp);
        Refresh();
        return r;
    }
    case WM_SETFONT: {
        const LRESULT r = Default(msg, wp, lp);
        SelectFont();
        return r;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
        const LRESULT r = Default(msg, wp, lp);
        const int bar = msg == WM_HSCROLL ? SB_HORZ : SB_VERT;
        if (scrollStyle_ != ssNormal)
            FlatSetScrollPos(bar, GetScrollPos(hwnd_, bar), true);
        return r;
    }
    case WM_DESTROY:
        if (hovering_ && !designMode_)
            KillTimer(hwnd_, kHoverTimer);
        break;
    }
    return Default(msg, wp, lp);
}

void TEditListBox::Refresh() {
    if (!noRefresh_ && updateCount_ == 0) {
        // Showing a bar recomputes the frame: only when it is not shown yet.
        if (Count() > VisibleItems() && !BarShown(SB_VERT))
            FlatShowScrollBar(SB_VERT, true);
        UpdateHScrollBar();
        UpdateVScrollBar();
        UpdateWidth();
        UpdateStyle();
        UpdateColor();
    }
}

void TEditListBox::SelectFont() {
    if (!measureDC_.Get())
        measureDC_.Reset(CreateCompatibleDC(nullptr));
    auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    measureFont_ = font ? font : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    // The owner keeps the font alive; the measuring DC only borrows it.
    SelectObject(measureDC_.Get(), measureFont_);
    TEXTMETRICW tm{};
    GetTextMetricsW(measureDC_.Get(), &tm);
    avgCharWidth_ = tm.tmAveCharWidth;
    widest_.Invalidate();
}

int TEditListBox::MeasureEntry(const std::wstring& text) {
    const int n = TabPositions.Count();
    if (n >= 1 && n <= kMaxTabStops) {
        std::vector<int> stops;
        for (const auto& s : TabPositions.Stops())
            stops.push_back(s.TabPosition);
        const DWORD ext =
            GetTabbedTextExtentW(measureDC_.Get(), text.c_str(), static_cast<int>(text.size()),
                                 static_cast<int>(stops.size()), stops.data());
        return LOWORD(ext);
    }
    return TextWidth(text) + avgCharWidth_;
}

int TEditListBox::TextWidth(std::wstring_view text) const {
    SIZE sz{0, 0};
    GetTextExtentPoint32W(measureDC_.Get(), text.data(), static_cast<int>(text.size()), &sz);
    return static_cast<int>(sz.cx);
}

int TEditListBox::GetStringExtent(const std::string& text) {
    return static_cast<int>(static_cast<WORD>(TextWidth(Widen(text)) + avgCharWidth_));
}

int TEditListBox::GetMaxStringExtent() {
    int widest = 0;
    for (int i = 0, n = Count(); i < n; ++i)
        widest = std::max(widest, MeasureEntry(WideItem(i)));
    maxExtent_ = widest;
    widest_.Set(widest);
    return widest;
}

void TEditListBox::UpdateHScrollExtent() {
    if (updateCount_ > 0)
        return;
    if (Count() == 0 || !scrollHorizontal_) {
        ScrollHomeWithoutExtent();
        return;
    }
    // Measured in full only when the widest entry has gone (or the font or stops changed).
    const int e = widest_.Stale() ? GetMaxStringExtent() : (maxExtent_ = widest_.Widest());
    RECT r;
    GetClientRect(hwnd_, &r);
    if (e > r.right) {
        FlatShowScrollBar(SB_HORZ, true);
        SendMessageW(hwnd_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(e), 0);
    } else {
        ScrollHomeWithoutExtent();
        // Hiding recomputes the frame: only a shown bar is hidden.
        if (BarShown(SB_HORZ)) {
            ShowScrollBar(hwnd_, SB_HORZ, FALSE);
            FlatShowScrollBar(SB_HORZ, false);
        }
    }
}

void TEditListBox::ScrollHomeWithoutExtent() {
    if (SendMessageW(hwnd_, LB_GETHORIZONTALEXTENT, 0, 0) == 0 && GetScrollPos(hwnd_, SB_HORZ) == 0)
        return;
    SendMessageW(hwnd_, LB_SETHORIZONTALEXTENT, 0, 0);
    SendMessageW(hwnd_, WM_HSCROLL, MAKEWPARAM(SB_LEFT, 0), 0);
}

bool TEditListBox::BarShown(int bar) const {
    const LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
    return (style & (bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL)) != 0;
}

void TEditListBox::CopyScrollInfo(int bar) {
    // Without flat bars the flat functions act on the standard bar itself: copying it onto
    // itself would only redraw it, at every added entry.
    if (scrollStyle_ == ssNormal)
        return;
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    if (GetScrollInfo(hwnd_, bar, &si))
        FlatSetScrollInfo(bar, si, true);
}

void TEditListBox::UpdateHScrollBar() {
    UpdateHScrollExtent();
    CopyScrollInfo(SB_HORZ);
}

void TEditListBox::UpdateVScrollBar() {
    CopyScrollInfo(SB_VERT);
}

void TEditListBox::UpdateStyle() {
    const int v = scrollStyle_ == ssFlat      ? FSB_FLAT_MODE
                  : scrollStyle_ == ssEncarta ? FSB_ENCARTA_MODE
                                              : FSB_REGULAR_MODE;
    FlatSetScrollProp(WSB_PROP_VSTYLE, v, true);
    FlatSetScrollProp(WSB_PROP_HSTYLE, v, true);
}

void TEditListBox::UpdateColor() {
    // Handed over as it stands: a system colour or clNone is not resolved first.
    FlatSetScrollProp(WSB_PROP_VBKGCOLOR, static_cast<INT_PTR>(scrollColor_), true);
    FlatSetScrollProp(WSB_PROP_HBKGCOLOR, static_cast<INT_PTR>(scrollColor_), true);
}

void TEditListBox::UpdateWidth() {
    FlatSetScrollProp(WSB_PROP_CXVSCROLL, scrollWidth_, true);
    FlatSetScrollProp(WSB_PROP_CYHSCROLL, scrollWidth_, true);
}

void TEditListBox::SetScrollStyle(TScrollStyle s) {
    if (s != ssNormal && scrollStyle_ == ssNormal) {
        if (auto init = CommonControlsFunction<BOOL(WINAPI*)(HWND)>("InitializeFlatSB"))
            init(hwnd_);
    } else if (s == ssNormal && scrollStyle_ != ssNormal) {
        if (auto uninit = CommonControlsFunction<HRESULT(WINAPI*)(HWND)>("UninitializeFlatSB"))
            uninit(hwnd_);
    }
    scrollStyle_ = s;
    UpdateStyle();
}

void TEditListBox::SetScrollColor(TColor c) {
    scrollColor_ = c;
    UpdateColor();
}

void TEditListBox::SetScrollWidth(int w) {
    scrollWidth_ = w;
    UpdateWidth();
}

void TEditListBox::SetScrollHorizontal(bool on) {
    scrollHorizontal_ = on;
    UpdateHScrollBar();
}

int TEditListBox::VisibleItems() const {
    RECT r;
    GetWindowRect(hwnd_, &r);
    return (r.bottom - r.top) / ItemHeight();
}

void TEditListBox::EndUpdate() {
    if (updateCount_ == 0)
        return;
    if (--updateCount_ == 0)
        UpdateHScrollBar();
}

void TEditListBox::SetTabStops() {
    SIZE x{0, 0};
    GetTextExtentPoint32W(measureDC_.Get(), L"x", 1, &x);
    std::vector<int> units = TabStopsInDialogUnits(TabPositions.Stops(), x.cx);
    if (!units.empty())
        SendMessageW(hwnd_, LB_SETTABSTOPS, units.size(), reinterpret_cast<LPARAM>(units.data()));
    widest_.Invalidate();
}

void TEditListBox::OptimizeTabs(int spacing) {
    std::vector<TabStop> stops = TabPositions.Stops();
    const auto width = [this](const std::string& s) { return TextWidth(Widen(s)); };
    if (kes::OptimizeTabs(Items(), width, spacing, stops))
        TabPositions.SetStops(stops);
    widest_.Invalidate();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TEditListBox::LoadPersist() {
    if (!Persist.Enable)
        return;
    PersistStore store(Persist, false);
    Clear();
    for (const auto& entry : PersistReads([&](const std::string& n) { return store.Read(n); }))
        AddItem(entry);
}

void TEditListBox::SavePersist() {
    if (!Persist.Enable)
        return;
    PersistStore store(Persist, true);
    for (const auto& [name, value] : PersistWrites(Items(), Persist.Count, Persist.MaxCount))
        store.Write(name, value);
}

void TEditListBox::Loaded() {
    UpdateWidth();
    UpdateStyle();
    UpdateColor();
    UpdateVScrollBar();
    UpdateHScrollBar();
    RECT r;
    GetWindowRect(hwnd_, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowPos(hwnd_, nullptr, 0, 0, w, h + 1, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(hwnd_, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int TEditListBox::FlatSetScrollPos(int bar, int pos, bool) {
    auto f = CommonControlsFunction<int(WINAPI*)(HWND, int, int, BOOL)>("FlatSB_SetScrollPos");
    return f ? f(hwnd_, bar, pos, TRUE) : 0;
}

int TEditListBox::FlatSetScrollInfo(int bar, SCROLLINFO& si, bool) {
    auto f =
        CommonControlsFunction<int(WINAPI*)(HWND, int, LPSCROLLINFO, BOOL)>("FlatSB_SetScrollInfo");
    return f ? f(hwnd_, bar, &si, TRUE) : 0;
}

int TEditListBox::FlatSetScrollProp(int prop, INT_PTR value, bool) {
    auto f =
        CommonControlsFunction<BOOL(WINAPI*)(HWND, UINT, INT_PTR, BOOL)>("FlatSB_SetScrollProp");
    return f ? f(hwnd_, static_cast<UINT>(prop), value, TRUE) : 0;
}

int TEditListBox::FlatShowScrollBar(int bar, bool show) {
    auto f = CommonControlsFunction<BOOL(WINAPI*)(HWND, int, BOOL)>("FlatSB_ShowScrollBar");
    return f ? f(hwnd_, bar, show ? TRUE : FALSE) : 0;
}

} // namespace kes
