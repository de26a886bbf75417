// The news text and picture downloads: kept once fetched, fetched again
// after a failure, decoded for the editor.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "trvcore/trvnetwork/NewsDownload.h"
#include "trvcore/trvnetwork/NewsPictureSource.h"
#include "unit/webclient/WebServiceTest.h"

namespace {

using After = FakeService::After;

class NewsDownloads : public WebServiceTest {};

// A 1x1 24-bit bitmap of colour 0x336699.
std::string tinyBitmap() {
    std::string b(58, '\0');
    auto put32 = [&b](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 58);
    put32(10, 54);
    put32(14, 40);
    put32(18, 1);
    put32(22, 1);
    b[26] = 1;
    b[28] = 24;
    b[54] = 0x99;
    b[55] = 0x66;
    b[56] = 0x33;
    return b;
}

}  // namespace

TEST_F(NewsDownloads, TextIsFetchedOnceAndKeptWithATerminatingZero) {
    service.add(FakeService::withLength("Jam session tonight"), After::Close);
    NewsDownload news(NewsDownload::kNewsTextPath, 0);
    size_t size = 0;
    const uint8_t* text = news.fetch(size);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(size, 19u);
    EXPECT_STREQ(reinterpret_cast<const char*>(text), "Jam session tonight");
    EXPECT_EQ(news.fetch(size), text);
    const auto r = service.requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].bytes.rfind("GET  /fileadmin/tvn/trv_content/news.txt HTTP/1.1\r\n", 0), 0u);
}

TEST_F(NewsDownloads, FailedDownloadIsTriedAgainOnTheNextCall) {
    service.add({{}, 0, After::CloseWithoutReply});
    service.add(FakeService::withLength("second try"), After::Close);
    NewsDownload news(NewsDownload::kNewsTextPath, 0);
    size_t size = 1;
    EXPECT_EQ(news.fetch(size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(news.hasData());
    ASSERT_NE(news.fetch(size), nullptr);
    EXPECT_EQ(size, 10u);
}

TEST_F(NewsDownloads, ErrorPageIsNotKept) {
    service.add(FakeService::withLength("<html>not here</html>", "404 Not Found"), After::Close);
    NewsDownload news(NewsDownload::kNewsTextPath, 0);
    size_t size = 0;
    EXPECT_EQ(news.fetch(size), nullptr);
}

TEST_F(NewsDownloads, ReplyWithoutLengthIsNotKept) {
    service.add("HTTP/1.1 200 OK\r\n\r\nno length", After::Close);
    NewsDownload news(NewsDownload::kNewsTextPath, 0);
    size_t size = 0;
    EXPECT_EQ(news.fetch(size), nullptr);
}

TEST_F(NewsDownloads, PictureIsDecodedFromTheDownloadedBitmap) {
    service.add(FakeService::withLength(tinyBitmap()), After::Close);
    NewsPictureSource source(NewsDownload::kPicturePath1, 0);
    NewsPicture picture;
    ASSERT_TRUE(source.picture(picture));
    EXPECT_EQ(picture.width, 1);
    EXPECT_EQ(picture.height, 1);
    EXPECT_EQ(picture.at(0, 0), 0xFF336699u);
    ASSERT_TRUE(source.picture(picture));  // from the kept data
    EXPECT_EQ(service.requests().size(), 1u);
    EXPECT_EQ(service.requests()[0].bytes.rfind("GET  /fileadmin/tvn/trv_content/img1.bmp ", 0), 0u);
}

TEST_F(NewsDownloads, DataThatIsNoBitmapGivesAnEmptyPicture) {
    service.add(FakeService::withLength("GIF89a..."), After::Close);
    NewsPictureSource source(NewsDownload::kPicturePath2, 0);
    NewsPicture picture;
    EXPECT_FALSE(source.picture(picture));
    EXPECT_TRUE(picture.empty());
}
