#pragma once
// Stands for the console's visual style, which the manifest of the executable brings; the
// component only checks where it is placed.
#include "toolkit/component.h"

namespace kes {

class TWinXP : public TComponent {
public:
    explicit TWinXP(TComponent* owner);
};

} // namespace kes
