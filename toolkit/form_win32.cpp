#include "toolkit/form_win32.h"

#include "platform/utf_win32.h"

#include <map>
#include <utility>

namespace kes {

namespace {

// The system's icon sizes at a DPI; GetSystemMetricsForDpi is looked up, as older systems lack
// it (they have one DPI, the system's).
int IconMetric(int index, UINT dpi) {
    using Fn = int(WINAPI*)(int, UINT);
    static const auto forDpi = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi")));
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

// Icons drawn for a size, not stretched from another: one pair per resource and DPI, kept for
// the process, as a window moved between monitors comes back to a DPI it had.
struct IconPair {
    HICON big = nullptr, small = nullptr;
};
IconPair IconsFor(int resource, UINT dpi) {
    static std::map<std::pair<int, UINT>, IconPair> icons;
    IconPair& p = icons[{resource, dpi}];
    const HINSTANCE inst = GetModuleHandleW(nullptr);
    const auto load = [&](int cx, int cy) {
        return static_cast<HICON>(
            LoadImageW(inst, MAKEINTRESOURCEW(resource), IMAGE_ICON, cx, cy, 0));
    };
    if (!p.big)
        p.big = load(IconMetric(SM_CXICON, dpi), IconMetric(SM_CYICON, dpi));
    if (!p.small)
        p.small = load(IconMetric(SM_CXSMICON, dpi), IconMetric(SM_CYSMICON, dpi));
    return p;
}

} // namespace

void TFormWindow::CreateForm(const Params& p) {
    const HINSTANCE inst = GetModuleHandleW(nullptr);
    // Shared icons belong to the module, not to a window: the class registered by the first
    // form keeps them, and every later form of the class shows live ones.
    const auto icon = [inst, &p](int cx, int cy) {
        return p.iconResource
                   ? static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(p.iconResource),
                                                   IMAGE_ICON, cx, cy, LR_SHARED))
                   : nullptr;
    };
    const HICON big = icon(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    const HICON small = icon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    RegisterWindowClass(p.className, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), 0, big, small);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - p.width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - p.height) / 2;
    CreateWindowFor({.className = p.className,
                     .text = Widen(p.caption),
                     .style = p.style,
                     .exStyle = p.exStyle,
                     .bounds = {x, y, p.width, p.height}});
    iconResource_ = p.iconResource;
    SetIconsFor(Dpi());
}

void TFormWindow::SetIconsFor(UINT dpi) {
    if (!iconResource_ || !hwnd_ || !dpi)
        return;
    const IconPair icons = IconsFor(iconResource_, dpi);
    if (icons.big)
        SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons.big));
    if (icons.small)
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons.small));
}

bool TFormWindow::Close() {
    try {
        if (OnClose)
            OnClose(this);
    } catch (const std::exception& e) {
        // The user can try again: the window stays open.
        Application().HandleException(e);
        return false;
    }
    DestroyWindow(hwnd_);
    return true;
}

// Log-off and shut-down run the close path first. When it fails the session end is held up
// with the reason, which Windows shows beside "Shut down anyway"; the user decides.
bool TFormWindow::QueryEndSession() {
    endSessionError_.clear();
    closedForSession_ = false;
    try {
        if (OnClose)
            OnClose(this);
        closedForSession_ = true;
        return true;
    } catch (const std::exception& e) {
        endSessionError_ = e.what();
    } catch (...) {
        endSessionError_ = "Unbekannter Fehler";
    }
    ShutdownBlockReasonCreate(hwnd_, Widen(endSessionError_).c_str());
    return false;
}

void TFormWindow::EndSession(bool ending) {
    ShutdownBlockReasonDestroy(hwnd_);
    std::string error = std::exchange(endSessionError_, {});
    if (ending) {
        // The process ends after this message. A forced end sends no query first; a failed
        // query gets a last try. No box: nobody would see it.
        try {
            if (OnClose && !std::exchange(closedForSession_, false))
                OnClose(this);
        } catch (...) {
        }
        DestroyWindow(hwnd_);
        return;
    }
    // The session goes on: now the user can read what kept the window from closing.
    if (!error.empty())
        Application().HandleException(Exception(error));
}

LRESULT TFormWindow::WndProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CLOSE:
        Close();
        return 0;
    case WM_QUERYENDSESSION:
        return QueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
        EndSession(wp != FALSE);
        return 0;
    case kWmDpiChanged:
        // The title bar's and the task bar's icons, drawn for the new DPI's sizes.
        SetIconsFor(HIWORD(wp));
        break;
    case WM_DESTROY:
        if (IsMainForm)
            PostQuitMessage(0);
        return 0;
    }
    return TWindow::WndProc(msg, wp, lp);
}

} // namespace kes
