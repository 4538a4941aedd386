#include "widgets/editlist/editlist_core.h"

#include <algorithm>
#include <array>

namespace kes {

std::vector<int> TabStopsInDialogUnits(const std::vector<TabStop>& stops, int xWidth) {
    std::vector<int> out;
    const int n = static_cast<int>(stops.size());
    if (n < 1 || n > kMaxTabStops || xWidth <= 0)
        return out;
    for (const auto& s : stops) {
        const int units = s.TabPosition * 4 / xWidth;
        out.push_back(s.TabType == tabright ? -units : units);
    }
    return out;
}

bool OptimizeTabs(const std::vector<std::string>& entries,
                  const std::function<int(const std::string&)>& width, int spacing,
                  std::vector<TabStop>& stops) {
    std::array<int, kMaxTabsPerEntry + 1> w{};
    int columns = 0;
    for (const auto& entry : entries) {
        std::string rest = entry;
        int k = 0;
        for (std::size_t tab; k < kMaxTabsPerEntry && (tab = rest.find('\t')) != rest.npos;) {
            w[k] = std::max(w[k], width(rest.substr(0, tab)));
            rest.erase(0, tab + 1);
            columns = std::max(columns, ++k);
        }
        w[k] = std::max(w[k], width(rest));
    }
    if (entries.empty() || columns == 0)
        return false;
    int pos = spacing;
    for (int r = 1; r <= columns; ++r) {
        if (static_cast<int>(stops.size()) < r)
            stops.push_back({w[r - 1] + pos, tableft});
        else if (stops[r - 1].TabType == tabright)
            stops[r - 1].TabPosition = w[r - 1] + pos + w[r];
        else
            stops[r - 1].TabPosition = w[r - 1] + pos;
        pos += w[r - 1] + spacing;
    }
    return true;
}

std::string UpperAscii(std::string s) {
    for (auto& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

int LookupIndex(const std::vector<std::string>& entries, const std::string& upperText, bool full) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (UpperAscii(entries[i]).starts_with(upperText))
            return static_cast<int>(i);
    if (full)
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (UpperAscii(entries[i]).find(upperText) != std::string::npos)
                return static_cast<int>(i);
    return -1;
}

} // namespace kes
