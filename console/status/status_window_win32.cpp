#include "console/status/status_window_win32.h"

#include "platform/utf_win32.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace kes {

const char kStatusCaption[] = "add-in status / Add-In-Status";

namespace {
const wchar_t kStatusClass[] = L"KestrovaStatusWindow";
constexpr int kWidth = 640, kHeight = 480, kMinWidth = 360, kMinHeight = 240;
constexpr int kMargin = 8, kLabelHeight = 13, kButtonWidth = 81, kButtonHeight = 25;
constexpr int kRepairWidth = 130;
constexpr int kCopyId = 101, kReportId = 102, kRepairId = 103;
// The worker's word that its job is done.
constexpr UINT kJobDone = WM_APP + 1;
const char kReading[] = "Reading the add-in's status ... / Der Add-In-Status wird gelesen ...";

// Puts UTF-16 text on the clipboard as CF_UNICODETEXT, which Windows converts for anyone who
// asks for plain text.
void CopyToClipboard(HWND owner, const std::wstring& text) {
    // Another program may hold the clipboard for a moment.
    bool open = false;
    for (int tries = 0; tries < 10 && !(open = OpenClipboard(owner) != FALSE); ++tries)
        Sleep(20);
    if (!open)
        throw Exception("The clipboard is in use, please try again / Die Zwischenablage ist "
                        "belegt, bitte noch einmal versuchen");
    const ScopeExit close([] { CloseClipboard(); });
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    void* p = memory ? GlobalLock(memory.Get()) : nullptr;
    if (!p)
        throw Exception("Nicht genug Speicher");
    std::memcpy(p, text.c_str(), bytes);
    GlobalUnlock(memory.Get());
    EmptyClipboard();
    // The clipboard owns the memory once it took it.
    if (SetClipboardData(CF_UNICODETEXT, memory.Get()))
        memory.Release();
    else
        throw Exception("Konnte die Zwischenablage nicht f\xC3\xBCllen");
}
} // namespace

// What the worker hands back; the window takes it when told.
struct TStatusWindow::Job {
    status::StatusFacts facts;
    std::vector<std::string> repaired;
    std::string error;
};

TStatusWindow::TStatusWindow(TComponent* owner, std::string report)
    : TFormWindow(owner), report_(std::move(report)) {
    Name = "StatusWindow";
    OnClose = [this](TComponent*) { ReleaseOwner(); };
}

