#include "console/status/status_cli.h"

#include <algorithm>

namespace kes::status {

const char kUsage[] =
    "Quillard shows whether the Kestrova add-in will run in Outlook, and puts it right.\r\n"
    "\r\n"
    "Quillard            opens the settings console\r\n"
    "Quillard /status    prints the add-in's status\r\n"
    "                    exit code 0: it will run as configured, 1: it will not\r\n"
    "Quillard /repair    puts right what this user may, then prints the status again\r\n"
    "                    exit code 0: nothing that stops it is left, 2: something is\r\n"
    "Quillard /?         this text\r\n"
    "\r\n"
    "Other arguments: this text, exit code 3. To a pipe or file the text is UTF-8,\r\n"
    "lines end in CR LF.\r\n";

Command ParseCommand(const std::vector<std::u16string_view>& args) {
    if (args.empty())
        return Command::Window;
    if (args.size() > 1 || args[0].size() < 2 || (args[0][0] != u'/' && args[0][0] != u'-'))
        return Command::Unknown;
    std::u16string name(args[0].substr(1));
    for (char16_t& c : name)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return name == u"?"        ? Command::Help
           : name == u"status" ? Command::Status
           : name == u"repair" ? Command::Repair
                               : Command::Unknown;
}

namespace {
void Append(std::vector<std::string>& to, const std::vector<std::string>& lines) {
    to.insert(to.end(), lines.begin(), lines.end());
}
} // namespace

CommandOutcome RunStatus(RegistryBackend& reg, StatusSource& source) {
    const StatusFacts facts = ReadStatus(reg, source);
    const std::vector<std::string> blockers = Blockers(facts);
    CommandOutcome out{ComposeReport(facts), blockers.empty() ? kExitWillRun : kExitWillNotRun};
    out.lines.emplace_back();
    Append(out.lines, VerdictLines(blockers));
    return out;
}

CommandOutcome RunRepair(RegistryBackend& reg, StatusSource& source) {
    const std::vector<RepairStep> plan = PlanRepair(ReadStatus(reg, source));
    CommandOutcome out;
    out.lines.push_back("Repair / Reparatur");
    if (!ChangesAnything(plan))
        out.lines.push_back("  nothing to change / nichts zu \xC3\xA4ndern");
    for (const std::string& line : ApplyRepair(reg, source, plan).lines)
        out.lines.push_back("  " + line);
    out.lines.emplace_back();
    CommandOutcome after = RunStatus(reg, source);
    Append(out.lines, after.lines);
    out.exitCode = after.exitCode == kExitWillRun ? kExitWillRun : kExitLeft;
    return out;
}

} // namespace kes::status
