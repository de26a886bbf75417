#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "trvcore/session/MessageLog.h"

namespace {

std::string line(const MessageLog& log, int k) {
    char out[MessageLog::kLineBytes];
    return log.message(k, out) ? std::string(out) : std::string("<none>");
}

TEST(MessageLog, LongTextsAreCutTo62Characters) {
    MessageLog log;
    log.post(std::string(70, 'x').c_str());
    EXPECT_EQ(line(log, 0), std::string(62, 'x'));
    log.post(std::string(63, 'y').c_str());
    EXPECT_EQ(line(log, 0), std::string(63, 'y'));
    log.post(std::string(64, 'z').c_str());
    EXPECT_EQ(line(log, 0), std::string(62, 'z'));
}

TEST(MessageLog, ReadsNewestFirstAndOnlyWhatWasPosted) {
    MessageLog log;
    EXPECT_EQ(line(log, 0), "<none>");
    log.post("one");
    log.post("two");
    EXPECT_EQ(line(log, 0), "two");
    EXPECT_EQ(line(log, 1), "one");
    EXPECT_EQ(line(log, 3), "<none>");
    EXPECT_TRUE(log.takeNewMessage());
    EXPECT_FALSE(log.takeNewMessage());
}

TEST(MessageLog, SeventeenthLineOverwritesTheFirst) {
    MessageLog log;
    for (int i = 1; i <= 20; ++i) log.post(("line " + std::to_string(i)).c_str());
    EXPECT_EQ(line(log, 0), "line 20");
    EXPECT_EQ(line(log, 3), "line 17");
    EXPECT_EQ(line(log, 15), "line 5");
    EXPECT_EQ(line(log, 99), "line 5");  // above 15 is taken as 15
    EXPECT_EQ(log.writeIndex(), 4);
    EXPECT_EQ(log.wrapCount(), 1);
}

TEST(MessageLog, ConcurrentPostsKeepEveryLineWhole) {
    MessageLog log;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&log, t] {
            const std::string text(40, static_cast<char>('a' + t));
            for (int i = 0; i < 2000; ++i) log.post(text.c_str());
        });
    for (auto& th : threads) th.join();
    for (int k = 0; k < MessageLog::kLines; ++k) {
        const std::string l = line(log, k);
        ASSERT_EQ(l.size(), 40u);
        EXPECT_EQ(l.find_first_not_of(l[0]), std::string::npos);
    }
}

}  // namespace
