#include <gtest/gtest.h>

#include "PluginParser.h"
#include "SessionTable.h"

using namespace tarvonet;
using tvntest::ListedUser;

namespace {

constexpr int64_t kTimeout = 30000;

uint32_t ip(int last) { return 0x7F000000u | static_cast<uint32_t>(last); }

Account account(int64_t id, std::vector<int64_t> partners = {}, int64_t master = 0) {
    Account a;
    a.id = id;
    a.name = "u" + std::to_string(id);
    a.partnerIds = std::move(partners);
    a.masterId = master;
    return a;
}

SessionLimits limits(size_t cap = 1000) {
    SessionLimits l;
    l.sessionTimeoutMs = kTimeout;
    l.invitationLifetimeMs = 5000;
    l.maxListedUsers = cap;
    return l;
}

// Names as the plug-in reads them, "*" marking a partner, "+" connected.
std::vector<std::string> namesFor(const SessionTable& table, int viewer, int64_t now) {
    OnlineListResult result = table.onlineList(ip(viewer), now);
    if (result.status != ListStatus::Listed) return {result.status == ListStatus::MasterLoggedOut ? "(4007)" : "(4006)"};
    std::vector<ListedUser> users;
    EXPECT_EQ(tvntest::parseOnlineList(result.list->text, users), static_cast<int>(result.users));
    std::vector<std::string> names;
    for (auto& u : users) names.push_back(u.name + (u.partner ? "*" : "") + (u.connected ? "+" : ""));
    return names;
}

using Names = std::vector<std::string>;

class SessionTableTest : public ::testing::Test {
protected:
    SessionTable table{limits()};
};

}  // namespace

TEST_F(SessionTableTest, ListShowsEveryOtherUserWithAddressPortAndKeepAliveFlags) {
    table.login(ip(1), account(1), 58116, 0);
    table.login(ip(2), account(2), 40000, 0);
    table.login(ip(3), account(3), 40001, 0);
    ASSERT_TRUE(table.keepAlive(ip(3), 1 | 2 | 4 | 8 | 16, 5));
    std::vector<ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(table.onlineList(ip(2), 10).list->text, users), 2);
    EXPECT_EQ(users[0].name, "u1");
    EXPECT_EQ(users[0].ip, "127.0.0.1");
    EXPECT_EQ(users[0].port, 58116);
    EXPECT_EQ(users[1].port, 40001);
    EXPECT_EQ(users[1].connected + users[1].doNotDisturb + users[1].partnersOnly, 3);
    EXPECT_EQ(users[1].partner, 0) << "the partner bit is the service's, not the keep-alive's";
}

TEST_F(SessionTableTest, PartnerMarkFollowsThePairsKnownAtEitherLogin) {
    table.login(ip(1), account(1), 1, 0);       // logged in before the pair existed
    table.login(ip(2), account(2, {1}), 1, 0);  // reads the new pair
    table.login(ip(3), account(3), 1, 0);
    EXPECT_EQ(namesFor(table, 1, 1), (Names{"u2*", "u3"}));
    EXPECT_EQ(namesFor(table, 2, 1), (Names{"u1*", "u3"}));
    EXPECT_EQ(namesFor(table, 3, 1), (Names{"u1", "u2"}));
}

TEST_F(SessionTableTest, SilentSessionIsRefusedAtOnceAndRemovedByExpire) {
    table.login(ip(1), account(1), 1, 0);
    table.login(ip(2), account(2), 1, 0);
    EXPECT_TRUE(table.keepAlive(ip(2), 0, kTimeout - 1));
    EXPECT_FALSE(table.keepAlive(ip(1), 0, kTimeout));
    EXPECT_EQ(namesFor(table, 1, kTimeout), (Names{"(4006)"}));
    EXPECT_EQ(namesFor(table, 2, kTimeout), (Names{}));
    auto ended = table.expire(kTimeout);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].name, "u1");
    EXPECT_TRUE(table.expire(kTimeout).empty());
    EXPECT_FALSE(table.keepAlive(ip(9), 0, 0)) << "never logged in";
}

