#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "tools/trvhost/CommandTable.h"
#include "tools/trvhost/LineOutput.h"
#include "tools/trvhost/StatusWatcher.h"
#include "trvcore/session/MessageLog.h"

namespace {

// A command context without a plug-in: the log, watcher and output are real.
struct Commands {
    MessageLog log;
    std::FILE* file = std::tmpfile();
    LineOutput out{file};
    StatusWatcher watcher{log, out};
    std::mutex uiLock;
    CommandContext context;
    std::string error;

    Commands() {
        context.log = &log;
        context.watcher = &watcher;
        context.out = &out;
        context.uiLock = &uiLock;
    }
    ~Commands() { std::fclose(file); }
    CommandResult run(const std::string& line) {
        error.clear();
        return runCommandLine(context, line, error);
    }
    std::vector<std::string> printed() {
        std::fflush(file);
        std::rewind(file);
        std::vector<std::string> lines;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, file)) {
            std::string l(buffer);
            if (!l.empty() && l.back() == '\n') l.pop_back();
            lines.push_back(l);
        }
        std::fseek(file, 0, SEEK_END);
        return lines;
    }
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(CommandTable, EveryEntryIsCompleteAndNamedOnce) {
    std::set<std::string> names;
    for (const HostCommand* c = hostCommands(); c->name; ++c) {
        EXPECT_TRUE(names.insert(c->name).second) << c->name;
        EXPECT_NE(c->run, nullptr) << c->name;
        ASSERT_NE(c->arguments, nullptr) << c->name;
        ASSERT_NE(c->summary, nullptr) << c->name;
        EXPECT_LE(c->minArguments, c->maxArguments) << c->name;
        EXPECT_EQ(findHostCommand(c->name), c);
    }
    for (const char* required : {"login", "logout", "wait", "messages", "sleep", "policy", "quit"})
        EXPECT_TRUE(names.count(required)) << required;
    EXPECT_EQ(findHostCommand("Login"), nullptr);
}

TEST(CommandTable, ButtonCommandsRunOnTheUiLockAndWaitingDoesNot) {
    for (const char* name :
         {"login", "logout", "policy", "switch", "offset", "sync", "monitor", "locate", "upstream", "quality", "codec"})
        EXPECT_TRUE(findHostCommand(name)->onUiThread) << name;
    for (const char* name :
         {"wait", "sleep", "messages", "quit", "play", "record", "transport", "loop", "latency", "audio", "video",
          "snapshot"})
        EXPECT_FALSE(findHostCommand(name)->onUiThread) << name;
}

TEST(CommandTable, AudioCommandsNeedARunAndPluginCommandsThePlugin) {
    Commands c;
    for (const char* line : {"play clicks", "record x.wav", "latency"}) {
        EXPECT_EQ(c.run(line), CommandResult::Failed) << line;
        EXPECT_TRUE(contains(c.error, "needs an audio run")) << c.error;
    }
    for (const char* line : {"switch thru on", "offset on", "audio", "upstream 128", "quality 50", "codec 34",
                             "sync on", "monitor off", "locate", "video", "snapshot local x.png"}) {
        EXPECT_EQ(c.run(line), CommandResult::Failed) << line;
        EXPECT_TRUE(contains(c.error, "needs the built-in plug-in")) << c.error;
    }
    for (const char* line : {"transport", "transport locate 0", "loop 1 2"}) {
        EXPECT_EQ(c.run(line), CommandResult::Failed) << line;
        EXPECT_TRUE(contains(c.error, "needs the host")) << c.error;
    }
    EXPECT_EQ(c.run("switch thru"), CommandResult::Failed);
    EXPECT_EQ(c.error, "usage: switch send|receive|thru|mute on|off [K]");
}

TEST(CommandTable, UnknownCommandsFailWithTheirName) {
    Commands c;
    EXPECT_EQ(c.run("frobnicate 1 2"), CommandResult::Failed);
    EXPECT_TRUE(contains(c.error, "unknown command \"frobnicate\"")) << c.error;
}