TStatusWindow::TStatusWindow(TComponent* owner, StatusWork work)
    : TStatusWindow(owner, std::string(kReading) + "\r\n") {
    work_ = std::move(work);
    Confirm = [](HWND owner, const std::string& question) {
        return MessageBoxW(owner, Widen(question).c_str(), Widen(kStatusCaption).c_str(),
                           MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
    };
}

TStatusWindow::~TStatusWindow() {
    // The worker only reads and posts; it is waited for, never left running.
    if (worker_.joinable())
        worker_.join();
    ReleaseOwner();
    DestroyHandle();
}

void TStatusWindow::Start(std::vector<status::RepairStep> plan) {
    if (worker_.joinable())
        worker_.join();
    job_ = std::make_shared<Job>();
    ShowReport(plan.empty() ? report_ : "Repairing ... / Reparatur l\xC3\xA4uft ...\r\n");
    if (RepairButton)
        RepairButton->SetEnabled(false);
    CopyButton->SetEnabled(false);
    worker_ = std::thread([job = job_, work = work_, plan = std::move(plan), target = hwnd_] {
        // The window joins this thread before it looks at the job.
        try {
            if (!plan.empty())
                job->repaired = work.Apply(plan).lines;
            job->facts = work.Read();
        } catch (const std::exception& e) {
            job->error = e.what();
        }
        PostMessageW(target, kJobDone, 0, 0);
    });
}

void TStatusWindow::Finish() {
    if (!job_)
        return;
    worker_.join();
    const std::shared_ptr<Job> job = std::move(job_);
    std::string text;
    if (!job->repaired.empty()) {
        text = "Repair / Reparatur\r\n";
        for (const std::string& line : job->repaired)
            text += "  " + line + "\r\n";
        text += "\r\n";
    }
    bool changes = false;
    if (job->error.empty()) {
        facts_ = std::move(job->facts);
        std::vector<std::string> lines = status::ComposeReport(facts_);
        lines.emplace_back();
        for (std::string& line : status::VerdictLines(status::Blockers(facts_)))
            lines.push_back(std::move(line));
        text += status::JoinLines(lines, "\r\n");
        changes = status::ChangesAnything(status::PlanRepair(facts_));
    } else {
        text +=
            "The status could not be read / Der Status konnte nicht gelesen werden: " + job->error +
            "\r\n";
    }
    report_ = text;
    ShowReport(report_);
    if (RepairButton)
        RepairButton->SetEnabled(changes);
    CopyButton->SetEnabled(true);
}

void TStatusWindow::ShowReport(const std::string& text) {
    ReportText->SetText(text);
    // The caret at the start, nothing selected: reading begins at the first line.
    SendMessageW(ReportText->Handle(), EM_SETSEL, 0, 0);
}

void TStatusWindow::RepairButtonClick(TComponent*) {
    if (Busy())
        return;
    std::vector<status::RepairStep> plan = status::PlanRepair(facts_);
    if (!status::ChangesAnything(plan))
        return;
    std::string question = "Repair changes this / Die Reparatur \xC3\xA4ndert dies:\n\n";
    for (const std::string& line : status::PlanLines(plan))
        question += line + "\n";
    question += "\nRepair now? / Jetzt reparieren?";
    if (!Confirm || !Confirm(hwnd_, question))
        return;
    Start(std::move(plan));
}

void TStatusWindow::Show(HWND owner) {
    owner_ = owner;
    RegisterWindowClass(kStatusClass, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (owner)
        GetWindowRect(owner, &area);
    // Owned by the console's window: above it, and no button of its own on the taskbar.
    CreateWindowFor({.className = kStatusClass,
                     .text = Widen(kStatusCaption),
                     .style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN,
                     .exStyle = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME,
                     .bounds = {area.left, area.top, kWidth, kHeight},
                     .parent = owner});
    // Sized for the screen it opens on, centred over its owner, before it is shown.
    dpi_ = Dpi();
    const int width = Px(kWidth), height = Px(kHeight);
    SetWindowPos(hwnd_, nullptr, std::max<int>(0, area.left + (area.right - area.left - width) / 2),
                 std::max<int>(0, area.top + (area.bottom - area.top - height) / 2), width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // The label stands right before the text: screen readers name the text after it.
    Label1 = std::make_unique<TLabel>(this, "Label1", hwnd_, Bounds{}, "Report / Bericht:", 0);
    ReportText = std::make_unique<TMemo>(this, "ReportText", hwnd_, Bounds{}, kReportId,
                                         WS_VSCROLL | WS_HSCROLL | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                                             ES_NOHIDESEL);
    // No limit: the report of a machine with thousands of add-ins is long.
    SendMessageW(ReportText->Handle(), EM_SETLIMITTEXT, 0, 0);
    ReportText->SetText(report_);
    if (work_.Read) {
        RepairButton = std::make_unique<TButton>(this, "RepairButton", hwnd_, Bounds{},
                                                 "&Repair / Reparieren", kRepairId);
        RepairButton->OnClick = [this](TComponent* s) { RepairButtonClick(s); };
        RepairButton->SetEnabled(false);
    }
    CopyButton = std::make_unique<TButton>(this, "CopyButton", hwnd_, Bounds{}, "&Copy", kCopyId);
    OkButton = std::make_unique<TButton>(this, "OkButton", hwnd_, Bounds{}, "OK", IDOK);
    SendMessageW(OkButton->Handle(), BM_SETSTYLE, BS_DEFPUSHBUTTON, FALSE);
    CopyButton->OnClick = [this](TComponent* s) { CopyButtonClick(s); };
    OkButton->OnClick = [this](TComponent* s) { OkButtonClick(s); };
    RECT client;
    GetClientRect(hwnd_, &client);
    Layout(client.right, client.bottom);
    if (owner_)
        EnableWindow(owner_, FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
    SetFocus(ReportText->Handle());
    // The caret at the start, nothing selected: reading begins at the first line.
    SendMessageW(ReportText->Handle(), EM_SETSEL, 0, 0);
    if (work_.Read)
        Start({});
}

void TStatusWindow::ShowModal(HWND owner) {
    Show(owner);
    const HWND self = hwnd_;
    MSG msg;
    while (IsWindow(self)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: the main loop must see its quit message too.
            if (got == 0)
                PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageW(self, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void TStatusWindow::CopyButtonClick(TComponent*) {
    CopyToClipboard(hwnd_, Widen(report_));
}

void TStatusWindow::OkButtonClick(TComponent*) {
    Close();
}

// The owner comes back before this window goes, so activation returns to it and not to some
// other program's window.
void TStatusWindow::ReleaseOwner() {
    if (owner_ && IsWindow(owner_))
        EnableWindow(owner_, TRUE);
    owner_ = nullptr;
}

void TStatusWindow::Layout(int width, int height) {
    const int margin = Px(kMargin), buttonWidth = Px(kButtonWidth),
              buttonHeight = Px(kButtonHeight);
    const int buttonsTop = height - margin - buttonHeight;
    MoveWindow(Label1->Handle(), margin, margin, width - 2 * margin, Px(kLabelHeight), TRUE);
    const int textTop = margin + Px(kLabelHeight) + Px(4);
    MoveWindow(ReportText->Handle(), margin, textTop, std::max(width - 2 * margin, 0),
               std::max(buttonsTop - margin - textTop, 0), TRUE);
    MoveWindow(OkButton->Handle(), width - margin - buttonWidth, buttonsTop, buttonWidth,
               buttonHeight, TRUE);
    MoveWindow(CopyButton->Handle(), width - 2 * (margin + buttonWidth), buttonsTop, buttonWidth,
               buttonHeight, TRUE);
    if (RepairButton)
        MoveWindow(RepairButton->Handle(),
                   width - 2 * (margin + buttonWidth) - margin - Px(kRepairWidth), buttonsTop,
                   Px(kRepairWidth), buttonHeight, TRUE);
}

// The base has taken the suggested rectangle; the controls take this DPI's font and places.
void TStatusWindow::HandleDpiChanged(UINT dpi) {
    if (!dpi || !ReportText)
        return;
    dpi_ = dpi;
    for (TWinControl* c :
         {static_cast<TWinControl*>(Label1.get()), static_cast<TWinControl*>(ReportText.get()),
          static_cast<TWinControl*>(RepairButton.get()),
          static_cast<TWinControl*>(CopyButton.get()), static_cast<TWinControl*>(OkButton.get())})
        if (c)
            SendMessageW(c->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(DefaultFont(dpi)), TRUE);
    RECT client;
    GetClientRect(hwnd_, &client);
    Layout(client.right, client.bottom);
}

LRESULT TStatusWindow::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case kJobDone:
        Finish();
        return 0;
    case WM_COMMAND:
        // Escape, through the dialog keys, comes as IDCANCEL from no control of ours.
        if (LOWORD(wp) == IDCANCEL) {
            Close();
            return 0;
        }
        break;
    // A multiline EDIT in dialog mode asks its parent as a dialog: for the default button on
    // Enter, to move on at Tab. Without these answers both keys would do nothing in the text.
    case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_NEXTDLGCTL: {
        const HWND next =
            LOWORD(lp) ? reinterpret_cast<HWND>(wp) : GetNextDlgTabItem(hwnd_, GetFocus(), wp != 0);
        if (next)
            SetFocus(next);
        return 0;
    }
    case WM_SIZE:
        if (ReportText)
            Layout(LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = {Px(kMinWidth), Px(kMinHeight)};
        return 0;
    case WM_ACTIVATE:
        // A plain window forgets its focus when another one is activated; a dialog keeps it.
        if (LOWORD(wp) == WA_INACTIVE) {
            const HWND f = GetFocus();
            focus_ = f && IsChild(hwnd_, f) ? f : nullptr;
        } else if (focus_ && IsWindow(focus_)) {
            SetFocus(focus_);
            return 0;
        }
        break;
    }
    return TFormWindow::WndProc(msg, wp, lp);
}

} // namespace kes
