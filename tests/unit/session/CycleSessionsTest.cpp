// The block cycle's sessions: a closed session never joins, whichever
// thread wins the race between connecting and closing, and no reference is
// left behind either way.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/unit/session/SessionTestSupport.h"
#include "trvcore/audio/CycleSessions.h"

using namespace sessiontest;

namespace {

class CycleSessionsTest : public ::testing::Test {
protected:
    CycleSessionsTest() {
        PeerLinkOptions o;
        o.bindAddress = "127.0.0.1";
        o.port = 0;
        o.startThread = false;
        link.reset(new PeerLink(nullptr, o));
        baseline = PartnerSession::liveCount();
    }
    SessionRef make() { return SessionRef::adopt(PartnerSession::create(host, *link, user("bob", "192.0.2.2"))); }

    FakeSessionHost host;
    std::unique_ptr<PeerLink> link;
    platform::RecursiveLock processLock;
    int baseline = 0;
};

}  // namespace

TEST_F(CycleSessionsTest, AClosedSessionIsRefusedAndKeepsNoReference) {
    CycleSessions cycle(processLock);
    {
        SessionRef s = make();
        ASSERT_TRUE(s);
        s->close(false);
        EXPECT_FALSE(cycle.add(*s));
        EXPECT_EQ(cycle.count(), 0);
    }
    EXPECT_TRUE(eventually([&] { return PartnerSession::liveCount() == baseline; }))
        << "the refused session was not kept alive";
}

TEST_F(CycleSessionsTest, ConnectRacingCloseNeverLeavesAClosedSessionInTheCycle) {
    CycleSessions cycle(processLock);
    for (int round = 0; round < 50; ++round) {
        SessionRef s = make();
        ASSERT_TRUE(s);
        std::atomic<int> ready{0};
        auto together = [&] {
            ++ready;
            while (ready.load() < 2) std::this_thread::yield();
        };
        // What the session thread does on connecting, and what close() does
        // (closed first, then out of the cycle), released together.
        std::thread connect([&] {
            together();
            cycle.add(*s);
        });
        std::thread close([&] {
            together();
            s->close(false);
            cycle.remove(*s);
        });
        connect.join();
        close.join();
        ASSERT_EQ(cycle.count(), 0) << "round " << round;
    }
    EXPECT_TRUE(eventually([&] { return PartnerSession::liveCount() == baseline; }, 10000));
}
