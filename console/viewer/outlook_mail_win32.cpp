#include "console/viewer/outlook_mail_win32.h"

#include "console/viewer/log_viewer_win32.h"
#include "console/viewer/zip_writer.h"
#include "platform/scoped_win32.h"
#include "platform/utf_win32.h"
#include "toolkit/window_win32.h"

#include <objbase.h>
#include <oleauto.h>

#include <atomic>
#include <vector>

namespace kes {

namespace {

constexpr DWORD kCancelCall = static_cast<DWORD>(-1);

// COM asks this, on the thread that calls Outlook, what to do with a call that Outlook
// rejected: retry after a pause while the call is younger than the bound, else give up.
class BusyOutlookFilter : public IMessageFilter {
public:
    explicit BusyOutlookFilter(const TOutlookApplication& app) : app_(app) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IMessageFilter))
            return E_NOINTERFACE;
        *out = static_cast<IMessageFilter*>(this);
        AddRef();
        return S_OK;
    }
    // Lives on the stack of DisplaySupportMail, which unregisters it before it returns.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override {
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD elapsedMs, DWORD rejectType) override {
        // A plain rejection is final; only "retry later" is worth waiting for.
        if (rejectType != SERVERCALL_RETRYLATER || elapsedMs >= app_.BusyTimeoutMs)
            return kCancelCall;
        // Below 100 COM retries at once, from 100 on it waits that long first.
        return app_.BusyRetryDelayMs;
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }

private:
    const TOutlookApplication& app_;
};

// Registered for the thread while it lives; the filter that was there before comes back.
class FilterRegistration {
public:
    explicit FilterRegistration(IMessageFilter* filter) {
        registered_ = SUCCEEDED(CoRegisterMessageFilter(filter, previous_.Put()));
    }
    ~FilterRegistration() {
        if (registered_)
            CoRegisterMessageFilter(previous_.Get(), nullptr);
    }
    FilterRegistration(const FilterRegistration&) = delete;
    FilterRegistration& operator=(const FilterRegistration&) = delete;

private:
    ComPtr<IMessageFilter> previous_;
    bool registered_ = false;
};

// COM gives a busy server's "retry later" to the filter only across its own channel; when it
// arrives as the call's result instead (Wine's COM never consults the filter, and a server may
// answer so itself), the same filter decides.
template <class F> HRESULT Retrying(IMessageFilter& filter, F call) {
    const DWORD start = GetTickCount();
    for (;;) {
        const HRESULT hr = call();
        if (hr != RPC_E_SERVERCALL_RETRYLATER)
            return hr;
        const DWORD wait =
            filter.RetryRejectedCall(nullptr, GetTickCount() - start, SERVERCALL_RETRYLATER);
        if (wait == kCancelCall)
            return hr;
        if (wait >= 100)
            Sleep(wait);
    }
}

// `_Application` and `_MailItem` are dual interfaces: their pointers are IDispatch pointers.
ComPtr<IDispatch> AsDispatch(IMessageFilter& filter, IUnknown* unk, REFIID iid) {
    ComPtr<IDispatch> out;
    if (unk)
        Retrying(filter, [&] { return unk->QueryInterface(iid, out.PutVoid()); });
    return out;
}

HRESULT Call(IMessageFilter& filter, IDispatch* d, const wchar_t* name, WORD flags, VARIANT* args,
             UINT argCount, VARIANT* result) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = Retrying(
        filter, [&] { return d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); });
    if (FAILED(hr))
        return hr;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{args, nullptr, argCount, 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    return Retrying(filter, [&] {
        return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                         nullptr);
    });
}

// Attachments.Add(path): Outlook copies the file into the item at once.
bool Attach(IMessageFilter& filter, IDispatch* mailItem, const std::u16string& path) {
    UniqueVariant attachments;
    if (FAILED(Call(filter, mailItem, L"Attachments", DISPATCH_PROPERTYGET, nullptr, 0,
                    &attachments.v)) ||
        attachments.v.vt != VT_DISPATCH || !attachments.v.pdispVal)
        return false;
    UniqueVariant source, added;
    source.v.vt = VT_BSTR;
    source.v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(path.data()),
                                         static_cast<UINT>(path.size()));
    return source.v.bstrVal && SUCCEEDED(Call(filter, attachments.v.pdispVal, L"Add",
                                              DISPATCH_METHOD, &source.v, 1, &added.v));
}

