#pragma once
// What the log view holds of a log: the whole log when it is small, else its last lines under
// one line that says how much is not shown; and how a tick changes it, so that a tick costs what
// the log grew by and the view stays bounded however long the log grows.
#include "console/viewer/log_text.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kes {

struct ViewLimits {
    // A log of up to this many bytes is shown whole; a view that would cover more is trimmed.
    std::uint64_t wholeUpTo;
    // A trimmed view begins with the first line that starts within the log's last `keep` bytes.
    std::uint64_t keep;
    // A longer line is broken after this many characters in the view (not in saved copies).
    std::size_t lineWidth;
};

// Measured under Wine with the console's view (word wrap on): giving it 128 KB of typical log
// lines costs about 0.15 to 0.2 s, 256 KB about 0.4 s, 1 MB about 0.9 to 1.5 s; lines of 256
// characters without blanks cost half as much again, and a 1 KB line already takes several
// milliseconds alone (wrapping grows with the square of a line's length). So a view holds at
// most 192 KB of the log (2,500 to 4,000 lines) and, trimmed, keeps about 128 KB of it: a first
// show stays near a quarter of a second, and a trim comes once every 64 KB of growth.
inline constexpr ViewLimits kViewLimits{192 * 1024, 128 * 1024, 256};

// "47.2 MB", with the given decimal separator; units of 1024.
std::string FormatLogSize(std::uint64_t bytes, char decimalSeparator = '.');
// The view's first line when the log's first `omitted` bytes are not shown, CR LF at its end.
std::string OmittedLine(std::uint64_t omitted);
// The view's first line while the log's first `omitted` bytes are still being read.
std::string ReadingLine(std::uint64_t omitted, int percent);
// Shown instead of a log that is larger than the console can hold; the path is UTF-8.
std::string TooLargeLine(const std::string& path, std::uint64_t size);

// The first position at or after `from` and before `to` where a line of the log begins (the
// log's start, or the byte after an LF, or after a CR that no LF follows); `to` when none does.
std::uint64_t LineStartIn(const LogBytes& log, std::uint64_t from, std::uint64_t to);

// How the view changes: given a whole new text, or `text` added at its end and then its first
// `cut` characters replaced by `head` (the omitted-part line).
struct ViewChange {
    enum Kind { kNone, kWhole, kAppend } kind = kNone;
    std::string text;
    std::size_t cut = 0;
    std::string head;
};

class LogViewText {
public:
    explicit LogViewText(ViewLimits limits = kViewLimits) : limits_(limits) {}
    LogViewText(const LogViewText&) = delete;
    LogViewText& operator=(const LogViewText&) = delete;

    // The view shows `log` anew.
    ViewChange Rebuild(const LogBytes& log);
    // `log` held `oldSize` bytes at the last call and has grown since: what the view adds, and
    // what it drops at its start once it covers more than the limits allow.
    ViewChange Grow(const LogBytes& log, std::uint64_t oldSize);

    // Where the shown part of the log begins; 0 when the view shows the whole log.
    std::uint64_t ShownFrom() const { return from_; }
    // The view's text length in characters (bytes before the code page's conversion).
    std::size_t Length() const { return length_; }
    const ViewLimits& Limits() const { return limits_; }

private:
    ViewChange ShowFrom(const LogBytes& log, std::uint64_t from);

    ViewLimits limits_;
    std::uint64_t from_ = 0;
    std::size_t headLength_ = 0, length_ = 0;
    // The conversion at the view's end, kept so that growth continues it.
    std::string out_;
    std::optional<CrLfConverter> conv_;
};

} // namespace kes
