#pragma once
// TEditListBox: a real LISTBOX whose entries are edited in place by TSizeEdit, a real EDIT
// child, with tab stops, the horizontal extent of the widest entry, flat scroll bars and
// persistence of its entries.
#include "platform/scoped_win32.h"
#include "toolkit/colors.h"
#include "toolkit/controls_win32.h"
#include "widgets/editlist/EditSession_win32.h"
#include "widgets/editlist/TabPositions_win32.h"
#include "widgets/editlist/editlist_core.h"
#include "widgets/editlist/persist_format.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

using TEditDoneEvent = std::function<void(TComponent* Sender, std::string& newstr, bool& allow)>;
using TAutoInsertEvent = std::function<void(TComponent* Sender, std::string& avalue)>;
using TAutoDeleteEvent =
    std::function<void(TComponent* Sender, std::string& avalue, bool& allowdelete)>;
using TSelChangeEvent = std::function<void(TComponent* Sender, int ListIndex)>;

// What a fill's worker hands over (BackgroundFill_win32.cpp).
struct FillJob;

enum TScrollStyle { ssNormal = 0, ssFlat = 1, ssEncarta = 2 };

class TEditListBox : public TListBox {
public:
    TEditListBox(TComponent* owner, const char* name, HWND parent, Bounds b, int id, bool sorted,
                 bool designMode = false);
    ~TEditListBox() override;

    // Entries.
    std::vector<std::string> Items() const;
    // One batch: storage reserved, redrawing off, the widest entry kept, one repaint.
    void AddItems(const std::vector<std::string>& items);
    // Replaces an entry's text in place (no re-sorting) and re-applies the selection.
    void SetItem(int index, const std::string& text);
    void Delete(int index);
    // Entries that take long to read (thousands of registry keys): `read` runs on a worker
    // thread, then its entries are added in steps of a few milliseconds, in the list's own
    // order when it is sorted so that each lands at the end, and the window answers
    // throughout. Until `done` runs (on this thread, with the entries as the list holds them
    // and the read's error or nothing) the list takes no input, Items() holds only what was
    // added so far and, while it is empty, the list shows `readingText`. A short read is waited
    // for, so a small list is filled before this returns. A new fill or CancelFill drops the
    // one in progress (its `done` never runs); a read still going is waited for by the next
    // one and by the list's end, never left behind.
    using TFillDone =
        std::function<void(const std::vector<std::string>& entries, const std::string& error)>;
    void FillInBackground(std::function<std::vector<std::string>()> read, TFillDone done,
                          std::string readingText);
    bool Filling() const { return fill_ != nullptr; }
    // Drops the fill in progress and the entries it added.
    void CancelFill();
    int ItemIndex() const;
    void SetIndexAndScroll(int index);
    void SetItemIndex(int index) { SetIndexAndScroll(index); }
    // Off at creation. Switching it makes the list anew (a LISTBOX's selection style is fixed
    // when it is created), with its entries, selection, font, tab stops and place in the tab
    // order; an edit in progress is written back first.
    bool MultiSelect() const { return (GetWindowLongW(hwnd_, GWL_STYLE) & LBS_EXTENDEDSEL) != 0; }
    void SetMultiSelect(bool on);
    int ItemHeight() const;
    TColor Color() const { return color_; }
    void SetColor(TColor c);

    // Editing.
    void ShowEdit();
    // True opens the editor (when edit mode is off); false closes the editor that it opened,
    // if it is still open, keeping a non-empty text.
    void SetEditMode(bool on);
    bool AllowEdit() const { return allowEdit_; }
    void SetAllowEdit(bool on);
    // Puts an edit in progress back into the entries and closes the editor, as losing the
    // focus does, without raising OnExit.
    void EndEdit();
    TSizeEdit* Editor() const { return editor_.get(); }
    bool Editing() const { return editor_ && editor_->Session().IsOpen(); }
    void Lookup();
    void UpdateHover();
    bool Hovering() const { return hovering_; }
    void SetHovering(bool on);
    // The mouse pointer that hover mode reads and moves, in screen coordinates. Tests put in a
    // pointer of their own: Wine moves the real one through its desktop process, late.
    std::function<POINT()> PointerPos = [] {
        POINT p{};
        GetCursorPos(&p);
        return p;
    };
    std::function<void(POINT)> MovePointer = [](POINT p) { SetCursorPos(p.x, p.y); };
    // Whether the user's high-contrast theme is on (SPI_GETHIGHCONTRAST). Tests put in their
    // own: Wine neither keeps nor reports the setting.
    std::function<bool()> HighContrast = SystemHighContrast;
    static bool SystemHighContrast();
    const std::string& LookupText() const { return lookup_; }

    // Layout (tab stops, extent, scroll bars, batching, persistence).
    void SetTabStops();
    void OptimizeTabs(int spacing);
    int GetStringExtent(const std::string& text);
    int GetMaxStringExtent();
    int MaxStringExtent() const { return maxExtent_; }
    void UpdateHScrollExtent();
    void UpdateHScrollBar();
    void UpdateVScrollBar();
    void UpdateStyle();
    void UpdateColor();
    void UpdateWidth();
    void SetScrollStyle(TScrollStyle s);
    void SetScrollColor(TColor c);
    void SetScrollWidth(int w);
    void SetScrollHorizontal(bool on);
    TScrollStyle ScrollStyle() const { return scrollStyle_; }
    TColor ScrollColor() const { return scrollColor_; }
    int ScrollWidth() const { return scrollWidth_; }
    bool ScrollHorizontal() const { return scrollHorizontal_; }
    int VisibleItems() const;
    // A batch draws nothing until its outermost EndUpdate, which repaints once; a batch that
    // knows how many entries (and characters) it adds has the list box reserve room for them.
    void BeginUpdate(int expectedItems = 0, size_t expectedChars = 0);
    void EndUpdate();
    // Both stores keep every entry exactly (persist_format.h); a store that cannot be written
    // throws.
    void LoadPersist();
    void SavePersist();
    void Loaded();
    // The flat-scroll-bar functions of comctl32, looked up at each call; 0 when absent.
    int FlatSetScrollPos(int bar, int pos, bool redraw);
    int FlatSetScrollInfo(int bar, SCROLLINFO& si, bool redraw);
    int FlatSetScrollProp(int prop, INT_PTR value, bool redraw);
    int FlatShowScrollBar(int bar, bool show);

