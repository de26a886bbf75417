// The controller's session list: its bound, retiring and parking, and that a
// parked session is handed on only once its thread has ended.
#include <gtest/gtest.h>

#include "tests/unit/session/SessionTestSupport.h"
#include "platform/Socket.h"
#include "trvcore/session/SessionList.h"

using namespace sessiontest;

namespace {

class SessionListTest : public ::testing::Test {
protected:
    SessionListTest() {
        PeerLinkOptions o;
        o.bindAddress = "127.0.0.1";
        o.port = 0;
        o.startThread = false;
        link.reset(new PeerLink(nullptr, o));
    }
    SessionRef make(const char* name, const char* ip) {
        return SessionRef::adopt(PartnerSession::create(host, *link, user(name, ip)));
    }

    FakeSessionHost host;
    std::unique_ptr<PeerLink> link;
    platform::RecursiveLock listLock;
    platform::RecursiveLock closingLock;
};

}  // namespace

TEST_F(SessionListTest, RefusesTheThousandAndFirstSession) {
    SessionRef s = make("bob", "192.0.2.2");
    ASSERT_TRUE(s);
    SessionList list(listLock, closingLock);
    for (int i = 0; i < SessionList::kMaxSessions; ++i) ASSERT_TRUE(list.add(s.get())) << i;
    EXPECT_FALSE(list.add(s.get()));
    EXPECT_FALSE(list.add(nullptr));
    EXPECT_EQ(list.count(), SessionList::kMaxSessions);
    EXPECT_TRUE(list.retire(*s));
    EXPECT_TRUE(list.add(s.get())) << "room again after one left";
    s->close(false);
}

TEST_F(SessionListTest, RetiringParksTheSessionAndForgetsItsInvitation) {
    SessionList list(listLock, closingLock);
    SessionRef bob = make("bob", "192.0.2.2");
    SessionRef carol = make("carol", "192.0.2.3");
    ASSERT_TRUE(list.add(bob.get()));
    ASSERT_TRUE(list.add(carol.get()));
    list.setOutgoing(bob.get());
    list.setIncoming(carol.get());
    uint32_t carolIp = 0;
    ASSERT_TRUE(platform::parseIpv4("192.0.2.3", carolIp));
    EXPECT_EQ(list.withIp(carolIp).get(), carol.get());
    EXPECT_TRUE(list.anyWithPartnerIp("192.0.2.2"));

    EXPECT_TRUE(list.retire(*bob));
    EXPECT_FALSE(list.retire(*bob)) << "only listed sessions are retired";
    EXPECT_FALSE(list.outgoing());
    EXPECT_EQ(list.incoming().get(), carol.get());
    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(list.at(0).get(), carol.get()) << "the gap closes";
    EXPECT_FALSE(list.contains(bob.get()));
    EXPECT_TRUE(list.isParked(bob.get()));
    EXPECT_FALSE(list.anyWithPartnerIp("192.0.2.2"));
    carol->close(false);
    bob->close(false);
}

TEST_F(SessionListTest, AParkedSessionIsHandedOnOnlyAfterItsThreadEnded) {
    const int before = PartnerSession::liveCount();
    {
        SessionList list(listLock, closingLock);
        PartnerSession* s = PartnerSession::create(host, *link, user("bob", "192.0.2.2"));
        ASSERT_NE(s, nullptr);
        ASSERT_TRUE(list.add(s));
        s->release();  // the list's reference is the only one now
        ASSERT_TRUE(list.retire(*s));
        {
            SessionSnapshot ended;
            list.takeEnded(ended);
            EXPECT_EQ(ended.count(), 0) << "its thread still runs";
        }
        EXPECT_EQ(list.parkedCount(), 1);
        s->close(false);  // ends the thread
        ASSERT_TRUE(eventually([&] { return s->threadEnded(); }));
        SessionSnapshot ended;
        list.takeEnded(ended);
        ASSERT_EQ(ended.count(), 1);
        EXPECT_EQ(ended[0], s);
        EXPECT_EQ(list.parkedCount(), 0);
        EXPECT_EQ(PartnerSession::liveCount(), before + 1);
    }
    EXPECT_EQ(PartnerSession::liveCount(), before) << "the snapshot held the last reference";
}
