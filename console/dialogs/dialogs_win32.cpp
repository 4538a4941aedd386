#include "console/dialogs/dialogs.h"

#include "platform/utf_win32.h"
#include "toolkit/controls_win32.h"

#include <windows.h>

#include <vector>

namespace kes {
namespace {

HWND OwnerWindow() {
    HWND w = GetActiveWindow();
    return w ? w : nullptr;
}

// Builds an in-memory dialog template (DLGTEMPLATE and its items, DWORD-aligned).
class DialogTemplate {
public:
    DialogTemplate(const std::wstring& caption, short cx, short cy) {
        Align(4);
        Dword(DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
        Dword(0);
        countAt_ = buf_.size();
        Word(0);
        Word(0), Word(0), Word(static_cast<WORD>(cx)), Word(static_cast<WORD>(cy));
        Word(0); // menu
        Word(0); // class
        String(caption);
        Word(8);
        String(L"MS Sans Serif");
    }
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls,
              const std::wstring& text) {
        Align(4);
        Dword(WS_CHILD | WS_VISIBLE | style);
        Dword(0);
        Word(static_cast<WORD>(x)), Word(static_cast<WORD>(y));
        Word(static_cast<WORD>(cx)), Word(static_cast<WORD>(cy));
        Word(id);
        Word(0xFFFF);
        Word(cls);
        String(text);
        Word(0);
        ++count_;
        buf_[countAt_] = static_cast<WORD>(count_);
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(buf_.data()); }

private:
    void Word(WORD w) { buf_.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void String(const std::wstring& s) {
        for (wchar_t c : s)
            Word(static_cast<WORD>(c));
        Word(0);
    }
    void Align(size_t bytes) {
        while ((buf_.size() * 2) % bytes)
            Word(0);
    }
    std::vector<WORD> buf_;
    size_t countAt_ = 0;
    int count_ = 0;
};

constexpr WORD kEditId = 100;

struct PromptState {
    std::wstring prompt, text;
};

INT_PTR CALLBACK PromptProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    auto* st = reinterpret_cast<PromptState*>(GetWindowLongPtrW(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        st = reinterpret_cast<PromptState*>(lp);
        HWND edit = GetDlgItem(dlg, kEditId);
        SendMessageW(edit, EM_LIMITTEXT, 255, 0);
        SetWindowTextW(edit, st->text.c_str());
        SetFocus(edit);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        return FALSE; // the focus is set
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            HWND edit = GetDlgItem(dlg, kEditId);
            const int n = GetWindowTextLengthW(edit);
            std::wstring t(static_cast<size_t>(n) + 1, L'\0');
            GetWindowTextW(edit, t.data(), n + 1);
            t.resize(static_cast<size_t>(n));
            st->text = t;
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

void ShowErrorBox(const std::string& message) {
    MessageBoxW(OwnerWindow(), Widen(ErrorBoxText(message)).c_str(),
                Widen(Application().Title).c_str(), MB_OK | MB_ICONERROR);
}

void ShowNotice(const std::string& text) {
    MessageBoxW(OwnerWindow(), Widen(text).c_str(), Widen(Application().Title).c_str(), MB_OK);
}

std::string PromptText(const std::string& caption, const std::string& prompt,
                       const std::string& defaultText) {
    DialogTemplate t(Widen(caption), 180, 63);
    t.Item(SS_LEFT | SS_NOPREFIX, 8, 8, 164, 10, 0xFFFF, 0x0082, Widen(prompt));
    t.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 8, 20, 164, 12, kEditId, 0x0081, L"");
    t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 41, 41, 50, 14, IDOK, 0x0080, L"OK");
    t.Item(BS_PUSHBUTTON | WS_TABSTOP, 95, 41, 50, 14, IDCANCEL, 0x0080, L"Abbrechen");
    PromptState st{Widen(prompt), Widen(defaultText)};
    const INT_PTR r = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), OwnerWindow(),
                                              PromptProc, reinterpret_cast<LPARAM>(&st));
    return r == IDOK ? Narrow(st.text) : defaultText;
}

} // namespace kes
