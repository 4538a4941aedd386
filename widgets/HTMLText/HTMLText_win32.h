#pragma once
// THTMLStaticText: the rich-text label on a window of its own. The decisions live in
// THTMLStaticTextCore; this part turns window messages into its calls, paints it double-buffered
// and answers screen readers (WM_GETOBJECT).
#include "platform/scoped_win32.h"
#include "toolkit/controls_win32.h"
#include "widgets/HTMLText/HTMLText.h"

#include <windows.h>

#include <oleacc.h>

namespace kes {

class LabelAccessible;

class THTMLStaticText : public TWinControl, public THTMLStaticTextCore {
public:
    // Created 100 x 20 unless bounds say otherwise; Loaded() ends the loading of the stored
    // properties (EnableBlink starts its timer then).
    THTMLStaticText(TComponent* owner, const char* name, HWND parent, Bounds b = {0, 0, 100, 20},
                    int id = 0);
    ~THTMLStaticText() override;

    // The platform's way of opening a URL or mail target: ShellExecute's "open".
    static void ShellOpen(const std::string& target);
    // Whether the system runs in high-contrast mode.
    static bool SystemHighContrast();

    bool Enabled() const override { return TWinControl::Enabled(); }
    // In the dialog's tab order (off when created); a click then takes the focus.
    bool TabStop() const;
    void SetTabStop(bool on);

protected:
    Rect ClientRect() const override;
    void SetClientSize(int width, int height) override;
    void Invalidate(const Rect* r) override;
    void Measure(const std::function<void(Canvas&)>& f) override;
    bool Focused() const override;
    bool PointerPos(int& x, int& y) const override;
    bool HighContrast() const override { return SystemHighContrast(); }
    void CursorChanged() override;
    void CancelHint() override;
    void StartTimer() override;
    void StopTimer() override;
    void Repaint(bool full) override;
    void AnchorFocused(int index) override;
    void TextChanged() override;
    int ScaleLength(int px96) const override { return ScaleTo(px96, dpi_); }

    // Hovering repaints often and must never flicker.
    PaintMode Painting() const override { return PaintMode::Buffered; }
    void HandlePaint(HDC dc, const RECT& client) override;
    bool HandleMouse(const MouseEvent& e) override;
    bool HandleKey(KeyEvent& e) override;
    LRESULT HandleDlgCode(WPARAM key, const MSG* m) override;
    bool HandleFocus(bool gained, HWND other) override;
    bool HandleTimer(UINT_PTR id) override;
    // Fonts, pictures and metrics follow the new DPI from the next layout on.
    void HandleDpiChanged(UINT dpi) override;
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void MakeHintWindow();
    // The hint window asks for its text and place.
    bool HintNotification(NMHDR* hdr, LRESULT& result);

    UniqueMemoryDC measureDC_; // laying out needs a context, not a window's
    UniqueWindow tip_;
    bool tracking_ = false;
    UINT dpi_ = kBaseDpi;                   // the window's, kept: asked on every layout
    LabelAccessible* accessible_ = nullptr; // one reference held while the window lives
};

} // namespace kes
