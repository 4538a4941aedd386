#pragma once
// The support mail through Outlook's automation interface, reached by name through IDispatch.
#include "console/viewer/log_text.h"
#include "console/viewer/outlook_ids_win32.h"
#include "console/viewer/outlook_mail.h"
#include "platform/scoped_win32.h"
#include "toolkit/component.h"

#include <windows.h>

#include <oaidl.h>

#include <functional>
#include <memory>
#include <string>

namespace kes {

constexpr int olMailItem = 0;

class OutlookError : public Exception {
public:
    using Exception::Exception;
};

// Outlook's application object: a running Outlook if there is one, else a new one. The
// interface is kept from the first successful connection until the binding goes.
class TOutlookApplication : public TComponent {
public:
    TOutlookApplication(TComponent* owner, const char* name) : TComponent(owner) { Name = name; }
    // Releases the interface. Outlook is not asked to quit: it may be the user's own.
    ~TOutlookApplication() override { Disconnect(); }
    // Does nothing when connected; raises OutlookError when no Outlook gives `_Application`.
    void Connect();
    void Disconnect();
    bool Connected() const { return static_cast<bool>(app_); }
    IDispatch* DefaultInterface() const { return app_.Get(); }

    // An Outlook that answers "retry later" (starting, loading its add-ins) is asked again
    // after this pause, for at most this long per call; then the call fails.
    DWORD BusyRetryDelayMs = 250;
    DWORD BusyTimeoutMs = 30000;

private:
    ComPtr<IDispatch> app_;
};

// The whole log, line breaks made CR LF, zipped (logs shrink several times, so that the mail
// passes servers' size limits) as a file in a folder of its own below the temporary folder,
// for Outlook to attach. A log of hundreds of MB takes seconds to pack: a worker thread packs
// it, and the window's thread hears how far it has come and when it is done through a timer on
// `window`. Removed with the object: Outlook has copied it into the mail by then.
class AttachedLogCopy {
public:
    // `logPath` names the log: the archive holds it under its file name, and is named after it
    // ("Kestrova_debug.zip"). `log` must stay as it is until OnDone ran or the object is gone.
    // Raises Exception when no folder can be made for it.
    AttachedLogCopy(const LogBytes& log, const std::string& logPath, HWND window);
    // A zip still going stops within one megabyte of the log; the file and its folder go.
    ~AttachedLogCopy();
    AttachedLogCopy(const AttachedLogCopy&) = delete;
    AttachedLogCopy& operator=(const AttachedLogCopy&) = delete;
    const std::wstring& Path() const { return path_; }
    // The file name that the mail shows.
    std::wstring Name() const { return path_.substr(folder_.size() + 1); }
    // How much of the log is packed, in per cent.
    int Percent() const;
    // On the window's thread: each new percentage while the worker packs, then once whether
    // the file is complete. OnDone may destroy the object.
    std::function<void(int percent)> OnProgress;
    std::function<void(bool complete)> OnDone;

private:
    struct Worker;
    void Poll();
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);

    std::wstring folder_, path_;
    HWND window_;
    std::unique_ptr<Worker> worker_;
    int shown_ = -1;
};

// Connects, creates a mail item, sets To, Subject, the attachments and Body and displays it
// modally. Raises
// OutlookError when connecting, creating the item or getting its `_MailItem` fails; what Outlook
// answers to the fields and to Display is not examined. Meanwhile a message filter of ours is
// registered for the thread (the previous one is put back afterwards), so that a busy Outlook
// is retried within the binding's bounds. Nothing is ever read from the mail and Send is never
// called: either would raise Outlook's security prompt.
void DisplaySupportMail(TOutlookApplication& app, const SupportMail& mail);

} // namespace kes
