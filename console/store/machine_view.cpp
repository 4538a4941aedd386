#include "console/store/machine_view.h"

#include <optional>
#include <string>
#include <vector>

namespace kes {
namespace {

// A short REG_SZ as ASCII; anything else (missing, another type, too long) gives nothing.
std::optional<std::string> ReadShortText(RegistryBackend& reg, RegView view,
                                         const std::string& path, const char* name,
                                         bool& keyFound) {
    keyFound = false;
    RegKey key = 0;
    if (reg.OpenKey(RootHandle(RootKey::LocalMachine), path,
                    kKeyRead | static_cast<std::uint32_t>(view), false, key) != regcode::Success)
        return std::nullopt;
    keyFound = true;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    const long rc = reg.QueryValue(key, name, 32, type, data);
    reg.CloseKey(key);
    if (rc != regcode::Success || type != regtype::Sz)
        return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const unsigned unit = data[i] | data[i + 1] << 8;
        if (unit == 0)
            break;
        const char c = unit < 0x80 ? static_cast<char>(unit) : '?';
        text.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c);
    }
    return text;
}

std::optional<RegView> ViewOf(const std::optional<std::string>& bitness) {
    if (bitness == "x86")
        return RegView::Bits32;
    if (bitness == "x64")
        return RegView::Bits64;
    return std::nullopt;
}

} // namespace

RegView OutlookMachineView(RegistryBackend& reg) {
    // Click-to-Run first: it is 15.0 or newer, cannot stand beside an MSI Office of its own
    // version, and an uninstalled MSI Office leaves its version's Outlook key behind.
    for (RegView view : {RegView::Bits64, RegView::Bits32}) {
        bool found = false;
        if (const auto chosen = ViewOf(
                ReadShortText(reg, view, "Software\\Microsoft\\Office\\ClickToRun\\Configuration",
                              "Platform", found)))
            return *chosen;
    }
    static const struct {
        const char* version;
        bool hasBitness;
    } kVersions[] = {{"16.0", true},  {"15.0", true},  {"14.0", true}, {"12.0", false},
                     {"11.0", false}, {"10.0", false}, {"9.0", false}};
    for (const auto& v : kVersions) {
        for (RegView view : {RegView::Bits64, RegView::Bits32}) {
            bool found = false;
            const auto bitness = ReadShortText(
                reg, view, std::string("Software\\Microsoft\\Office\\") + v.version + "\\Outlook",
                "Bitness", found);
            if (const auto chosen = ViewOf(bitness))
                return *chosen;
            if (found && !v.hasBitness)
                return RegView::Bits32;
        }
    }
    return RegView::Bits64;
}

} // namespace kes