    // Properties.
    TEditDoneEvent OnEditDone;
    bool AutoInsert = false;
    bool AutoDelete = false;
    TAutoInsertEvent OnAutoInsert;
    TAutoDeleteEvent OnAutoDelete;
    TSelChangeEvent OnSelChange;
    bool LookupIncr = false;
    bool LookupFull = false;
    bool ReturnIsTab = false;
    bool ReturnIsClick = false;
    bool ReturnIsDblClick = false;
    TColor FocusColor = clWindow;
    TELPersist Persist;
    TTabPositionCollection TabPositions{*this};
    // TListBox's events.
    TNotifyEvent OnClick, OnDblClick, OnExit;
    std::function<void(TComponent*Sender, WORD&key)> OnKeyDown, OnKeyUp;
    std::function<void(TComponent* Sender, wchar_t& key)> OnKeyPress;

    void HandleCommand(WORD code) override;
    bool InSelChange() const { return inSelChange_; }

protected:
    LRESULT HandleDlgCode(WPARAM key, const MSG* m) override;
    bool HandleKey(KeyEvent& e) override;
    bool HandleMouse(const MouseEvent& e) override;
    bool HandleFocus(bool gained, HWND other) override;
    bool HandleTimer(UINT_PTR id) override;
    PaintMode Painting() const override;
    void HandlePaint(HDC dc, const RECT& dirty) override;
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    bool HandleNotification(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;

private:
    friend class TEditSession;
    friend class TSizeEdit;
    friend class TTabPositionItem;
    friend class TTabPositionCollection;
    LRESULT Default(UINT msg, WPARAM wp, LPARAM lp) { return DefaultProc(msg, wp, lp); }
    void KeyDown(WORD& key);
    bool WMChar(wchar_t c);
    void WMLButtonDown(UINT msg, WPARAM wp, LPARAM lp);
    void WMTimer();
    void DoExit();
    void Refresh();
    // Tab positions changed: the setters apply them, adding and removing items only marks the
    // widest entry for a new measure.
    void ApplyTabPositions();
    void TabPositionsChanged() { widest_.Invalidate(); }
    // Flat scroll bars initialised for the window, or no longer.
    void FlatBars(bool on);
    void CopyScrollInfo(int bar);
    void ScrollHomeWithoutExtent();
    bool BarShown(int bar) const;
    int MeasureEntry(const std::wstring& text);
    int TextWidth(std::wstring_view text) const;
    // The list's font, for measuring; a new font is a new measure of every entry.
    void SelectFont();
    // The plain list-box selection, without the scroll-bar refresh.
    void Select(int index) { SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    TEditSession* Session() { return editor_ ? &editor_->Session() : nullptr; }
    // The fill in progress, on this thread; the worker's side is a FillJob.
    struct Fill {
        WPARAM serial = 0;
        std::shared_ptr<FillJob> job;
        TFillDone done;
        bool sorted = false;
        LCID locale = 0;
        bool adding = false;
        std::vector<std::string> names;
        std::vector<std::wstring> entries; // the names as the list box takes them
        std::size_t next = 0, count = 0;
        const std::wstring* last = nullptr; // the list's last entry
        bool inOrder = true;                // the list holds `names`, in their order
    };
    // One step of the fill in progress: takes the read when it is there, adds entries for a
    // few milliseconds, and asks for the next step or ends the fill.
    void FillStep();
    void HandleFillMessage(WPARAM serial, LPARAM what);
    static UINT FillMessage();
    void DropFill();
    void EndReaders();
    // The reading text on the list's background, drawn while the list is empty.
    void PaintReading(HDC dc);

    std::unique_ptr<TSizeEdit> editor_;
    static constexpr UINT_PTR kHoverTimer = 111;
    int updateCount_ = 0;
    bool redrawOff_ = false; // the outermost batch switched the list box's redrawing off
    std::string lookup_;
    bool editMode_ = false;
    bool allowEdit_;
    bool designMode_;
    TScrollStyle scrollStyle_ = ssNormal;
    TColor scrollColor_ = clNone;
    int scrollWidth_;
    bool scrollHorizontal_ = true;
    int maxExtent_ = 0;
    bool noRefresh_ = false;
    bool refreshing_ = false;
    TColor color_ = clWindow;
    TColor savedColor_ = clWindow;
    bool hovering_ = false;
    bool inSelChange_ = false;
    UniqueBrush brush_;
    // The widest entry as it changes, measured in a DC of its own with the list's font.
    WidestExtent widest_;
    UniqueMemoryDC measureDC_;
    HFONT measureFont_ = nullptr;
    int avgCharWidth_ = 0;
    std::unique_ptr<Fill> fill_;
    std::wstring readingText_;
    // The fills' workers, also of dropped fills: one reads at a time, and the list's end waits
    // for any still reading.
    std::vector<UniqueKernelHandle> readers_;
    std::shared_ptr<std::mutex> readLock_ = std::make_shared<std::mutex>();
};

} // namespace kes
