#include "widgets/editlist/WinXP.h"

namespace kes {

TWinXP::TWinXP(TComponent* owner) : TComponent(owner) {
    // If we throw, the base destructor takes us off the owner's list again.
    if (dynamic_cast<TForm*>(owner) == nullptr)
        throw Exception("Control parent must be a form!");
    const auto count = std::count_if(owner->Components.begin(), owner->Components.end(),
                                     [](TComponent* c) { return dynamic_cast<TWinXP*>(c); });
    if (count > 1)
        throw Exception("Only one instance of TWinXP allowed on form");
}

} // namespace kes
