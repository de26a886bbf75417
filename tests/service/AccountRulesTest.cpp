#include <gtest/gtest.h>

#include "AccountRules.h"

using namespace tarvonet;

TEST(AccountRules, NamesMayHoldFormCharactersAndNonAscii) {
    EXPECT_EQ(checkAccountName("a&b=c"), "");
    EXPECT_EQ(checkAccountName("J\xc3\xb6rg 100%"), "");
    EXPECT_EQ(checkAccountName(std::string(126, 'x')), "");
}

TEST(AccountRules, NamesThatWouldBreakTheRepliesOrTheLoginBodyAreRefused) {
    EXPECT_NE(checkAccountName(""), "");
    EXPECT_NE(checkAccountName(std::string(127, 'x')), "");
    EXPECT_NE(checkAccountName("evilPLXIP:1.2.3.4"), "");
    EXPECT_NE(checkAccountName("a&password=b"), "");
    EXPECT_NE(checkAccountName("line\r\nbreak"), "");
    EXPECT_NE(checkAccountName(std::string("nul\0x", 5)), "");
    EXPECT_NE(checkAccountName(" padded"), "");
    EXPECT_NE(checkAccountName("(no user)"), "");
}

TEST(AccountRules, PasswordsAreFreeButBoundedAndNonEmpty) {
    EXPECT_EQ(checkPassword("&password=&counter=1"), "");
    EXPECT_EQ(checkPassword(std::string(255, 'p')), "");
    EXPECT_NE(checkPassword(std::string(256, 'p')), "");
    EXPECT_NE(checkPassword(""), "");
    EXPECT_NE(checkPassword("(no passwd)"), "");
}