void PutText(IMessageFilter& filter, IDispatch* d, const wchar_t* name,
             const std::u16string& text) {
    UniqueVariant arg;
    arg.v.vt = VT_BSTR;
    arg.v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                      static_cast<UINT>(text.size()));
    if (arg.v.bstrVal)
        Call(filter, d, name, DISPATCH_PROPERTYPUT, &arg.v, 1, nullptr);
}

} // namespace

struct AttachedLogCopy::Worker {
    explicit Worker(const LogBytes& l) : log(l) {}
    const LogBytes& log;
    std::uint64_t size = 0;
    std::string name, path;
    std::uint16_t dosTime = 0, dosDate = 0;
    std::atomic<bool> cancel{false}, done{false};
    std::atomic<std::uint64_t> packed{0};
    bool complete = false; // written before `done`
    UniqueKernelHandle thread;

    struct Cancelled {};
    static DWORD WINAPI Run(void* arg) {
        auto* w = static_cast<Worker*>(arg);
        try {
            // The log's text as savelog writes it, a piece at a time.
            ZipWriter zip(w->name, w->dosTime, w->dosDate);
            std::string text;
            CrLfConverter conv(text, 0, NulBytes::kKeep);
            w->log.ForEachPiece(0, w->size, [&](std::string_view piece) {
                if (w->cancel.load(std::memory_order_relaxed))
                    throw Cancelled{};
                conv.Feed(piece);
                zip.Write(text);
                text.clear();
                w->packed.fetch_add(piece.size(), std::memory_order_relaxed);
            });
            SaveFileBytes(w->path, zip.Finish());
            w->complete = true;
        } catch (...) {
            // Cancelled, out of memory, or the file could not be written: not complete.
        }
        w->done.store(true, std::memory_order_release);
        return 0;
    }
};

