#include "console/viewer/log_view_text.h"

#include <string_view>

namespace kes {

std::string FormatLogSize(std::uint64_t bytes, char decimalSeparator) {
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    std::uint64_t unit = 1024;
    int u = 0;
    // In tenths, rounded; a figure that rounds up to 1024 is given in the next unit.
    std::uint64_t tenths = (bytes * 10 + unit / 2) / unit;
    while (u < 3 && tenths >= 10240) {
        unit *= 1024;
        ++u;
        tenths = (bytes * 10 + unit / 2) / unit;
    }
    return std::to_string(tenths / 10) + decimalSeparator + std::to_string(tenths % 10) + " " +
           units[u];
}

std::string OmittedLine(std::uint64_t omitted) {
    return "[... " + FormatLogSize(omitted) + " before this point not shown; savelog saves all " +
           "of it / " + FormatLogSize(omitted, ',') + " davor nicht angezeigt; savelog " +
           "speichert alles ...]\r\n";
}

std::string ReadingLine(std::uint64_t omitted, int percent) {
    const std::string pc = std::to_string(percent);
    return "[... reading the " + FormatLogSize(omitted) + " before this point: " + pc + "% / die " +
           FormatLogSize(omitted, ',') + " davor werden gelesen: " + pc + " % ...]\r\n";
}

std::string TooLargeLine(const std::string& path, std::uint64_t size) {
    return "The log " + path + " holds " + FormatLogSize(size) +
           ", more than this console can hold in memory; copy the file itself / Die "
           "Protokolldatei " +
           path + " ist " + FormatLogSize(size, ',') +
           " gro\xC3\x9F, mehr als diese Konsole im Speicher halten kann; kopieren Sie die Datei "
           "selbst\r\n";
}

std::uint64_t LineStartIn(const LogBytes& log, std::uint64_t from, std::uint64_t to) {
    if (from >= to)
        return to;
    if (from == 0)
        return 0;
    // Walks from the byte before `from`: a position begins a line when the byte before it ends
    // one (an LF, or a CR whose next byte is no LF).
    char prev = log.At(from - 1);
    std::uint64_t pos = from;
    std::uint64_t found = to;
    log.ForEachPiece(from, to, [&](std::string_view piece) {
        for (std::size_t i = 0; i < piece.size() && found == to; ++i, ++pos) {
            const char c = piece[i];
            if (prev == '\n' || (prev == '\r' && c != '\n'))
                found = pos;
            prev = c;
        }
    });
    return found;
}

ViewChange LogViewText::ShowFrom(const LogBytes& log, std::uint64_t from) {
    ViewChange change;
    change.kind = ViewChange::kWhole;
    if (from != 0)
        change.text = OmittedLine(from);
    from_ = from;
    headLength_ = change.text.size();
    out_.clear();
    conv_.emplace(out_, limits_.lineWidth);
    log.ForEachPiece(from, log.Size(), [this](std::string_view p) { conv_->Feed(p); });
    change.text += out_;
    std::string().swap(out_);
    length_ = change.text.size();
    return change;
}

ViewChange LogViewText::Rebuild(const LogBytes& log) {
    const std::uint64_t size = log.Size();
    if (size <= limits_.wholeUpTo)
        return ShowFrom(log, 0);
    const std::uint64_t from = size - limits_.keep;
    const std::uint64_t line = LineStartIn(log, from, size);
    // A last line longer than what is kept: the view starts inside it.
    return ShowFrom(log, line < size ? line : from);
}

ViewChange LogViewText::Grow(const LogBytes& log, std::uint64_t oldSize) {
    const std::uint64_t size = log.Size();
    if (!conv_ || size < oldSize || oldSize < from_)
        return Rebuild(log);
    if (size == oldSize)
        return {};
    // Past the limit the view keeps the lines that begin within the last `keep` bytes. Growth of
    // more than that, or no line to begin at, costs a new text of that size.
    const bool trim = size - from_ > limits_.wholeUpTo;
    const std::uint64_t line = trim ? LineStartIn(log, size - limits_.keep, size) : from_;
    if (trim && (size - oldSize > limits_.keep || line >= size))
        return Rebuild(log);
    ViewChange change;
    change.kind = ViewChange::kAppend;
    out_.clear();
    log.ForEachPiece(oldSize, size, [this](std::string_view p) { conv_->Feed(p); });
    change.text.swap(out_);
    length_ += change.text.size();
    if (trim) {
        // The view's text of the dropped lines, converted again: the view's conversion began
        // afresh at `from_` and `line` begins a line, so this is exactly what follows its head.
        change.cut = headLength_ + LogTextOf(log, from_, line, limits_.lineWidth).size();
        change.head = OmittedLine(line);
        length_ = length_ - change.cut + change.head.size();
        headLength_ = change.head.size();
        from_ = line;
    }
    return change;
}

} // namespace kes
