#pragma once
// The console's message boxes and its input dialog.
#include <string>

namespace kes {

// The error box's text: a full stop is added when the last character's code is above that of
// the full stop, so "... nicht setzen" gets one and "sorry!" or "(x)" do not.
std::string ErrorBoxText(const std::string& message);

#ifdef _WIN32
// Modal; titled with the application title.
void ShowErrorBox(const std::string& message);
void ShowNotice(const std::string& text);
// A modal input dialog: OK returns the edited text, cancelling returns `defaultText`.
std::string PromptText(const std::string& caption, const std::string& prompt,
                       const std::string& defaultText);
#endif

} // namespace kes
