// A stand-in for Outlook's application object, for the support mail's tests. Registered in the
// test prefix under Outlook's class, it records what the console asks of it; the tests read the
// record through the exported Fake* functions.
#include "console/viewer/outlook_ids_win32.h"
#include "platform/scoped_win32.h"

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <vector>

namespace {

const CLSID& kOutlookClass = kes::CLSID_OutlookApplication;
const IID& kApplication = kes::IID__Application;
const IID& kMailItem = kes::IID__MailItem;

struct Attachment {
    std::wstring path;
    std::string bytes; // the file as it was when added: Outlook copies it into the item then
};

struct Mail {
    std::wstring to, subject, body, calls;
    std::vector<Attachment> attachments;
    long itemType = -1;
    VARTYPE displayType = VT_EMPTY;
    long displayValue = 0;
};

struct Record {
    int instances = 0, quits = 0, live = 0;
    int refuse = 0; // 1: CreateItem fails, 2: the item has no _MailItem, 3: Attachments.Add fails
    // Calls still to be answered "retry later", as an Outlook that is starting does; of those
    // answered so, how many found a message filter on the caller's thread that would retry.
    int busy = 0, rejected = 0, filtered = 0;
    void (*onDisplay)(void*) = nullptr;
    void* onDisplayContext = nullptr;
    std::vector<Mail> mails;
} g;

// Answers "retry later" while busy, and asks the caller's thread filter what it would do.
bool Busy() {
    if (g.busy <= 0)
        return false;
    --g.busy;
    ++g.rejected;
    IMessageFilter* filter = nullptr;
    CoRegisterMessageFilter(nullptr, &filter);
    if (filter) {
        if (filter->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER) != static_cast<DWORD>(-1))
            ++g.filtered;
        CoRegisterMessageFilter(filter, nullptr);
        filter->Release();
    }
    return true;
}

class Dispatch : public IDispatch {
public:
    Dispatch(const IID& own, std::vector<std::wstring> names)
        : own_(own), names_(std::move(names)) {
        ++g.live;
    }
    virtual ~Dispatch() { --g.live; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            (IsEqualIID(iid, own_) && Offers()))
            *out = static_cast<IDispatch*>(this);
        if (!*out)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG r = --refs_;
        if (r == 0)
            delete this;
        return r;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (Busy())
            return RPC_E_SERVERCALL_RETRYLATER;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (size_t k = 0; k < names_.size(); ++k)
                if (_wcsicmp(names[i], names_[k].c_str()) == 0)
                    ids[i] = static_cast<DISPID>(k + 1);
            if (ids[i] == DISPID_UNKNOWN)
                hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }

protected:
    virtual bool Offers() const { return true; }

private:
    IID own_;
    std::vector<std::wstring> names_;
    ULONG refs_ = 1;
};

std::string ReadWholeFile(const wchar_t* path) {
    const kes::UniqueFile f(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string out;
    if (!f)
        return out;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(f.Get(), buf, sizeof buf, &n, nullptr) && n > 0)
        out.append(buf, n);
    return out;
}

// The mail's Attachments collection: Add(Source) takes a file by path.
class Attachments : public Dispatch {
public:
    explicit Attachments(size_t index) : Dispatch(IID_IDispatch, {L"Add"}), index_(index) {}
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        if (Busy())
            return RPC_E_SERVERCALL_RETRYLATER;
        if (id != 1 || !(flags & DISPATCH_METHOD) || p->cArgs < 1)
            return DISP_E_MEMBERNOTFOUND;
        const VARIANT& source = p->rgvarg[p->cArgs - 1]; // the first argument comes last
        if (source.vt != VT_BSTR)
            return DISP_E_TYPEMISMATCH;
        Mail& m = g.mails[index_];
        m.calls += L"Attach,";
        if (g.refuse == 3)
            return E_FAIL;
        const std::wstring path(source.bstrVal, SysStringLen(source.bstrVal));
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return E_INVALIDARG;
        m.attachments.push_back({path, ReadWholeFile(path.c_str())});
        return S_OK;
    }

private:
    size_t index_;
};

