// quillard_driver wait | close | state | click <id>: drives a running Quillard.
#include "console/form/control_ids.h"
#include "console/testing/driver_win32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    using namespace kes;
    const char* cmd = argc > 1 ? argv[1] : "";
    HWND form = driver::WaitForQuillard(20000);
    if (!form) {
        std::fprintf(stderr, "quillard_driver: no Quillard window\n");
        return 1;
    }
    if (!std::strcmp(cmd, "wait")) {
        // Shown is not yet painted: have every control draw itself before a screenshot.
        RedrawWindow(form, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(form, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &ignored);
        return 0;
    }
    if (!std::strcmp(cmd, "close")) {
        driver::Click(form, ids::Button1);
        return 0;
    }
    if (!std::strcmp(cmd, "click") && argc > 2) {
        driver::Click(form, std::atoi(argv[2]));
        return 0;
    }
    if (!std::strcmp(cmd, "state")) {
        const struct {
            const char* name;
            int id;
        } boxes[] = {{"chkDebug", ids::chkDebug},
                     {"chkAdmin", ids::chkAdmin},
                     {"Journal", ids::Journal},
                     {"Desktopbenachrichtigung", ids::Desktopbenachrichtigung},
                     {"chkReminders", ids::chkReminders},
                     {"chk_pack_every_mail", ids::chk_pack_every_mail}};
        for (const auto& b : boxes)
            std::printf("%s=%d%s\n", b.name, driver::IsChecked(form, b.id) ? 1 : 0,
                        driver::IsEnabled(form, b.id) ? "" : " disabled");
        for (const auto& u : driver::ComboEntries(form, ids::users))
            std::printf("user=%s\n", u.c_str());
        return 0;
    }
    std::fprintf(stderr, "quillard_driver wait | close | state | click <id>\n");
    return 2;
}