TEST_F(SessionTableTest, LoginMovesItsAccountButNeverTakesAnotherAccountsLiveSessionAtItsAddress) {
    table.login(ip(1), account(1), 1, 0);
    table.login(ip(2), account(2), 1, 0);
    LoginResult second = table.login(ip(1), account(3), 2, 5);
    EXPECT_EQ(second.status, LoginStatus::AddressTaken);
    EXPECT_EQ(second.holder, "u1");
    EXPECT_TRUE(table.keepAlive(ip(1), 0, 6));
    EXPECT_EQ(namesFor(table, 2, 6), (Names{"u1"})) << "u1 is still the one at that address";

    LoginResult again = table.login(ip(1), account(1), 3, 7);
    EXPECT_EQ(again.status, LoginStatus::Opened) << "the same account may log in again at its address";
    LoginResult moved = table.login(ip(3), account(1), 1, 8);
    ASSERT_EQ(moved.replaced.size(), 1u);
    EXPECT_EQ(moved.replaced[0].address, ip(1));
    EXPECT_FALSE(table.keepAlive(ip(1), 0, 9)) << "the account moved away";
    EXPECT_EQ(table.login(ip(1), account(3), 1, 10).status, LoginStatus::Opened) << "the address is free again";

    EXPECT_EQ(table.login(ip(2), account(4), 1, kTimeout).status, LoginStatus::Opened) << "u2 fell silent";
    EXPECT_EQ(table.sessionCount(), 3u);
    EndedSession ended;
    EXPECT_TRUE(table.logout(ip(3), ended));
    EXPECT_FALSE(table.logout(ip(3), ended));
}

TEST_F(SessionTableTest, DependentSeesMasterLoggedOutWhileTheMasterIsAwayOrSilent) {
    table.login(ip(2), account(2, {}, 1), 1, 0);
    EXPECT_EQ(namesFor(table, 2, 1), (Names{"(4007)"}));
    table.login(ip(1), account(1), 1, 2);
    EXPECT_EQ(namesFor(table, 2, 3), (Names{"u1"}));
    ASSERT_TRUE(table.keepAlive(ip(2), 0, kTimeout - 1));
    EXPECT_EQ(namesFor(table, 2, kTimeout + 2), (Names{"(4007)"}));
}

TEST_F(SessionTableTest, InvitationWaitsForItsLifetimeForTheInviteeOnly) {
    table.login(ip(1), account(1), 1, 0);
    table.login(ip(2), account(2), 1, 0);
    uint32_t inviter = 0;
    EXPECT_EQ(table.checkInvitation(ip(2), 1, inviter), InvitationStatus::None);
    ASSERT_EQ(table.invite(ip(1), ip(2), 100), InviteStatus::Registered);
    ASSERT_EQ(table.checkInvitation(ip(2), 200, inviter), InvitationStatus::Waiting);
    EXPECT_EQ(inviter, ip(1));
    EXPECT_EQ(table.checkInvitation(ip(2), 300, inviter), InvitationStatus::Waiting) << "a check does not use it up";
    EXPECT_EQ(table.checkInvitation(ip(1), 300, inviter), InvitationStatus::None);
    table.invite(ip(1), ip(2), 4000);
    EXPECT_EQ(table.checkInvitation(ip(2), 8000, inviter), InvitationStatus::Waiting) << "renewed by the repeat";
    EXPECT_EQ(table.checkInvitation(ip(2), 9100, inviter), InvitationStatus::None);
    EXPECT_EQ(table.checkInvitation(ip(5), 0, inviter), InvitationStatus::NotLoggedIn);
}

