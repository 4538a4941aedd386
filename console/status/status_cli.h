#pragma once
// Quillard from a script: "/status" tells whether the add-in will run, "/repair" puts right
// what this user may. Portable: the registry and the rest come in through the backend and the
// status source; the program's entry only parses, writes and exits.
#include "console/status/status.h"

#include <string>
#include <string_view>
#include <vector>

namespace kes::status {

enum class Command { Window, Status, Repair, Help, Unknown };

inline constexpr int kExitWillRun = 0;    // /status: will run; /repair: nothing that stops it left
inline constexpr int kExitWillNotRun = 1; // /status: something stops it
inline constexpr int kExitLeft = 2;       // /repair: something that stops it is left
inline constexpr int kExitUsage = 3;      // unknown arguments: the usage text, nothing read

extern const char kUsage[];

// No arguments: the window. One argument, "/" or "-" in front, any letter case.
Command ParseCommand(const std::vector<std::u16string_view>& args);

struct CommandOutcome {
    std::vector<std::string> lines; // UTF-8
    int exitCode = kExitUsage;
};

// The report and its verdict; 0 or 1.
CommandOutcome RunStatus(RegistryBackend& reg, StatusSource& source);
// What repair did, then the report and verdict read afresh; 0 or 2.
CommandOutcome RunRepair(RegistryBackend& reg, StatusSource& source);

} // namespace kes::status
