#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/trvhost/CommandWords.h"

namespace {

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> words;
    std::string error;
    EXPECT_TRUE(splitCommandWords(line, words, error)) << line << ": " << error;
    return words;
}

using Words = std::vector<std::string>;

}  // namespace

TEST(CommandWords, BlanksAndTabsSeparateWords) {
    EXPECT_EQ(split("login  alice\tsecret"), (Words{"login", "alice", "secret"}));
    EXPECT_EQ(split("  quit  \r"), (Words{"quit"}));
}

TEST(CommandWords, QuotesGroupBlanksAndMayBeEmpty) {
    EXPECT_EQ(split("wait \"alice is online.\" 5"), (Words{"wait", "alice is online.", "5"}));
    EXPECT_EQ(split("login \"\" secret"), (Words{"login", "", "secret"}));
    EXPECT_EQ(split("login \"(no user)\" x"), (Words{"login", "(no user)", "x"}));
    EXPECT_EQ(split("a\"b c\"d"), (Words{"ab cd"}));
}

TEST(CommandWords, EmptyAndCommentLinesGiveNoWords) {
    EXPECT_TRUE(split("").empty());
    EXPECT_TRUE(split("   \t").empty());
    EXPECT_TRUE(split("# login alice secret").empty());
    EXPECT_TRUE(split("  #comment").empty());
    // Only a first word starting with '#' makes a comment.
    EXPECT_EQ(split("wait #3"), (Words{"wait", "#3"}));
}

TEST(CommandWords, AnOpenQuoteIsAnError) {
    std::vector<std::string> words{"stale"};
    std::string error;
    EXPECT_FALSE(splitCommandWords("wait \"alice is", words, error));
    EXPECT_TRUE(words.empty());
    EXPECT_NE(error.find("quote"), std::string::npos);
}

TEST(CommandWords, NumbersMustBeWholeOrDecimalAndInRange) {
    int64_t n = -1;
    EXPECT_TRUE(parseWholeNumber("3", 0, 3, n));
    EXPECT_EQ(n, 3);
    for (const char* bad : {"", "4", "-1", "1.5", "2x", "x", "99999999999999999999"})
        EXPECT_FALSE(parseWholeNumber(bad, 0, 3, n)) << bad;
    double d = -1.0;
    EXPECT_TRUE(parseDecimal("0.25", 0.0, 10.0, d));
    EXPECT_DOUBLE_EQ(d, 0.25);
    for (const char* bad : {"", "10.5", "-0.1", "nan", "inf", "1s"})
        EXPECT_FALSE(parseDecimal(bad, 0.0, 10.0, d)) << bad;
}
