// Quillard: the administrator's settings console for the Kestrova add-in.
#include "console/dialogs/dialogs.h"
#include "console/form/AdminUnit1.h"
#include "platform/scoped_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    kes::Application().Title = kes::kApplicationTitle;
    kes::Application().OnException = kes::ShowErrorBox;
    try {
        kes::TQuillard form(kes::Win32Services());
        form.IsMainForm = true;
        form.Create(show);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageW(form.Handle(), &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    } catch (const std::exception& e) {
        kes::ShowErrorBox(e.what());
    }
    return 0;
}
