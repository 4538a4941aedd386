#include "console/viewer/log_text.h"

#include <new>
#include <vector>

namespace kes {

void CrLfConverter::Feed(std::string_view bytes) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    if (pendingCr_ && p != end) {
        // A CR that ended the previous piece: its LF may start this one.
        pendingCr_ = false;
        out_ += "\r\n";
        if (*p == '\n')
            ++p;
    }
    while (p != end) {
        const char* run = p;
        while (p != end && *p != '\r' && *p != '\n' && *p != '\0')
            ++p;
        out_.append(run, static_cast<std::size_t>(p - run));
        if (p == end)
            break;
        const char c = *p++;
        if (c == '\0') {
            out_ += ' ';
        } else if (c == '\n') {
            out_ += "\r\n";
        } else if (p == end) {
            pendingCr_ = true;
        } else {
            out_ += "\r\n";
            if (*p == '\n')
                ++p;
        }
    }
}

void CrLfConverter::Finish() {
    if (pendingCr_)
        out_ += "\r\n";
    pendingCr_ = false;
}

std::string LogToCrLf(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 16);
    CrLfConverter conv(out);
    conv.Feed(bytes);
    conv.Finish();
    return out;
}

std::optional<std::string_view> AppendedPart(std::string_view shown, std::string_view now) {
    if (now.size() < shown.size() || now.compare(0, shown.size(), shown) != 0)
        return std::nullopt;
    return now.substr(shown.size());
}

bool ReadLogText(const LogReadFn& read, std::string& text, std::size_t sizeHint,
                 std::size_t maxBytes) {
    text.clear();
    try {
        if (sizeHint > maxBytes)
            return false;
        // Room for a CR before some of the LFs without growing again.
        text.reserve(sizeHint + sizeHint / 16);
        CrLfConverter conv(text);
        std::vector<char> buf(1u << 16);
        std::size_t total = 0;
        for (;;) {
            const long long n = read(buf.data(), buf.size());
            if (n < 0 || static_cast<unsigned long long>(n) > buf.size())
                break;
            if (n == 0) {
                conv.Finish();
                return true;
            }
            total += static_cast<std::size_t>(n);
            if (total > maxBytes)
                break;
            conv.Feed(std::string_view(buf.data(), static_cast<std::size_t>(n)));
        }
    } catch (const std::bad_alloc&) {
    }
    text.clear();
    text.shrink_to_fit();
    return false;
}

} // namespace kes
