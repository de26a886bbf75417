#include <gtest/gtest.h>

#include "PluginParser.h"
#include "SessionTable.h"

using namespace tarvonet;
using tvntest::ListedUser;

namespace {

constexpr int64_t kTimeout = 30000;

uint32_t ip(int last) { return 0x7F000000u | static_cast<uint32_t>(last); }

Account account(int64_t id, const std::string& name, std::vector<int64_t> partners = {}, int64_t master = 0) {
    Account a;
    a.id = id;
    a.name = name;
    a.partnerIds = std::move(partners);
    a.masterId = master;
    return a;
}

class SessionTableTest : public ::testing::Test {
protected:
    SessionTableTest() : table(limits()) {}
    static SessionLimits limits() {
        SessionLimits l;
        l.sessionTimeoutMs = kTimeout;
        l.invitationLifetimeMs = 5000;
        return l;
    }
    std::vector<ListedUser> listFor(uint32_t viewer, int64_t now) {
        OnlineListResult result = table.onlineList(viewer, now);
        EXPECT_EQ(result.status, ListStatus::Listed);
        std::vector<ListedUser> users;
        EXPECT_EQ(tvntest::parseOnlineList(result.list->text, users), static_cast<int>(result.users));
        return users;
    }
    SessionTable table;
};

}  // namespace

TEST_F(SessionTableTest, ListShowsEveryOtherUserButNeverTheViewer) {
    table.login(ip(1), account(1, "anna"), 58116, 0);
    table.login(ip(2), account(2, "ben"), 40000, 0);
    table.login(ip(3), account(3, "cleo"), 40001, 0);
    auto users = listFor(ip(2), 10);
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].name, "anna");
    EXPECT_EQ(users[0].ip, "127.0.0.1");
    EXPECT_EQ(users[0].port, 58116);
    EXPECT_EQ(users[1].name, "cleo");
    EXPECT_EQ(users[1].port, 40001);
}

TEST_F(SessionTableTest, ListCarriesKeepAliveFlagsButNotThePartnerBitFromIt) {
    table.login(ip(1), account(1, "anna"), 1, 0);
    table.login(ip(2), account(2, "ben"), 1, 0);
    ASSERT_TRUE(table.keepAlive(ip(1), 1 | 2 | 4 | 8 | 16, 5));
    auto users = listFor(ip(2), 10);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].connected, 1);
    EXPECT_EQ(users[0].partner, 0);
    EXPECT_EQ(users[0].doNotDisturb, 1);
    EXPECT_EQ(users[0].partnersOnly, 1);
}

TEST_F(SessionTableTest, PartnerBitIsSetOnlyForTheViewersPartners) {
    table.login(ip(1), account(1, "anna", {2}), 1, 0);
    table.login(ip(2), account(2, "ben", {1}), 1, 0);
    table.login(ip(3), account(3, "cleo"), 1, 0);
    auto forAnna = listFor(ip(1), 1);
    ASSERT_EQ(forAnna.size(), 2u);
    EXPECT_EQ(forAnna[0].name, "ben");
    EXPECT_EQ(forAnna[0].partner, 1);
    EXPECT_EQ(forAnna[1].partner, 0);
    auto forCleo = listFor(ip(3), 1);
    for (const ListedUser& u : forCleo) EXPECT_EQ(u.partner, 0) << u.name;
}

TEST_F(SessionTableTest, PartnerPairAddedAfterOneLoginReachesBothAtTheOthersLogin) {
    table.login(ip(1), account(1, "anna"), 1, 0);         // logged in before the pair existed
    table.login(ip(2), account(2, "ben", {1}), 1, 0);     // reads the new pair
    auto forAnna = listFor(ip(1), 1);
    ASSERT_EQ(forAnna.size(), 1u);
    EXPECT_EQ(forAnna[0].partner, 1);
}

TEST_F(SessionTableTest, PartnersComeFirstAndTheListStopsAtTheCap) {
    SessionLimits small = limits();
    small.maxListedUsers = 3;
    SessionTable capped(small);
    for (int i = 1; i <= 6; ++i) capped.login(ip(i), account(i, "u" + std::to_string(i)), 1, 0);
    capped.login(ip(7), account(7, "viewer", {6}), 1, 0);
    OnlineListResult result = capped.onlineList(ip(7), 1);
    std::vector<ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(result.list->text, users), 3);
    EXPECT_EQ(users[0].name, "u6");
    EXPECT_EQ(users[0].partner, 1);
    EXPECT_EQ(users[1].name, "u1");
    EXPECT_EQ(users[2].name, "u2");
}

TEST_F(SessionTableTest, KeepAliveRefreshesTheSessionAndSilenceEndsIt) {
    table.login(ip(1), account(1, "anna"), 1, 0);
    EXPECT_TRUE(table.keepAlive(ip(1), 0, kTimeout - 1));
    EXPECT_TRUE(table.keepAlive(ip(1), 0, 2 * kTimeout - 2));
    EXPECT_FALSE(table.keepAlive(ip(1), 0, 3 * kTimeout));
}

