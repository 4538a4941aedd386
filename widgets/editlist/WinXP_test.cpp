#include "widgets/editlist/WinXP.h"

#include <gtest/gtest.h>

namespace kes {
namespace {

std::string Failure(TComponent* owner) {
    try {
        TWinXP extra(owner);
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

TEST(WinXP, OnePerFormAndOnlyOnAForm) {
    TForm form(nullptr);
    TWinXP first(&form);
    EXPECT_EQ(form.Components.size(), 1u);
    EXPECT_EQ(Failure(&form), "Only one instance of TWinXP allowed on form");
    // The refused one leaves the form as it was.
    ASSERT_EQ(form.Components.size(), 1u);
    EXPECT_EQ(form.Components[0], &first);

    TComponent plain(nullptr);
    EXPECT_EQ(Failure(&plain), "Control parent must be a form!");
    EXPECT_TRUE(plain.Components.empty());
    EXPECT_EQ(Failure(nullptr), "Control parent must be a form!");

    TForm other(nullptr);
    EXPECT_EQ(Failure(&other), "");
}

} // namespace
} // namespace kes
