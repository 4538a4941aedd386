#pragma once
// Owners for Win32 resources: each releases what it holds when it goes out of scope, so early
// returns and exceptions never leak a handle. Non-copyable, movable. Header only, so that
// cleanup.exe can use it without linking anything of the console.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

namespace kes {

// Empty values of the owners: most handles are null when absent, file handles
// INVALID_HANDLE_VALUE (which is no constant expression, hence functions).
template <typename T> constexpr T NullHandleValue() {
    return nullptr;
}
inline HANDLE InvalidHandleValue() {
    return INVALID_HANDLE_VALUE;
}

// One owned handle of type T, released with Close; Empty() is what "none" is. Each owner below
// is one line. Releasing keeps the thread's last error, so a failed call can still be reported
// after the owners of its scope are gone.
template <typename T, auto Close, auto Empty = &NullHandleValue<T>> class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T h) : h_(h) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : h_(other.Release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    ~UniqueAny() { Reset(); }

    T Get() const { return h_; }
    bool Valid() const { return h_ != Empty(); }
    explicit operator bool() const { return Valid(); }
    // For APIs that hand out a handle through a pointer: releases the old one first.
    T* Put() {
        Reset();
        return &h_;
    }
    T Release() { return std::exchange(h_, Empty()); }
    void Reset(T h = Empty()) {
        T old = std::exchange(h_, h);
        if (old != Empty()) {
            const DWORD error = GetLastError();
            Close(old);
            SetLastError(error);
        }
    }

private:
    T h_ = Empty();
};

namespace detail {
// Memory from the process heap, as some system calls hand it out.
inline void FreeProcessHeap(void* p) {
    HeapFree(GetProcessHeap(), 0, p);
}
} // namespace detail

using UniqueKey = UniqueAny<HKEY, &RegCloseKey>;
// CreateFile and friends answer INVALID_HANDLE_VALUE; processes and threads answer null.
using UniqueFile = UniqueAny<HANDLE, &CloseHandle, &InvalidHandleValue>;
using UniqueKernelHandle = UniqueAny<HANDLE, &CloseHandle>;
using UniqueFind = UniqueAny<HANDLE, &FindClose, &InvalidHandleValue>;
template <typename G> using UniqueGdi = UniqueAny<G, &DeleteObject>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueBrush = UniqueGdi<HBRUSH>;
using UniquePen = UniqueGdi<HPEN>;
using UniqueRegion = UniqueGdi<HRGN>;
using UniqueMemoryDC = UniqueAny<HDC, &DeleteDC>;
using UniqueMenu = UniqueAny<HMENU, &DestroyMenu>;
using UniqueWindow = UniqueAny<HWND, &DestroyWindow>;
using UniqueLibrary = UniqueAny<HMODULE, &FreeLibrary>;
using UniqueLocal = UniqueAny<HLOCAL, &LocalFree>;
using UniqueGlobal = UniqueAny<HGLOBAL, &GlobalFree>;
using UniqueBstr = UniqueAny<BSTR, &SysFreeString>;
using UniqueHeapMemory = UniqueAny<void*, &detail::FreeProcessHeap>;
// Needs comctl32 only where it is used.
using UniqueImageList = UniqueAny<HIMAGELIST, &ImageList_Destroy>;

// Runs a one-off clean-up when the scope ends, however it ends; Dismiss() cancels it.
template <typename F> class ScopeExit {
public:
    explicit ScopeExit(F f) : f_(std::move(f)) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() {
        if (armed_)
            f_();
    }
    void Dismiss() { armed_ = false; }

private:
    F f_;
    bool armed_ = true;
};

// Both handles of a started process.
struct UniqueProcess {
    UniqueKernelHandle Process, Thread;
    explicit UniqueProcess(const PROCESS_INFORMATION& pi)
        : Process(pi.hProcess), Thread(pi.hThread) {}
};

// A window's DC from GetDC, given back with ReleaseDC.
class WindowDC {
public:
    explicit WindowDC(HWND hwnd) : hwnd_(hwnd), dc_(GetDC(hwnd)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    WindowDC(WindowDC&& o) noexcept : hwnd_(o.hwnd_), dc_(std::exchange(o.dc_, nullptr)) {}
    WindowDC& operator=(WindowDC&&) = delete;
    ~WindowDC() {
        if (dc_)
            ReleaseDC(hwnd_, dc_);
    }
    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND hwnd_;
    HDC dc_;
};

// BeginPaint ... EndPaint for one WM_PAINT.
class PaintDC {
public:
    explicit PaintDC(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd, &ps_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { EndPaint(hwnd_, &ps_); }
    HDC Get() const { return dc_; }
    const RECT& Dirty() const { return ps_.rcPaint; }

private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_ = nullptr;
};

// An object selected into a DC for a while; the previous one is selected back at the end.
// The selected object itself is not owned: pair it with a UniqueGdi declared before this.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ obj) : dc_(dc), old_(obj ? SelectObject(dc, obj) : nullptr) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    SelectedObject(SelectedObject&& o) noexcept
        : dc_(o.dc_), old_(std::exchange(o.old_, nullptr)) {}
    SelectedObject& operator=(SelectedObject&&) = delete;
    ~SelectedObject() {
        if (old_)
            SelectObject(dc_, old_);
    }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// One reference to a COM interface.
template <typename I> class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(I* p) : p_(p) {} // takes over a reference
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& o) noexcept {
        if (this != &o)
            Reset(std::exchange(o.p_, nullptr));
        return *this;
    }
    ~ComPtr() { Reset(); }

    I* Get() const { return p_; }
    I* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    I** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    I* Release() { return std::exchange(p_, nullptr); }
    void Reset(I* p = nullptr) {
        I* old = std::exchange(p_, p);
        if (old)
            old->Release();
    }
    // Another interface of the same object; empty when it has none. The identifier comes from
    // the type, so a mismatched one cannot compile.
    template <typename J> ComPtr<J> As() const {
        ComPtr<J> other;
        if (p_)
            p_->QueryInterface(__uuidof(J), other.PutVoid());
        return other;
    }

private:
    I* p_ = nullptr;
};

// A VARIANT cleared at the end.
struct UniqueVariant {
    VARIANT v;
    UniqueVariant() { VariantInit(&v); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&v); }
};

// COM on this thread for the owner's lifetime; uninitialised only when the call succeeded.
class ComInit {
public:
    explicit ComInit(DWORD model = COINIT_APARTMENTTHREADED)
        : hr_(CoInitializeEx(nullptr, model)) {}
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
    ~ComInit() {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

// COM on the calling thread from its first use until the thread ends. The console joins an
// apartment only when it talks to Outlook or to a screen reader: most runs never do, and loading
// COM would cost every start-up.
inline void UseCom() {
    thread_local const ComInit com;
}

} // namespace kes
