// The one-sweep preprocessing against the straightforward reading: the entity table applied
// round after round (first occurrence of each entity per round) until a round changes nothing,
// then the first "<#", then line breaks.
#include "widgets/HTMLText/markup.h"

#include <gtest/gtest.h>

#include <random>

namespace kes {
namespace {

std::string ReferencePreprocess(std::string s) {
    static const char* const entities[][2] = {
        {"&amp;", "&&"},
        {"&quot;", "\""},
        {"&sect;", "\xC2\xA7"},
        {"&permil;", "\xE2\x80\xB0"},
        {"&reg;", "\xC2\xAE"},
        {"&copy;", "\xC2\xA9"},
        {"&para;", "\xC2\xB6"},
        {"&trade;", "\xE2\x84\xA2"},
        {"&euro;", "\xE2\x82\xAC"},
    };
    if (s.find('&') != std::string::npos) {
        bool changed = true;
        while (changed) {
            changed = false;
            for (const auto& e : entities)
                changed = ReplaceFirstNoCase(e[0], e[1], s) || changed;
        }
    }
    int hash = PosNoCase("<#", s);
    if (hash > 0) {
        s.erase(static_cast<std::size_t>(hash - 1), 1);
        std::size_t gt = s.find('>', static_cast<std::size_t>(hash - 1));
        if (gt != std::string::npos)
            s.erase(gt, 1);
    }
    std::string out;
    for (char c : s)
        if (c == '\r')
            out += "<BR>";
        else if (c != '\n')
            out += c;
    return out;
}

TEST(MarkupPreprocess, Examples) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"a&amp;b", "a&&b"},
        {"&amp;amp;amp;", "&&&&"},
        {"&AmP;quot;", "&\""},
        {"&amp;&amp;", "&&&&"},
        {"&&euro;;", "&\xE2\x82\xAC;"},
        {"x<#y>z<#w>", "x#yz<#w>"},
        {"<#", "#"},
        {"a\r\nb\n", "a<BR>b"},
        {"&ampx", "&ampx"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PreprocessMarkup(c.in), c.out) << c.in;
        EXPECT_EQ(ReferencePreprocess(c.in), c.out) << c.in;
    }
}

TEST(MarkupPreprocess, SameAsTheReferenceOnRandomText) {
    // Pieces that make entities, half entities, their neighbours and the "<#" rule likely.
    const char* pieces[] = {"&",     "amp;",    "AMP;", "amp",   ";",     "quot;",
                            "sect;", "permil;", "reg;", "copy;", "para;", "trade;",
                            "euro;", "Euro;",   "<",    "#",     ">",     "<#",
                            "\r",    "\n",      "a",    " ",     "&&",    "\xC3\xA9"};
    std::mt19937 rng(12345);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 40);
    for (int i = 0; i < 20000; ++i) {
        std::string s;
        for (int n = length(rng); n > 0; --n)
            s += pieces[pick(rng)];
        ASSERT_EQ(PreprocessMarkup(s), ReferencePreprocess(s)) << s;
    }
}

} // namespace
} // namespace kes
