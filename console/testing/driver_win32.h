#pragma once
// Drives a running Quillard from another process through its window handles, as a user would.
#include <windows.h>

#include <string>
#include <vector>

namespace kes::driver {

// Waits (bounded) until the main window "Quillard" is visible; nullptr when it never is.
HWND WaitForQuillard(DWORD timeoutMs);
HWND Control(HWND form, int id);
bool IsChecked(HWND form, int id);
bool IsEnabled(HWND form, int id);
std::vector<std::string> ComboEntries(HWND form, int id);
// A real click: the button receives the mouse press and release.
void Click(HWND form, int id);

} // namespace kes::driver
