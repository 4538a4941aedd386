#pragma once
// The add-in status window: the report as read-only text, "Copy" and "OK". A real EDIT and
// real buttons, so keyboard and screen readers work as in any dialog: Tab between them, Enter
// and Escape close, the text's label names it.
#include "console/status/status.h"
#include "toolkit/form_win32.h"

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace kes {

extern const char kStatusCaption[];

// What the window does off its thread, so that it answers while the registry is read: read
// the facts, and carry out a repair plan. Both run on one worker thread, one job at a time.
struct StatusWork {
    std::function<status::StatusFacts()> Read;
    std::function<status::RepairResult(const std::vector<status::RepairStep>&)> Apply;
};

class TStatusWindow : public TFormWindow {
public:
    // A fixed report, `report` with CR LF line breaks, as the EDIT and the clipboard take them.
    TStatusWindow(TComponent* owner, std::string report);
    // The report read when the window opens, and the Repair button.
    TStatusWindow(TComponent* owner, StatusWork work);
    ~TStatusWindow() override;

    // Asks before repair changes anything; a message box with Yes and No by default.
    std::function<bool(HWND owner, const std::string& question)> Confirm;

    // Creates the window over `owner` (disabled meanwhile) and shows it with the text focused.
    void Show(HWND owner);
    // Show, then runs the window's own message loop until it is closed.
    void ShowModal(HWND owner);

    std::unique_ptr<TLabel> Label1;
    std::unique_ptr<TMemo> ReportText;
    std::unique_ptr<TButton> RepairButton; // only when the window reads the report itself
    std::unique_ptr<TButton> CopyButton, OkButton;
    void RepairButtonClick(TComponent* Sender);
    void CopyButtonClick(TComponent* Sender);
    void OkButtonClick(TComponent* Sender);
    // Whether a read or a repair is under way.
    bool Busy() const { return job_ != nullptr; }

protected:
    LRESULT WndProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void HandleDpiChanged(UINT dpi) override;

private:
    struct Job;
    int Px(int px96) const { return ScaleTo(px96, dpi_); }
    void Layout(int width, int height);
    void ReleaseOwner();
    // Runs `plan` (if any) and a fresh read on the worker; the window shows that it reads.
    void Start(std::vector<status::RepairStep> plan);
    void Finish();
    void ShowReport(const std::string& text);
    std::string report_;
    StatusWork work_;
    status::StatusFacts facts_;
    std::shared_ptr<Job> job_;
    std::thread worker_;
    HWND owner_ = nullptr;
    HWND focus_ = nullptr; // what had the focus when the window was last deactivated
    UINT dpi_ = kBaseDpi;  // the layout's pixels are 96-DPI ones, scaled to this
};

} // namespace kes
