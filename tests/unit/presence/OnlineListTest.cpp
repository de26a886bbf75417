// Merging fetched online lists into the controller's list: the status lines
// each change produces, in order, and the list they leave behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Lock.h"
#include "trvcore/OnlineList.h"

namespace {

OnlineUser user(const char* name, const char* ip, int flags = 2, uint16_t port = OnlineUser::kDefaultPort) {
    OnlineUser u;
    std::snprintf(u.name, sizeof u.name, "%s", name);
    std::snprintf(u.ip, sizeof u.ip, "%s", ip);
    u.setFlags(flags);
    u.port = port;
    return u;
}

class Presence : public ::testing::Test {
protected:
    // Merges `fetched` as a successful fetch and returns the lines posted.
    std::vector<std::string> merge(const std::vector<OnlineUser>& fetched, std::vector<const char*> partners = {}) {
        return apply(fetched.data(), static_cast<int>(fetched.size()), partners);
    }
    std::vector<std::string> fail(int result) { return apply(nullptr, result, {}); }

    std::vector<std::string> apply(const OnlineUser* fetched, int result, const std::vector<const char*>& partners) {
        lines.clear();
        list.merge(fetched, result, "me", partners.data(), static_cast<int>(partners.size()), &Presence::post, this);
        return lines;
    }
    static void post(void* context, const char* line) { static_cast<Presence*>(context)->lines.push_back(line); }

    std::vector<std::string> names() const {
        std::vector<std::string> out;
        OnlineUser u;
        for (int i = 0; list.onlineUserAt(i, u); ++i) out.push_back(u.name);
        return out;
    }

    using Lines = std::vector<std::string>;
    platform::RecursiveLock listLock;
    OnlineList list{listLock};
    Lines lines;
};

}  // namespace

TEST_F(Presence, FirstRefreshAnnouncesEveryUserInOrder) {
    EXPECT_EQ(merge({user("ann", "1.1.1.1"), user("bob", "2.2.2.2")}), (Lines{"ann is online.", "bob is online."}));
    EXPECT_EQ(names(), (Lines{"ann", "bob"}));
}

TEST_F(Presence, OwnEntryNeverEntersTheList) {
    EXPECT_EQ(merge({user("me", "9.9.9.9"), user("ann", "1.1.1.1")}), (Lines{"ann is online."}));
    EXPECT_EQ(names(), (Lines{"ann"}));
    OnlineUser found;
    EXPECT_FALSE(list.findOnlineUser("me", found));
}

TEST_F(Presence, OwnNameMatchesOnlyExactly) {
    EXPECT_EQ(merge({user("Me", "9.9.9.9"), user("me ", "8.8.8.8")}), (Lines{"Me is online.", "me  is online."}));
}

TEST_F(Presence, UnchangedListPostsNothing) {
    merge({user("ann", "1.1.1.1", 5)});
    EXPECT_TRUE(merge({user("ann", "1.1.1.1", 5)}).empty());
}

TEST_F(Presence, SameIpUnderANewNameKeepsTheOldRecordAndName) {
    merge({user("ann", "1.1.1.1", 2)});
    EXPECT_EQ(merge({user("anna", "1.1.1.1", 0)}), (Lines{"ann is no longer your partner"}));
    EXPECT_EQ(names(), (Lines{"ann"}));
}

TEST_F(Presence, TwoUsersBehindOneIpAreOneRecord) {
    EXPECT_EQ(merge({user("ann", "1.1.1.1"), user("bob", "1.1.1.1")}), (Lines{"ann is online."}));
    EXPECT_EQ(list.count(), 1);
}

TEST_F(Presence, UserBehindTheOwnIpLeavesWhenOnlyTheOwnEntryRemains) {
    merge({user("me", "1.1.1.1"), user("ann", "1.1.1.1")});
    EXPECT_EQ(merge({user("me", "1.1.1.1")}), (Lines{"ann has logged out."}));
}

