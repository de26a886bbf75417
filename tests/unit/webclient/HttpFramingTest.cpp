// The two framing rules of replies, by Content-Length and by the service's
// end marker: split reads, growth and its limits, peers that close early
// and peers that never finish.
#include <string>

#include "trvcore/trvnetwork/HttpClient.h"
#include "unit/webclient/FakeService.h"

namespace {

// Drives the end-marker rule directly.
class MarkerClient : public HttpClient {
public:
    bool request() { return connect() && buildPost("/p", "q") && sendRequest() && readUntilEnd(true); }
};

const std::string kChunkedHeader = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

std::string pattern(size_t n) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

class ContentLengthFraming : public WebServiceTest {};
class EndMarkerFraming : public WebServiceTest {};

}  // namespace

TEST_F(ContentLengthFraming, HeaderAndBodySplitOverManyReadsAreReadWhole) {
    service.add({{"HTTP/1.1 200 OK\r\ncontent-", "length: 10\r\n", "\r\n0123", "456", "789"}, 30, After::Stall});
    HttpClient c;
    quick(c);
    ASSERT_NE(c.get("/f"), nullptr);
    EXPECT_EQ(c.contentLength(), 10);
    EXPECT_EQ(c.bodyReceived(), 10);
    EXPECT_STREQ(c.body(), "0123456789");
}

TEST_F(ContentLengthFraming, ReplyWithoutLengthIsDoneAtTheHeaderEnd) {
    // A length written in the body is no header; the peer then stays
    // silent, so waiting for more would time out.
    service.add("HTTP/1.1 200 OK\r\n\r\nContent-Length: 50\r\n", After::Stall);
    HttpClient c;
    quick(c);
    ASSERT_NE(c.get("/f"), nullptr);
    EXPECT_EQ(c.contentLength(), 0);
    EXPECT_EQ(c.bodyReceived(), 0);
    EXPECT_EQ(c.headerLength(), 19);
}

TEST_F(ContentLengthFraming, DownloadLargerThanTheBufferGrowsItAndIsFetchedAgain) {
    const std::string body = pattern(20000);
    service.add(FakeService::withLength(body), After::Close);
    service.add(FakeService::withLength(body), After::Close);
    HttpClient c;
    quick(c);
    ASSERT_NE(c.get("/img1.bmp"), nullptr);
    EXPECT_EQ(c.capacity(), 20000 + 4096);
    EXPECT_EQ(std::string(c.body(), static_cast<size_t>(c.bodyReceived())), body);
    const auto r = service.requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].bytes, r[1].bytes);
}

