#include "console/dialogs/dialogs.h"

namespace kes {

std::string ErrorBoxText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > 0x2E)
        return message + ".";
    return message;
}

} // namespace kes
