#include "toolkit/accessible_win32.h"

#include "platform/utf_win32.h"

namespace kes {

HRESULT AccessibleBase::QueryInterface(REFIID iid, void** out) {
    if (!out)
        return E_POINTER;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
        *out = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG AccessibleBase::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG AccessibleBase::Release() {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0)
        delete this;
    return static_cast<ULONG>(n);
}

HRESULT AccessibleBase::GetTypeInfoCount(UINT* n) {
    if (!n)
        return E_POINTER;
    *n = 0;
    return S_OK;
}

HRESULT AccessibleBase::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}

HRESULT AccessibleBase::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT AccessibleBase::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                               UINT*) {
    return E_NOTIMPL;
}

HRESULT AccessibleBase::Text(const std::string& s, BSTR* out) {
    if (!out)
        return E_POINTER;
    *out = SysAllocString(Widen(s).c_str());
    return *out ? S_OK : E_OUTOFMEMORY;
}

namespace {

bool IsSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// Name and role of its own; everything else is the standard object's.
class NamedAccessible : public AccessibleBase {
public:
    NamedAccessible(ComPtr<IAccessible> inner, std::string name, long role)
        : inner_(std::move(inner)), name_(std::move(name)), role_(role) {}

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT c, BSTR* v) override {
        return IsSelf(c) ? Text(name_, v) : inner_->get_accName(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT c, VARIANT* v) override {
        if (!IsSelf(c))
            return inner_->get_accRole(c, v);
        if (!v)
            return E_POINTER;
        v->vt = VT_I4;
        v->lVal = role_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** p) override {
        return inner_->get_accParent(p);
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* n) override {
        return inner_->get_accChildCount(n);
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT c, IDispatch** p) override {
        return inner_->get_accChild(c, p);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT c, BSTR* v) override {
        return inner_->get_accValue(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT c, BSTR* v) override {
        return inner_->get_accDescription(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT c, VARIANT* v) override {
        return inner_->get_accState(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT c, BSTR* v) override {
        return inner_->get_accHelp(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* f, VARIANT c, long* t) override {
        return inner_->get_accHelpTopic(f, c, t);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT c, BSTR* v) override {
        return inner_->get_accKeyboardShortcut(c, v);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* v) override { return inner_->get_accFocus(v); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* v) override {
        return inner_->get_accSelection(v);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT c, BSTR* v) override {
        return inner_->get_accDefaultAction(c, v);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long f, VARIANT c) override {
        return inner_->accSelect(f, c);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT c) override {
        return inner_->accLocation(x, y, w, h, c);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long d, VARIANT s, VARIANT* e) override {
        return inner_->accNavigate(d, s, e);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* c) override {
        return inner_->accHitTest(x, y, c);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT c) override {
        return inner_->accDoDefaultAction(c);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT c, BSTR v) override {
        return inner_->put_accName(c, v);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT c, BSTR v) override {
        return inner_->put_accValue(c, v);
    }

private:
    ComPtr<IAccessible> inner_;
    std::string name_;
    long role_;
};

} // namespace

ComPtr<IAccessible> NamedClientObject(HWND hwnd, const std::string& name, long role) {
    ComPtr<IAccessible> standard;
    if (FAILED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                         standard.PutVoid())))
        return {};
    return ComPtr<IAccessible>(new NamedAccessible(std::move(standard), name, role));
}

} // namespace kes