class MailItem : public Dispatch {
public:
    explicit MailItem(size_t index)
        : Dispatch(kMailItem, {L"To", L"Subject", L"Body", L"Display", L"Send", L"Attachments"}),
          index_(index) {}
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (Busy())
            return RPC_E_SERVERCALL_RETRYLATER;
        Mail& m = g.mails[index_];
        if (id == 6 && (flags & DISPATCH_PROPERTYGET) && result) {
            VariantInit(result);
            result->vt = VT_DISPATCH;
            result->pdispVal = new Attachments(index_);
            return S_OK;
        }
        // Reading a field (Body is protected) and Send raise Outlook's security prompt: they
        // are recorded, so a test sees any.
        if (id >= 1 && id <= 3 && !(flags & DISPATCH_PROPERTYPUT)) {
            m.calls += id == 1 ? L"get To," : id == 2 ? L"get Subject," : L"get Body,";
            return DISP_E_MEMBERNOTFOUND;
        }
        if (id == 5) {
            m.calls += L"Send,";
            return S_OK;
        }
        if (id >= 1 && id <= 3) {
            if (p->cArgs != 1 || p->cNamedArgs != 1 ||
                p->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT || p->rgvarg[0].vt != VT_BSTR)
                return DISP_E_TYPEMISMATCH;
            const std::wstring v(p->rgvarg[0].bstrVal, SysStringLen(p->rgvarg[0].bstrVal));
            (id == 1 ? m.to : id == 2 ? m.subject : m.body) = v;
            m.calls += id == 1 ? L"To," : id == 2 ? L"Subject," : L"Body,";
            return S_OK;
        }
        if (id == 4 && (flags & DISPATCH_METHOD) && p->cArgs == 1) {
            m.displayType = p->rgvarg[0].vt;
            m.displayValue = p->rgvarg[0].vt == VT_BOOL ? p->rgvarg[0].boolVal
                             : p->rgvarg[0].vt == VT_I2 ? p->rgvarg[0].iVal
                                                        : 0;
            m.calls += L"Display,";
            // Display is modal: whatever the user does meanwhile happens inside this call.
            if (g.onDisplay)
                g.onDisplay(g.onDisplayContext);
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    bool Offers() const override { return g.refuse != 2; }

private:
    size_t index_;
};

class Application : public Dispatch {
public:
    Application() : Dispatch(kApplication, {L"CreateItem", L"Quit"}) {}
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p,
                                     VARIANT* result, EXCEPINFO*, UINT*) override {
        if (Busy())
            return RPC_E_SERVERCALL_RETRYLATER;
        if (!(flags & DISPATCH_METHOD))
            return DISP_E_MEMBERNOTFOUND;
        if (id == 2) {
            ++g.quits;
            return S_OK;
        }
        if (id != 1 || p->cArgs != 1 || !result)
            return DISP_E_BADPARAMCOUNT;
        if (g.refuse == 1)
            return E_FAIL;
        kes::UniqueVariant type;
        if (FAILED(VariantChangeType(&type.v, &p->rgvarg[0], 0, VT_I4)))
            return DISP_E_TYPEMISMATCH;
        g.mails.emplace_back();
        g.mails.back().itemType = type.v.lVal;
        VariantInit(result);
        result->vt = VT_DISPATCH;
        result->pdispVal = new MailItem(g.mails.size() - 1);
        return S_OK;
    }
};

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ++g.instances;
        const kes::ComPtr<Application> app(new Application());
        return app->QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
} g_factory;

} // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!IsEqualCLSID(clsid, kOutlookClass))
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

// Stays loaded: the tests hold pointers into it.
HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return S_FALSE;
}

void FakeOutlookReset(int refuse) {
    g.instances = 0;
    g.quits = 0;
    g.refuse = refuse;
    g.busy = g.rejected = g.filtered = 0;
    g.onDisplay = nullptr;
    g.mails.clear();
}

void FakeOutlookBusy(int calls) {
    g.busy = calls;
}

void FakeOutlookOnDisplay(void (*action)(void*), void* context) {
    g.onDisplay = action;
    g.onDisplayContext = context;
}

int FakeOutlookCount(const wchar_t* what) {
    const std::wstring w = what;
    return w == L"instances"  ? g.instances
           : w == L"quits"    ? g.quits
           : w == L"live"     ? g.live
           : w == L"mails"    ? static_cast<int>(g.mails.size())
           : w == L"rejected" ? g.rejected
           : w == L"filtered" ? g.filtered
                              : -1;
}

// One field of a recorded mail as text; the caller frees it with SysFreeString.
BSTR FakeOutlookMail(int index, const wchar_t* field) {
    if (index < 0 || static_cast<size_t>(index) >= g.mails.size())
        return nullptr;
    const Mail& m = g.mails[static_cast<size_t>(index)];
    const std::wstring f = field;
    std::wstring v = f == L"To"             ? m.to
                     : f == L"Subject"      ? m.subject
                     : f == L"Body"         ? m.body
                     : f == L"Calls"        ? m.calls
                     : f == L"ItemType"     ? std::to_wstring(m.itemType)
                     : f == L"DisplayType"  ? std::to_wstring(m.displayType)
                     : f == L"DisplayValue" ? std::to_wstring(m.displayValue)
                     : f == L"Attachments"  ? std::to_wstring(m.attachments.size())
                                            : L"?";
    return SysAllocStringLen(v.data(), static_cast<UINT>(v.size()));
}

// An attachment of a recorded mail: its "Path" as text, or its "Bytes" as they were when it was
// added (a byte string: SysStringByteLen gives the count). The caller frees it.
BSTR FakeOutlookAttachment(int mail, int index, const wchar_t* field) {
    if (mail < 0 || static_cast<size_t>(mail) >= g.mails.size())
        return nullptr;
    const auto& list = g.mails[static_cast<size_t>(mail)].attachments;
    if (index < 0 || static_cast<size_t>(index) >= list.size())
        return nullptr;
    const Attachment& a = list[static_cast<size_t>(index)];
    if (std::wstring(field) == L"Bytes")
        return SysAllocStringByteLen(a.bytes.data(), static_cast<UINT>(a.bytes.size()));
    return SysAllocStringLen(a.path.data(), static_cast<UINT>(a.path.size()));
}

} // extern "C"
