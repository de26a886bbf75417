// The request bytes, byte for byte: the two request forms and the body of
// each service action.
#include <functional>
#include <string>

#include "trvcore/trvnetwork/HttpClient.h"
#include "trvcore/trvnetwork/ServiceClient.h"
#include "unit/webclient/FakeService.h"

namespace {

class HttpRequest : public WebServiceTest {
protected:
    std::string firstRequest() {
        const auto r = service.requests();
        return r.empty() ? "<none>" : r[0].bytes;
    }
};

// The client resolves another name than the service's: the Host line still
// carries the service's.
class HttpRequestByName : public HttpRequest {
protected:
    const char* serviceHost() const override { return "localhost"; }
};

}  // namespace

TEST_F(HttpRequest, PostHasTwoBlanksAfterTheMethodAndACrLfAfterTheCountedBody) {
    service.add(FakeService::withLength("ok"));
    HttpClient c;
    quick(c);
    ASSERT_NE(c.post("/sys/interface/trv/index.php4", "action=onlinelist"), nullptr);
    EXPECT_EQ(firstRequest(),
              "POST  /sys/interface/trv/index.php4 HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: TRV\r\n"
              "Content-type: application/x-www-form-urlencoded\r\nContent-Length: 17\r\n\r\naction=onlinelist\r\n");
}

TEST_F(HttpRequest, GetPutsUserAgentFirstAndAppendsExtraToTheHostLine) {
    service.add(FakeService::withLength("news"));
    HttpClient c;
    quick(c);
    ASSERT_NE(c.get("/fileadmin/tvn/trv_content/news.txt"), nullptr);
    EXPECT_EQ(firstRequest(),
              "GET  /fileadmin/tvn/trv_content/news.txt HTTP/1.1\r\nUser-Agent: TRV\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_TRUE(c.connect());
    ASSERT_TRUE(c.buildGet("/a", "\r\nRange: bytes=0-9"));
    EXPECT_STREQ(c.buffer(), "GET  /a HTTP/1.1\r\nUser-Agent: TRV\r\nHost: 127.0.0.1\r\nRange: bytes=0-9\r\n\r\n");
}

TEST_F(HttpRequestByName, HostLineNamesTheServiceWhateverNameIsResolved) {
    service.add(FakeService::withLength("ok"));
    HttpClient c;
    quick(c);
    c.setHost("127.0.0.1");
    ASSERT_NE(c.get("/x"), nullptr);
    EXPECT_EQ(firstRequest(), "GET  /x HTTP/1.1\r\nUser-Agent: TRV\r\nHost: localhost\r\n\r\n");
}

TEST_F(HttpRequest, EachActionPostsItsFormBodyUnencoded) {
    int flags = 0;
    bool timedOut = false;
    OnlineUser users[2];
    const struct {
        std::function<void(ServiceClient&)> run;
        std::string body;
    } actions[] = {
        {[&](ServiceClient& c) { c.login("rock&roll", "pa ss", 58116, 0, flags); },
         "action=login&username=rock&roll&password=pa ss&counter=58116&extra=0"},
        {[](ServiceClient& c) { c.logout(); }, "action=logout"},
        {[&](ServiceClient& c) { c.fetchOnlineList(users, 2); }, "action=onlinelist"},
        {[&](ServiceClient& c) { c.keepAlive(13, timedOut); }, "action=keepalive&flags=13"},
        {[](ServiceClient& c) { c.invite("192.0.2.7"); }, "action=invite&ip=192.0.2.7"},
        {[](ServiceClient& c) { c.checkInvitation(); }, "action=checkinvitation"},
    };
    for (const auto& a : actions) {
        service.add(FakeService::withLength("-"), After::Close);
        ServiceClient c;
        quick(c);
        a.run(c);
        const auto r = service.requests();
        ASSERT_FALSE(r.empty());
        EXPECT_EQ(r.back().bytes, servicePost(a.body));
    }
}

TEST_F(HttpRequest, AcceptedLoginIsFollowedByOneKeepAliveWithFlagsZero) {
    service.add(FakeService::withLength("PLXSTART1001 Welcome.PLXEND"));
    service.add(FakeService::chunked("PLXSTART1003\r\nPLXEND"));
    ServiceClient c;
    quick(c);
    int flags = 0;
    ASSERT_TRUE(c.login("ann", "pw", 58116, 0, flags));
    const auto r = service.requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].bytes, servicePost("action=keepalive&flags=0"));
}
