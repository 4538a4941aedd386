#pragma once
// The add-in status window: the report as read-only text, "Copy" and "OK". A real EDIT and
// real buttons, so keyboard and screen readers work as in any dialog: Tab between them, Enter
// and Escape close, the text's label names it.
#include "toolkit/form_win32.h"

#include <memory>
#include <string>

namespace kes {

extern const char kStatusCaption[];

class TStatusWindow : public TFormWindow {
public:
    // `report` with CR LF line breaks, as the EDIT and the clipboard take them.
    TStatusWindow(TComponent* owner, std::string report);
    ~TStatusWindow() override;

    // Creates the window over `owner` (disabled meanwhile) and shows it with the text focused.
    void Show(HWND owner);
    // Show, then runs the window's own message loop until it is closed.
    void ShowModal(HWND owner);

    std::unique_ptr<TLabel> Label1;
    std::unique_ptr<TMemo> ReportText;
    std::unique_ptr<TButton> CopyButton, OkButton;
    void CopyButtonClick(TComponent* Sender);
    void OkButtonClick(TComponent* Sender);

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Layout(int width, int height);
    void ReleaseOwner();
    std::string report_;
    HWND owner_ = nullptr;
    HWND focus_ = nullptr; // what had the focus when the window was last deactivated
};

} // namespace kes
