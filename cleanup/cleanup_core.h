// The platform-free half of cleanup: how the trace is spelled, which data names one of our
// add-ins, which folder entries are ours to delete and how names are written out.
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

// Whether `data` names one of our add-ins: "kestrova.dll" or "tarnwick.dll" as the file name
// of a path. The name starts after "\\", "/" or a zero unit (where a path starts in Outlook's
// record) and ends at a zero unit or the end of the data, so that "mykestrova.dll" and
// "kestrova.dll.bak", other vendors' files, stay. Letters compare without regard to ASCII case,
// as Windows compares file names. A name at unit 0 is not one of Outlook's records, which start
// with a binary header. Works on the raw units, zeros included. `cut`: the value goes on past
// `data` with a unit other than zero, so a name that reaches the cut may go on too
// ("kestrova.dll.bak") and is not ours.
template <class Unit> bool NamesAddIn(std::basic_string_view<Unit> data, bool cut = false) {
    static constexpr std::u16string_view kFiles[] = {u"kestrova.dll", u"tarnwick.dll"};
    const auto lower = [](Unit u) {
        const char16_t c = static_cast<char16_t>(u);
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    for (std::u16string_view file : kFiles) {
        for (std::size_t pos = 1; pos + file.size() <= data.size(); ++pos) {
            const char16_t before = static_cast<char16_t>(data[pos - 1]);
            if (before != u'\\' && before != u'/' && before != 0)
                continue;
            const std::size_t end = pos + file.size();
            if (end < data.size() ? data[end] != 0 : cut)
                continue;
            std::size_t i = 0;
            while (i < file.size() && lower(data[pos + i]) == file[i])
                ++i;
            if (i == file.size())
                return true;
        }
    }
    return false;
}

// Appends UTF-16 units as UTF-8. A lone surrogate, which a Windows name may hold, is written in
// its three-byte form (WTF-8), so that no name is changed on the way.
template <class Unit> void AppendUtf8(std::string& out, std::basic_string_view<Unit> units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = static_cast<char16_t>(units[i]);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size()) {
            const char32_t low = static_cast<char16_t>(units[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
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

// Whether a folder with these attributes (as the platform gives them, all bits set for none) may
// be removed once emptied. A junction or directory link never: removing it would remove the
// link whatever its target still holds, and its target is not ours.
inline bool MayRemoveFolder(unsigned long attributes) {
    constexpr unsigned long kInvalid = 0xFFFFFFFF, kDirectory = 0x10, kReparsePoint = 0x400;
    return attributes != kInvalid && (attributes & kDirectory) != 0 &&
           (attributes & kReparsePoint) == 0;
}

} // namespace cleanup
