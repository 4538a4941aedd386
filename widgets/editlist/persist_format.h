#pragma once
// What the editable list box's persistence writes and reads, free of the platform.
//
// One ini section, or one registry key below the current user, holds:
//   Item1 ... Itemn   the n entries in the list's order (with MaxCount the last Count entries,
//                     padded with empty values up to Item<Count> when there are fewer)
//   the next Item     empty: readers of the older format stop there
//   ItemCount         "n:hhhhhhhh": the number of entries and the FNV-1a hash (8 hex digits) of
//                     the n values as stored; it marks the end, so empty entries are kept
// Every value is read on its own. With a well-formed ItemCount the count ends the list, empty
// entries included, and a value changed by hand (the hash no longer matches) costs nothing but
// its own form. A section without one is read the older way: Item1, Item2, ... up to the first
// empty or missing value. So is a section whose hash does not match and that holds, within the
// count, an empty value in the older form: an older writer saved over it, leaving the marker.
//
// The registry keeps every entry as it stands (REG_SZ in UTF-16). An ini file does not: the
// profile functions trim blanks around a value, drop one pair of quotes around it and keep the
// file in the ANSI code page. So an ini value is written as "escaped", in double quotes, where
//   \\          is a backslash
//   \xHH        a control character (below 0x20, and 0x7F) or a byte that is not UTF-8
//   \uHHHH      a character beyond ASCII (\UHHHHHHHH beyond U+FFFF)
// and every other character stands for itself (quotes, "=", ";", "[" included). The file thus
// holds ASCII only, whatever its code page. A value in quotes is unescaped; one without them
// was written by an older build, or by hand, and is taken as it stands.
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kes {

enum TELStorage { stInifile = 0, stRegistry = 1 };

struct TELPersist {
    bool Enable = false;
    TELStorage Storage = stInifile;
    std::string Key;     // the ini file's name, or the key below the current user
    std::string Section; // the ini section, or the subkey
    int Count = 0;       // entries kept when MaxCount is on
    bool MaxCount = false;
};

inline constexpr char kItemCountName[] = "ItemCount";

// The values SavePersist writes, in order: "Item1".."Itemn" (with maxCount the last `count`
// entries, padded with empty values), the empty one after them, and ItemCount. `encode` turns
// an entry into the value stored.
std::vector<std::pair<std::string, std::string>>
PersistWrites(const std::vector<std::string>& entries, int count, bool maxCount,
              const std::function<std::string(const std::string&)>& encode = nullptr);

// A value as a store holds it, made into an entry.
struct PersistValue {
    std::string stored;  // what the marker's hash counts
    std::string entry;   // the list's entry
    bool broken = false; // its form was damaged (a quote that opens and never closes)
    bool bare = false;   // empty in the older form: where an older writer ended its list
};
using PersistDecode = std::function<PersistValue(const std::string& raw)>;
// The registry's values are the entries themselves.
PersistValue RegistryValue(const std::string& raw);
// An ini value with its quotes, as the file's line holds it after the "=".
PersistValue IniValue(const std::string& raw);

struct PersistRead {
    std::vector<std::string> values;     // the entries
    std::vector<std::string> unreadable; // names of values missing or damaged
};
// What LoadPersist reads; `read` gives a value as stored, or nothing when it is missing.
PersistRead PersistReads(const std::function<std::optional<std::string>(const std::string&)>& read,
                         const PersistDecode& decode = RegistryValue);

// The ini store's encoding (see above), and its inverse; malformed escapes stand for themselves.
std::string EscapeIniValue(const std::string& utf8);
std::string UnescapeIniValue(const std::string& escaped);

} // namespace kes
