#include "console/viewer/log_text.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kes {

namespace {

void Put(std::string& out, std::size_t width, std::size_t& column, const char* s, std::size_t n) {
    if (width == 0) {
        out.append(s, n);
        return;
    }
    while (n != 0) {
        if (column == width) {
            out += "\r\n";
            column = 0;
        }
        const std::size_t k = std::min(n, width - column);
        out.append(s, k);
        column += k;
        s += k;
        n -= k;
    }
}

} // namespace

void CrLfConverter::Feed(std::string_view bytes) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    if (p == end)
        return;
    // A CR that ended the previous piece: its LF may start this one.
    if (afterCr_ && *p == '\n')
        ++p;
    afterCr_ = false;
    while (p != end) {
        const char* run = p;
        while (p != end && *p != '\r' && *p != '\n' && *p != '\0')
            ++p;
        Put(out_, lineWidth_, column_, run, static_cast<std::size_t>(p - run));
        if (p == end)
            break;
        const char c = *p++;
        if (c == '\0') {
            Put(out_, lineWidth_, column_, &nul_, 1);
            continue;
        }
        out_ += "\r\n";
        column_ = 0;
        if (c == '\r') {
            if (p == end)
                afterCr_ = true;
            else if (*p == '\n')
                ++p;
        }
    }
}

std::string LogToCrLf(std::string_view bytes, NulBytes nul) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16);
    CrLfConverter(out, 0, nul).Feed(bytes);
    return out;
}

void LogBytes::Clear() {
    std::vector<std::unique_ptr<char[]>>().swap(blocks_);
    size_ = 0;
}

void LogBytes::Append(std::string_view bytes) {
    // Every block this needs is made before anything is copied, so a failure changes nothing.
    const std::uint64_t need = (size_ + bytes.size() + kBlock - 1) / kBlock;
    const std::size_t had = blocks_.size();
    try {
        blocks_.reserve(static_cast<std::size_t>(need));
        while (blocks_.size() < need)
            blocks_.push_back(std::unique_ptr<char[]>(new char[kBlock]));
    } catch (const std::bad_alloc&) {
        blocks_.resize(had);
        throw;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t block = static_cast<std::size_t>(size_ / kBlock);
        const std::size_t at = static_cast<std::size_t>(size_ % kBlock);
        const std::size_t n = std::min(bytes.size() - done, kBlock - at);
        std::memcpy(blocks_[block].get() + at, bytes.data() + done, n);
        done += n;
        size_ += n;
    }
}

char LogBytes::At(std::uint64_t pos) const {
    return blocks_[static_cast<std::size_t>(pos / kBlock)][static_cast<std::size_t>(pos % kBlock)];
}

void LogBytes::ForEachPiece(std::uint64_t from, std::uint64_t to,
                            const std::function<void(std::string_view)>& piece) const {
    to = std::min(to, size_);
    while (from < to) {
        const std::size_t at = static_cast<std::size_t>(from % kBlock);
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(to - from, kBlock - at));
        piece(std::string_view(blocks_[static_cast<std::size_t>(from / kBlock)].get() + at, n));
        from += n;
    }
}

bool LogBytes::Matches(std::uint64_t pos, std::string_view bytes) const {
    if (pos > size_ || size_ - pos < bytes.size())
        return false;
    bool same = true;
    std::size_t done = 0;
    ForEachPiece(pos, pos + bytes.size(), [&](std::string_view p) {
        same = same && bytes.compare(done, p.size(), p) == 0;
        done += p.size();
    });
    return same;
}

std::string LogBytes::Slice(std::uint64_t from, std::uint64_t to) const {
    std::string out;
    ForEachPiece(from, to, [&](std::string_view p) { out.append(p); });
    return out;
}

std::string LogTextOf(const LogBytes& log, std::uint64_t from, std::uint64_t to,
                      std::size_t lineWidth) {
    std::string out;
    const std::uint64_t n = to > from ? to - from : 0;
    out.reserve(static_cast<std::size_t>(n + n / 16));
    CrLfConverter conv(out, lineWidth);
    log.ForEachPiece(from, to, [&](std::string_view p) { conv.Feed(p); });
    return out;
}

ReadResult ReadLog(const LogReadFn& read, LogBytes& log, std::uint64_t maxBytes) {
    try {
        std::vector<char> buf(1u << 16);
        for (;;) {
            const long long n = read(buf.data(), buf.size());
            if (n < 0 || static_cast<unsigned long long>(n) > buf.size())
                return ReadResult::Failed;
            if (n == 0)
                return ReadResult::Ok;
            if (log.Size() + static_cast<std::uint64_t>(n) > maxBytes)
                return ReadResult::TooLarge;
            log.Append(std::string_view(buf.data(), static_cast<std::size_t>(n)));
        }
    } catch (const std::bad_alloc&) {
        return ReadResult::TooLarge;
    }
}

} // namespace kes
