#include "console/viewer/outlook_mail_win32.h"

#include <objbase.h>
#include <oleauto.h>

#include <vector>

namespace kes {

namespace {

template <class T> struct ComRef {
    T* p = nullptr;
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p)
            p->Release();
    }
    T* Detach() {
        T* t = p;
        p = nullptr;
        return t;
    }
};

struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

// `_Application` and `_MailItem` are dual interfaces: their pointers are IDispatch pointers.
IDispatch* AsDispatch(IUnknown* unk, REFIID iid) {
    void* out = nullptr;
    if (!unk || FAILED(unk->QueryInterface(iid, &out)))
        return nullptr;
    return static_cast<IDispatch*>(out);
}

HRESULT Call(IDispatch* d, const wchar_t* name, WORD flags, VARIANT* args, UINT argCount,
             VARIANT* result) {
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{args, nullptr, argCount, 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

void PutText(IDispatch* d, const wchar_t* name, const std::u16string& text) {
    Variant arg;
    arg.v.vt = VT_BSTR;
    arg.v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                      static_cast<UINT>(text.size()));
    if (arg.v.bstrVal)
        Call(d, name, DISPATCH_PROPERTYPUT, &arg.v, 1, nullptr);
}

} // namespace

void TOutlookApplication::Connect() {
    if (app_)
        return;
    ComRef<IUnknown> unk;
    if (FAILED(GetActiveObject(CLSID_OutlookApplication, nullptr, &unk.p)) || !unk.p) {
        unk.p = nullptr;
        const HRESULT hr = CoCreateInstance(CLSID_OutlookApplication, nullptr,
                                            CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                            IID_IUnknown, reinterpret_cast<void**>(&unk.p));
        if (FAILED(hr) || !unk.p) {
            unk.p = nullptr;
            throw OutlookError("Outlook could not be started");
        }
    }
    app_ = AsDispatch(unk.p, IID__Application);
    if (!app_)
        throw OutlookError("Outlook has no application interface");
}

void TOutlookApplication::Disconnect() {
    if (app_)
        app_->Release();
    app_ = nullptr;
}

void DisplaySupportMail(TOutlookApplication& app, const SupportMail& mail) {
    app.Connect();
    Variant type, item;
    type.v.vt = VT_I4;
    type.v.lVal = olMailItem;
    if (FAILED(Call(app.DefaultInterface(), L"CreateItem", DISPATCH_METHOD, &type.v, 1, &item.v)))
        throw OutlookError("Outlook made no mail item");
    IUnknown* unk = nullptr;
    if (item.v.vt == VT_DISPATCH)
        unk = item.v.pdispVal;
    else if (item.v.vt == VT_UNKNOWN)
        unk = item.v.punkVal;
    ComRef<IDispatch> mi;
    mi.p = AsDispatch(unk, IID__MailItem);
    if (!mi.p)
        throw OutlookError("Outlook's item is no mail item");
    PutText(mi.p, L"To", mail.To);
    PutText(mi.p, L"Subject", mail.Subject);
    PutText(mi.p, L"Body", mail.Body);
    // Modal: returns when the user has closed the mail window, sent or not.
    Variant modal;
    modal.v.vt = VT_BOOL;
    modal.v.boolVal = VARIANT_TRUE;
    Variant ignored;
    Call(mi.p, L"Display", DISPATCH_METHOD, &modal.v, 1, &ignored.v);
}

} // namespace kes
