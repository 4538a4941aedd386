#pragma once
// The add-in's debug log as the viewer holds it: its raw bytes (system ANSI code page) as of the
// last tick, and their text with every line break made CR LF.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

// Turns CR LF, LF alone and CR alone into CR LF. For the view a NUL byte becomes a blank, since
// the view's text ends at the first NUL and would hide everything after it; saved copies keep
// it (a run of NULs marks a write the add-in never finished). A CR's break is given at once;
// an LF that follows it, in the same piece or the next, adds nothing. So the text of a log's
// first n bytes is always the beginning of the text of the whole log.
//
// With a line width, a line longer than that is broken after each `lineWidth` characters: the
// view's EDIT control takes time that grows with the square of a line's length to wrap it.
enum class NulBytes { kBlank, kKeep };
class CrLfConverter {
public:
    explicit CrLfConverter(std::string& out, std::size_t lineWidth = 0,
                           NulBytes nul = NulBytes::kBlank)
        : out_(out), lineWidth_(lineWidth), nul_(nul == NulBytes::kBlank ? ' ' : '\0') {}
    void Feed(std::string_view bytes);

private:
    std::string& out_;
    std::size_t lineWidth_;
    char nul_;               // what a NUL byte becomes
    std::size_t column_ = 0; // characters since the last break
    bool afterCr_ = false;   // the last byte fed was a CR
};

std::string LogToCrLf(std::string_view bytes, NulBytes nul = NulBytes::kBlank);

// A log's bytes in blocks: a big log needs no single huge allocation, and growth never copies
// what is held.
class LogBytes {
public:
    std::uint64_t Size() const { return size_; }
    void Clear();
    // Raises std::bad_alloc when memory runs out; what was held before stays.
    void Append(std::string_view bytes);
    char At(std::uint64_t pos) const;
    // True when the bytes from `pos` on are exactly `bytes` (and the log holds that many).
    bool Matches(std::uint64_t pos, std::string_view bytes) const;
    // Calls `piece` with the bytes from `from` to `to` in contiguous pieces, in order.
    void ForEachPiece(std::uint64_t from, std::uint64_t to,
                      const std::function<void(std::string_view)>& piece) const;
    std::string Slice(std::uint64_t from, std::uint64_t to) const;

    static constexpr std::size_t kBlock = std::size_t(1) << 20;

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::uint64_t size_ = 0;
};

// The text of the bytes from `from` to `to`, line breaks made CR LF. `from` should begin a line
// (or the log), so that the text is the tail of the whole log's text.
std::string LogTextOf(const LogBytes& log, std::uint64_t from, std::uint64_t to,
                      std::size_t lineWidth = 0);

// Reads a log through `read` (it fills the buffer and returns the count of bytes, 0 at the end,
// negative on an error) and adds its bytes to `log`.
enum class ReadResult { Ok, Failed, TooLarge };
using LogReadFn = std::function<long long(char* buffer, std::size_t size)>;
// Stops with TooLarge when `log` would hold more than `maxBytes` or memory runs out; `log` may
// then hold a part.
ReadResult ReadLog(const LogReadFn& read, LogBytes& log, std::uint64_t maxBytes);

} // namespace kes
