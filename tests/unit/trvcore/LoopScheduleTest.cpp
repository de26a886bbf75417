#include <gtest/gtest.h>

#include <vector>

#include "trvcore/session/LoopSchedule.h"

namespace {

TEST(LoopSchedule, DutiesFallDueOnTheirPasses) {
    LoopSchedule s;
    int keepAlive = 0, polls = 0, heartbeats = 0;
    for (uint64_t pass = 1; pass <= 84; ++pass) {
        const unsigned d = s.duties(pass, false);
        if (d & LoopSchedule::kKeepAlive) {
            ++keepAlive;
            EXPECT_EQ(pass % 14, 0u);
        }
        if (d & LoopSchedule::kInvitationPoll) {
            ++polls;
            EXPECT_EQ(pass % 7, 0u);
        }
        if (d & LoopSchedule::kHeartbeat) {
            ++heartbeats;
            EXPECT_EQ(pass % 12, 0u);
        }
    }
    EXPECT_EQ(keepAlive, 6);
    EXPECT_EQ(polls, 12);
    EXPECT_EQ(heartbeats, 7);
}

TEST(LoopSchedule, WithSessionsTheInvitationPollRunsEvery14Passes) {
    LoopSchedule s;
    std::vector<uint64_t> polled;
    for (uint64_t pass = 1; pass <= 56; ++pass)
        if (s.duties(pass, true) & LoopSchedule::kInvitationPoll) polled.push_back(pass);
    EXPECT_EQ(polled, (std::vector<uint64_t>{14, 28, 42, 56}));
}

TEST(LoopSchedule, FirstPollAfterSessionsAppearIsSkipped) {
    LoopSchedule s;
    EXPECT_TRUE(s.duties(7, false) & LoopSchedule::kInvitationPoll);
    EXPECT_FALSE(s.duties(14, true) & LoopSchedule::kInvitationPoll);
    EXPECT_TRUE(s.duties(21, true) & LoopSchedule::kInvitationPoll);
    EXPECT_TRUE(s.duties(28, false) & LoopSchedule::kInvitationPoll);
    EXPECT_FALSE(s.duties(35, true) & LoopSchedule::kInvitationPoll);
}

}  // namespace
