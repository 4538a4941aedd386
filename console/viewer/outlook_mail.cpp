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

SupportMail ComposeSupportMail(std::u16string_view logText) {
    SupportMail m;
    m.To = kSupportAddress;
    m.Subject = kSupportSubject;
    m.Body = kSupportOpening;
    m.Body.append(logText);
    return m;
}

} // namespace kes
