#pragma once
// The component model the forms and widgets share: every component is listed by its owner,
// and a component that names another is told of its end. An owner does not free what it lists:
// a component lives as long as whoever holds it (a form's unique_ptr members, which C++ frees
// in the reverse order of their declaration, after the form's own destructor has run). A form
// whose components need its window while they end (a timer, a hint window) resets them first,
// in its destructor; a component freed by its holder leaves its owner's list by itself.
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

enum TOperation { opInsert, opRemove };

class TComponent {
public:
    explicit TComponent(TComponent* owner) : Owner(owner) {
        if (Owner)
            Owner->Components.push_back(this);
    }
    virtual ~TComponent() {
        // Whoever refers to this component hears of its end while it is still a component.
        while (!notified_.empty()) {
            TComponent* other = notified_.back();
            notified_.pop_back();
            Unlink(other->notified_, this);
            other->Notification(this, opRemove);
        }
        if (Owner)
            Unlink(Owner->Components, this);
    }
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // Links this component and another one that it names (or that names it): whichever is
    // destroyed first, the other's Notification hears of it with opRemove.
    void FreeNotification(TComponent* other) {
        if (!other || other == this || Linked(other))
            return;
        notified_.push_back(other);
        other->notified_.push_back(this);
    }
    void RemoveFreeNotification(TComponent* other) {
        if (!other || !Linked(other))
            return;
        Unlink(notified_, other);
        Unlink(other->notified_, this);
    }

    TComponent* const Owner;
    std::vector<TComponent*> Components;
    std::string Name;
    int Tag = 0;

protected:
    // A linked component is going away (opRemove); a reference to it must be dropped now.
    virtual void Notification(TComponent* /*AComponent*/, TOperation /*Operation*/) {}

private:
    bool Linked(const TComponent* other) const {
        return std::find(notified_.begin(), notified_.end(), other) != notified_.end();
    }
    static void Unlink(std::vector<TComponent*>& list, const TComponent* c) {
        list.erase(std::remove(list.begin(), list.end(), c), list.end());
    }
    std::vector<TComponent*> notified_;
};

// Marks a component that is a form (a top-level window of the toolkit).
class TForm : public TComponent {
public:
    explicit TForm(TComponent* owner) : TComponent(owner) {}
};

} // namespace kes
