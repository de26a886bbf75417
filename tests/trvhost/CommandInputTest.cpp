#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>

#include "tools/trvhost/CommandInput.h"

namespace {

std::string tempPath(const std::string& name) {
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "trvhost_" + t->name() + "_" + name;
}

constexpr uint32_t kPatientMs = 5000;

}  // namespace

TEST(CommandInput, AScriptGivesItsLinesThenEnds) {
    const std::string path = tempPath("script.trv");
    {
        std::ofstream f(path);
        f << "login alice secret\n\nquit";
    }
    std::string error;
    auto input = CommandInput::fromFile(path, error);
    ASSERT_TRUE(input) << error;
    std::string line;
    ASSERT_EQ(input->next(line, 0), CommandInput::Next::Line);
    EXPECT_EQ(line, "login alice secret");
    ASSERT_EQ(input->next(line, 0), CommandInput::Next::Line);
    EXPECT_EQ(line, "");
    ASSERT_EQ(input->next(line, 0), CommandInput::Next::Line);
    EXPECT_EQ(line, "quit");
    EXPECT_EQ(input->lineNumber(), 3);
    EXPECT_EQ(input->next(line, 0), CommandInput::Next::Ended);
    EXPECT_EQ(input->next(line, 0), CommandInput::Next::Ended);
    std::remove(path.c_str());
}

TEST(CommandInput, AMissingScriptIsAnError) {
    std::string error;
    EXPECT_FALSE(CommandInput::fromFile(tempPath("absent.trv"), error));
    EXPECT_NE(error.find("cannot read"), std::string::npos);
}

TEST(CommandInput, AStreamIsReadLineByLineUntilItsEnd) {
    std::istringstream in("sleep 10\nmessages\n");
    auto input = CommandInput::fromStream(in);
    ASSERT_TRUE(input);
    std::string line;
    ASSERT_EQ(input->next(line, kPatientMs), CommandInput::Next::Line);
    EXPECT_EQ(line, "sleep 10");
    ASSERT_EQ(input->next(line, kPatientMs), CommandInput::Next::Line);
    EXPECT_EQ(line, "messages");
    EXPECT_EQ(input->next(line, kPatientMs), CommandInput::Next::Ended);
}

namespace {

// A stream whose reads block until the test feeds text or closes it, like
// standard input from a program that keeps its pipe open.
class GatedBuffer : public std::streambuf {
public:
    void feed(const std::string& text) {
        std::lock_guard<std::mutex> guard(lock_);
        pending_ += text;
        changed_.notify_all();
    }
    void close() {
        std::lock_guard<std::mutex> guard(lock_);
        closed_ = true;
        changed_.notify_all();
    }

protected:
    int_type underflow() override {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [&] { return !pending_.empty() || closed_; });
        if (pending_.empty()) return traits_type::eof();
        current_ = pending_;
        pending_.clear();
        setg(&current_[0], &current_[0], &current_[0] + current_.size());
        return traits_type::to_int_type(current_[0]);
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::string pending_;
    std::string current_;
    bool closed_ = false;
};

}  // namespace

TEST(CommandInput, AnOpenStreamWithoutALineIsPendingNotEnded) {
    GatedBuffer buffer;
    std::istream in(&buffer);
    auto input = CommandInput::fromStream(in);
    ASSERT_TRUE(input);
    std::string line;
    EXPECT_EQ(input->next(line, 20), CommandInput::Next::Pending);
    buffer.feed("qu");
    EXPECT_EQ(input->next(line, 20), CommandInput::Next::Pending);  // half a line
    buffer.feed("it\n");
    ASSERT_EQ(input->next(line, kPatientMs), CommandInput::Next::Line);
    EXPECT_EQ(line, "quit");
    buffer.close();
    EXPECT_EQ(input->next(line, kPatientMs), CommandInput::Next::Ended);
}
