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

// One owned handle of type T; Traits says what "none" is and how to release it.
template <typename T, typename Traits> class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T h) : h_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    T Get() const { return h_; }
    bool Valid() const { return h_ != Traits::None(); }
    explicit operator bool() const { return Valid(); }
    // For APIs that hand out a handle through a pointer: releases the old one first.
    T* Put() {
        Reset();
        return &h_;
    }
    T Release() { return std::exchange(h_, Traits::None()); }
    void Reset(T h = Traits::None()) {
        T old = std::exchange(h_, h);
        if (old != Traits::None())
            Traits::Close(old);
    }

private:
    T h_ = Traits::None();
};

namespace detail {
struct KeyTraits {
    static HKEY None() { return nullptr; }
    static void Close(HKEY h) { RegCloseKey(h); }
};
// CreateFile and friends answer INVALID_HANDLE_VALUE; processes and threads answer null.
struct FileTraits {
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct KernelTraits {
    static HANDLE None() { return nullptr; }
    static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindTraits {
    static HANDLE None() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};
template <typename G> struct GdiTraits {
    static G None() { return nullptr; }
    static void Close(G h) { DeleteObject(h); }
};
struct MemoryDCTraits {
    static HDC None() { return nullptr; }
    static void Close(HDC h) { DeleteDC(h); }
};
struct IconTraits {
    static HICON None() { return nullptr; }
    static void Close(HICON h) { DestroyIcon(h); }
};
struct MenuTraits {
    static HMENU None() { return nullptr; }
    static void Close(HMENU h) { DestroyMenu(h); }
};
struct WindowTraits {
    static HWND None() { return nullptr; }
    static void Close(HWND h) { DestroyWindow(h); }
};
struct LibraryTraits {
    static HMODULE None() { return nullptr; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};
struct LocalTraits {
    static HLOCAL None() { return nullptr; }
    static void Close(HLOCAL h) { LocalFree(h); }
};
struct GlobalTraits {
    static HGLOBAL None() { return nullptr; }
    static void Close(HGLOBAL h) { GlobalFree(h); }
};
// Memory from the process heap, as some system calls hand it out.
struct HeapTraits {
    static void* None() { return nullptr; }
    static void Close(void* p) { HeapFree(GetProcessHeap(), 0, p); }
};
struct ImageListTraits {
    static HIMAGELIST None() { return nullptr; }
    static void Close(HIMAGELIST h) { ImageList_Destroy(h); }
};
struct BstrTraits {
    static BSTR None() { return nullptr; }
    static void Close(BSTR s) { SysFreeString(s); }
};
} // namespace detail

using UniqueKey = UniqueHandle<HKEY, detail::KeyTraits>;
using UniqueFile = UniqueHandle<HANDLE, detail::FileTraits>;
using UniqueKernelHandle = UniqueHandle<HANDLE, detail::KernelTraits>;
using UniqueFind = UniqueHandle<HANDLE, detail::FindTraits>;
template <typename G> using UniqueGdi = UniqueHandle<G, detail::GdiTraits<G>>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueBrush = UniqueGdi<HBRUSH>;
using UniquePen = UniqueGdi<HPEN>;
using UniqueRegion = UniqueGdi<HRGN>;
using UniqueMemoryDC = UniqueHandle<HDC, detail::MemoryDCTraits>;
using UniqueIcon = UniqueHandle<HICON, detail::IconTraits>;
using UniqueMenu = UniqueHandle<HMENU, detail::MenuTraits>;
using UniqueWindow = UniqueHandle<HWND, detail::WindowTraits>;
using UniqueLibrary = UniqueHandle<HMODULE, detail::LibraryTraits>;
using UniqueLocal = UniqueHandle<HLOCAL, detail::LocalTraits>;
using UniqueGlobal = UniqueHandle<HGLOBAL, detail::GlobalTraits>;
using UniqueBstr = UniqueHandle<BSTR, detail::BstrTraits>;
using UniqueHeapMemory = UniqueHandle<void*, detail::HeapTraits>;
// Needs comctl32 only where it is used.
using UniqueImageList = UniqueHandle<HIMAGELIST, detail::ImageListTraits>;

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
    // Another interface of the same object; empty when it has none.
    template <typename J> ComPtr<J> As(REFIID iid) const {
        ComPtr<J> other;
        if (p_)
            p_->QueryInterface(iid, other.PutVoid());
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

} // namespace kes
