// The real server on loopback, spoken to with the plug-in's exact bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "PluginParser.h"
#include "ServiceFixture.h"

using namespace tvntest;

namespace {

constexpr std::string_view kChunkedEnd = "PLXEND\r\n0\r\n\r\n";

bool endsWith(const std::string& text, std::string_view end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class ServerProtocolTest : public ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        startService();
    }
};

}  // namespace

TEST_F(ServerProtocolTest, LoginRepliesAreFramedByContentLengthAndCarryTheFlags) {
    std::string raw = login("anna", "127.0.0.2");
    EXPECT_EQ(raw.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << raw;
    EXPECT_NE(headerOf(raw).find("Content-Length: " + std::to_string(bodyOf(raw).size()) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(headerOf(raw).find("chunked"), std::string::npos);
    int flags = -1;
    ASSERT_TRUE(parseLogin(raw, flags)) << raw;
    EXPECT_EQ(flags, 0) << "anna is a studio account";
    ASSERT_TRUE(parseLogin(login("ben", "127.0.0.3"), flags));
    EXPECT_EQ(flags, 16);
    EXPECT_TRUE(log.contains("login \"anna\" from 127.0.0.2"));

    RawConnection c;
    ASSERT_TRUE(c.open("127.0.0.4", port));
    raw = c.post("action=login&username=cleo&password=nope&counter=58116&extra=0", false);
    EXPECT_FALSE(parseLogin(raw, flags));
    EXPECT_NE(bodyOf(raw).find("PLXEND"), std::string::npos) << raw;
}

TEST_F(ServerProtocolTest, ControllerLoopRunsOnOnePersistentConnection) {
    login("anna", "127.0.0.2");
    login("ben", "127.0.0.3", 40000);
    RawConnection c;
    ASSERT_TRUE(c.open("127.0.0.2", port));
    for (int round = 0; round < 3; ++round) {
        std::string keepAlive = c.post("action=keepalive&flags=0", true);
        ASSERT_TRUE(endsWith(keepAlive, kChunkedEnd)) << keepAlive;
        EXPECT_NE(headerOf(keepAlive).find("Transfer-Encoding: chunked\r\n"), std::string::npos);
        EXPECT_EQ(headerOf(keepAlive).find("Content-Length"), std::string::npos);
        EXPECT_TRUE(keepAliveAccepted(keepAlive));

        std::string list = c.post("action=onlinelist", true);
        ASSERT_TRUE(endsWith(list, kChunkedEnd)) << list;
        std::vector<ListedUser> users;
        ASSERT_EQ(parseOnlineList(list, users), 1) << list;
        EXPECT_EQ(users[0].name, "ben");
        EXPECT_EQ(users[0].ip, "127.0.0.3");
        EXPECT_EQ(users[0].port, 40000);
        EXPECT_EQ(users[0].partner, 1);

        std::string check = c.post("action=checkinvitation", true);
        ASSERT_TRUE(endsWith(check, kChunkedEnd)) << check;
        std::string inviter;
        EXPECT_FALSE(parseCheckInvitation(check, inviter));
    }
}

TEST_F(ServerProtocolTest, RequestsSentTogetherAreAnsweredInOrder) {
    login("anna", "127.0.0.2");
    RawConnection c;
    ASSERT_TRUE(c.open("127.0.0.2", port));
    ASSERT_TRUE(c.send(pluginPost("action=keepalive&flags=1") + pluginPost("action=onlinelist") +
                       pluginPost("action=logout")));
    EXPECT_TRUE(keepAliveAccepted(c.readChunkedReply()));
    std::vector<ListedUser> users;
    EXPECT_EQ(parseOnlineList(c.readChunkedReply(), users), 0);
    EXPECT_NE(bodyOf(c.readContentLengthReply()).find("1002"), std::string::npos);
}

TEST_F(ServerProtocolTest, OthersSeeEachUserWithHisKeepAliveFlags) {
    login("anna", "127.0.0.2");
    login("cleo", "127.0.0.4");
    RawConnection anna;
    ASSERT_TRUE(anna.open("127.0.0.2", port));
    anna.post("action=keepalive&flags=13", true);
    RawConnection cleo;
    ASSERT_TRUE(cleo.open("127.0.0.4", port));
    std::vector<ListedUser> users;
    ASSERT_EQ(parseOnlineList(cleo.post("action=onlinelist", true), users), 1);
    EXPECT_EQ(users[0].name, "anna");
    EXPECT_EQ(users[0].connected + users[0].doNotDisturb + users[0].partnersOnly, 3);
    EXPECT_EQ(users[0].partner, 0) << "anna is ben's partner, not cleo's";
}

TEST_F(ServerProtocolTest, DependentAccountGetsMasterLoggedOutUntilTheMasterComes) {
    login("pupil", "127.0.0.5");
    RawConnection c;
    ASSERT_TRUE(c.open("127.0.0.5", port));
    std::string raw = c.post("action=onlinelist", true);
    EXPECT_TRUE(endsWith(raw, kChunkedEnd)) << raw;
    std::vector<ListedUser> users;
    EXPECT_EQ(parseOnlineList(raw, users), -2);
    login("teacher", "127.0.0.6");
    EXPECT_EQ(parseOnlineList(c.post("action=onlinelist", true), users), 1);
}

TEST_F(ServerProtocolTest, InvitationReachesTheInvitee) {
    login("anna", "127.0.0.2");
    login("ben", "127.0.0.3");
    RawConnection anna;
    ASSERT_TRUE(anna.open("127.0.0.2", port));
    std::string invited = anna.post("action=invite&ip=127.0.0.3", false);
    EXPECT_NE(invited.find("PLXSTART1020 "), std::string::npos) << invited;
    EXPECT_NE(headerOf(invited).find("Content-Length: "), std::string::npos);
    RawConnection ben;
    ASSERT_TRUE(ben.open("127.0.0.3", port));
    std::string inviter;
    ASSERT_TRUE(parseCheckInvitation(ben.post("action=checkinvitation", true), inviter));
    EXPECT_EQ(inviter, "127.0.0.2");

    // Connected and not to be disturbed: the inviter gets the usual answer,
    // the invitee sees no invitation, neither the new one nor the waiting one.
    ASSERT_TRUE(keepAliveAccepted(ben.post("action=keepalive&flags=5", true)));
    RawConnection again;
    ASSERT_TRUE(again.open("127.0.0.2", port));
    EXPECT_NE(again.post("action=invite&ip=127.0.0.3", false).find("PLXSTART1020 "), std::string::npos);
    EXPECT_FALSE(parseCheckInvitation(ben.post("action=checkinvitation", true), inviter));
}

TEST_F(ServerProtocolTest, LogoutEndsTheSession) {
    login("anna", "127.0.0.2");
    RawConnection c;
    ASSERT_TRUE(c.open("127.0.0.2", port));
    EXPECT_NE(bodyOf(c.post("action=logout", false)).find("1002"), std::string::npos);
    std::string keepAlive = c.post("action=keepalive&flags=0", true);
    EXPECT_FALSE(keepAliveAccepted(keepAlive));
    EXPECT_NE(keepAlive.find("4006"), std::string::npos);
    EXPECT_TRUE(log.contains("logout \"anna\" from 127.0.0.2"));
}

TEST_F(ServerProtocolTest, NewsPicturesHaveTheSizesTheConnectPageShows) {
    struct Picture {
        const char* path;
        int32_t width;
        int32_t height;
    };
    for (const Picture& p : {Picture{"/fileadmin/tvn/trv_content/img1.bmp", 260, 160},
                             Picture{"/fileadmin/tvn/trv_content/img2.bmp", 468, 60}}) {
        RawConnection c;
        ASSERT_TRUE(c.open("127.0.0.7", port));
        ASSERT_TRUE(c.send(pluginGet(p.path)));
        std::string raw = c.readContentLengthReply();
        std::string body = bodyOf(raw);
        ASSERT_GT(body.size(), 54u) << p.path;
        EXPECT_EQ(body.substr(0, 2), "BM");
        int32_t size[2];
        std::memcpy(size, body.data() + 18, sizeof size);
        EXPECT_EQ(size[0], p.width);
        EXPECT_EQ(size[1] < 0 ? -size[1] : size[1], p.height);
    }
    RawConnection c;
    ASSERT_TRUE(c.open("127.0.0.7", port));
    ASSERT_TRUE(c.send(pluginGet("/fileadmin/tvn/trv_content/news.txt")));
    EXPECT_FALSE(bodyOf(c.readContentLengthReply()).empty());
}

TEST_F(ServerProtocolTest, OnlyTheThreeContentFilesAreDownloadable) {
    for (const char* path : {"/fileadmin/tvn/trv_content/../../../etc/passwd", "/fileadmin/tvn/trv_content/",
                             "/fileadmin/tvn/trv_content/img3.bmp", "/"}) {
        RawConnection c;
        ASSERT_TRUE(c.open("127.0.0.7", port));
        ASSERT_TRUE(c.send(pluginGet(path)));
        EXPECT_EQ(c.readUntilClosed().rfind("HTTP/1.1 404", 0), 0u) << path;
    }
}
