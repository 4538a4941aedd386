#include "console/testing/driver_win32.h"

#include "console/form/control_ids.h"
#include "platform/utf_win32.h"

namespace kes::driver {

HWND WaitForQuillard(DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        HWND w = FindWindowW(KES_FORM_CLASS, L"Quillard");
        if (w && IsWindowVisible(w))
            return w;
        if (GetTickCount64() > end)
            return nullptr;
        Sleep(20); // polling another process: nothing to pump here
    }
}

HWND Control(HWND form, int id) {
    // Controls live on the panels.
    for (int panel : {ids::Panel1, ids::Panel2, ids::Panel3})
        if (HWND c = GetDlgItem(GetDlgItem(form, panel), id))
            return c;
    return nullptr;
}

bool IsChecked(HWND form, int id) {
    return SendMessageW(Control(form, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool IsEnabled(HWND form, int id) {
    return IsWindowEnabled(Control(form, id)) != FALSE;
}

std::vector<std::string> ComboEntries(HWND form, int id) {
    HWND c = Control(form, id);
    std::vector<std::string> out;
    const auto n = SendMessageW(c, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        wchar_t buf[512] = {};
        const auto len = SendMessageW(c, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (len < 0 || len >= 512)
            continue;
        SendMessageW(c, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
        out.push_back(Narrow(std::wstring_view(buf, static_cast<size_t>(len))));
    }
    return out;
}

void Click(HWND form, int id) {
    SendMessageW(Control(form, id), BM_CLICK, 0, 0);
}

} // namespace kes::driver
