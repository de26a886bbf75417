#include <gtest/gtest.h>

#include "FormBody.h"
#include "Ipv4.h"

using namespace tarvonet;

TEST(LoginForm, KeepsAmpersandsEqualSignsAndPercentSignsAsSent) {
    LoginForm form;
    ASSERT_TRUE(parseLoginForm("action=login&username=a&b=c&password=x=y&%41&counter=58116&extra=0", form));
    EXPECT_EQ(form.user, "a&b=c");
    EXPECT_EQ(form.password, "x=y&%41");
    EXPECT_EQ(form.counter, 58116);
    EXPECT_EQ(form.extra, 0);
}

TEST(LoginForm, PasswordMayHoldTheFieldNamesThatFollowIt) {
    LoginForm form;
    ASSERT_TRUE(parseLoginForm(
        "action=login&username=bob&password=p&counter=9&extra=7&password=q&counter=40000&extra=0\r\n", form));
    EXPECT_EQ(form.user, "bob");
    EXPECT_EQ(form.password, "p&counter=9&extra=7&password=q");
    EXPECT_EQ(form.counter, 40000);
}

TEST(LoginForm, RefusesBodiesOutOfOrderIncompleteOrOutOfRange) {
    LoginForm form;
    for (const char* bad : {"action=login&password=b&username=a&counter=2&extra=0",
                            "action=login&username=a&password=b&counter=2",
                            "action=login&username=a&counter=2&extra=0",
                            "action=login&username=a&password=b&counter=65536&extra=0",
                            "action=login&username=a&password=b&counter=-1&extra=0",
                            "action=login&username=a&password=b&counter=12x&extra=0",
                            "action=login&username=a&password=b&counter=1&extra=99999999999", ""}) {
        EXPECT_FALSE(parseLoginForm(bad, form)) << bad;
    }
}

TEST(FormAction, NamesOnlyTheWholeActionAtTheStart) {
    EXPECT_EQ(actionOf("action=keepalive&flags=0"), Action::KeepAlive);
    EXPECT_EQ(actionOf("action=checkinvitation"), Action::CheckInvitation);
    EXPECT_EQ(actionOf("action=loginx"), Action::Unknown);
    EXPECT_EQ(actionOf("action=LOGIN"), Action::Unknown);
    EXPECT_EQ(actionOf("username=a&action=login"), Action::Unknown);
    std::string_view value;
    ASSERT_TRUE(formValue("action=keepalive&flags=13", "flags", value));
    EXPECT_EQ(value, "13");
    EXPECT_FALSE(formValue("action=keepalive&xflags=13", "flags", value));
}

TEST(DottedQuad, ParsesFourSmallPartsAndNothingElse) {
    uint32_t a = 0;
    ASSERT_TRUE(parseDottedQuad("127.0.0.12", a));
    EXPECT_EQ(a, 0x7F00000Cu);
    EXPECT_EQ(formatDottedQuad(0xFFFFFFFFu), "255.255.255.255");
    for (const char* bad : {"192.0.2", "192.0.2.256", "192.0.2.1.", " 192.0.2.1", "192..2.1", "198.51.100.0004", "a.b.c.d",
                            "192.0.2.1\r\n"}) {
        EXPECT_FALSE(parseDottedQuad(bad, a)) << bad;
    }
}