TEST_F(SessionTableTest, InvitationReachesOnlyAnInviteeWhoseKeepAliveFlagsTakeIt) {
    table.login(ip(1), account(1), 1, 0);
    table.login(ip(2), account(2, {1}), 1, 0);  // u1's partner
    table.login(ip(3), account(3), 1, 0);
    struct Case {
        int flags;
        bool fromPartner;
        bool delivered;
    };
    const Case cases[] = {
        {kFlagConnected | kFlagDoNotDisturb, true, false},
        {kFlagDoNotDisturb, false, true},  // do not disturb holds only while connected
        {kFlagConnected, false, true},
        {kFlagPartnersOnly, false, false},
        {kFlagPartnersOnly, true, true},
        {kFlagConnected | kFlagPartnersOnly, true, true},
    };
    int64_t now = 100;
    for (const Case& c : cases) {
        now += 10000;  // past the last invitation's lifetime
        ASSERT_TRUE(table.keepAlive(ip(2), 0, now) && table.keepAlive(ip(3), 0, now));
        ASSERT_TRUE(table.keepAlive(ip(1), c.flags, now));
        uint32_t inviter = c.fromPartner ? ip(2) : ip(3);
        EXPECT_EQ(table.invite(inviter, ip(1), now), c.delivered ? InviteStatus::Registered : InviteStatus::Declined)
            << "flags " << c.flags << (c.fromPartner ? " from a partner" : "");
        uint32_t seen = 0;
        EXPECT_EQ(table.checkInvitation(ip(1), now + 1, seen),
                  c.delivered ? InvitationStatus::Waiting : InvitationStatus::None)
            << "flags " << c.flags << (c.fromPartner ? " from a partner" : "");
    }
    ASSERT_TRUE(table.keepAlive(ip(1), 0, now + 2));
    ASSERT_EQ(table.invite(ip(3), ip(1), now + 3), InviteStatus::Registered);
    ASSERT_TRUE(table.keepAlive(ip(1), kFlagConnected | kFlagDoNotDisturb, now + 4));
    uint32_t seen = 0;
    EXPECT_EQ(table.checkInvitation(ip(1), now + 5, seen), InvitationStatus::None)
        << "turned busy after the invitation came";
}

TEST_F(SessionTableTest, InviteNeedsTwoLiveSessionsAndDiesWithTheInviter) {
    table.login(ip(1), account(1), 1, 0);
    EXPECT_EQ(table.invite(ip(9), ip(1), 1), InviteStatus::InviterNotLoggedIn);
    EXPECT_EQ(table.invite(ip(1), ip(9), 1), InviteStatus::InviteeNotOnline);
    EXPECT_EQ(table.invite(ip(1), ip(1), 1), InviteStatus::InviteeNotOnline);
    table.login(ip(2), account(2), 1, 0);
    table.invite(ip(1), ip(2), 1);
    EndedSession ended;
    table.logout(ip(1), ended);
    uint32_t inviter = 0;
    EXPECT_EQ(table.checkInvitation(ip(2), 2, inviter), InvitationStatus::None);
}

TEST_F(SessionTableTest, ListKeepsLoginOrderAcrossRefreshes) {
    for (int i = 1; i <= 5; ++i) table.login(ip(i), account(i), 1, 0);
    EndedSession ended;
    table.logout(ip(2), ended);
    table.login(ip(2), account(2), 1, 1);
    EXPECT_EQ(namesFor(table, 5, 2), (Names{"u1", "u3", "u4", "u2"}));
}

// Administration changes handed to sessions already logged in.
class RefreshAccountsTest : public SessionTableTest {
protected:
    RefreshAccountsTest() {
        for (int i = 1; i <= 3; ++i) table.login(ip(i), account(i), 1, 0);
    }
};

TEST_F(RefreshAccountsTest, PairsReadAfreshMarkAndUnmarkPartnersOnBothSides) {
    AccountRefresh refresh = table.refreshAccounts(table.accountQuery(), {account(1, {2}), account(2, {1}), account(3)});
    EXPECT_EQ(refresh.updated, 2u);
    EXPECT_FALSE(refresh.askAgain);
    EXPECT_EQ(namesFor(table, 1, 1), (Names{"u2*", "u3"}));
    EXPECT_EQ(namesFor(table, 2, 1), (Names{"u1*", "u3"}));
    EXPECT_EQ(namesFor(table, 3, 1), (Names{"u1", "u2"}));
    refresh = table.refreshAccounts(table.accountQuery(), {account(1), account(2), account(3)});
    EXPECT_EQ(refresh.updated, 2u);
    EXPECT_EQ(namesFor(table, 1, 2), (Names{"u2", "u3"}));
    EXPECT_EQ(namesFor(table, 2, 2), (Names{"u1", "u3"}));
    EXPECT_EQ(table.refreshAccounts(table.accountQuery(), {account(1), account(2), account(3)}).updated, 0u);
}

TEST_F(RefreshAccountsTest, MasterSetOrClearedShowsAtTheNextList) {
    table.refreshAccounts(table.accountQuery(), {account(1), account(2, {}, 7), account(3)});
    EXPECT_EQ(namesFor(table, 2, 1), (Names{"(4007)"})) << "master u7 is not logged in";
    table.refreshAccounts(table.accountQuery(), {account(1), account(2, {}, 3), account(3)});
    EXPECT_EQ(namesFor(table, 2, 1), (Names{"u1", "u3"}));
    table.refreshAccounts(table.accountQuery(), {account(1), account(2), account(3)});
    EXPECT_EQ(namesFor(table, 2, 1), (Names{"u1", "u3"}));
}

