// The ini persistence over random entries and random hand edits of their values: escaping
// round-trips into printable ASCII, and every entry whose value was not edited comes back
// exactly, in its place.
#include "widgets/editlist/persist_format.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kes;
    // Entries separated by 0xFF bytes, up to a 0xFE byte; after it, edits of three bytes and
    // more: the entry's number, a length n, then n bytes that replace its value.
    const std::string in(reinterpret_cast<const char*>(data), size);
    const std::size_t split = std::min(in.find('\xFE'), in.size());
    std::vector<std::string> entries;
    for (std::size_t at = 0; at <= split && split > 0;) {
        const std::size_t end = std::min(in.find('\xFF', at), split);
        entries.push_back(in.substr(at, end - at));
        at = end + 1;
    }
    std::map<std::string, std::string> file;
    for (const auto& [name, value] : PersistWrites(entries, 0, false, EscapeIniValue)) {
        for (unsigned char c : value)
            Check(c >= 0x20 && c < 0x7F);
        file[name] = "\"" + value + "\""; // as the profile functions leave every value
    }
    for (const auto& e : entries)
        Check(UnescapeIniValue(EscapeIniValue(e)) == e);

    std::vector<bool> edited(entries.size(), false);
    for (std::size_t at = split + 1; at + 2 <= in.size();) {
        const std::size_t item = static_cast<unsigned char>(in[at]) % (entries.size() + 1);
        const std::size_t n =
            std::min<std::size_t>(static_cast<unsigned char>(in[at + 1]), in.size() - at - 2);
        std::string value = in.substr(at + 2, n);
        at += 2 + n;
        UnescapeIniValue(value); // any text at all
        // An empty value without quotes is where an older writer ended its list: not a value
        // edited but the list cut, read the older way by design.
        if (value.find_first_not_of(" \t") == std::string::npos || item == entries.size())
            continue;
        file["Item" + std::to_string(item + 1)] = value;
        edited[item] = true;
    }
    const PersistRead r = PersistReads(
        [&file](const std::string& name) -> std::optional<std::string> {
            const auto it = file.find(name);
            return it == file.end() ? std::nullopt : std::optional<std::string>(it->second);
        },
        IniValue);
    Check(r.values.size() == entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        Check(edited[i] || r.values[i] == entries[i]);
    for (const auto& name : r.unreadable)
        Check(name.rfind("Item", 0) == 0 && name != kItemCountName &&
              edited[std::stoul(name.substr(4)) - 1]);
    return 0;
}
