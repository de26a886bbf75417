// Merging fetched online lists into the controller's list: the status lines
// each change produces, in order, and the list they leave behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Lock.h"
#include "trvcore/session/OnlineList.h"

namespace {

using Lines = std::vector<std::string>;

enum Flag { Connected = 1, Partner = 2, DoNotDisturb = 4, PartnersOnly = 8 };

OnlineUser user(const char* name, const char* ip, int flags = Partner, uint16_t port = kPeerUdpPort) {
    OnlineUser u;
    std::snprintf(u.name, sizeof u.name, "%s", name);
    std::snprintf(u.ip, sizeof u.ip, "%s", ip);
    u.setFlags(flags);
    u.port = port;
    return u;
}

class Presence : public ::testing::Test {
protected:
    // Merges a fetch result and returns the lines posted; "me" is this user.
    Lines merge(const std::vector<OnlineUser>& fetched, std::vector<const char*> partners = {}) {
        return apply(fetched.data(), static_cast<int>(fetched.size()), partners);
    }
    Lines fail(int result) { return apply(nullptr, result, {}); }
    Lines apply(const OnlineUser* fetched, int result, const std::vector<const char*>& partners) {
        lines.clear();
        list.merge(fetched, result, "me", partners.data(), static_cast<int>(partners.size()), &Presence::post, this);
        return lines;
    }
    static void post(void* context, const char* line) { static_cast<Presence*>(context)->lines.push_back(line); }

    Lines names() const {
        Lines out;
        OnlineUser u;
        for (int i = 0; list.onlineUserAt(i, u); ++i) out.push_back(u.name);
        return out;
    }

    platform::RecursiveLock listLock;
    OnlineList list{listLock};
    Lines lines;
};

}  // namespace

TEST_F(Presence, ArrivalsAreAnnouncedInOrderAndTheOwnEntryNeverEnters) {
    EXPECT_EQ(merge({user("ann", "203.0.113.1"), user("me", "203.0.113.9"), user("Me", "203.0.113.8")}),
              (Lines{"ann is online.", "Me is online."}));
    EXPECT_EQ(names(), (Lines{"ann", "Me"}));
    EXPECT_TRUE(merge({user("ann", "203.0.113.1"), user("me", "203.0.113.9"), user("Me", "203.0.113.8")}).empty());
}

TEST_F(Presence, EachAvailabilityChangeGivesItsLine) {
    const struct {
        int before, after;
        std::vector<const char*> partners;
        Lines lines;
    } cases[] = {
        {0, Partner, {}, {"ann has become your partner"}},
        {Partner, 0, {}, {"ann is no longer your partner"}},
        {0, Connected, {}, {"ann is connected"}},
        {Connected, 0, {}, {"ann is disconnected"}},
        {0, Connected | DoNotDisturb, {}, {"ann is connected", "ann does not want not to be disturbed"}},
        {Connected | DoNotDisturb, Connected, {}, {"ann is allowing connections now"}},
        {0, DoNotDisturb, {}, {}},
        {Connected | DoNotDisturb, 0, {}, {"ann is disconnected"}},
        {0, PartnersOnly, {}, {"ann only wants Invitations from partners"}},
        {PartnersOnly, 0, {}, {"ann allows Invitations from anyone"}},
        {0, 15, {},
         {"ann has become your partner", "ann is connected", "ann does not want not to be disturbed",
          "ann only wants Invitations from partners"}},
        // In a session with ann her connected changes are silent, the rest is not.
        {Partner, Connected | DoNotDisturb | PartnersOnly, {"ann"},
         {"ann is no longer your partner", "ann does not want not to be disturbed",
          "ann only wants Invitations from partners"}},
        {Connected | DoNotDisturb, DoNotDisturb, {"bob", "ann"}, {}},
        {Connected, 0, {"an"}, {"ann is disconnected"}},
    };
    for (const auto& c : cases) {
        list.clear();
        merge({user("ann", "203.0.113.1", c.before, 5000)});
        EXPECT_EQ(merge({user("ann", "203.0.113.1", c.after, 6000)}, c.partners), c.lines) << c.before << "->" << c.after;
        OnlineUser u;
        ASSERT_TRUE(list.findOnlineUser("ann", u));
        EXPECT_EQ(u.port, 6000);
    }
}