TEST_F(ContentLengthFraming, InsaneOrEverGrowingLengthsAreNotFetchedOnAndOn) {
    service.add("HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\nxyz", After::Close);
    HttpClient c;
    quick(c);
    EXPECT_EQ(c.get("/big"), nullptr);
    EXPECT_EQ(c.capacity(), HttpClient::kInitialCapacity);
    for (int length = 20000; length <= 40000; length += 10000)
        service.add("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) + "\r\n\r\nxyz", After::Close);
    EXPECT_EQ(c.get("/big"), nullptr);
    EXPECT_EQ(service.requests().size(), 1u + 2u);
}

TEST_F(ContentLengthFraming, PostReplyLargerThanTheBufferIsCutAtTheBufferEnd) {
    service.add(FakeService::withLength(pattern(20000)), After::Close);
    HttpClient c;
    quick(c);
    ASSERT_NE(c.post("/p", "a=b"), nullptr);
    EXPECT_EQ(c.headerLength() + c.bodyReceived(), HttpClient::kInitialCapacity - 1);
    EXPECT_EQ(service.requests().size(), 1u);
}

TEST_F(ContentLengthFraming, ReplyCutOffByThePeerFails) {
    for (const char* reply : {"HTTP/1.1 200 OK\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this"}) {
        service.add(reply, After::Close);
        HttpClient c;
        quick(c);
        EXPECT_EQ(c.get("/f"), nullptr) << reply;
        EXPECT_FALSE(c.isOpen());
    }
}

TEST_F(ContentLengthFraming, SilentPeerFailsAtTheReceiveTimeout) {
    for (const char* reply : {"", "HTTP/1.1 200 OK\r\n", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this"}) {
        service.add(reply, After::Stall);
        HttpClient c;
        quick(c, 200);
        EXPECT_EQ(c.get("/f"), nullptr) << reply;
    }
}

TEST_F(ContentLengthFraming, HeaderFillingTheWholeBufferFails) {
    service.add("HTTP/1.1 200 OK\r\nX: " + std::string(20000, 'x'), After::Stall);
    HttpClient c;
    quick(c);
    EXPECT_EQ(c.get("/f"), nullptr);
    EXPECT_EQ(c.capacity(), HttpClient::kInitialCapacity);
}

TEST_F(EndMarkerFraming, MarkerSplitAcrossReadsEndsTheReplyWithTheConnectionOpen) {
    service.add({{kChunkedHeader, "8\r\nPLX", "LIST\r\nPLXEN", "D\r\n0", "\r\n\r\n"}, 30, After::Stall});
    MarkerClient c;
    quick(c);
    ASSERT_TRUE(c.request());
    EXPECT_TRUE(c.isOpen());
    EXPECT_STREQ(c.body(), "8\r\nPLXLIST\r\nPLXEND\r\n0\r\n\r\n");
}

TEST_F(EndMarkerFraming, LongReplyGrowsTheBufferIn4096ByteSteps) {
    const std::string reply = FakeService::chunked(pattern(40000) + "PLXEND");
    service.add(reply, After::Stall);
    MarkerClient c;
    quick(c);
    ASSERT_TRUE(c.request());
    EXPECT_EQ(std::string(c.buffer(), static_cast<size_t>(c.replyBytes())), reply);
    EXPECT_EQ((c.capacity() - HttpClient::kInitialCapacity) % HttpClient::kGrowStep, 0);
}

TEST_F(EndMarkerFraming, ReplyBeyondTheBufferLimitFails) {
    service.add(kChunkedHeader + std::string(HttpClient::kMaxCapacity + 8192, 'x'), After::Stall);
    MarkerClient c;
    quick(c);
    EXPECT_FALSE(c.request());
    EXPECT_LE(c.capacity(), HttpClient::kMaxCapacity);
}

TEST_F(EndMarkerFraming, ReplyThatNeverEndsFailsAtTheReceiveTimeout) {
    service.add(kChunkedHeader + "7\r\nPLXLIST", After::Stall);
    MarkerClient c;
    quick(c, 200);
    EXPECT_FALSE(c.request());
    EXPECT_FALSE(c.isOpen());
}

TEST_F(EndMarkerFraming, PeerClosingWithoutTheMarkerEndsTheReadWithSuccess) {
    service.add(kChunkedHeader + "7\r\nPLXLIST", After::Close);
    MarkerClient c;
    quick(c);
    EXPECT_TRUE(c.request());
    EXPECT_FALSE(c.isOpen());
    EXPECT_STREQ(c.body(), "7\r\nPLXLIST");
}

TEST_F(EndMarkerFraming, MarkerCountsOnlyAfterTheHeader) {
    service.add({{"HTTP/1.1 200 OK\r\nX: PLXEND\r\n0\r\n\r\n", "5\r\nPLXEND\r\n0\r\n\r\n"}, 30, After::Stall});
    MarkerClient c;
    quick(c);
    ASSERT_TRUE(c.request());
    EXPECT_STREQ(c.body(), "5\r\nPLXEND\r\n0\r\n\r\n");
}

TEST_F(EndMarkerFraming, ReplyFramedByLengthEndsWithItsBody) {
    service.add(FakeService::withLength("<html>busy</html>", "503 Service Unavailable"), After::Stall);
    MarkerClient c;
    quick(c);
    ASSERT_TRUE(c.request());
    EXPECT_STREQ(c.body(), "<html>busy</html>");
}

TEST_F(EndMarkerFraming, APeerTricklingBytesFailsAtTheRequestDeadline) {
    FakeService::Reply r;
    r.pieces.push_back(kChunkedHeader);
    for (int i = 0; i < 60; ++i) r.pieces.push_back("x");  // never the marker
    r.pauseMs = 100;
    r.after = After::Stall;
    service.add(r);
    MarkerClient c;
    quick(c);
    c.setRequestDeadline(1000);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(c.request());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2500));
    EXPECT_TRUE(c.readTimedOut());
    EXPECT_FALSE(c.isOpen());
}

TEST_F(ContentLengthFraming, ACancelFromAnotherThreadEndsAWaitingRequest) {
    service.add("", After::Stall);
    HttpClient c;
    quick(c, 10000);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        c.cancel();
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(c.get("/f"), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(1500));
    canceller.join();
    EXPECT_EQ(c.get("/f"), nullptr) << "cancelled until cleared";
}
