// The component model on the host: owners list what they own, and a component that names
// another hears of its end, whichever of the two goes first.
#include "toolkit/component.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kes {
namespace {

class Watcher : public TComponent {
public:
    explicit Watcher(TComponent* owner = nullptr) : TComponent(owner) {}
    std::vector<TComponent*> removed;

protected:
    void Notification(TComponent* c, TOperation op) override {
        if (op == opRemove)
            removed.push_back(c);
    }
};

TEST(Component, FreeNotificationTellsTheOtherSideWhicheverGoesFirst) {
    TComponent owner(nullptr);
    Watcher label(&owner);
    {
        auto container = std::make_unique<Watcher>(&owner);
        EXPECT_EQ(owner.Components.size(), 2u);
        label.FreeNotification(container.get());
        label.FreeNotification(container.get()); // once is enough
        label.FreeNotification(&label);          // never itself
        TComponent* gone = container.get();
        container.reset();
        EXPECT_EQ(label.removed, std::vector<TComponent*>{gone});
        EXPECT_EQ(owner.Components, std::vector<TComponent*>{&label});
    }
    // The named one outlives the one that names it: it is not told of a stale pointer later.
    auto images = std::make_unique<Watcher>();
    {
        Watcher shortLived;
        shortLived.FreeNotification(images.get());
    }
    EXPECT_EQ(images->removed.size(), 1u); // told that the other side went
    images.reset();                        // and nothing left to tell: no use after free

    // A link taken back is not told.
    Watcher a, b;
    a.FreeNotification(&b);
    a.RemoveFreeNotification(&b);
    a.RemoveFreeNotification(nullptr);
    {
        Watcher c;
        a.FreeNotification(&c);
        c.FreeNotification(&b);
    }
    EXPECT_EQ(a.removed.size(), 1u);
    EXPECT_EQ(b.removed.size(), 1u);
}

} // namespace
} // namespace kes
