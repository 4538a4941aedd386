#pragma once
// Thin wrappers over USER32 controls, each with one creation call and callbacks assigned once,
// so that a form reads as a table of controls and their handlers.
#include "platform/scoped_win32.h"
#include "toolkit/component.h"
#include "toolkit/window_win32.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kes {

using TNotifyEvent = std::function<void(TComponent* Sender)>;

// "MS Sans Serif", 8 points (height -11 at 96 dots per inch), made for `dpi`; one per DPI,
// alive for the process.
HFONT DefaultFont(UINT dpi = kBaseDpi);

class TPopupMenu;

// A control: a component with a window of the toolkit's window base.
class TWinControl : public TComponent, public TWindow {
public:
    TWinControl(TComponent* owner, const char* name) : TComponent(owner) { Name = name; }
    bool Enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
    void SetEnabled(bool on) { EnableWindow(hwnd_, on ? TRUE : FALSE); }
    std::string Text() const;
    void SetText(const std::string& text);
    std::string Hint;
    bool ShowHint = false;
    // What a right click (or the menu key) on this control shows; without one, the click goes
    // on to the parent, so a container's menu serves every control on it that has none.
    TPopupMenu* PopupMenu = nullptr;

    static TWinControl* FromHandle(HWND hwnd) {
        return dynamic_cast<TWinControl*>(TWindow::FromHandle(hwnd));
    }
    // The control's own WM_COMMAND notifications, as its parent received them.
    virtual void HandleCommand(WORD) {}
    // Places the control from its 96-DPI bounds at `dpi` and gives it the default font made
    // for that DPI.
    void PlaceScaled(const Bounds& b96, UINT dpi);

protected:
    void CreateHandle(const wchar_t* cls, DWORD style, DWORD exStyle, HWND parent, Bounds b,
                      const std::string& text, int id);
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    bool HandleNotification(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) override;
};

// A container with a raised edge.
class TPanel : public TWinControl {
public:
    TPanel(TComponent* owner, const char* name, HWND parent, Bounds b);

protected:
    PaintMode Painting() const override { return PaintMode::OverBackground; }
    void HandlePaint(HDC dc, const RECT& dirty) override;
};

class TCheckBox : public TWinControl {
public:
    TCheckBox(TComponent* owner, const char* name, HWND parent, Bounds b,
              const std::string& caption, int id);
    bool Checked() const;
    // Program code changing the state runs OnClick, as a click does; an unchanged state runs
    // nothing. Errors of the handler reach the caller.
    void SetChecked(bool on);
    TNotifyEvent OnClick;
    void HandleCommand(WORD code) override;
};

class TButton : public TWinControl {
public:
    TButton(TComponent* owner, const char* name, HWND parent, Bounds b, const std::string& caption,
            int id);
    TNotifyEvent OnClick;
    void HandleCommand(WORD code) override;
};

class TLabel : public TWinControl {
public:
    TLabel(TComponent* owner, const char* name, HWND parent, Bounds b, const std::string& caption,
           int id);
    void AutoSize();
};

// A sunken frame drawn on the parent; it has no interior of its own.
class TBevel : public TWinControl {
public:
    TBevel(TComponent* owner, const char* name, HWND parent, Bounds b);

protected:
    PaintMode Painting() const override { return PaintMode::Opaque; }
    void HandlePaint(HDC dc, const RECT& dirty) override;
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
};

// The item access that combo boxes and list boxes share; only their message numbers differ.
class TItemsControl : public TWinControl {
public:
    struct Messages {
        UINT add, count, textLength, text, reset;
    };
    TItemsControl(TComponent* owner, const char* name, const Messages& m)
        : TWinControl(owner, name), msg_(m) {}
    void AddItem(const std::string& item);
    // Many at once, as a start-up fills a list.
    void AddItems(const std::vector<std::string>& items);
    int Count() const;
    std::string Item(int index) const;
    void Clear();

protected:
    // An entry as the control holds it, for measuring without a round trip through UTF-8.
    std::wstring WideItem(int index) const;

private:
    Messages msg_;
};

