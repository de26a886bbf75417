// The request bytes the client sends, byte for byte: the HTTP client's two
// request forms and the body of each service action.
#include <gtest/gtest.h>

#include <string>

#include "trvcore/trvnetwork/HttpClient.h"
#include "trvcore/trvnetwork/OnlineUser.h"
#include "trvcore/trvnetwork/ServiceClient.h"
#include "unit/webclient/WebServiceTest.h"

namespace {

const std::string kLoginAccepted = FakeService::withLength("PLXSTART1001 Welcome.PLXEND");
const std::string kAlive = FakeService::chunked("PLXSTART1003\r\nPLXEND");

class HttpRequest : public WebServiceTest {
protected:
    std::string onlyRequest() {
        const auto r = service.requests();
        return r.size() == 1 ? r[0].bytes : "<" + std::to_string(r.size()) + " requests>";
    }
};

// Connects to the service by the name "localhost" while the client itself
// resolves another name: the Host line must still carry the service's name.
class HttpRequestByName : public HttpRequest {
protected:
    const char* serviceHost() const override { return "localhost"; }
};

}  // namespace

TEST_F(HttpRequest, PostHasTwoBlanksAfterTheMethodAndBodyFollowedByCrLf) {
    service.add(FakeService::withLength("ok"));
    HttpClient c;
    quick(c);
    ASSERT_NE(c.post("/sys/interface/trv/index.php4", "action=onlinelist"), nullptr);
    // 17 body bytes announced, 19 bytes after the blank line.
    const std::string expected =
        "POST  /sys/interface/trv/index.php4 HTTP/1.1\r\n"
        "Host: 127.0.0.1\r\n"
        "User-Agent: TRV\r\n"
        "Content-type: application/x-www-form-urlencoded\r\n"
        "Content-Length: 17\r\n"
        "\r\n"
        "action=onlinelist\r\n";
    EXPECT_EQ(onlyRequest(), expected);
}

TEST_F(HttpRequest, GetPutsUserAgentBeforeHost) {
    service.add(FakeService::withLength("news"));
    HttpClient c;
    quick(c);
    ASSERT_NE(c.get("/fileadmin/tvn/trv_content/news.txt"), nullptr);
    EXPECT_EQ(onlyRequest(),
              "GET  /fileadmin/tvn/trv_content/news.txt HTTP/1.1\r\n"
              "User-Agent: TRV\r\n"
              "Host: 127.0.0.1\r\n"
              "\r\n");
}

TEST_F(HttpRequest, GetExtraIsAppendedToTheHostLine) {
    HttpClient c;
    ASSERT_TRUE(c.connect());
    ASSERT_TRUE(c.buildGet("/a", "\r\nRange: bytes=0-9"));
    EXPECT_STREQ(c.buffer(), "GET  /a HTTP/1.1\r\nUser-Agent: TRV\r\nHost: 127.0.0.1\r\nRange: bytes=0-9\r\n\r\n");
}

TEST_F(HttpRequest, RequestsCannotBeBuiltBeforeTheFirstConnect) {
    HttpClient c;
    EXPECT_FALSE(c.buildPost("/a", "b"));
    EXPECT_FALSE(c.buildGet("/a", nullptr));
}

TEST_F(HttpRequest, RequestTooLargeForTheBufferIsRefused) {
    HttpClient c;
    ASSERT_TRUE(c.connect());
    const std::string body(HttpClient::kInitialCapacity, 'x');
    EXPECT_FALSE(c.buildPost("/a", body.c_str()));
}

TEST_F(HttpRequestByName, HostLineNamesTheServiceWhateverNameIsResolved) {
    service.add(FakeService::withLength("ok"));
    HttpClient c;
    quick(c);
    c.setHost("127.0.0.1");
    ASSERT_NE(c.get("/x"), nullptr);
    EXPECT_EQ(onlyRequest(), "GET  /x HTTP/1.1\r\nUser-Agent: TRV\r\nHost: localhost\r\n\r\n");
}

TEST_F(HttpRequest, LoginSendsValuesUnencodedThenOneKeepAlive) {
    service.add(kLoginAccepted);
    service.add(kAlive);
    ServiceClient c;
    quick(c);
    int flags = -1;
    ASSERT_TRUE(c.login("rock&roll", "pa ss", 58116, 0, flags));
    const auto r = service.requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].bytes, servicePost("action=login&username=rock&roll&password=pa ss&counter=58116&extra=0"));
    EXPECT_EQ(r[1].bytes, servicePost("action=keepalive&flags=0"));
}

TEST_F(HttpRequest, LogoutBody) {
    service.add(FakeService::withLength("PLXSTART1002PLXEND"));
    ServiceClient c;
    quick(c);
    EXPECT_TRUE(c.logout());
    EXPECT_EQ(onlyRequest(), servicePost("action=logout"));
}

TEST_F(HttpRequest, OnlineListBody) {
    service.add(FakeService::chunked("PLXLIST1004\r\nPLXEND"));
    ServiceClient c;
    quick(c);
    OnlineUser users[4];
    EXPECT_EQ(c.fetchOnlineList(users, 4), 0);
    EXPECT_EQ(onlyRequest(), servicePost("action=onlinelist"));
}

TEST_F(HttpRequest, KeepAliveCarriesTheFlags) {
    service.add(kAlive);
    ServiceClient c;
    quick(c);
    bool timedOut = true;
    EXPECT_TRUE(c.keepAlive(13, timedOut));
    EXPECT_EQ(onlyRequest(), servicePost("action=keepalive&flags=13"));
}

TEST_F(HttpRequest, InviteCarriesTheIp) {
    service.add(FakeService::withLength("PLXSTART1020 PLXEND"));
    ServiceClient c;
    quick(c);
    EXPECT_TRUE(c.invite("10.0.0.7"));
    EXPECT_EQ(onlyRequest(), servicePost("action=invite&ip=10.0.0.7"));
}

TEST_F(HttpRequest, CheckInvitationBody) {
    service.add(FakeService::chunked("PLXSTART1021 No invitation.\r\nPLXEND"));
    ServiceClient c;
    quick(c);
    EXPECT_FALSE(c.checkInvitation());
    EXPECT_EQ(onlyRequest(), servicePost("action=checkinvitation"));
}
