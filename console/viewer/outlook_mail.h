#pragma once
// The support mail: recipient, subject and body, composed without Outlook.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kes {

// The maker's support address, the build setting KES_SUPPORT_ADDRESS (CMake cache).
extern const char16_t kSupportAddress[];
extern const char16_t kSupportSubject[];
// Put in front of the log; its line breaks are single line feeds.
extern const char16_t kSupportOpening[];

struct SupportMail {
    std::u16string To, Subject, Body;
    // Files attached to the mail, by path, and the body to use instead when Outlook refuses one.
    std::vector<std::u16string> Attachments;
    std::u16string BodyIfNotAttached;
};

// `logText` is the viewer's text as shown (CR LF line breaks), taken unchanged. `report`, the
// add-in's status, goes between the request for an explanation and "Debuglog:".
SupportMail ComposeSupportMail(std::u16string_view logText, std::u16string_view report = {});

// Mail servers commonly refuse messages over 10 MB (Exchange Server's default; Exchange Online
// and most mail services take 25 to 35 MB), and Outlook's body is UTF-16, twice the log's
// bytes. A log of up to this size, shown whole, goes in the body as the view shows it; a larger
// one, or one the view shows only in part, travels attached, with its last part in the body.
constexpr std::uint64_t kMailBodyMaxBytes = 1024 * 1024;
enum class MailShape { kInBody, kAttached };
MailShape ChooseMailShape(bool shownWhole, std::uint64_t logBytes);
// Opens the log part of the body when the log travels attached as `attachmentName`; the first
// `omitted` bytes of the log are not in the body. CR LF at its end.
std::u16string MailOmittedLine(std::uint64_t omitted, std::u16string_view attachmentName);
// The support button's caption while the mail waits for the log to be read, and while the log
// is packed for it (UTF-8).
std::string ReadingCaption(int percent);
std::string PackingCaption(int percent);

} // namespace kes
