// Handlers whose behaviour comes with the log viewer, the support mail and the collection
// settings; the window wires them already.
#include "console/AdminUnit1.h"

namespace kes {
void TQuillard::Timer1Timer(TComponent*) {}
void TQuillard::SpeedButton1Click(TComponent*) {}
void TQuillard::Collectcount1Click(TComponent*) {}
void TQuillard::collecttime1Click(TComponent*) {}
void TQuillard::savelog1Click(TComponent*) {}
} // namespace kes
