// The two framing rules of replies: by Content-Length and by the service's
// end marker, with split reads, growth limits, peers that close early and
// peers that never finish.
#include <gtest/gtest.h>

#include <string>

#include "trvcore/trvnetwork/HttpClient.h"
#include "unit/webclient/WebServiceTest.h"

namespace {

using After = FakeService::After;

// Exposes the send step so the end-marker rule can be driven directly.
class MarkerClient : public HttpClient {
public:
    bool request(bool keepOpen) {
        return connect() && buildPost("/p", "q") && sendRequest() && readUntilEnd(keepOpen);
    }
};

std::string pattern(size_t n) {
    std::string s(n, ' ');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

const char kChunkedHeader[] = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

class ContentLengthFraming : public WebServiceTest {};
class EndMarkerFraming : public WebServiceTest {};

}  // namespace

TEST_F(ContentLengthFraming, HeaderAndBodySplitOverManyReadsAreReadWhole) {
    service.add({{"HTTP/1.1 200 OK\r\nContent-", "Length: 10\r\n", "\r\n0123", "456", "789"}, 30, After::Stall});
    HttpClient c;
    quick(c);
    ASSERT_NE(c.get("/f"), nullptr);
    EXPECT_EQ(c.contentLength(), 10);
    EXPECT_EQ(c.bodyReceived(), 10);
    EXPECT_STREQ(c.body(), "0123456789");
    EXPECT_EQ(c.statusCode(), 200);
}

TEST_F(ContentLengthFraming, ReplyWithoutLengthIsDoneAtTheHeaderEnd) {
    // The peer stays silent afterwards: waiting for more would time out.
    service.add("HTTP/1.1 200 OK\r\nServer: x\r\n\r\n", After::Stall);
    HttpClient c;
    quick(c);
    ASSERT_NE(c.get("/f"), nullptr);
    EXPECT_EQ(c.contentLength(), 0);
    EXPECT_EQ(c.bodyReceived(), 0);
    EXPECT_EQ(c.headerLength(), 30);
}

TEST_F(ContentLengthFraming, LengthHeaderNameIsMatchedWithoutRegardToCase) {
    service.add("HTTP/1.1 200 OK\r\ncontent-length:   4\r\n\r\nabcd", After::Stall);
    HttpClient c;
    quick(c);
    ASSERT_NE(c.get("/f"), nullptr);
    EXPECT_EQ(c.contentLength(), 4);
    EXPECT_STREQ(c.body(), "abcd");
}

TEST_F(ContentLengthFraming, LengthTextInTheBodyIsNoHeader) {
    service.add("HTTP/1.1 200 OK\r\n\r\nContent-Length: 5000\r\n", After::Stall);
    HttpClient c;
    quick(c);
    ASSERT_NE(c.get("/f"), nullptr);
    EXPECT_EQ(c.contentLength(), 0);
}

TEST_F(ContentLengthFraming, DownloadLargerThanTheBufferGrowsItAndFetchesAgain) {
    const std::string body = pattern(20000);
    service.add(FakeService::withLength(body), After::Close);
    service.add(FakeService::withLength(body), After::Close);
    HttpClient c;
    quick(c);
    ASSERT_NE(c.get("/img1.bmp"), nullptr);
    EXPECT_EQ(c.capacity(), 20000 + 4096);
    EXPECT_EQ(c.bodyReceived(), 20000);
    EXPECT_EQ(std::string(c.body(), 20000), body);
    const auto r = service.requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].bytes, r[1].bytes);
    EXPECT_EQ(r[1].connection, 2);
}

TEST_F(ContentLengthFraming, LengthBeyondTheBufferLimitIsNotFetched) {
    service.add("HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\nxyz", After::Close);
    HttpClient c;
    quick(c);
    EXPECT_EQ(c.get("/big"), nullptr);
    EXPECT_EQ(c.capacity(), HttpClient::kInitialCapacity);
    EXPECT_EQ(service.requests().size(), 1u);
}

TEST_F(ContentLengthFraming, EverGrowingLengthIsFetchedAgainOnlyOnce) {
    service.add("HTTP/1.1 200 OK\r\nContent-Length: 20000\r\n\r\nxyz", After::Close);
    service.add("HTTP/1.1 200 OK\r\nContent-Length: 30000\r\n\r\nxyz", After::Close);
    service.add("HTTP/1.1 200 OK\r\nContent-Length: 40000\r\n\r\nxyz", After::Close);
    HttpClient c;
    quick(c);
    EXPECT_EQ(c.get("/big"), nullptr);
    EXPECT_EQ(service.requests().size(), 2u);
}

TEST_F(ContentLengthFraming, PostReplyLargerThanTheBufferIsCutAtTheBufferEnd) {
    service.add(FakeService::withLength(pattern(20000)), After::Close);
    HttpClient c;
    quick(c);
    ASSERT_NE(c.post("/p", "a=b"), nullptr);
    EXPECT_EQ(c.contentLength(), 20000);
    EXPECT_EQ(c.headerLength() + c.bodyReceived(), HttpClient::kInitialCapacity - 1);
    EXPECT_EQ(c.buffer()[HttpClient::kInitialCapacity - 1], '\0');
    EXPECT_EQ(service.requests().size(), 1u);
}

TEST_F(ContentLengthFraming, PeerClosingBeforeTheHeaderEndFails) {
    service.add("HTTP/1.1 200 OK\r\n", After::Close);
    HttpClient c;
    quick(c);
    EXPECT_EQ(c.get("/f"), nullptr);
    EXPECT_FALSE(c.isOpen());
}

