#include "console/viewer/outlook_mail.h"

#include <gtest/gtest.h>

namespace kes {
namespace {

TEST(SupportMail, OpeningTextThenTheViewsTextByteForByte) {
    const std::u16string opening =
        u"Please write a short explanation of your problem\n.....\nBitte, schreiben Sie eine "
        u"kurze Fehlerbeschreibung dazu\n...\n\n\n\nDebuglog:\n\n";
    const struct {
        std::u16string log;
    } cases[] = {
        {u""},
        {u"Please restart Outlook to get this logfile\r\n"},
        {u"10:00 start\r\n10:01 \u00e4\u20ac sync\r\n"},
        {std::u16string(u"nul\0kept", 8)},
    };
    for (const auto& c : cases) {
        const SupportMail m = ComposeSupportMail(c.log);
        EXPECT_EQ(m.To, kSupportAddress);
        EXPECT_EQ(m.Subject, u"Debug.log => Kestrova");
        EXPECT_EQ(m.Body, opening + c.log);
    }
    // An empty view: the body ends in "Debuglog:" and two line feeds.
    const std::u16string body = ComposeSupportMail(u"").Body;
    EXPECT_EQ(body.substr(body.size() - 11), u"Debuglog:\n\n");
    EXPECT_EQ(body.find(u'\r'), std::u16string::npos);
}

TEST(SupportMail, TheStatusReportStandsBetweenTheRequestAndTheLog) {
    const SupportMail m = ComposeSupportMail(u"10:00 start\r\n", u"Add-in status\n  debug: on\n");
    EXPECT_EQ(m.Body, u"Please write a short explanation of your problem\n.....\nBitte, schreiben "
                      u"Sie eine kurze Fehlerbeschreibung dazu\n...\n\n\n\nAdd-in status\n  debug: "
                      u"on\n\nDebuglog:\n\n10:00 start\r\n");
}

TEST(SupportMail, ALogShownWholeAndSmallGoesInTheBodyAnyOtherTravelsAttached) {
    EXPECT_EQ(ChooseMailShape(true, 0), MailShape::kInBody);
    EXPECT_EQ(ChooseMailShape(true, kMailBodyMaxBytes), MailShape::kInBody);
    EXPECT_EQ(ChooseMailShape(true, kMailBodyMaxBytes + 1), MailShape::kAttached);
    EXPECT_EQ(ChooseMailShape(false, 1000), MailShape::kAttached);
    EXPECT_EQ(MailOmittedLine(49492787, u"Kestrova_debug.zip"),
              u"[... 47.2 MB before this point not in this text; the attached Kestrova_debug.zip "
              u"holds the whole log / 47,2 MB davor nicht in diesem Text; die angeh\u00e4ngte "
              u"Datei Kestrova_debug.zip enth\u00e4lt das ganze Protokoll ...]\r\n");
}

TEST(SupportMail, AddressIsOneAddress) {
    const std::u16string a = kSupportAddress;
    EXPECT_EQ(std::count(a.begin(), a.end(), u'@'), 1);
    EXPECT_EQ(a.find_first_of(u" ;,"), std::u16string::npos);
}

} // namespace
} // namespace kes
