#pragma once
// The editable list box's arithmetic, free of the platform: tab stops in dialog units, fitting
// tab stops to tab-separated entries, the widest entry kept incrementally and lookup by typed
// text. What persistence writes is in persist_format.h.
#include <functional>
#include <string>
#include <vector>

namespace kes {

enum TTabType { tableft = 0, tabright = 1 };

struct TabStop {
    int TabPosition = 0; // pixels from the left edge of an entry
    TTabType TabType = tableft;
};

// Tab stops are applied only while there are 1 to 19 of them.
constexpr int kMaxTabStops = 19;
// OptimizeTabs looks at no more than this many tabs per entry.
constexpr int kMaxTabsPerEntry = 20;

// Pixels to dialog units with the width of "x" in the list's font; negative for right-aligned
// stops. Empty when the count is outside 1..19 (the list box keeps what it had).
std::vector<int> TabStopsInDialogUnits(const std::vector<TabStop>& stops, int xWidth);

// Fits the stops to the entries' columns: stop r lies at w[0] + ... + w[r-1] + r * spacing
// (plus w[r] when right-aligned). Stops are added as needed; those beyond the widest row keep
// their positions. False when the list is empty or no entry holds a tab (nothing changes).
bool OptimizeTabs(const std::vector<std::string>& entries,
                  const std::function<int(const std::string&)>& width, int spacing,
                  std::vector<TabStop>& stops);

// The widest entry, kept as entries come and go: a full measure is needed only when the widest
// one goes.
class WidestExtent {
public:
    void Added(int width) {
        if (!stale_ && width > widest_)
            widest_ = width;
    }
    void Removed(int width) {
        if (width >= widest_)
            stale_ = true;
    }
    void Cleared() {
        widest_ = 0;
        stale_ = false;
    }
    void Invalidate() { stale_ = true; }
    bool Stale() const { return stale_; }
    void Set(int width) {
        widest_ = width;
        stale_ = false;
    }
    int Widest() const { return widest_; }

private:
    int widest_ = 0;
    bool stale_ = false;
};

// ASCII letters only, as the lookup text is kept.
std::string UpperAscii(std::string s);
// The index the lookup selects: the first entry beginning with the (upper-case) text, else
// with `full` the first containing it; -1 when none.
int LookupIndex(const std::vector<std::string>& entries, const std::string& upperText, bool full);

} // namespace kes
