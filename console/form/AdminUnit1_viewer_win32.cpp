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
    // A frozen view keeps its text, selection and scroll position; a log being packed for the
    // mail is read by the packing thread meanwhile.
    if (chbScroll->Checked() || !chkDebug->Checked() || mailCopy_)
        return;
    HWND memo = LogFile->Handle();
    const std::string primary = services_.DebugLogPath ? services_.DebugLogPath() : DebugLogPath();
    const std::string fallback =
        services_.FallbackLogPath ? services_.FallbackLogPath() : FallbackLogPath();
    // A log that only grew costs the view what was added, anything else shows it anew.
    using Result = LogFollower::Result;
    std::string tooLarge;
    std::uint64_t tooLargeSize = 0;
    bool shown = false;
    for (const std::string* path : {&primary, &fallback}) {
        const Result r = logShown_.Show(memo, *path);
        if (r == Result::kTooLarge && tooLarge.empty()) {
            tooLarge = *path;
            tooLargeSize = logShown_.TooLargeSize();
        }
        if ((shown = r == Result::kShown))
            break;
    }
    if (shown) {
        // Scrolled by its lines less one: the control stops at its last line, which thus
        // ends up at the top where the control allows it, wherever the view stood before.
        const int lines = ShownLineCount(memo);
        if (lines > 1)
            shown = SendMessageW(memo, EM_LINESCROLL, 0, lines - 1) != FALSE;
    }
    if (!shown) {
        logShown_.Forget();
        // A log too large to hold is there: asking for a restart would send the user the
        // wrong way.
        if (!tooLarge.empty())
            SetMemoText(memo, TooLargeLine(tooLarge, tooLargeSize));
        else
            SetMemoAnsiText(memo, std::string(kRestartOutlook) + "\r\n");
    }
}

void TQuillard::savelog1Click(TComponent*) {
    const bool chosen = services_.ExecuteSaveDialog ? services_.ExecuteSaveDialog(*SaveDialog1)
                                                    : ExecuteSaveDialog(*SaveDialog1);
    if (!chosen)
        return;
    // A log still being read is saved whole: the wait shows its progress.
    logShown_.WaitWhole();
    // The log as of the last tick (refreshes may have run while the dialog was open), the
    // part the view leaves out included; a message line as it stands.
    if (logShown_.Holds())
        SaveLogFile(SaveDialog1->FileName, logShown_.Log());
    else
        SaveFileBytes(SaveDialog1->FileName, MemoAnsiText(LogFile->Handle()));
}

void TQuillard::SpeedButton1Click(TComponent*) {
    // Display's own message loop keeps this window usable: a second press meanwhile would
    // start a second mail nested inside the first. So would one while the log is packed.
    if (composing_)
        return;
    composing_ = true;
    bool packing = false;
    const std::string caption = SpeedButton1->Text();
    const auto show = [this](const std::string& text) {
        SpeedButton1->SetText(text);
        InvalidateRect(SpeedButton1->Handle(), nullptr, FALSE);
        UpdateWindow(SpeedButton1->Handle());
    };
    const ScopeExit done([this, &packing, &caption, &show] {
        composing_ = packing;
        if (!packing)
            show(caption);
    });
    // The button tells the user what is waited for.
    logShown_.WaitWhole([&show](int percent) { show(ReadingCaption(percent)); });
    try {
        const std::wstring wide = Widen(StatusReport("\n"));
        const std::u16string report(wide.begin(), wide.end());
        if (!logShown_.Holds() || ChooseMailShape(logShown_.View().ShownFrom() == 0,
                                                  logShown_.Log().Size()) == MailShape::kInBody) {
            DisplaySupportMail(*olApp, ComposeSupportMailFor(nullptr, report));
            return;
        }
        // A big log takes seconds to pack: the window answers meanwhile and the button tells
        // how far it has come; the mail follows when the file is complete.
        mailCopy_ = std::make_unique<AttachedLogCopy>(logShown_.Log(), logShown_.Path(), hwnd_);
        packing = true;
        show(PackingCaption(0));
        mailCopy_->OnProgress = [show](int percent) { show(PackingCaption(percent)); };
        mailCopy_->OnDone = [this, show, caption, report](bool complete) {
            // Kept until Outlook has copied the file into the mail.
            const std::unique_ptr<AttachedLogCopy> copy = std::move(mailCopy_);
            const ScopeExit done([this] { composing_ = false; });
            show(caption);
            try {
                if (!complete)
                    throw Exception("the log could not be packed");
                DisplaySupportMail(*olApp, ComposeSupportMailFor(copy.get(), report));
            } catch (const std::exception&) {
                services_.ShowNotice("There was an error, sorry!");
            }
        };
    } catch (const std::exception&) {
        services_.ShowNotice("There was an error, sorry!");
    }
}

SupportMail TQuillard::ComposeSupportMailFor(const AttachedLogCopy* copy,
                                             const std::u16string& report) const {
    const auto u16 = [](const std::wstring& w) { return std::u16string(w.begin(), w.end()); };
    if (!logShown_.Holds())
        return ComposeSupportMail(u16(MemoText(LogFile->Handle())),
                                  report); // a message line, or nothing
    const LogBytes& log = logShown_.Log();
    const std::uint64_t from = logShown_.View().ShownFrom();
    if (!copy)
        return ComposeSupportMail(u16(WidenAnsi(LogTextOf(log, 0, log.Size()))), report);
    // Too big for a body: the whole log attached, the part the view shows in the body.
    const std::u16string tail = u16(WidenAnsi(LogTextOf(log, from, log.Size())));
    SupportMail mail = ComposeSupportMail(MailOmittedLine(from, u16(copy->Name())) + tail, report);
    mail.Attachments.push_back(u16(copy->Path()));
    mail.BodyIfNotAttached =
        ComposeSupportMail(u16(WidenAnsi(OmittedLine(from))) + tail, report).Body;
    return mail;
}

} // namespace kes
