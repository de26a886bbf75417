// Replies of the service actions turned into results and texts, and the
// persistent connection of the shared client.
#include <gtest/gtest.h>

#include <string>

#include "trvcore/trvnetwork/OnlineUser.h"
#include "trvcore/trvnetwork/ServiceClient.h"
#include "unit/webclient/WebServiceTest.h"

namespace {

using After = FakeService::After;

const std::string kAlive = FakeService::chunked("PLXSTART1003\r\nPLXEND");
const std::string kNotValid = FakeService::chunked("PLXSTART4006 Session not valid.\r\nPLXEND");
const char kLogoutFailed[] = "Logout: no reply from server! Check your Internet connection.";

class ServiceActions : public WebServiceTest {
protected:
    void SetUp() override {
        WebServiceTest::SetUp();
        quick(client);
    }
    std::string replyText() const {
        char text[ServiceClient::kReplyTextBytes];
        client.replyText(text, sizeof text);
        return text;
    }
    ServiceClient client;
};

}  // namespace

// Login.

TEST_F(ServiceActions, LoginAcceptedWithFlagsZeroSetsTheAccountFlagsToZero) {
    service.add(FakeService::withLength("PLXSTART1001 Welcome.PLXFLAGS0PLXEND"));
    service.add(kAlive);
    int flags = -1;
    EXPECT_TRUE(client.login("ann", "pw", 58116, 0, flags));
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(replyText(), "1001 Welcome.PLXFLAGS0");
}

TEST_F(ServiceActions, LoginAcceptedWithoutFlagsKeeps16) {
    service.add(FakeService::withLength("PLXSTART1001PLXEND"));
    service.add(kAlive);
    int flags = -1;
    EXPECT_TRUE(client.login("ann", "pw", 58116, 0, flags));
    EXPECT_EQ(flags, 16);
}

TEST_F(ServiceActions, LoginFlagsTooLongToBeANumberKeep16) {
    service.add(FakeService::withLength("PLXSTART1001PLXFLAGS1234567890123456PLXEND"));
    service.add(kAlive);
    int flags = -1;
    EXPECT_TRUE(client.login("ann", "pw", 58116, 0, flags));
    EXPECT_EQ(flags, 16);
}

TEST_F(ServiceActions, LoginRefusedLeavesTheServiceTextAndSendsNoKeepAlive) {
    service.add(FakeService::withLength("PLXSTART2001 Wrong password.PLXEND"));
    int flags = -1;
    EXPECT_FALSE(client.login("ann", "pw", 58116, 0, flags));
    EXPECT_EQ(flags, 16);
    EXPECT_EQ(replyText(), "2001 Wrong password.");
    EXPECT_EQ(service.requests().size(), 1u);
}

TEST_F(ServiceActions, LoginReplyWithoutStartTagGivesTheFirst100ReplyBytes) {
    const std::string reply = FakeService::withLength(std::string(200, 'z'));
    service.add(reply);
    int flags = 0;
    EXPECT_FALSE(client.login("ann", "pw", 58116, 0, flags));
    EXPECT_EQ(replyText(), reply.substr(0, 100));
}

TEST_F(ServiceActions, LoginReplyWithoutEndTagGivesThe100BytesAfterTheStartTag) {
    const std::string after = "1001" + std::string(150, 'q');
    service.add(FakeService::withLength("PLXSTART" + after));
    int flags = 0;
    EXPECT_FALSE(client.login("ann", "pw", 58116, 0, flags));
    EXPECT_EQ(replyText(), after.substr(0, 100));
}

TEST_F(ServiceActions, LoginWithoutAnyReplyLeavesNoRequestTextBehind) {
    service.add({{}, 0, After::CloseWithoutReply});
    int flags = 0;
    EXPECT_FALSE(client.login("ann", "secret", 58116, 0, flags));
    EXPECT_EQ(replyText(), "");
}

// Logout.

TEST_F(ServiceActions, LogoutAcceptedKeepsThePayload) {
    service.add(FakeService::withLength("PLXSTART1002 Bye.PLXEND"));
    EXPECT_TRUE(client.logout());
    EXPECT_EQ(replyText(), "1002 Bye.");
}

TEST_F(ServiceActions, LogoutWithOtherCodeGivesTheLogoutFailureText) {
    service.add(FakeService::withLength("PLXSTART4006PLXEND"));
    EXPECT_TRUE(client.logout());
    EXPECT_EQ(replyText(), kLogoutFailed);
}

TEST_F(ServiceActions, LogoutWithoutStartTagGivesTheLogoutFailureText) {
    service.add(FakeService::withLength("nothing"));
    EXPECT_TRUE(client.logout());
    EXPECT_EQ(replyText(), kLogoutFailed);
}