TEST_F(ContentLengthFraming, PeerClosingInsideTheBodyFails) {
    service.add("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this", After::Close);
    HttpClient c;
    quick(c);
    EXPECT_EQ(c.get("/f"), nullptr);
}

TEST_F(ContentLengthFraming, SilentPeerFailsAtTheReceiveTimeout) {
    service.add({{}, 0, After::Stall});
    HttpClient c;
    quick(c, 200);
    EXPECT_EQ(c.get("/f"), nullptr);
    EXPECT_FALSE(c.isOpen());
}

TEST_F(ContentLengthFraming, BodyThatNeverCompletesFailsAtTheReceiveTimeout) {
    service.add("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this", After::Stall);
    HttpClient c;
    quick(c, 200);
    EXPECT_EQ(c.get("/f"), nullptr);
}

TEST_F(ContentLengthFraming, HeaderFillingTheWholeBufferFails) {
    service.add(std::string("HTTP/1.1 200 OK\r\nX: ") + std::string(20000, 'x'), After::Stall);
    HttpClient c;
    quick(c);
    EXPECT_EQ(c.get("/f"), nullptr);
    EXPECT_EQ(c.capacity(), HttpClient::kInitialCapacity);
}

TEST_F(ContentLengthFraming, ReplyIsReadAfterTheReadDelay) {
    service.add(FakeService::withLength("late"), After::Close);
    HttpClient c;
    c.setReadDelay(50);
    ASSERT_NE(c.get("/f"), nullptr);
    EXPECT_STREQ(c.body(), "late");
}

TEST_F(EndMarkerFraming, MarkerSplitAcrossReadsEndsTheReplyWithTheConnectionOpen) {
    service.add({{kChunkedHeader, "8\r\nPLX", "LIST\r\nPLXEN", "D\r\n0", "\r\n\r\n"}, 30, After::Stall});
    MarkerClient c;
    quick(c);
    ASSERT_TRUE(c.request(true));
    EXPECT_TRUE(c.isOpen());
    EXPECT_STREQ(c.body(), "8\r\nPLXLIST\r\nPLXEND\r\n0\r\n\r\n");
}

TEST_F(EndMarkerFraming, WithoutKeepOpenTheConnectionIsClosedAtTheMarker) {
    service.add(FakeService::chunked("PLXEND"), After::Stall);
    MarkerClient c;
    quick(c);
    ASSERT_TRUE(c.request(false));
    EXPECT_FALSE(c.isOpen());
}

TEST_F(EndMarkerFraming, LongReplyGrowsTheBufferIn4096ByteSteps) {
    const std::string reply = FakeService::chunked(pattern(40000) + "PLXEND");
    service.add(reply, After::Stall);
    MarkerClient c;
    quick(c);
    ASSERT_TRUE(c.request(true));
    EXPECT_EQ(c.replyBytes(), static_cast<int>(reply.size()));
    EXPECT_EQ((c.capacity() - HttpClient::kInitialCapacity) % HttpClient::kGrowStep, 0);
    EXPECT_GT(c.capacity(), static_cast<int>(reply.size()));
    EXPECT_EQ(std::string(c.buffer(), reply.size()), reply);
}

TEST_F(EndMarkerFraming, ReplyThatNeverEndsFailsAtTheReceiveTimeout) {
    service.add(std::string(kChunkedHeader) + "7\r\nPLXLIST", After::Stall);
    MarkerClient c;
    quick(c, 200);
    EXPECT_FALSE(c.request(true));
    EXPECT_FALSE(c.isOpen());
}

TEST_F(EndMarkerFraming, PeerClosingWithoutTheMarkerEndsTheReadWithSuccess) {
    service.add(std::string(kChunkedHeader) + "7\r\nPLXLIST", After::Close);
    MarkerClient c;
    quick(c);
    EXPECT_TRUE(c.request(true));
    EXPECT_FALSE(c.isOpen());
    EXPECT_STREQ(c.body(), "7\r\nPLXLIST");
}

TEST_F(EndMarkerFraming, MarkerInsideTheHeaderDoesNotEndTheReply) {
    service.add({{"HTTP/1.1 200 OK\r\nX: PLXEND\r\n0\r\n\r\n", "5\r\nPLXEND\r\n0\r\n\r\n"}, 30, After::Stall});
    MarkerClient c;
    quick(c);
    ASSERT_TRUE(c.request(true));
    EXPECT_STREQ(c.body(), "5\r\nPLXEND\r\n0\r\n\r\n");
}

TEST_F(EndMarkerFraming, ReplyBeyondTheBufferLimitFails) {
    service.add(std::string(kChunkedHeader) + std::string(HttpClient::kMaxCapacity + 8192, 'x'), After::Stall);
    MarkerClient c;
    quick(c);
    EXPECT_FALSE(c.request(true));
    EXPECT_LE(c.capacity(), HttpClient::kMaxCapacity);
}

TEST_F(EndMarkerFraming, ReplyFramedByLengthEndsWithItsBody) {
    service.add(FakeService::withLength("<html>busy</html>", "503 Service Unavailable"), After::Stall);
    MarkerClient c;
    quick(c);
    ASSERT_TRUE(c.request(true));
    EXPECT_STREQ(c.body(), "<html>busy</html>");
    EXPECT_TRUE(c.isOpen());
}