TEST_F(Presence, PortFollowsTheServiceWithoutALine) {
    merge({user("ann", "1.1.1.1", 2, 5000)});
    EXPECT_TRUE(merge({user("ann", "1.1.1.1", 2, 6000)}).empty());
    OnlineUser u;
    ASSERT_TRUE(list.onlineUserAt(0, u));
    EXPECT_EQ(u.port, 6000);
}

TEST_F(Presence, PartnerByteChangesAreAnnounced) {
    merge({user("ann", "1.1.1.1", 0)});
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 2)}), (Lines{"ann has become your partner"}));
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 0)}), (Lines{"ann is no longer your partner"}));
}

TEST_F(Presence, ConnectedChangesAreAnnounced) {
    merge({user("ann", "1.1.1.1", 2)});
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 3)}), (Lines{"ann is connected"}));
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 2)}), (Lines{"ann is disconnected"}));
}

TEST_F(Presence, ConnectingWithDoNotDisturbInOneIntervalGivesBothLinesInOrder) {
    merge({user("ann", "1.1.1.1", 2)});
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 2 | 1 | 4)}),
              (Lines{"ann is connected", "ann does not want not to be disturbed"}));
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 2 | 1)}), (Lines{"ann is allowing connections now"}));
}

TEST_F(Presence, DoNotDisturbWhileNotConnectedPostsNothing) {
    merge({user("ann", "1.1.1.1", 2)});
    EXPECT_TRUE(merge({user("ann", "1.1.1.1", 2 | 4)}).empty());
    EXPECT_TRUE(merge({user("ann", "1.1.1.1", 2)}).empty());
}

TEST_F(Presence, DisconnectingAndDroppingDoNotDisturbAnnouncesOnlyTheDisconnect) {
    merge({user("ann", "1.1.1.1", 2 | 1 | 4)});
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 2)}), (Lines{"ann is disconnected"}));
}

TEST_F(Presence, PartnersOnlyChangesAreAnnounced) {
    merge({user("ann", "1.1.1.1", 2)});
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 2 | 8)}), (Lines{"ann only wants Invitations from partners"}));
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 2)}), (Lines{"ann allows Invitations from anyone"}));
}

TEST_F(Presence, AllChangesOfOneUserComeInByteOrder) {
    merge({user("ann", "1.1.1.1", 0)});
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 15)}),
              (Lines{"ann has become your partner", "ann is connected", "ann does not want not to be disturbed",
                     "ann only wants Invitations from partners"}));
}

TEST_F(Presence, SessionPartnersConnectedChangesAreSilentButOthersAreNot) {
    merge({user("ann", "1.1.1.1", 2)});
    EXPECT_EQ(merge({user("ann", "1.1.1.1", 1 | 4 | 8)}, {"ann"}),
              (Lines{"ann is no longer your partner", "ann does not want not to be disturbed",
                     "ann only wants Invitations from partners"}));
    EXPECT_TRUE(merge({user("ann", "1.1.1.1", 4 | 8)}, {"ann"}).empty());
}

TEST_F(Presence, SessionPartnerNameMatchesTheListedName) {
    merge({user("ann", "1.1.1.1", 2)});
    EXPECT_EQ(merge({user("anna", "1.1.1.1", 3)}, {"anna"}), (Lines{"ann is connected"}));
}

TEST_F(Presence, UsersNoLongerListedLogOutAndTheGapCloses) {
    merge({user("ann", "1.1.1.1"), user("bob", "2.2.2.2"), user("cid", "3.3.3.3"), user("dan", "4.4.4.4")});
    EXPECT_EQ(merge({user("ann", "1.1.1.1"), user("dan", "4.4.4.4")}),
              (Lines{"bob has logged out.", "cid has logged out."}));
    EXPECT_EQ(names(), (Lines{"ann", "dan"}));
}

TEST_F(Presence, ArrivalsComeBeforeDepartures) {
    merge({user("ann", "1.1.1.1")});
    EXPECT_EQ(merge({user("bob", "2.2.2.2")}), (Lines{"bob is online.", "ann has logged out."}));
}