TEST_F(SessionTableTest, DeadSessionIsRefusedAtOnceAndRemovedByExpire) {
    table.login(ip(1), account(1, "anna"), 1, 0);
    table.login(ip(2), account(2, "ben"), 1, 0);
    table.keepAlive(ip(2), 0, kTimeout - 10);
    EXPECT_FALSE(table.keepAlive(ip(1), 0, kTimeout));
    EXPECT_EQ(table.onlineList(ip(1), kTimeout).status, ListStatus::NotLoggedIn);
    EXPECT_TRUE(listFor(ip(2), kTimeout).empty());
    auto ended = table.expire(kTimeout);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].name, "anna");
    EXPECT_EQ(table.sessionCount(), 1u);
    EXPECT_TRUE(table.expire(kTimeout).empty());
}

TEST_F(SessionTableTest, KeepAliveForAnUnknownAddressIsRefused) {
    EXPECT_FALSE(table.keepAlive(ip(9), 0, 0));
}

TEST_F(SessionTableTest, LogoutEndsTheSessionOfThatAddressOnly) {
    table.login(ip(1), account(1, "anna"), 1, 0);
    table.login(ip(2), account(2, "ben"), 1, 0);
    EndedSession ended;
    ASSERT_TRUE(table.logout(ip(1), ended));
    EXPECT_EQ(ended.name, "anna");
    EXPECT_FALSE(table.keepAlive(ip(1), 0, 1));
    EXPECT_TRUE(table.keepAlive(ip(2), 0, 1));
    EXPECT_FALSE(table.logout(ip(1), ended));
}

TEST_F(SessionTableTest, NewLoginAtAnAddressReplacesItsSession) {
    table.login(ip(1), account(1, "anna"), 1, 0);
    auto replaced = table.login(ip(1), account(2, "ben"), 2, 5);
    ASSERT_EQ(replaced.size(), 1u);
    EXPECT_EQ(replaced[0].name, "anna");
    table.login(ip(3), account(3, "cleo"), 1, 5);
    auto users = listFor(ip(3), 6);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].name, "ben");
}

TEST_F(SessionTableTest, AccountLoggingInElsewhereLeavesItsOldAddress) {
    table.login(ip(1), account(1, "anna"), 1, 0);
    auto replaced = table.login(ip(2), account(1, "anna"), 1, 5);
    ASSERT_EQ(replaced.size(), 1u);
    EXPECT_EQ(replaced[0].address, ip(1));
    EXPECT_FALSE(table.keepAlive(ip(1), 0, 6));
    EXPECT_TRUE(table.keepAlive(ip(2), 0, 6));
    EXPECT_EQ(table.sessionCount(), 1u);
}

TEST_F(SessionTableTest, DependentAccountSeesMasterLoggedOutUntilTheMasterLogsIn) {
    table.login(ip(2), account(2, "pupil", {}, 1), 1, 0);
    EXPECT_EQ(table.onlineList(ip(2), 1).status, ListStatus::MasterLoggedOut);
    table.login(ip(1), account(1, "teacher"), 1, 2);
    auto users = listFor(ip(2), 3);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].name, "teacher");
    EndedSession ended;
    table.logout(ip(1), ended);
    EXPECT_EQ(table.onlineList(ip(2), 4).status, ListStatus::MasterLoggedOut);
}

TEST_F(SessionTableTest, MasterWhoseSessionTimedOutCountsAsLoggedOut) {
    table.login(ip(1), account(1, "teacher"), 1, 0);
    table.login(ip(2), account(2, "pupil", {}, 1), 1, 0);
    table.keepAlive(ip(2), 0, kTimeout - 1);
    EXPECT_EQ(table.onlineList(ip(2), kTimeout + 1).status, ListStatus::MasterLoggedOut);
}

TEST_F(SessionTableTest, InvitationIsPendingForItsLifetimeOnly) {
    table.login(ip(1), account(1, "anna"), 1, 0);
    table.login(ip(2), account(2, "ben"), 1, 0);
    uint32_t inviter = 0;
    EXPECT_EQ(table.checkInvitation(ip(2), 1, inviter), InvitationStatus::None);
    ASSERT_EQ(table.invite(ip(1), ip(2), 100), InviteStatus::Registered);
    ASSERT_EQ(table.checkInvitation(ip(2), 200, inviter), InvitationStatus::Waiting);
    EXPECT_EQ(inviter, ip(1));
    EXPECT_EQ(table.checkInvitation(ip(2), 300, inviter), InvitationStatus::Waiting) << "a check does not consume it";
    EXPECT_EQ(table.checkInvitation(ip(1), 300, inviter), InvitationStatus::None) << "only the invitee sees it";
    EXPECT_EQ(table.checkInvitation(ip(2), 5100, inviter), InvitationStatus::None);
}

