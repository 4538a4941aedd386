#include "platform/utf_win32.h"
#include "widgets/editlist/EditListBox_win32.h"

#include <commctrl.h>

#include <algorithm>

namespace kes {
namespace {

// Looked up in the already loaded comctl32 at every call: absent means "do nothing".
template <typename F> F CommonControlsFunction(const char* name) {
    HMODULE lib = GetModuleHandleW(L"comctl32.dll");
    if (!lib)
        return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(lib, name)));
}

} // namespace

void TEditListBox::Refresh() {
    // Showing or hiding a bar resizes the list, which asks for a refresh again: the one under
    // way sees the new size, and a nested one would only start the same round again (under
    // Wine dozens deep, once an entry is wider than the list).
    if (!noRefresh_ && updateCount_ == 0 && !refreshing_) {
        refreshing_ = true;
        const ScopeExit done([this] { refreshing_ = false; });
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
    if (s != ssNormal && scrollStyle_ == ssNormal)
        FlatBars(true);
    else if (s == ssNormal && scrollStyle_ != ssNormal)
        FlatBars(false);
    scrollStyle_ = s;
    UpdateStyle();
}

void TEditListBox::FlatBars(bool on) {
    if (on) {
        if (auto init = CommonControlsFunction<BOOL(WINAPI*)(HWND)>("InitializeFlatSB"))
            init(hwnd_);
    } else if (auto uninit = CommonControlsFunction<HRESULT(WINAPI*)(HWND)>("UninitializeFlatSB")) {
        uninit(hwnd_);
    }
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

void TEditListBox::BeginUpdate(int expectedItems, size_t expectedChars) {
    if (updateCount_++ == 0 && hwnd_ && IsWindowVisible(hwnd_)) {
        // Otherwise the list box repaints after every entry: seconds for a few thousand.
        SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
        redrawOff_ = true;
    }
    if (hwnd_ && expectedItems > 0)
        SendMessageW(hwnd_, LB_INITSTORAGE, static_cast<WPARAM>(expectedItems),
                     static_cast<LPARAM>(expectedChars * sizeof(wchar_t)));
}

void TEditListBox::EndUpdate() {
    if (updateCount_ == 0 || --updateCount_ != 0)
        return;
    if (redrawOff_) {
        redrawOff_ = false;
        SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    }
    UpdateHScrollBar();
    if (hwnd_ && IsWindowVisible(hwnd_))
        RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
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
