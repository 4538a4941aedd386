#pragma once
// The add-in's debug log as the viewer shows it: its bytes (system ANSI code page) read whole,
// every line break made CR LF.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kes {

// Beyond this a log is treated as too large for the view: its text, the converted copy and the
// control's own copy would not fit a 32-bit process together.
constexpr std::size_t kMaxLogBytes = 64u * 1024u * 1024u;

// Turns CR LF, LF alone and CR alone into CR LF. A NUL byte becomes a blank, since the view's
// text ends at the first NUL and would hide everything after it.
class CrLfConverter {
public:
    explicit CrLfConverter(std::string& out) : out_(out) {}
    void Feed(std::string_view bytes);
    // Ends the text; a CR at the very end becomes CR LF.
    void Finish();

private:
    std::string& out_;
    bool pendingCr_ = false;
};

std::string LogToCrLf(std::string_view bytes);

// What a view holding the converted text `shown` lacks to hold the converted text `now`: the
// rest of `now` when it begins with exactly `shown`, otherwise nothing (the view must be
// reloaded). Both sides are whole conversions, so a CR that ended the shorter log already stands
// as CR LF in both, and its LF arriving later adds no second break.
std::optional<std::string_view> AppendedPart(std::string_view shown, std::string_view now);

// Reads a log through `read` (it fills the buffer and returns the count of bytes, 0 at the end,
// negative on an error) into `text`, line breaks made CR LF. False on a read error or when the
// log is larger than `maxBytes`; `text` is then empty. `sizeHint` only reserves memory.
using LogReadFn = std::function<long long(char* buffer, std::size_t size)>;
bool ReadLogText(const LogReadFn& read, std::string& text, std::size_t sizeHint = 0,
                 std::size_t maxBytes = kMaxLogBytes);

} // namespace kes
