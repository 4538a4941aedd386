#include "console/viewer/outlook_mail.h"

namespace kes {

const char16_t kSupportAddress[] = u"" KES_SUPPORT_ADDRESS;
const char16_t kSupportSubject[] = u"Debug.log => Kestrova";
const char16_t kSupportOpening[] = u"Please write a short explanation of your problem\n"
                                   u".....\n"
                                   u"Bitte, schreiben Sie eine kurze Fehlerbeschreibung dazu\n"
                                   u"...\n"
                                   u"\n\n\n"
                                   u"Debuglog:\n\n";

SupportMail ComposeSupportMail(std::u16string_view logText, std::u16string_view report) {
    SupportMail m;
    m.To = kSupportAddress;
    m.Subject = kSupportSubject;
    const std::u16string_view opening = kSupportOpening;
    const std::size_t logHeading = opening.rfind(u"Debuglog:");
    m.Body = opening.substr(0, logHeading);
    if (!report.empty())
        m.Body.append(report).append(u"\n");
    m.Body.append(opening.substr(logHeading));
    m.Body.append(logText);
    return m;
}

} // namespace kes
