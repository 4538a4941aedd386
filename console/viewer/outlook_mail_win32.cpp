#include "console/viewer/outlook_mail_win32.h"

#include "platform/scoped_win32.h"

#include <objbase.h>
#include <oleauto.h>

#include <vector>

namespace kes {

namespace {

// `_Application` and `_MailItem` are dual interfaces: their pointers are IDispatch pointers.
ComPtr<IDispatch> AsDispatch(IUnknown* unk, REFIID iid) {
    ComPtr<IDispatch> out;
    if (unk)
        unk->QueryInterface(iid, out.PutVoid());
    return out;
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
    UniqueVariant arg;
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
    ComPtr<IUnknown> unk;
    if (FAILED(GetActiveObject(CLSID_OutlookApplication, nullptr, unk.Put())) || !unk) {
        const HRESULT hr = CoCreateInstance(CLSID_OutlookApplication, nullptr,
                                            CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                            IID_IUnknown, unk.PutVoid());
        if (FAILED(hr) || !unk)
            throw OutlookError("Outlook could not be started");
    }
    app_ = AsDispatch(unk.Get(), IID__Application);
    if (!app_)
        throw OutlookError("Outlook has no application interface");
}

void TOutlookApplication::Disconnect() {
    app_.Reset();
}

void DisplaySupportMail(TOutlookApplication& app, const SupportMail& mail) {
    app.Connect();
    UniqueVariant type, item;
    type.v.vt = VT_I4;
    type.v.lVal = olMailItem;
    if (FAILED(Call(app.DefaultInterface(), L"CreateItem", DISPATCH_METHOD, &type.v, 1, &item.v)))
        throw OutlookError("Outlook made no mail item");
    IUnknown* unk = nullptr;
    if (item.v.vt == VT_DISPATCH)
        unk = item.v.pdispVal;
    else if (item.v.vt == VT_UNKNOWN)
        unk = item.v.punkVal;
    ComPtr<IDispatch> mi = AsDispatch(unk, IID__MailItem);
    if (!mi)
        throw OutlookError("Outlook's item is no mail item");
    PutText(mi.Get(), L"To", mail.To);
    PutText(mi.Get(), L"Subject", mail.Subject);
    PutText(mi.Get(), L"Body", mail.Body);
    // Modal: returns when the user has closed the mail window, sent or not.
    UniqueVariant modal;
    modal.v.vt = VT_BOOL;
    modal.v.boolVal = VARIANT_TRUE;
    UniqueVariant ignored;
    Call(mi.Get(), L"Display", DISPATCH_METHOD, &modal.v, 1, &ignored.v);
}

} // namespace kes