TEST_F(ServiceActions, LogoutWithoutEndTagLeavesTheTextAsItWas) {
    service.add(FakeService::withLength("PLXSTART1002 Bye.PLXEND"));
    service.add(FakeService::withLength("PLXSTART1002 cut"));
    EXPECT_TRUE(client.logout());
    EXPECT_TRUE(client.logout());
    EXPECT_EQ(replyText(), "1002 Bye.");
}

TEST_F(ServiceActions, LogoutWithoutReplyFails) {
    service.add({{}, 0, After::CloseWithoutReply});
    EXPECT_FALSE(client.logout());
    EXPECT_EQ(replyText(), kLogoutFailed);
}

// Online list.

TEST_F(ServiceActions, OnlineListInChunksIsParsed) {
    service.add({{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                  "2a\r\nPLXLISTPLXNAME:ann PLXIP:10.0.0.1PLXLINEPLXFLAGS3PLXSERIAL5000\r\n",
                  "20\r\nPLXNAME:bob PLXIP:10.0.0.2PLXLINE\r\n", "e\r\n1004\r\nPLXEND\r\n0\r\n\r\n"},
                 20,
                 After::KeepOpen});
    OnlineUser users[8];
    ASSERT_EQ(client.fetchOnlineList(users, 8), 2);
    EXPECT_STREQ(users[0].name, "ann ");
    EXPECT_STREQ(users[0].ip, "10.0.0.1");
    EXPECT_EQ(users[0].port, 5000);
    EXPECT_EQ(users[0].connected, 1);
    EXPECT_EQ(users[0].partner, 1);
    EXPECT_STREQ(users[1].ip, "10.0.0.2");
    EXPECT_EQ(users[1].port, OnlineUser::kDefaultPort);
}

TEST_F(ServiceActions, MasterAccountLoggedOutIsMinusTwoWithItsText) {
    service.add(FakeService::chunked("PLXSTART4007 Master account logged out.\r\nPLXEND"));
    OnlineUser users[2];
    EXPECT_EQ(client.fetchOnlineList(users, 2), ServiceClient::kMasterLoggedOut);
    EXPECT_EQ(replyText(), "Master account logged out!");
}

TEST_F(ServiceActions, ReplyWithoutListIsAFailureWithTheNoReplyText) {
    service.add(FakeService::chunked("PLXSTART4006\r\nPLXEND"));
    OnlineUser users[2];
    EXPECT_EQ(client.fetchOnlineList(users, 2), ServiceClient::kFetchFailed);
    EXPECT_EQ(replyText(), "Fetch users: no reply from Server! Check Your Internet connection.");
}

TEST_F(ServiceActions, ListCutOffByTheServiceIsAFailureNotAnEmptyList) {
    service.add(std::string("HTTP/1.1 200 OK\r\n\r\nPLXLISTPLXNAME:ann PLXIP:10.0.0.1PLXLINE"), After::Close);
    OnlineUser users[2];
    EXPECT_EQ(client.fetchOnlineList(users, 2), ServiceClient::kFetchFailed);
}

TEST_F(ServiceActions, ListFromAServiceThatCannotBeReachedIsAFailure) {
    platform::setServiceOverride("127.0.0.1", 1);  // nothing listens there
    OnlineUser users[2];
    EXPECT_EQ(client.fetchOnlineList(users, 2), ServiceClient::kFetchFailed);
}

// Keep-alive.

TEST_F(ServiceActions, FourthNotValidReplyInARowMarksTheSessionTimedOut) {
    for (int i = 0; i < 5; ++i) service.add(kNotValid);
    bool timedOut = false;
    for (int i = 1; i <= 3; ++i) {
        EXPECT_FALSE(client.keepAlive(0, timedOut));
        EXPECT_FALSE(timedOut) << "reply " << i;
    }
    EXPECT_FALSE(client.keepAlive(0, timedOut));
    EXPECT_TRUE(timedOut);
    EXPECT_FALSE(client.keepAlive(0, timedOut));
    EXPECT_TRUE(timedOut);
}

TEST_F(ServiceActions, AliveReplyStartsTheNotValidCountAgain) {
    for (int i = 0; i < 3; ++i) service.add(kNotValid);
    service.add(kAlive);
    for (int i = 0; i < 3; ++i) service.add(kNotValid);
    bool timedOut = false;
    for (int i = 0; i < 3; ++i) client.keepAlive(0, timedOut);
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    EXPECT_EQ(client.failedKeepAlives(), 0);
    for (int i = 0; i < 3; ++i) client.keepAlive(0, timedOut);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(client.failedKeepAlives(), 3);
}

