#pragma once
// Thin wrappers over USER32 controls, each with one creation call and callbacks assigned once,
// so that a form reads as a table of controls and their handlers.
#include "platform/scoped_win32.h"
#include "toolkit/component.h"

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kes {

using TNotifyEvent = std::function<void(TComponent* Sender)>;

// The process-wide application object: its title captions message boxes, and every error
// that escapes an event handler reaches HandleException.
struct TApplication {
    std::string Title;
    std::function<void(const std::string& message)> OnException;
    void HandleException(const std::exception& e);
    // Runs an event handler; whatever it throws goes to the error box.
    void Guard(const std::function<void()>& handler);
    // Dispatches every message already waiting for this thread, then returns.
    void ProcessMessages();
};
TApplication& Application();

struct Bounds {
    int left, top, width, height;
};

// "MS Sans Serif", 8 points (height -11 at 96 dots per inch).
HFONT DefaultFont();

class TWinControl : public TComponent {
public:
    TWinControl(TComponent* owner, const char* name) : TComponent(owner) { Name = name; }
    ~TWinControl() override;
    HWND Handle() const { return hwnd_; }
    bool Enabled() const { return IsWindowEnabled(hwnd_) != FALSE; }
    void SetEnabled(bool on) { EnableWindow(hwnd_, on ? TRUE : FALSE); }
    std::string Text() const;
    void SetText(const std::string& text);
    std::string Hint;
    bool ShowHint = false;

    static TWinControl* FromHandle(HWND hwnd);
    // Notifications a parent passes on to the control that sent them.
    virtual void HandleCommand(WORD) {}

protected:
    void CreateHandle(const wchar_t* cls, DWORD style, DWORD exStyle, HWND parent, Bounds b,
                      const std::string& text, int id);
    HWND hwnd_ = nullptr;
};

// A container with a raised edge; passes its children's notifications on to them.
class TPanel : public TWinControl {
public:
    TPanel(TComponent* owner, const char* name, HWND parent, Bounds b);
    std::function<void(TPanel* Sender, POINT screen)> OnContextPopup;
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

class TMemo : public TWinControl {
public:
    TMemo(TComponent* owner, const char* name, HWND parent, Bounds b, int id, DWORD extraStyle);
};

// A flat button with a glyph that never takes the focus. A glyph-only one needs an accessible
// name, or screen readers announce a nameless button.
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
    };
    TSpeedButton(TComponent* owner, const Params& p);
    void Click();
    const std::string& AccessibleName() const { return accessibleName_; }
    void SetAccessibleName(const std::string& name) { accessibleName_ = name; }
    TNotifyEvent OnClick;
    HBITMAP Glyph() const { return glyph_.Get(); }
    int Spacing() const { return spacing_; }
    bool hot_ = false;
    bool down_ = false;

private:
    UniqueBitmap glyph_;
    int spacing_;
    std::string accessibleName_;
};

class TTimer : public TComponent {
public:
    TTimer(TComponent* owner, const char* name, UINT interval);
    ~TTimer() override;
    UINT Interval() const { return interval_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    TNotifyEvent OnTimer;
    HWND Window() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
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
    ~THintWindow();
    void Add(TWinControl& control);
    HWND Handle() const { return tip_; }

private:
    HWND tip_ = nullptr;
    HWND owner_;
};

} // namespace kes
