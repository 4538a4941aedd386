#include "cleanup/cleanup_core.h"

namespace cleanup {

void AppendCode(std::string& trace, long code) {
    trace += ':';
    trace += std::to_string(code);
}

void AppendDeleteFailure(std::string& trace, std::string_view dataBytes) {
    trace.append(dataBytes);
    // "gelöscht" with the Windows-1252 byte of "ö".
    trace += " konnte nicht gel\xF6scht werden";
}

} // namespace cleanup