class TComboBox : public TItemsControl {
public:
    TComboBox(TComponent* owner, const char* name, HWND parent, Bounds b, int id);
    int ItemIndex() const;
    void SetItemIndex(int index);
    TNotifyEvent OnChange;
    void HandleCommand(WORD code) override;
};

class TListBox : public TItemsControl {
public:
    TListBox(TComponent* owner, const char* name, HWND parent, Bounds b, int id, bool sorted,
             DWORD extraStyle = 0);
};

// Read only: Tab, Shift+Tab and Ctrl+Tab move on to the next control instead of staying in it.
class TMemo : public TWinControl {
public:
    TMemo(TComponent* owner, const char* name, HWND parent, Bounds b, int id, DWORD extraStyle);

protected:
    LRESULT HandleDlgCode(WPARAM key, const MSG* m) override;
};

// A flat button with a glyph; by default it never takes the focus. One that does (`tabStop`)
// is pressed by Enter and space too and shows the focus with a dotted rectangle. A glyph-only
// one needs an accessible name, or screen readers announce a nameless button.
class TSpeedButton : public TWinControl {
public:
    struct Params {
        const char* name = "";
        HWND parent = nullptr;
        Bounds bounds{};
        std::string caption{};
        int glyphResource = 0; // a 16x16 bitmap resource, fuchsia transparent
        int spacing = 4;       // between glyph and caption
        int id = 0;
        std::string accessibleName{}; // when set, what screen readers call this push button
        bool tabStop = false;
    };
    TSpeedButton(TComponent* owner, const Params& p);
    void Click();
    const std::string& AccessibleName() const { return accessibleName_; }
    void SetAccessibleName(const std::string& name) { accessibleName_ = name; }
    TNotifyEvent OnClick;
    HBITMAP Glyph() const { return glyph_.Get(); }
    int Spacing() const { return spacing_; }
    bool Hot() const { return hot_; }
    bool Down() const { return down_; }

protected:
    PaintMode Painting() const override { return PaintMode::Opaque; }
    void HandlePaint(HDC dc, const RECT&) override { Paint(dc); }
    bool HandleMouse(const MouseEvent& e) override;
    bool HandleKey(KeyEvent& e) override;
    LRESULT HandleDlgCode(WPARAM key, const MSG* m) override;
    bool HandleFocus(bool gained, HWND other) override;
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Paint(HDC dc);
    bool hot_ = false;
    bool down_ = false;
    bool spaceDown_ = false; // pressed by the space bar, clicked when it is let go
    UniqueBitmap glyph_;
    int spacing_;
    std::string accessibleName_;
};

// Its ticks come to a message-only window of its own, so any message loop dispatches them,
// modal ones too.
class TTimer : public TComponent, private TWindow {
public:
    TTimer(TComponent* owner, const char* name, UINT interval);
    ~TTimer() override;
    UINT Interval() const { return interval_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    TNotifyEvent OnTimer;
    HWND Window() const { return Handle(); }

private:
    bool HandleTimer(UINT_PTR id) override;
    UINT interval_;
    bool enabled_ = false;
};

class TMenuItem : public TComponent {
public:
    TMenuItem(TComponent* owner, const char* name, const std::string& caption)
        : TComponent(owner), Caption(caption) {
        Name = name;
    }
    const std::string Caption;
    TNotifyEvent OnClick;
    void Click();
};

class TPopupMenu : public TComponent {
public:
    TPopupMenu(TComponent* owner, const char* name);
    void Add(TMenuItem* item);
    HMENU Handle() const { return menu_.Get(); }
    const std::vector<TMenuItem*>& Items() const { return items_; }
    // Shows the menu at a screen point and runs the chosen item's OnClick.
    void Popup(HWND owner, POINT screen);

private:
    UniqueMenu menu_;
    std::vector<TMenuItem*> items_;
};

// Tool tips for the controls whose hints are shown.
class THintWindow {
public:
    explicit THintWindow(HWND owner);
    void Add(TWinControl& control);
    HWND Handle() const { return tip_.Get(); }

private:
    UniqueWindow tip_;
    HWND owner_;
};

} // namespace kes