TEST(CommandTable, ArgumentCountsAreCheckedAgainstTheUsage) {
    Commands c;
    EXPECT_EQ(c.run("sleep"), CommandResult::Failed);
    EXPECT_EQ(c.error, "usage: sleep MS");
    EXPECT_EQ(c.run("login alice"), CommandResult::Failed);
    EXPECT_EQ(c.error, "usage: login NAME PASSWORD");
    EXPECT_EQ(c.run("wait a 1 2"), CommandResult::Failed);
    EXPECT_EQ(c.error, "usage: wait TEXT [SECONDS]");
    EXPECT_EQ(c.run("quit now"), CommandResult::Failed);
}

TEST(CommandTable, BadNumbersAreRefused) {
    Commands c;
    for (const char* line : {"sleep -1", "sleep 1.5", "sleep soon", "wait x later", "wait x -1", "wait x 4000"}) {
        EXPECT_EQ(c.run(line), CommandResult::Failed) << line;
        EXPECT_FALSE(c.error.empty()) << line;
    }
}

TEST(CommandTable, BlankAndCommentLinesDoNothingAndQuitEnds) {
    Commands c;
    EXPECT_EQ(c.run(""), CommandResult::Done);
    EXPECT_EQ(c.run("   # note to self"), CommandResult::Done);
    EXPECT_EQ(c.run("quit"), CommandResult::Quit);
    EXPECT_TRUE(c.printed().empty());
}

TEST(CommandTable, SessionCommandsNeedThePlugin) {
    Commands c;
    EXPECT_EQ(c.run("login alice secret"), CommandResult::Failed);
    EXPECT_EQ(c.error, "login: needs the built-in plug-in");
    EXPECT_EQ(c.run("policy 1"), CommandResult::Failed);
}

TEST(CommandTable, WaitPrintsTheLineItMatched) {
    Commands c;
    c.log.post("alice is online.");
    c.watcher.poll();
    EXPECT_EQ(c.run("wait \"is online\" 1"), CommandResult::Done) << c.error;
    const std::vector<std::string> printed = c.printed();
    ASSERT_FALSE(printed.empty());
    EXPECT_EQ(printed.back(), "matched: alice is online.");
}

TEST(CommandTable, AWaitThatTimesOutFailsWithItsText) {
    Commands c;
    EXPECT_EQ(c.run("wait \"never posted\" 0.05"), CommandResult::Failed);
    EXPECT_EQ(c.error, "wait: no status line holding \"never posted\" within 0.05 s");
}

TEST(CommandTable, TheEndOfTheRunEndsAWaitWithoutFailing) {
    Commands c;
    c.context.runOver = [] { return true; };
    EXPECT_EQ(c.run("wait never 600"), CommandResult::Done);
    EXPECT_EQ(c.run("sleep 600000"), CommandResult::Done);
}

TEST(CommandTable, MessagesListsTheLogNewestFirst) {
    Commands c;
    c.log.post("first");
    c.log.post("second");
    EXPECT_EQ(c.run("messages"), CommandResult::Done);
    EXPECT_EQ(c.printed(), (std::vector<std::string>{"message: 0 second", "message: 1 first"}));
}

TEST(CommandTable, HelpListsEveryCommand) {
    Commands c;
    EXPECT_EQ(c.run("help"), CommandResult::Done);
    size_t count = 0;
    for (const HostCommand* h = hostCommands(); h->name; ++h) ++count;
    const std::vector<std::string> printed = c.printed();
    ASSERT_EQ(printed.size(), count);
    EXPECT_EQ(printed[0].rfind("help: login NAME PASSWORD: ", 0), 0u) << printed[0];
}

TEST(CommandTable, AButtonCommandWaitsForTheUiLockAndOthersDoNot) {
    Commands c;
    std::unique_lock<std::mutex> held(c.uiLock);
    std::atomic<bool> buttonDone{false};
    std::atomic<bool> sleepDone{false};
    std::thread button([&] {
        std::string error;
        runCommandLine(c.context, "logout", error);
        buttonDone = true;
    });
    std::thread sleeper([&] {
        std::string error;
        runCommandLine(c.context, "sleep 0", error);
        sleepDone = true;
    });
    for (int i = 0; i < 500 && !sleepDone; ++i) platform::sleepMilliseconds(10);
    EXPECT_TRUE(sleepDone.load()) << "sleep must not need the UI lock";
    EXPECT_FALSE(buttonDone.load()) << "logout ran while the UI lock was held";
    held.unlock();
    button.join();
    sleeper.join();
    EXPECT_TRUE(buttonDone.load());
}
