// The debug-log view, its saved copy and the support mail.
#include "console/form/AdminUnit1.h"
#include "console/viewer/log_viewer_win32.h"
#include "console/viewer/outlook_mail_win32.h"
#include "platform/utf_win32.h"

#include <commdlg.h>

namespace kes {
namespace {
const char kRestartOutlook[] = "Please restart Outlook to get this logfile";
} // namespace

std::unique_ptr<TSaveDialog> TQuillard::NewSaveDialog1(TComponent* owner) {
    auto d = std::make_unique<TSaveDialog>(owner, "SaveDialog1");
    d->Title = "save logfile";
    d->Filter = "Logfile|*.log|Text|*.txt";
    d->FilterIndex = 1;
    d->DefaultExt = "txt";
    d->InitialDir = "C:\\temp";
    // No question before an existing file is replaced.
    d->Options = OFN_HIDEREADONLY | OFN_ENABLESIZING;
    return d;
}

void TQuillard::Timer1Timer(TComponent*) {
    // A frozen view keeps its text, selection and scroll position.
    if (chbScroll->Checked() || !chkDebug->Checked())
        return;
    HWND memo = LogFile->Handle();
    const std::string primary = services_.DebugLogPath ? services_.DebugLogPath() : DebugLogPath();
    const std::string fallback =
        services_.FallbackLogPath ? services_.FallbackLogPath() : FallbackLogPath();
    // A log that only grew is appended to the view, anything else reloads it whole.
    bool shown = logShown_.Show(memo, primary) || logShown_.Show(memo, fallback);
    if (shown) {
        // Scrolled by its lines less one: the control stops at its last line, which thus
        // ends up at the top where the control allows it, wherever the view stood before.
        const int lines = ShownLineCount(memo);
        if (lines > 1)
            shown = SendMessageW(memo, EM_LINESCROLL, 0, lines - 1) != FALSE;
    }
    if (!shown) {
        logShown_.Forget();
        SetMemoAnsiText(memo, std::string(kRestartOutlook) + "\r\n");
    }
}

void TQuillard::savelog1Click(TComponent*) {
    const bool chosen = services_.ExecuteSaveDialog ? services_.ExecuteSaveDialog(*SaveDialog1)
                                                    : ExecuteSaveDialog(*SaveDialog1);
    if (!chosen)
        return;
    // The text at this moment: refreshes may have run while the dialog was open.
    SaveFileBytes(SaveDialog1->FileName, MemoAnsiText(LogFile->Handle()));
}

void TQuillard::SpeedButton1Click(TComponent*) {
    // Display's own message loop keeps this window usable: a second press meanwhile would
    // start a second mail nested inside the first.
    if (composing_)
        return;
    composing_ = true;
    const ScopeExit done([this] { composing_ = false; });
    const std::wstring shown = MemoText(LogFile->Handle());
    const std::wstring report = Widen(StatusReport("\n"));
    try {
        DisplaySupportMail(*olApp,
                           ComposeSupportMail(std::u16string(shown.begin(), shown.end()),
                                              std::u16string(report.begin(), report.end())));
    } catch (const std::exception&) {
        services_.ShowNotice("There was an error, sorry!");
    }
}

} // namespace kes
