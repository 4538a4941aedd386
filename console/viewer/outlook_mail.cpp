#include "console/viewer/outlook_mail.h"

#include "console/viewer/log_view_text.h"

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

MailShape ChooseMailShape(bool shownWhole, std::uint64_t logBytes) {
    return shownWhole && logBytes <= kMailBodyMaxBytes ? MailShape::kInBody : MailShape::kAttached;
}

std::u16string MailOmittedLine(std::uint64_t omitted, std::u16string_view attachmentName) {
    const auto ascii = [](const std::string& s) { return std::u16string(s.begin(), s.end()); };
    std::u16string line = u"[... " + ascii(FormatLogSize(omitted)) +
                          u" before this point not in this text; the attached ";
    line += attachmentName;
    line += u" holds the whole log / " + ascii(FormatLogSize(omitted, ',')) +
            u" davor nicht in diesem Text; die angeh\u00e4ngte Datei ";
    line += attachmentName;
    line += u" enth\u00e4lt das ganze Protokoll ...]\r\n";
    return line;
}

std::string ReadingCaption(int percent) {
    const std::string pc = std::to_string(percent);
    return "Reading the log: " + pc + "% / Das Log wird gelesen: " + pc + " %";
}

std::string PackingCaption(int percent) {
    const std::string pc = std::to_string(percent);
    return "Packing the log for the mail: " + pc +
           "% / Das Log wird f\xC3\xBCr die Mail gepackt: " + pc + " %";
}

} // namespace kes
