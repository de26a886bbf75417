// Replies of the service actions turned into results and texts, and the
// persistent connection of the shared client.
#include <string>

#include "trvcore/trvnetwork/ServiceClient.h"
#include "unit/webclient/FakeService.h"

namespace {

const std::string kAlive = FakeService::chunked("PLXSTART1003\r\nPLXEND");
const std::string kNotValid = FakeService::chunked("PLXSTART4006 Session not valid.\r\nPLXEND");
const std::string kNoInvitation = FakeService::chunked("PLXSTART1021 No invitation.\r\nPLXEND");
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

TEST_F(ServiceActions, LoginReplyGivesResultFlagsAndText) {
    const std::string noStart = FakeService::withLength(std::string(200, 'z'));
    const std::string after = "1001" + std::string(150, 'q');
    const struct {
        std::string reply;
        bool accepted;
        int flags;
        std::string text;
    } cases[] = {
        {FakeService::withLength("PLXSTART1001 Hi.PLXFLAGS0PLXEND"), true, 0, "1001 Hi.PLXFLAGS0"},
        {FakeService::withLength("PLXSTART1001PLXEND"), true, 16, "1001"},
        {FakeService::withLength("PLXSTART1001PLXFLAGS1234567890123456PLXEND"), true, 16, ""},
        {FakeService::withLength("PLXSTART2001 Wrong password.PLXEND"), false, 16, "2001 Wrong password."},
        {noStart, false, 16, noStart.substr(0, 100)},
        {FakeService::withLength("PLXSTART" + after), false, 16, after.substr(0, 100)},
    };
    for (const auto& c : cases) {
        service.add(c.reply);
        if (c.accepted) service.add(kAlive);
        int flags = -1;
        EXPECT_EQ(client.login("ann", "pw", 58116, 0, flags), c.accepted) << c.reply;
        EXPECT_EQ(flags, c.flags) << c.reply;
        if (!c.text.empty()) {
            EXPECT_EQ(replyText(), c.text);
        }
    }
    EXPECT_EQ(service.requests().size(), 6u + 3u);
}

TEST_F(ServiceActions, LoginWithoutAnyReplyLeavesNoRequestTextBehind) {
    service.add({{}, 0, After::CloseWithoutReply});
    int flags = 0;
    EXPECT_FALSE(client.login("ann", "secret", 58116, 0, flags));
    EXPECT_EQ(replyText(), "");
}

TEST_F(ServiceActions, LogoutTextIsThePayloadOnlyWhenItHolds1002) {
    service.add(FakeService::withLength("PLXSTART1002 Bye.PLXEND"));
    EXPECT_TRUE(client.logout());
    EXPECT_EQ(replyText(), "1002 Bye.");
    service.add(FakeService::withLength("PLXSTART1002 cut"));
    EXPECT_TRUE(client.logout());
    EXPECT_EQ(replyText(), "1002 Bye.") << "no end tag leaves the text";
    for (const char* reply : {"PLXSTART4006PLXEND", "nothing"}) {
        service.add(FakeService::withLength(reply));
        EXPECT_TRUE(client.logout());
        EXPECT_EQ(replyText(), kLogoutFailed) << reply;
    }
    service.add({{}, 0, After::CloseWithoutReply});
    EXPECT_FALSE(client.logout());
}

TEST_F(ServiceActions, OnlineListInChunksIsParsed) {
    service.add({{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n",
                  "2b\r\nPLXLISTPLXNAME:ann PLXIP:192.0.2.1PLXLINEPLXFLAGS3PLXSERIAL5000\r\n",
                  "20\r\nPLXNAME:bob PLXIP:192.0.2.2PLXLINE\r\n", "e\r\n1004\r\nPLXEND\r\n0\r\n\r\n"},
                 20,
                 After::KeepOpen});
    OnlineUser users[8];
    ASSERT_EQ(client.fetchOnlineList(users, 8), 2);
    EXPECT_STREQ(users[0].name, "ann ");
    EXPECT_EQ(users[0].port, 5000);
    EXPECT_EQ(users[0].connected, 1);
    EXPECT_STREQ(users[1].ip, "192.0.2.2");
}

TEST_F(ServiceActions, OnlineListFailuresAreNegativeWithTheirTexts) {
    OnlineUser users[2];
    service.add(FakeService::chunked("PLXSTART4007 Master account logged out.\r\nPLXEND"));
    EXPECT_EQ(client.fetchOnlineList(users, 2), ServiceClient::kMasterLoggedOut);
    EXPECT_EQ(replyText(), "Master account logged out!");
    service.add(kNotValid);
    EXPECT_EQ(client.fetchOnlineList(users, 2), ServiceClient::kFetchFailed);
    EXPECT_EQ(replyText(), "Fetch users: no reply from Server! Check Your Internet connection.");
    // A list cut off in transit is no empty list.
    service.add("HTTP/1.1 200 OK\r\n\r\nPLXLISTPLXNAME:ann PLXIP:192.0.2.1PLXLINE", After::Close);
    EXPECT_EQ(client.fetchOnlineList(users, 2), ServiceClient::kFetchFailed);
    platform::setServiceOverride("127.0.0.1", 1);  // nothing listens there
    EXPECT_EQ(client.fetchOnlineList(users, 2), ServiceClient::kFetchFailed);
}

TEST_F(ServiceActions, FourthNotValidKeepAliveInARowTimesTheSessionOut) {
    const bool expectTimedOut[] = {false, false, false, true, true};
    for (bool expected : expectTimedOut) {
        service.add(kNotValid);
        bool timedOut = !expected;
        EXPECT_FALSE(client.keepAlive(0, timedOut));
        EXPECT_EQ(timedOut, expected);
        EXPECT_FALSE(client.isOpen());
    }
}

TEST_F(ServiceActions, AliveOrOtherKeepAliveReplyStartsTheCountAgain) {
    bool timedOut = false;
    for (const std::string& between : {kAlive, FakeService::chunked("PLXSTART9999\r\nPLXEND")}) {
        for (int i = 0; i < 3; ++i) service.add(kNotValid);
        service.add(between);
        for (int i = 0; i < 4; ++i) client.keepAlive(0, timedOut);
        EXPECT_EQ(client.failedKeepAlives(), 0);
    }
    for (int i = 0; i < 3; ++i) service.add(kNotValid);
    for (int i = 0; i < 3; ++i) client.keepAlive(0, timedOut);
    EXPECT_FALSE(timedOut);
}

TEST_F(ServiceActions, CodesAreLookedForInTheBodyNotInTheHeader) {
    service.add("HTTP/1.1 200 OK\r\nSet-Cookie: id=71003\r\nTransfer-Encoding: chunked\r\n\r\n"
                "d\r\nPLXSTART9999\r\nPLXEND\r\n0\r\n\r\n");
    bool timedOut = false;
    EXPECT_FALSE(client.keepAlive(0, timedOut));
}

TEST_F(ServiceActions, InviteIsRegisteredOnlyWithTheCodeAndItsBlank) {
    service.add(FakeService::withLength("PLXSTART1020 PLXEND"));
    EXPECT_TRUE(client.invite("192.0.2.7"));
    EXPECT_FALSE(client.isOpen());
    service.add(FakeService::withLength("PLXSTART1020PLXEND"));
    EXPECT_FALSE(client.invite("192.0.2.7"));
}

TEST_F(ServiceActions, WaitingInvitationNeedsADottedQuad) {
    const struct {
        const char* payload;
        const char* inviter;
    } cases[] = {
        {"PLXSTART1022 203.0.113.200", "203.0.113.200"},
        {"PLXSTART1022 192.0.2", ""},
        {"PLXSTART1022 10.0. 0.1", ""},
        {"PLXSTART1021 No invitation.", ""},
    };
    for (const auto& c : cases) {
        service.add(FakeService::chunked(std::string(c.payload) + "\r\nPLXEND"));
        char inviter[OnlineUser::kIpBytes] = "x";
        EXPECT_EQ(client.checkInvitation(inviter), *c.inviter != '\0') << c.payload;
        EXPECT_STREQ(inviter, c.inviter);
        client.inviterAddress(inviter);
        EXPECT_STREQ(inviter, c.inviter);
    }
    EXPECT_EQ(service.connections(), 1);
}

TEST_F(ServiceActions, ConnectionClosedByTheServiceWhileIdleIsOpenedAgain) {
    service.add(kAlive, After::Close);
    service.add(kAlive);
    bool timedOut = false;
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    EXPECT_EQ(service.connections(), 2);
}

TEST_F(ServiceActions, ReusedConnectionClosedAsTheRequestArrivesIsRetriedOnce) {
    service.add(kAlive);
    service.add({{}, 0, After::CloseWithoutReply});
    service.add(kAlive);
    service.add({{}, 0, After::CloseWithoutReply});
    bool timedOut = false;
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    const auto r = service.requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[2].connection, 2);
    // A fresh connection that gets no reply is not asked again.
    client.close();
    EXPECT_FALSE(client.keepAlive(0, timedOut));
    EXPECT_EQ(service.requests().size(), 4u);
}

TEST_F(ServiceActions, StrayBytesAfterAReplyAreNotReadAsTheNextReply) {
    service.add({{kAlive, "PLXSTART1022 198.51.100.1\r\nPLXEND\r\n0\r\n\r\n"}, 20, After::KeepOpen});
    service.add(kNoInvitation);
    bool timedOut = false;
    EXPECT_TRUE(client.keepAlive(0, timedOut));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the stray bytes arrive
    EXPECT_FALSE(client.checkInvitation());
    EXPECT_EQ(service.connections(), 2);
}