TEST_F(ServiceActions, OtherKeepAliveReplyFailsAndClosesTheConnection) {
    service.add(FakeService::chunked("PLXSTART9999\r\nPLXEND"));
    bool timedOut = true;
    EXPECT_FALSE(client.keepAlive(0, timedOut));
    EXPECT_FALSE(timedOut);
    EXPECT_FALSE(client.isOpen());
}

TEST_F(ServiceActions, CodeInAHeaderLineIsNotTakenForTheReply) {
    service.add("HTTP/1.1 200 OK\r\nSet-Cookie: id=71003\r\nTransfer-Encoding: chunked\r\n\r\n"
                "d\r\nPLXSTART9999\r\nPLXEND\r\n0\r\n\r\n");
    bool timedOut = false;
    EXPECT_FALSE(client.keepAlive(0, timedOut));
}

// Invitations.

TEST_F(ServiceActions, InviteRegisteredClosesTheConnection) {
    service.add(FakeService::withLength("PLXSTART1020 PLXEND"));
    EXPECT_TRUE(client.invite("10.0.0.7"));
    EXPECT_FALSE(client.isOpen());
}

TEST_F(ServiceActions, InviteCodeWithoutItsBlankIsNotRegistered) {
    service.add(FakeService::withLength("PLXSTART1020PLXEND"));
    EXPECT_FALSE(client.invite("10.0.0.7"));
}

TEST_F(ServiceActions, WaitingInvitationLeavesTheInviterAddress) {
    service.add(FakeService::chunked("PLXSTART1022 192.168.10.200\r\nPLXEND"));
    char inviter[OnlineUser::kIpBytes] = "x";
    EXPECT_TRUE(client.checkInvitation(inviter));
    EXPECT_STREQ(inviter, "192.168.10.200");
    char kept[OnlineUser::kIpBytes];
    client.inviterAddress(kept);
    EXPECT_STREQ(kept, "192.168.10.200");
    EXPECT_TRUE(client.isOpen());
}

TEST_F(ServiceActions, SixCharacterAddressIsNoInvitation) {
    service.add(FakeService::chunked("PLXSTART1022 10.0.0\r\nPLXEND"));
    EXPECT_FALSE(client.checkInvitation());
    EXPECT_TRUE(client.isOpen());
}

TEST_F(ServiceActions, AddressEndsAtABlank) {
    service.add(FakeService::chunked("PLXSTART1022 10.0. 0.1\r\nPLXEND"));
    EXPECT_FALSE(client.checkInvitation());
}

TEST_F(ServiceActions, NoInvitationReplyIsNone) {
    service.add(FakeService::chunked("PLXSTART1021 No invitation.\r\nPLXEND"));
    char inviter[OnlineUser::kIpBytes] = "x";
    EXPECT_FALSE(client.checkInvitation(inviter));
    EXPECT_STREQ(inviter, "");
}

// The persistent connection.

TEST_F(ServiceActions, ChunkedRepliesReuseOneConnection) {
    service.add(kAlive);
    service.add(FakeService::chunked("PLXSTART1021\r\nPLXEND"));
    service.add(kAlive);
    bool timedOut = false;
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    EXPECT_FALSE(client.checkInvitation());
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    EXPECT_EQ(service.connections(), 1);
}

TEST_F(ServiceActions, ConnectionClosedByTheServiceWhileIdleIsOpenedAgain) {
    service.add(kAlive, After::Close);
    service.add(kAlive);
    bool timedOut = false;
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    const auto r = service.requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].connection, 2);
}

TEST_F(ServiceActions, ConnectionClosedAsTheRequestArrivesIsRetriedOnceOnANewOne) {
    service.add(kAlive);
    service.add({{}, 0, After::CloseWithoutReply});
    service.add(kAlive);
    bool timedOut = false;
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    const auto r = service.requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[1].bytes, r[2].bytes);
    EXPECT_EQ(r[2].connection, 2);
}

TEST_F(ServiceActions, FreshConnectionClosedWithoutReplyIsNotRetried) {
    service.add({{}, 0, After::CloseWithoutReply});
    service.add(kAlive);
    bool timedOut = false;
    EXPECT_FALSE(client.keepAlive(0, timedOut));
    EXPECT_EQ(service.requests().size(), 1u);
}

TEST_F(ServiceActions, LeftoverBytesAfterAReplyAreNotReadAsTheNextReply) {
    service.add({{kAlive, "PLXSTART1022 10.1.1.1\r\nPLXEND\r\n0\r\n\r\n"}, 20, After::KeepOpen});
    service.add(FakeService::chunked("PLXSTART1021\r\nPLXEND"));
    bool timedOut = false;
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the stray bytes arrive
    EXPECT_FALSE(client.checkInvitation());
    EXPECT_EQ(service.connections(), 2);
}
