#pragma once
// The component model the forms and widgets share: an owner frees what it owns, and every
// component is listed by its owner.
#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace kes {

// The toolkit's general exception.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TComponent {
public:
    explicit TComponent(TComponent* owner) : Owner(owner) {
        if (Owner)
            Owner->Components.push_back(this);
    }
    virtual ~TComponent() {
        if (Owner) {
            auto& list = Owner->Components;
            list.erase(std::remove(list.begin(), list.end(), this), list.end());
        }
    }
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* const Owner;
    std::vector<TComponent*> Components;
    std::string Name;
    int Tag = 0;
};

// Marks a component that is a form (a top-level window of the toolkit).
class TForm : public TComponent {
public:
    explicit TForm(TComponent* owner) : TComponent(owner) {}
};

} // namespace kes
