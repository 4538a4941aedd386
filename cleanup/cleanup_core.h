// The platform-free half of cleanup: how the trace is spelled, which data names one of our
// add-ins, which folder entries are ours to delete and how entry paths are built.
// Everything works on 16-bit code units; the Win32 side passes wchar_t, the host tests char16_t.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cleanup {

// Capacities of the fixed buffers, in UTF-16 units unless said otherwise. Value names and data
// are examined in their first 521 units; each buffer holds one unit more for the terminator.
inline constexpr std::size_t kValueUnits = 521;
inline constexpr std::size_t kNameUnits = kValueUnits + 1; // value name buffer
inline constexpr std::size_t kNameCapacity = kValueUnits;  // what the enumeration may fill
inline constexpr std::size_t kDataUnits = kValueUnits + 1; // value data buffer
inline constexpr std::size_t kDataBytes = kValueUnits * sizeof(char16_t); // data read, in bytes
inline constexpr std::size_t kFolderUnits = kValueUnits + 1; // "OutlookSecureTempFolder"
inline constexpr std::size_t kPathUnits = 260; // search pattern and entry paths, terminator incl.

// Started without arguments, cleanup runs as it always did. With arguments it is run from a
// script: it lists what it finds in lines ending in CR LF and tells the outcome by exit code.
enum class Mode { Plain, Help, Report, Run, Unknown };

inline constexpr int kExitNothing = 0; // /report: nothing found; /run: nothing of ours left; /?
inline constexpr int kExitFound = 1;   // /report: something of ours is there
inline constexpr int kExitLeft = 2;    // /run: something of ours is still there
inline constexpr int kExitUsage = 3;   // unknown arguments: the usage text, no run

inline constexpr std::string_view kUsage =
    "cleanup removes what the Kestrova and Tarnwick add-ins leave in Outlook's settings:\r\n"
    "their entries of the disabled-items list and the *.huf files of the secure temp folder.\r\n"
    "\r\n"
    "cleanup           removes them; a short trace, exit code 0\r\n"
    "cleanup /report   lists what is there, removes nothing\r\n"
    "                  exit code 0: nothing found, 1: found\r\n"
    "cleanup /run      removes them, lists what it removed and what stays\r\n"
    "                  exit code 0: nothing of them left, 2: something stays\r\n"
    "cleanup /?        this text\r\n"
    "\r\n"
    "Other arguments: this text, exit code 3.\r\n";

// One argument, "/" or "-" in front, without regard to case; anything else is Unknown.
template <class Unit>
Mode ParseArguments(const std::basic_string_view<Unit>* args, std::size_t count) {
    if (count == 0)
        return Mode::Plain;
    if (count > 1)
        return Mode::Unknown;
    std::basic_string_view<Unit> arg = args[0];
    if (arg.size() < 2 || (arg[0] != Unit('/') && arg[0] != Unit('-')))
        return Mode::Unknown;
    arg.remove_prefix(1);
    static constexpr struct {
        std::u16string_view name;
        Mode mode;
    } kSwitches[] = {{u"?", Mode::Help}, {u"report", Mode::Report}, {u"run", Mode::Run}};
    for (const auto& s : kSwitches) {
        if (s.name.size() != arg.size())
            continue;
        std::size_t i = 0;
        for (; i < arg.size(); ++i) {
            char16_t c = static_cast<char16_t>(arg[i]);
            if (c >= u'A' && c <= u'Z')
                c = static_cast<char16_t>(c - u'A' + u'a');
            if (c != s.name[i])
                break;
        }
        if (i == arg.size())
            return s.mode;
    }
    return Mode::Unknown;
}

// ":%d" of a platform result code.
void AppendCode(std::string& trace, long code);

// The German report of a value that could not be deleted; the data goes in as bytes, so a '%'
// in it is only a character.
void AppendDeleteFailure(std::string& trace, std::string_view dataBytes);

// The low byte of every unit: the trace is 8-bit, and a unit below 0x100 is its own
// Windows-1252 byte.
template <class Unit> std::string LowBytes(std::basic_string_view<Unit> units) {
    std::string out;
    out.reserve(units.size());
    for (Unit u : units)
        out.push_back(static_cast<char>(static_cast<unsigned char>(u & 0xFF)));
    return out;
}

// Turns the first `count` units of `data` into one text without inner zeros ('_' for 0) and
// terminates it; `data` must hold count + 1 units. Returns the text.
template <class Unit> std::basic_string_view<Unit> MakeDataText(Unit* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (data[i] == 0)
            data[i] = Unit('_');
    data[count] = 0;
    return {data, count};
}

// Whether `text` names one of our add-ins: "kestrova.dll" or "tarnwick.dll" at a unit position
// above 0, compared unit by unit (case-sensitive). Real entries start with a binary header, so
// a name at position 0 is not one of Outlook's records.
template <class Unit> bool NamesAddIn(std::basic_string_view<Unit> text) {
    static constexpr std::u16string_view kFiles[] = {u"kestrova.dll", u"tarnwick.dll"};
    for (std::u16string_view file : kFiles) {
        if (text.size() <= file.size())
            continue;
        for (std::size_t pos = 1; pos + file.size() <= text.size(); ++pos) {
            std::size_t i = 0;
            while (i < file.size() && static_cast<char16_t>(text[pos + i]) == file[i])
                ++i;
            if (i == file.size())
                return true;
        }
    }
    return false;
}

// "." and "..", which a folder search returns besides the real entries.
template <class Unit> bool IsDotEntry(const Unit* name) {
    return name[0] == Unit('.') && (name[1] == 0 || (name[1] == Unit('.') && name[2] == 0));
}

// Whether an entry's own name ends in ".huf", without regard to case. The folder search also
// matches through generated 8.3 names ("notes.hufx" as "NOTE~1.HUF"), which are not ours.
template <class Unit> bool HasHufExtension(std::basic_string_view<Unit> name) {
    static constexpr std::u16string_view kExt = u".huf";
    if (name.size() < kExt.size())
        return false;
    auto tail = name.substr(name.size() - kExt.size());
    for (std::size_t i = 0; i < kExt.size(); ++i) {
        char16_t c = static_cast<char16_t>(tail[i]);
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != kExt[i])
            return false;
    }
    return true;
}

// Writes head followed by tail into out[0..capacity) with a terminator. Returns false and
// leaves out empty when it would not fit: a cut path names another file.
template <class Unit>
bool JoinPath(Unit* out, std::size_t capacity, std::basic_string_view<Unit> head,
              std::basic_string_view<Unit> tail) {
    if (capacity == 0)
        return false;
    if (head.size() + tail.size() + 1 > capacity) {
        out[0] = 0;
        return false;
    }
    head.copy(out, head.size());
    tail.copy(out + head.size(), tail.size());
    out[head.size() + tail.size()] = 0;
    return true;
}

} // namespace cleanup
