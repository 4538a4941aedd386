#pragma once
// The support mail: recipient, subject and body, composed without Outlook.
#include <string>
#include <string_view>

namespace kes {

// The maker's support address, the build setting KES_SUPPORT_ADDRESS (CMake cache).
extern const char16_t kSupportAddress[];
extern const char16_t kSupportSubject[];
// Put in front of the log; its line breaks are single line feeds.
extern const char16_t kSupportOpening[];

struct SupportMail {
    std::u16string To, Subject, Body;
};

// `logText` is the viewer's text as shown (CR LF line breaks), taken unchanged. `report`, the
// add-in's status, goes between the request for an explanation and "Debuglog:".
SupportMail ComposeSupportMail(std::u16string_view logText, std::u16string_view report = {});

} // namespace kes
