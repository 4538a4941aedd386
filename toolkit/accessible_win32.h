#pragma once
// What the toolkit's accessible objects share: the COM reference count, IUnknown and IDispatch.
#include "platform/scoped_win32.h"

#include <windows.h>

#include <oleacc.h>

#include <string>

namespace kes {

// Created with one reference. IDispatch offers no type information: clients call IAccessible
// directly.
class AccessibleBase : public IAccessible {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

protected:
    virtual ~AccessibleBase() = default;
    // A UTF-8 string handed out as a BSTR.
    static HRESULT Text(const std::string& s, BSTR* out);

private:
    LONG refs_ = 1;
};

// The system's object for a window's client area with a name and a role of its own, for
// controls that show no text to take the name from; empty when the system has no object.
ComPtr<IAccessible> NamedClientObject(HWND hwnd, const std::string& name, long role);

} // namespace kes
