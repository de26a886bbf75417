#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/trvhost/LineOutput.h"
#include "tools/trvhost/StatusWatcher.h"
#include "trvcore/session/MessageLog.h"

namespace {

// A log, a watcher and the text it printed.
struct Watched {
    MessageLog log;
    std::FILE* file = std::tmpfile();
    LineOutput out{file};
    StatusWatcher watcher{log, out};

    ~Watched() {
        watcher.stop();
        std::fclose(file);
    }
    std::vector<std::string> printed() {
        std::fflush(file);
        std::rewind(file);
        std::vector<std::string> lines;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, file)) {
            std::string l(buffer);
            if (!l.empty() && l.back() == '\n') l.pop_back();
            lines.push_back(l);
        }
        std::fseek(file, 0, SEEK_END);
        return lines;
    }
    void post(int n, const char* prefix = "line ") {
        for (int i = 1; i <= n; ++i) log.post((prefix + std::to_string(i)).c_str());
    }
};

using Lines = std::vector<std::string>;

}  // namespace

TEST(StatusWatcher, EchoesEachNewLineOnceInPostingOrder) {
    Watched w;
    w.log.post("Welcome");
    w.log.post("Enter");
    w.watcher.poll();
    w.watcher.poll();
    w.log.post("Logging in...");
    w.watcher.poll();
    EXPECT_EQ(w.printed(), (Lines{"status: Welcome", "status: Enter", "status: Logging in..."}));
    EXPECT_EQ(w.watcher.linesSeen(), 3u);
}

TEST(StatusWatcher, ARingFullBetweenPollsLosesNothing) {
    Watched w;
    w.post(MessageLog::kLines);
    w.watcher.poll();
    const Lines printed = w.printed();
    ASSERT_EQ(printed.size(), 16u);
    EXPECT_EQ(printed.front(), "status: line 1");
    EXPECT_EQ(printed.back(), "status: line 16");
    EXPECT_EQ(w.watcher.linesLost(), 0u);
}

TEST(StatusWatcher, LinesOverwrittenBetweenPollsAreReportedLost) {
    Watched w;
    w.watcher.poll();
    w.post(20);
    w.watcher.poll();
    const Lines printed = w.printed();
    ASSERT_EQ(printed.size(), 17u);
    EXPECT_EQ(printed[0], "note: 4 status lines were lost");
    EXPECT_EQ(printed[1], "status: line 5");
    EXPECT_EQ(printed[16], "status: line 20");
    EXPECT_EQ(w.watcher.linesLost(), 4u);
    EXPECT_EQ(w.watcher.linesSeen(), 20u);
}

TEST(StatusWatcher, WaitFindsALinePostedBeforeItStarted) {
    Watched w;
    w.log.post("alice is online.");
    w.log.post("Welcome.");
    w.watcher.poll();
    std::string matched;
    EXPECT_TRUE(w.watcher.waitFor("is online", 0, matched));
    EXPECT_EQ(matched, "alice is online.");
}

TEST(StatusWatcher, EachWaitLooksOnlyAfterThePreviousMatch) {
    Watched w;
    w.log.post("bob is online.");
    w.log.post("alice is online.");
    w.log.post("carol is online.");
    w.watcher.poll();
    std::string matched;
    ASSERT_TRUE(w.watcher.waitFor("alice", 0, matched));
    // bob came before the match: no longer looked at.
    EXPECT_FALSE(w.watcher.waitFor("bob", 0, matched));
    ASSERT_TRUE(w.watcher.waitFor("online", 0, matched));
    EXPECT_EQ(matched, "carol is online.");
    EXPECT_FALSE(w.watcher.waitFor("online", 0, matched));
}

TEST(StatusWatcher, AFailedWaitLeavesTheLinesForTheNextOne) {
    Watched w;
    w.log.post("first");
    w.log.post("second");
    w.watcher.poll();
    std::string matched;
    EXPECT_FALSE(w.watcher.waitFor("third", 0, matched));
    EXPECT_TRUE(w.watcher.waitFor("first", 0, matched));
}

TEST(StatusWatcher, WaitSeesALinePostedWhileItWaits) {
    Watched w;
    ASSERT_TRUE(w.watcher.start());
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        w.log.post("Welcome. You are logged in to the Tarvonet.");
    });
    std::string matched;
    EXPECT_TRUE(w.watcher.waitFor("logged in", 10000, matched));
    poster.join();
}

TEST(StatusWatcher, WaitGivesUpWhenCancelledOrTimedOut) {
    Watched w;
    ASSERT_TRUE(w.watcher.start());
    std::string matched;
    std::atomic<int> asked{0};
    // A cancel that holds from the third check on ends a long wait.
    EXPECT_FALSE(w.watcher.waitFor("never", 60000, matched, [&] { return ++asked >= 3; }));
    EXPECT_GE(asked.load(), 3);
    EXPECT_FALSE(w.watcher.waitFor("never", 30, matched));
}

TEST(StatusWatcher, StopEchoesLinesPostedJustBefore) {
    Watched w;
    ASSERT_TRUE(w.watcher.start());
    w.log.post("last words");
    w.watcher.stop();
    const Lines printed = w.printed();
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.back(), "status: last words");
}

TEST(StatusWatcher, EveryLineOfABusyPosterIsEchoedInOrderOrCountedLost) {
    Watched w;
    constexpr int kPosts = 3000;
    ASSERT_TRUE(w.watcher.start());
    std::thread poster([&] {
        for (int i = 1; i <= kPosts; ++i) {
            w.log.post(std::to_string(i).c_str());
            if (i % 8 == 0) std::this_thread::yield();
        }
    });
    poster.join();
    w.watcher.stop();
    int last = 0;
    uint64_t echoed = 0;
    uint64_t noted = 0;
    for (const std::string& l : w.printed()) {
        if (l.rfind("status: ", 0) == 0) {
            const int n = std::stoi(l.substr(8));
            EXPECT_GT(n, last) << "out of order after " << last;
            last = n;
            ++echoed;
        } else {
            std::istringstream note(l.substr(6));
            uint64_t lost = 0;
            note >> lost;
            noted += lost;
        }
    }
    EXPECT_EQ(last, kPosts);
    EXPECT_EQ(echoed + noted, static_cast<uint64_t>(kPosts));
    EXPECT_EQ(noted, w.watcher.linesLost());
}
