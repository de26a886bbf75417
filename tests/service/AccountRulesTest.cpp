#include <gtest/gtest.h>

#include "AccountRules.h"

using namespace tarvonet;

TEST(AccountRules, NamesMayHoldFormCharactersButNothingThatBreaksTheReplies) {
    EXPECT_EQ(checkAccountName("a&b=c 100%"), "");
    EXPECT_EQ(checkAccountName(std::string(126, 'x')), "");
    for (std::string bad : {std::string(), std::string(127, 'x'), std::string("evilPLXIP:198.51.100.4"),
                            std::string("a&password=b"), std::string("line\r\nbreak"), std::string(" padded"),
                            std::string("(no user)")}) {
        EXPECT_NE(checkAccountName(bad), "") << bad;
    }
}

TEST(AccountRules, PasswordsAreFreeButBoundedAndNonEmpty) {
    EXPECT_EQ(checkPassword("&password=&counter=1"), "");
    EXPECT_EQ(checkPassword(std::string(255, 'p')), "");
    EXPECT_NE(checkPassword(std::string(256, 'p')), "");
    EXPECT_NE(checkPassword(""), "");
}
