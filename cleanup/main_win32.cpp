// cleanup.exe: no window, no arguments; the trace goes to whatever standard output the
// starter gave it.
#include "cleanup/cleanup_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    cleanup::RunCleanup(GetStdHandle(STD_OUTPUT_HANDLE));
    return 0;
}
