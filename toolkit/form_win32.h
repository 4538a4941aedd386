#pragma once
// A top-level form: it registers its class, answers the close box, Alt+F4 and the end of the
// Windows session through one close path, and ends the message loop when it is the main form.
#include "toolkit/component.h"
#include "toolkit/controls_win32.h"
#include "toolkit/window_win32.h"

#include <string>

namespace kes {

class TFormWindow : public TForm, public TWindow {
public:
    explicit TFormWindow(TComponent* owner) : TForm(owner) {}

    struct Params {
        const wchar_t* className = nullptr;
        std::string caption{};
        int width = 0, height = 0; // centred on the primary monitor
        int iconResource = 0;      // the class's big and small icon, from the module
        DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
        DWORD exStyle = WS_EX_CONTROLPARENT;
    };
    // Creates the window, hidden.
    void CreateForm(const Params& p);

    // Runs OnClose and destroys the window; an error of OnClose reaches the error box and the
    // window stays open. False when it stays open.
    bool Close();
    // The close event; also runs when the Windows session ends.
    TNotifyEvent OnClose;
    // Closing the main form ends the program's message loop.
    bool IsMainForm = false;

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    bool QueryEndSession();
    void EndSession(bool ending);
    // The window's icons at the system's sizes for `dpi`.
    void SetIconsFor(UINT dpi);
    int iconResource_ = 0;
    // What kept the close path from finishing when the session was to end; shown once the
    // session goes on, since a message box then would only hold up the log-off.
    std::string endSessionError_;
    bool closedForSession_ = false; // the close path ran for the session now ending
};

} // namespace kes