TEST_F(Presence, EmptyListLogsEveryoneOut) {
    merge({user("ann", "1.1.1.1"), user("bob", "2.2.2.2")});
    EXPECT_EQ(merge({}), (Lines{"ann has logged out.", "bob has logged out."}));
    EXPECT_EQ(list.count(), 0);
}

TEST_F(Presence, FailedFetchChangesNothing) {
    merge({user("ann", "1.1.1.1")});
    EXPECT_TRUE(fail(-1).empty());
    EXPECT_EQ(names(), (Lines{"ann"}));
}

TEST_F(Presence, MasterAccountLogoutEmptiesTheListAndIsPostedOnceUntilAFetchSucceeds) {
    merge({user("ann", "1.1.1.1")});
    EXPECT_EQ(fail(-2), (Lines{"Master account logged out!"}));
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(fail(-2).empty());
    EXPECT_TRUE(fail(-2).empty());
    EXPECT_TRUE(list.masterAccountShown());
    EXPECT_TRUE(fail(-1).empty());
    EXPECT_TRUE(list.masterAccountShown());
    merge({});
    EXPECT_FALSE(list.masterAccountShown());
    EXPECT_EQ(fail(-2), (Lines{"Master account logged out!"}));
}

TEST_F(Presence, FullListTakesNoFurtherUsers) {
    std::vector<OnlineUser> many;
    for (int i = 0; i < OnlineList::kMaxUsers; ++i) {
        char ip[24];
        std::snprintf(ip, sizeof ip, "10.0.%d.%d", i / 256, i % 256);
        many.push_back(user("u", ip));
    }
    EXPECT_EQ(merge(many).size(), static_cast<size_t>(OnlineList::kMaxUsers));
    many.push_back(user("late", "11.0.0.1"));
    EXPECT_TRUE(merge(many).empty());
    EXPECT_EQ(list.count(), OnlineList::kMaxUsers);
}

TEST_F(Presence, CopiesAreByIndexOrExactName) {
    merge({user("ann", "1.1.1.1", 2, 5000), user("bob", "2.2.2.2")});
    OnlineUser u;
    EXPECT_FALSE(list.onlineUserAt(-1, u));
    EXPECT_FALSE(list.onlineUserAt(2, u));
    ASSERT_TRUE(list.findOnlineUser("ann", u));
    EXPECT_EQ(u.port, 5000);
    EXPECT_FALSE(list.findOnlineUser("an", u));
    EXPECT_FALSE(list.findOnlineUser(nullptr, u));
}

TEST_F(Presence, ClearEmptiesTheListAndTheNextRefreshAnnouncesAgain) {
    merge({user("ann", "1.1.1.1")});
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(merge({user("ann", "1.1.1.1")}), (Lines{"ann is online."}));
}

TEST_F(Presence, RecordWithoutTerminatorsIsStoredTerminated) {
    OnlineUser u = user("x", "1.1.1.1");
    std::memset(u.name, 'n', sizeof u.name);
    merge({u});
    OnlineUser copy;
    ASSERT_TRUE(list.onlineUserAt(0, copy));
    EXPECT_EQ(std::string(copy.name).size(), sizeof copy.name - 1);
}

TEST_F(Presence, RefreshStartedDuringAnotherDoesNotAcquire) {
    OnlineList::Refresh first(list);
    ASSERT_TRUE(first.acquired());
    ASSERT_NE(first.records(), nullptr);
    {
        OnlineList::Refresh second(list);
        EXPECT_FALSE(second.acquired());
        EXPECT_EQ(second.records(), nullptr);
    }
    EXPECT_TRUE(list.refreshing());
}

TEST_F(Presence, RefreshCanRunAgainAfterTheLastOneEnded) {
    { OnlineList::Refresh first(list); }
    EXPECT_FALSE(list.refreshing());
    OnlineList::Refresh again(list);
    EXPECT_TRUE(again.acquired());
}