AttachedLogCopy::AttachedLogCopy(const LogBytes& log, const std::string& logPath, HWND window)
    : window_(window) {
    wchar_t tmp[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, tmp);
    if (n == 0 || n >= MAX_PATH)
        throw Exception("Kein tempor\xC3\xA4rer Ordner");
    std::wstring name = Widen(logPath);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    if (name.empty())
        name = L"debug.log";
    for (unsigned i = 0;; ++i) {
        folder_ = std::wstring(tmp, n) + L"Kestrova mail " +
                  std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(i);
        if (CreateDirectoryW(folder_.c_str(), nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS || i == 1000)
            throw Exception("Kein tempor\xC3\xA4rer Ordner");
    }
    const size_t dot = name.rfind(L'.');
    path_ = folder_ + L"\\" + name.substr(0, dot == 0 ? name.size() : dot) + L".zip";
    try {
        SYSTEMTIME now;
        GetLocalTime(&now);
        worker_ = std::make_unique<Worker>(log);
        worker_->size = log.Size();
        worker_->name = Narrow(name);
        worker_->path = Narrow(path_);
        worker_->dosTime =
            static_cast<std::uint16_t>(now.wHour << 11 | now.wMinute << 5 | now.wSecond / 2);
        worker_->dosDate =
            static_cast<std::uint16_t>((now.wYear - 1980) << 9 | now.wMonth << 5 | now.wDay);
        worker_->thread.Reset(CreateThread(nullptr, 0, &Worker::Run, worker_.get(), 0, nullptr));
        if (!worker_->thread)
            throw Exception("Kein Thread f\xC3\xBCr das Zip");
    } catch (...) {
        // No destructor runs for an object whose construction failed.
        RemoveDirectoryW(folder_.c_str());
        throw;
    }
    SetTimer(window_, reinterpret_cast<UINT_PTR>(this), 50, &Tick);
}

AttachedLogCopy::~AttachedLogCopy() {
    if (IsWindow(window_))
        KillTimer(window_, reinterpret_cast<UINT_PTR>(this));
    if (worker_ && worker_->thread) {
        worker_->cancel.store(true);
        WaitForSingleObject(worker_->thread.Get(), INFINITE);
    }
    DeleteFileW(path_.c_str());
    RemoveDirectoryW(folder_.c_str());
}

int AttachedLogCopy::Percent() const {
    const std::uint64_t size = worker_->size;
    return size ? static_cast<int>(worker_->packed.load(std::memory_order_relaxed) * 100 / size)
                : 100;
}

void CALLBACK AttachedLogCopy::Tick(HWND, UINT, UINT_PTR id, DWORD) {
    // The timer's identifier is the copy itself; it is killed before the copy goes.
    try {
        reinterpret_cast<AttachedLogCopy*>(id)->Poll();
    } catch (const std::exception& e) {
        Application().HandleException(e);
    }
}

void AttachedLogCopy::Poll() {
    if (!worker_->done.load(std::memory_order_acquire)) {
        const int percent = Percent();
        if (percent != shown_ && OnProgress)
            OnProgress(percent);
        shown_ = percent;
        return;
    }
    KillTimer(window_, reinterpret_cast<UINT_PTR>(this));
    WaitForSingleObject(worker_->thread.Get(), INFINITE);
    const bool complete = worker_->complete;
    // Last: it may destroy this object.
    if (const std::function<void(bool)> done = std::move(OnDone))
        done(complete);
}

void TOutlookApplication::Connect() {
    if (app_)
        return;
    UseCom(); // Outlook's single-threaded apartment, this thread's
    BusyOutlookFilter filter(*this);
    ComPtr<IUnknown> unk;
    if (FAILED(GetActiveObject(CLSID_OutlookApplication, nullptr, unk.Put())) || !unk) {
        const HRESULT hr = CoCreateInstance(CLSID_OutlookApplication, nullptr,
                                            CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                            IID_IUnknown, unk.PutVoid());
        if (FAILED(hr) || !unk)
            throw OutlookError("Outlook could not be started");
    }
    app_ = AsDispatch(filter, unk.Get(), IID__Application);
    if (!app_)
        throw OutlookError("Outlook has no application interface");
}

void TOutlookApplication::Disconnect() {
    app_.Reset();
}

void DisplaySupportMail(TOutlookApplication& app, const SupportMail& mail) {
    BusyOutlookFilter filter(app);
    const FilterRegistration registration(&filter);
    app.Connect();
    UniqueVariant type, item;
    type.v.vt = VT_I4;
    type.v.lVal = olMailItem;
    if (FAILED(Call(filter, app.DefaultInterface(), L"CreateItem", DISPATCH_METHOD, &type.v, 1,
                    &item.v)))
        throw OutlookError("Outlook made no mail item");
    IUnknown* unk = nullptr;
    if (item.v.vt == VT_DISPATCH)
        unk = item.v.pdispVal;
    else if (item.v.vt == VT_UNKNOWN)
        unk = item.v.punkVal;
    ComPtr<IDispatch> mi = AsDispatch(filter, unk, IID__MailItem);
    if (!mi)
        throw OutlookError("Outlook's item is no mail item");
    PutText(filter, mi.Get(), L"To", mail.To);
    PutText(filter, mi.Get(), L"Subject", mail.Subject);
    // A body that promises an attachment only when there is one.
    bool attached = true;
    for (const std::u16string& path : mail.Attachments)
        attached = Attach(filter, mi.Get(), path) && attached;
    PutText(filter, mi.Get(), L"Body", attached ? mail.Body : mail.BodyIfNotAttached);
    // Modal: returns when the user has closed the mail window, sent or not.
    UniqueVariant modal;
    modal.v.vt = VT_BOOL;
    modal.v.boolVal = VARIANT_TRUE;
    UniqueVariant ignored;
    Call(filter, mi.Get(), L"Display", DISPATCH_METHOD, &modal.v, 1, &ignored.v);
}

} // namespace kes
