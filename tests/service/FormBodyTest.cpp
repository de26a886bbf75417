#include <gtest/gtest.h>

#include "FormBody.h"
#include "Ipv4.h"

using namespace tarvonet;

TEST(LoginForm, ReadsAPlainLogin) {
    LoginForm form;
    ASSERT_TRUE(parseLoginForm("action=login&username=alice&password=secret&counter=58116&extra=0", form));
    EXPECT_EQ(form.user, "alice");
    EXPECT_EQ(form.password, "secret");
    EXPECT_EQ(form.counter, 58116);
    EXPECT_EQ(form.extra, 0);
}

TEST(LoginForm, KeepsAmpersandsAndEqualSignsInNameAndPassword) {
    LoginForm form;
    ASSERT_TRUE(parseLoginForm("action=login&username=a&b=c&password=x=y&z&counter=1&extra=0", form));
    EXPECT_EQ(form.user, "a&b=c");
    EXPECT_EQ(form.password, "x=y&z");
}

TEST(LoginForm, PasswordMayHoldTheFieldNamesThatFollowIt) {
    LoginForm form;
    ASSERT_TRUE(parseLoginForm(
        "action=login&username=bob&password=p&counter=9&extra=7&password=q&counter=40000&extra=0", form));
    EXPECT_EQ(form.user, "bob");
    EXPECT_EQ(form.password, "p&counter=9&extra=7&password=q");
    EXPECT_EQ(form.counter, 40000);
}

TEST(LoginForm, DoesNotDecodePercentSigns) {
    LoginForm form;
    ASSERT_TRUE(parseLoginForm("action=login&username=%41l&password=100%25&counter=1&extra=0", form));
    EXPECT_EQ(form.user, "%41l");
    EXPECT_EQ(form.password, "100%25");
}

TEST(LoginForm, IgnoresALineEndCountedIntoTheBody) {
    LoginForm form;
    ASSERT_TRUE(parseLoginForm("action=login&username=a&password=b&counter=2&extra=0\r\n", form));
    EXPECT_EQ(form.extra, 0);
}

TEST(LoginForm, AcceptsAnEmptyPasswordFieldForTheRulesToRefuseLater) {
    LoginForm form;
    ASSERT_TRUE(parseLoginForm("action=login&username=a&password=&counter=2&extra=0", form));
    EXPECT_EQ(form.password, "");
}

TEST(LoginForm, RefusesBodiesOutOfOrderOrIncomplete) {
    LoginForm form;
    EXPECT_FALSE(parseLoginForm("action=login&password=b&username=a&counter=2&extra=0", form));
    EXPECT_FALSE(parseLoginForm("action=login&username=a&password=b&counter=2", form));
    EXPECT_FALSE(parseLoginForm("action=login&username=a&password=b", form));
    EXPECT_FALSE(parseLoginForm("action=login&username=a&counter=2&extra=0", form));
    EXPECT_FALSE(parseLoginForm("", form));
}

TEST(LoginForm, RefusesPortsOutsideTheUdpRangeAndNonNumbers) {
    LoginForm form;
    EXPECT_FALSE(parseLoginForm("action=login&username=a&password=b&counter=65536&extra=0", form));
    EXPECT_FALSE(parseLoginForm("action=login&username=a&password=b&counter=-1&extra=0", form));
    EXPECT_FALSE(parseLoginForm("action=login&username=a&password=b&counter=12x&extra=0", form));
    EXPECT_FALSE(parseLoginForm("action=login&username=a&password=b&counter=&extra=0", form));
    EXPECT_FALSE(parseLoginForm("action=login&username=a&password=b&counter=1&extra=99999999999", form));
}

TEST(FormAction, NamesEachOfTheSixActions) {
    EXPECT_EQ(actionOf("action=login&username=x"), Action::Login);
    EXPECT_EQ(actionOf("action=logout"), Action::Logout);
    EXPECT_EQ(actionOf("action=onlinelist"), Action::OnlineList);
    EXPECT_EQ(actionOf("action=keepalive&flags=0"), Action::KeepAlive);
    EXPECT_EQ(actionOf("action=invite&ip=1.2.3.4"), Action::Invite);
    EXPECT_EQ(actionOf("action=checkinvitation"), Action::CheckInvitation);
}

TEST(FormAction, UnknownForOtherNamesPrefixesAndMissingKey) {
    EXPECT_EQ(actionOf("action=loginx"), Action::Unknown);
    EXPECT_EQ(actionOf("action=LOGIN"), Action::Unknown);
    EXPECT_EQ(actionOf("xaction=login"), Action::Unknown);
    EXPECT_EQ(actionOf("username=a&action=login"), Action::Unknown);
    EXPECT_EQ(actionOf(""), Action::Unknown);
}

TEST(FormValue, FindsKeysAnywhereButOnlyWhole) {
    std::string_view value;
    ASSERT_TRUE(formValue("action=keepalive&flags=13", "flags", value));
    EXPECT_EQ(value, "13");
    EXPECT_FALSE(formValue("action=keepalive&xflags=13", "flags", value));
    EXPECT_FALSE(formValue("action=keepalive", "flags", value));
    ASSERT_TRUE(formValue("action=invite&ip=", "ip", value));
    EXPECT_EQ(value, "");
}

TEST(BoundedInt, HonoursLimitsSignAndDigitCount) {
    int v = 0;
    EXPECT_TRUE(parseBoundedInt("-5", -10, 10, v));
    EXPECT_EQ(v, -5);
    EXPECT_FALSE(parseBoundedInt("11", -10, 10, v));
    EXPECT_FALSE(parseBoundedInt("-", -10, 10, v));
    EXPECT_FALSE(parseBoundedInt("1234567890", 0, 2000000000, v));
    EXPECT_FALSE(parseBoundedInt(" 1", 0, 10, v));
}

TEST(DottedQuad, ParsesAndFormatsBackTheSame) {
    uint32_t a = 0;
    ASSERT_TRUE(parseDottedQuad("127.0.0.12", a));
    EXPECT_EQ(a, 0x7F00000Cu);
    EXPECT_EQ(formatDottedQuad(a), "127.0.0.12");
    ASSERT_TRUE(parseDottedQuad("255.255.255.255", a));
    EXPECT_EQ(formatDottedQuad(a), "255.255.255.255");
}

TEST(DottedQuad, RefusesEverythingButFourSmallParts) {
    uint32_t a = 0;
    for (const char* bad : {"10.0.0", "10.0.0.256", "10.0.0.1.", "10.0.0.1 ", " 10.0.0.1", "10..0.1", "1.2.3.0004",
                            "a.b.c.d", "", "10.0.0.1\r\n"}) {
        EXPECT_FALSE(parseDottedQuad(bad, a)) << bad;
    }
}
