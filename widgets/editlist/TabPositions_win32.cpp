#include "widgets/editlist/TabPositions_win32.h"

#include "platform/utf_win32.h"
#include "widgets/editlist/EditListBox_win32.h"

namespace kes {
namespace {
const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
} // namespace

void TTabPositionItem::SetTabPosition(int pixels) {
    stop_.TabPosition = pixels;
    owner_->GetOwner().ApplyTabPositions();
}

void TTabPositionItem::SetTabType(TTabType type) {
    stop_.TabType = type;
    owner_->GetOwner().ApplyTabPositions();
}

TTabPositionItem& TTabPositionCollection::Add() {
    items_.push_back(std::make_unique<TTabPositionItem>(*this, TabStop{}));
    owner_.TabPositionsChanged();
    return *items_.back();
}

void TTabPositionCollection::Delete(int index) {
    items_.erase(items_.begin() + index);
    owner_.TabPositionsChanged();
}

void TTabPositionCollection::Clear() {
    items_.clear();
    owner_.TabPositionsChanged();
}

std::vector<TabStop> TTabPositionCollection::Stops() const {
    std::vector<TabStop> out;
    for (const auto& i : items_)
        out.push_back(i->stop_);
    return out;
}

void TTabPositionCollection::SetStops(const std::vector<TabStop>& stops) {
    items_.clear();
    for (const auto& s : stops)
        items_.push_back(std::make_unique<TTabPositionItem>(*this, s));
    owner_.TabPositionsChanged();
}

void TEditListBox::SetTabStops() {
    // The list box turns the units back into pixels with its own average character width (the
    // letters' average, as GdiGetCharDimensions measures it), not with the width of "x": with
    // the latter the columns were drawn where no position put them (121 pixels for 100 here).
    SIZE letters{0, 0};
    GetTextExtentPoint32W(measureDC_.Get(), kLetters, 52, &letters);
    const int unit = (letters.cx / 26 + 1) / 2;
    std::vector<int> units = TabStopsInDialogUnits(TabPositions.Stops(), unit);
    if (!units.empty())
        SendMessageW(hwnd_, LB_SETTABSTOPS, units.size(), reinterpret_cast<LPARAM>(units.data()));
    widest_.Invalidate();
}

// What each item's setter does: the stops reach the list box, the extent follows them and the
// list is drawn with them.
void TEditListBox::ApplyTabPositions() {
    SetTabStops();
    UpdateHScrollBar();
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void TEditListBox::OptimizeTabs(int spacing) {
    std::vector<TabStop> stops = TabPositions.Stops();
    const auto width = [this](const std::string& s) { return TextWidth(Widen(s)); };
    if (kes::OptimizeTabs(Items(), width, spacing, stops)) {
        // Every item as its setters would leave it, applied once.
        TabPositions.SetStops(stops);
        ApplyTabPositions();
    } else {
        InvalidateRect(hwnd_, nullptr, TRUE);
    }
}

} // namespace kes
