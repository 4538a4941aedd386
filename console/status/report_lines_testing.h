#pragma once
// What the status tests look up in a report: a line by its start, and how many lines hold a part.
#include <cstddef>
#include <string>
#include <vector>

namespace kes::status::testing {

// The line that begins, after its indentation, with `start`, unindented; "" when there is none.
// `next` gets the line after it as it stands.
inline std::string FindLine(const std::vector<std::string>& lines, const std::string& start,
                            std::string* next = nullptr) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t at = lines[i].find_first_not_of(' ');
        if (at != std::string::npos && lines[i].compare(at, start.size(), start) == 0) {
            if (next)
                *next = i + 1 < lines.size() ? lines[i + 1] : "";
            return lines[i].substr(at);
        }
    }
    return "";
}

inline std::size_t CountLines(const std::vector<std::string>& lines, const std::string& part) {
    std::size_t n = 0;
    for (const std::string& l : lines)
        n += l.find(part) != std::string::npos;
    return n;
}

} // namespace kes::status::testing