TEST_F(SessionTableTest, RepeatedInviteRenewsThePendingInvitation) {
    table.login(ip(1), account(1, "anna"), 1, 0);
    table.login(ip(2), account(2, "ben"), 1, 0);
    table.invite(ip(1), ip(2), 0);
    table.invite(ip(1), ip(2), 4000);
    uint32_t inviter = 0;
    EXPECT_EQ(table.checkInvitation(ip(2), 8000, inviter), InvitationStatus::Waiting);
}

TEST_F(SessionTableTest, InviteNeedsALoggedInInviterAndAnOnlineInvitee) {
    table.login(ip(1), account(1, "anna"), 1, 0);
    EXPECT_EQ(table.invite(ip(9), ip(1), 1), InviteStatus::InviterNotLoggedIn);
    EXPECT_EQ(table.invite(ip(1), ip(9), 1), InviteStatus::InviteeNotOnline);
    EXPECT_EQ(table.invite(ip(1), ip(1), 1), InviteStatus::InviteeNotOnline);
}

TEST_F(SessionTableTest, InvitationDiesWithTheInvitersSession) {
    table.login(ip(1), account(1, "anna"), 1, 0);
    table.login(ip(2), account(2, "ben"), 1, 0);
    table.invite(ip(1), ip(2), 1);
    EndedSession ended;
    table.logout(ip(1), ended);
    uint32_t inviter = 0;
    EXPECT_EQ(table.checkInvitation(ip(2), 2, inviter), InvitationStatus::None);
}

TEST_F(SessionTableTest, CheckInvitationWithoutSessionIsNotLoggedIn) {
    uint32_t inviter = 0;
    EXPECT_EQ(table.checkInvitation(ip(5), 0, inviter), InvitationStatus::NotLoggedIn);
}

TEST_F(SessionTableTest, ListKeepsLoginOrderAcrossRefreshes) {
    for (int i = 1; i <= 5; ++i) table.login(ip(i), account(i, "u" + std::to_string(i)), 1, 0);
    EndedSession ended;
    table.logout(ip(2), ended);
    table.login(ip(2), account(2, "u2"), 1, 1);
    auto users = listFor(ip(5), 2);
    std::vector<std::string> names;
    for (auto& u : users) names.push_back(u.name);
    EXPECT_EQ(names, (std::vector<std::string>{"u1", "u3", "u4", "u2"}));
}

// With more users online than a list holds, most viewers share one list;
// these pin down that it never goes stale and never shows its viewer.
class CommonListTest : public SessionTableTest {
protected:
    CommonListTest() : capped(cappedLimits()) {
        for (int i = 1; i <= 6; ++i) capped.login(ip(i), account(i, "u" + std::to_string(i)), 1, 0);
    }
    static SessionLimits cappedLimits() {
        SessionLimits l = limits();
        l.maxListedUsers = 3;
        return l;
    }
    std::vector<std::string> namesFor(int viewer, int64_t now) {
        OnlineListResult result = capped.onlineList(ip(viewer), now);
        std::vector<ListedUser> users;
        tvntest::parseOnlineList(result.list->text, users);
        std::vector<std::string> names;
        for (auto& u : users) names.push_back(u.name + (u.partner ? "*" : "") + (u.connected ? "+" : ""));
        return names;
    }
    SessionTable capped;
};

TEST_F(CommonListTest, ViewersBeyondTheListShareItAndViewersInItAreLeftOut) {
    using V = std::vector<std::string>;
    EXPECT_EQ(namesFor(5, 1), (V{"u1", "u2", "u3"}));
    EXPECT_EQ(namesFor(6, 1), (V{"u1", "u2", "u3"}));
    EXPECT_EQ(namesFor(2, 1), (V{"u1", "u3", "u4"}));
    EXPECT_EQ(capped.onlineList(ip(5), 1).list, capped.onlineList(ip(6), 1).list) << "one list for both";
}

TEST_F(CommonListTest, SharedListFollowsLogoutsFlagsAndTimeOuts) {
    using V = std::vector<std::string>;
    EXPECT_EQ(namesFor(6, 1), (V{"u1", "u2", "u3"}));
    EndedSession ended;
    capped.logout(ip(2), ended);
    EXPECT_EQ(namesFor(6, 2), (V{"u1", "u3", "u4"}));
    capped.keepAlive(ip(3), kFlagConnected, 3);
    EXPECT_EQ(namesFor(6, 4), (V{"u1", "u3+", "u4"}));
    for (int i = 3; i <= 6; ++i) capped.keepAlive(ip(i), i == 3 ? kFlagConnected : 0, kTimeout - 5);
    EXPECT_EQ(namesFor(6, kTimeout), (V{"u3+", "u4", "u5"})) << "u1 fell silent, without expire() yet";
}

TEST_F(CommonListTest, ViewerWithAPartnerOnlineGetsHisOwnList) {
    using V = std::vector<std::string>;
    capped.login(ip(7), account(7, "viewer", {5}), 1, 1);
    EXPECT_EQ(namesFor(7, 2), (V{"u5*", "u1", "u2"}));
    EndedSession ended;
    capped.logout(ip(5), ended);
    EXPECT_EQ(namesFor(7, 3), (V{"u1", "u2", "u3"}));
}