TEST_F(Presence, KnownIpUnderANewNameKeepsTheOldRecordAndName) {
    merge({user("ann", "203.0.113.1", Partner)});
    EXPECT_EQ(merge({user("anna", "203.0.113.1", Connected)}, {"anna"}),
              (Lines{"ann is no longer your partner", "ann is connected"}));
    EXPECT_EQ(names(), (Lines{"ann"}));
}

TEST_F(Presence, TwoUsersBehindOneIpAreOneRecord) {
    EXPECT_EQ(merge({user("ann", "203.0.113.1"), user("bob", "203.0.113.1")}), (Lines{"ann is online."}));
    EXPECT_EQ(list.count(), 1);
}

TEST_F(Presence, DeparturesFollowArrivalsAndCloseTheGap) {
    merge({user("ann", "203.0.113.1"), user("bob", "203.0.113.2"), user("cid", "203.0.113.3"), user("dan", "203.0.113.4")});
    EXPECT_EQ(merge({user("eve", "203.0.113.5"), user("ann", "203.0.113.1"), user("dan", "203.0.113.4")}),
              (Lines{"eve is online.", "bob has logged out.", "cid has logged out."}));
    EXPECT_EQ(names(), (Lines{"ann", "dan", "eve"}));
    EXPECT_EQ(merge({user("me", "203.0.113.4")}),
              (Lines{"ann has logged out.", "dan has logged out.", "eve has logged out."}))
        << "the own entry keeps no one behind the same IP listed";
}

TEST_F(Presence, FailedFetchChangesNothing) {
    merge({user("ann", "203.0.113.1")});
    EXPECT_TRUE(fail(-1).empty());
    EXPECT_EQ(names(), (Lines{"ann"}));
}

TEST_F(Presence, MasterAccountLogoutEmptiesTheListAndIsPostedOnceUntilAFetchSucceeds) {
    merge({user("ann", "203.0.113.1")});
    EXPECT_EQ(fail(-2), (Lines{"Master account logged out!"}));
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(fail(-2).empty());
    EXPECT_TRUE(fail(-1).empty());
    EXPECT_TRUE(fail(-2).empty());
    merge({});
    EXPECT_FALSE(list.masterAccountShown());
    EXPECT_EQ(fail(-2), (Lines{"Master account logged out!"}));
}

TEST_F(Presence, FullListTakesNoFurtherUsers) {
    std::vector<OnlineUser> many;
    for (int i = 0; i <= OnlineList::kMaxUsers; ++i) {
        char ip[24];
        std::snprintf(ip, sizeof ip, "10.0.%d.%d", i / 256, i % 256);
        many.push_back(user("u", ip));
    }
    EXPECT_EQ(merge(many).size(), static_cast<size_t>(OnlineList::kMaxUsers));
    EXPECT_EQ(list.count(), OnlineList::kMaxUsers);
}

TEST_F(Presence, CopiesAreByIndexOrExactNameAndAlwaysTerminated) {
    OnlineUser unterminated = user("x", "203.0.113.2");
    std::memset(unterminated.name, 'n', sizeof unterminated.name);
    merge({user("ann", "203.0.113.1"), unterminated});
    OnlineUser u;
    EXPECT_FALSE(list.onlineUserAt(-1, u));
    EXPECT_FALSE(list.onlineUserAt(2, u));
    ASSERT_TRUE(list.onlineUserAt(1, u));
    EXPECT_EQ(std::strlen(u.name), sizeof u.name - 1);
    EXPECT_TRUE(list.findOnlineUser("ann", u));
    EXPECT_FALSE(list.findOnlineUser("an", u));
    EXPECT_FALSE(list.findOnlineUser(nullptr, u));
}

TEST_F(Presence, ClearedListAnnouncesEveryoneAgain) {
    merge({user("ann", "203.0.113.1")});
    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(merge({user("ann", "203.0.113.1")}), (Lines{"ann is online."}));
}

TEST_F(Presence, RefreshStartedWhileAnotherRunsDoesNothing) {
    {
        OnlineList::Refresh first(list);
        ASSERT_TRUE(first.acquired());
        ASSERT_NE(first.records(), nullptr);
        OnlineList::Refresh second(list);
        EXPECT_FALSE(second.acquired());
        EXPECT_EQ(second.records(), nullptr);
    }
    EXPECT_FALSE(list.refreshing());
    OnlineList::Refresh again(list);
    EXPECT_TRUE(again.acquired());
}