TEST_F(RefreshAccountsTest, SessionEndsWhenItsAccountIsGoneOrItsIdNamesAnotherUser) {
    Account reused = account(3);
    reused.name = "someone else";
    AccountRefresh refresh = table.refreshAccounts(table.accountQuery(), {account(1, {2}), reused});
    ASSERT_EQ(refresh.ended.size(), 2u);
    EXPECT_EQ(refresh.ended[0].name, "u2");
    EXPECT_EQ(refresh.ended[0].address, ip(2));
    EXPECT_EQ(refresh.ended[1].name, "u3");
    EXPECT_FALSE(table.keepAlive(ip(2), 0, 1)) << "answered with 4006";
    EXPECT_FALSE(table.keepAlive(ip(3), 0, 1));
    EXPECT_TRUE(table.keepAlive(ip(1), 0, 1));
    EXPECT_EQ(namesFor(table, 1, 1), (Names{}));
    EXPECT_EQ(table.sessionCount(), 1u);
}

TEST_F(RefreshAccountsTest, LoginsBetweenQueryAndRefreshAreLeftAloneAndAskForAnotherRound) {
    AccountQuery query = table.accountQuery();
    table.login(ip(5), account(2), 1, 1);  // u2 again, from elsewhere, with what it read then
    table.login(ip(4), account(4), 1, 1);
    AccountRefresh refresh = table.refreshAccounts(query, {account(1, {4}), account(3)});
    EXPECT_TRUE(refresh.askAgain);
    EXPECT_TRUE(refresh.ended.empty()) << "u2's new session is not judged by the older query";
    EXPECT_TRUE(table.keepAlive(ip(5), 0, 2));
    EXPECT_EQ(namesFor(table, 1, 2), (Names{"u4*", "u3", "u2"}));
    refresh = table.refreshAccounts(table.accountQuery(), {account(1, {4}), account(2), account(3), account(4, {1})});
    EXPECT_FALSE(refresh.askAgain);
    EXPECT_EQ(namesFor(table, 4, 3), (Names{"u1*", "u3", "u2"}));
}

// With more users online than a list holds, most viewers share one list;
// these pin down that it never goes stale and never shows its viewer.
class CommonListTest : public ::testing::Test {
protected:
    CommonListTest() {
        for (int i = 1; i <= 6; ++i) table.login(ip(i), account(i), 1, 0);
    }
    SessionTable table{limits(3)};
};

TEST_F(CommonListTest, ViewersBeyondTheListShareItAndViewersInItAreLeftOut) {
    EXPECT_EQ(namesFor(table, 5, 1), (Names{"u1", "u2", "u3"}));
    EXPECT_EQ(namesFor(table, 2, 1), (Names{"u1", "u3", "u4"}));
    EXPECT_EQ(table.onlineList(ip(5), 1).list, table.onlineList(ip(6), 1).list) << "one list for both";
}

TEST_F(CommonListTest, SharedListFollowsLogoutsFlagsAndTimeOuts) {
    EXPECT_EQ(namesFor(table, 6, 1), (Names{"u1", "u2", "u3"}));
    EndedSession ended;
    table.logout(ip(2), ended);
    EXPECT_EQ(namesFor(table, 6, 2), (Names{"u1", "u3", "u4"}));
    table.keepAlive(ip(3), kFlagConnected, 3);
    EXPECT_EQ(namesFor(table, 6, 4), (Names{"u1", "u3+", "u4"}));
    for (int i = 3; i <= 6; ++i) table.keepAlive(ip(i), i == 3 ? kFlagConnected : 0, kTimeout - 5);
    EXPECT_EQ(namesFor(table, 6, kTimeout), (Names{"u3+", "u4", "u5"})) << "u1 fell silent, before any expire()";
}

TEST_F(CommonListTest, ViewerWithAPartnerOnlineGetsHisOwnListPartnerFirst) {
    table.login(ip(7), account(7, {5}), 1, 1);
    EXPECT_EQ(namesFor(table, 7, 2), (Names{"u5*", "u1", "u2"}));
    EndedSession ended;
    table.logout(ip(5), ended);
    EXPECT_EQ(namesFor(table, 7, 3), (Names{"u1", "u2", "u3"}));
}
