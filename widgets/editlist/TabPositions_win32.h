#pragma once
// The tab positions of TEditListBox: items in pixels whose setters apply them to the list
// (tab stops, horizontal extent, repaint); adding or removing items only marks the list's
// widest entry for a new measure.
#include "widgets/editlist/editlist_core.h"

#include <memory>
#include <vector>

namespace kes {

class TEditListBox;
class TTabPositionCollection;

class TTabPositionItem {
public:
    TTabPositionItem(TTabPositionCollection& owner, TabStop stop) : owner_(&owner), stop_(stop) {}
    int TabPosition() const { return stop_.TabPosition; }
    TTabType TabType() const { return stop_.TabType; }
    void SetTabPosition(int pixels);
    void SetTabType(TTabType type);

private:
    friend class TTabPositionCollection;
    TTabPositionCollection* owner_;
    TabStop stop_;
};

class TTabPositionCollection {
public:
    explicit TTabPositionCollection(TEditListBox& owner) : owner_(owner) {}
    TEditListBox& GetOwner() const { return owner_; }
    TTabPositionItem& Add();
    void Delete(int index);
    void Clear();
    int Count() const { return static_cast<int>(items_.size()); }
    TTabPositionItem& operator[](int i) { return *items_[static_cast<std::size_t>(i)]; }
    std::vector<TabStop> Stops() const;
    // Replaces the items (SetTabPositions); like adding and removing, it applies nothing.
    void SetStops(const std::vector<TabStop>& stops);
    void Assign(const TTabPositionCollection& other) { SetStops(other.Stops()); }

private:
    TEditListBox& owner_;
    std::vector<std::unique_ptr<TTabPositionItem>> items_;
};

} // namespace kes
