// The news downloads: kept once fetched, fetched again after a failure,
// pictures decoded for the editor.
#include <string>

#include "trvcore/trvnetwork/NewsDownload.h"
#include "trvcore/trvnetwork/NewsPictureSource.h"
#include "unit/webclient/FakeService.h"

namespace {

class NewsDownloads : public WebServiceTest {};

// A 1x1 24-bit bitmap of colour 0x336699.
std::string tinyBitmap() {
    std::string b(58, '\0');
    const int fields[][2] = {{10, 54}, {14, 40}, {18, 1}, {22, 1}, {26, 1}, {28, 24}};
    for (const auto& f : fields) b[f[0]] = static_cast<char>(f[1]);
    b.replace(0, 2, "BM");
    b.replace(54, 3, "\x99\x66\x33");
    return b;
}

}  // namespace

TEST_F(NewsDownloads, TextIsKeptZeroTerminatedAfterOneSuccessfulFetch) {
    service.add({{}, 0, After::CloseWithoutReply});
    service.add(FakeService::withLength("<html>gone</html>", "404 Not Found"), After::Close);
    service.add("HTTP/1.1 200 OK\r\n\r\nno length", After::Close);
    service.add(FakeService::withLength("Jam session tonight"), After::Close);
    NewsDownload news(NewsDownload::kNewsTextPath, 0);
    size_t size = 1;
    for (int failed = 0; failed < 3; ++failed) {
        EXPECT_EQ(news.fetch(size), nullptr);
        EXPECT_EQ(size, 0u);
    }
    const uint8_t* text = news.fetch(size);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(size, 19u);
    EXPECT_STREQ(reinterpret_cast<const char*>(text), "Jam session tonight");
    EXPECT_EQ(news.fetch(size), text);
    const auto r = service.requests();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[3].bytes.rfind("GET  /fileadmin/tvn/trv_content/news.txt HTTP/1.1\r\n", 0), 0u);
}

TEST_F(NewsDownloads, PictureIsDecodedFromTheKeptBitmap) {
    service.add(FakeService::withLength(tinyBitmap()), After::Close);
    NewsPictureSource source(NewsDownload::kPicturePath1, 0);
    NewsPicture picture;
    for (int call = 0; call < 2; ++call) {
        ASSERT_TRUE(source.picture(picture));
        EXPECT_EQ(picture.width * picture.height, 1);
        EXPECT_EQ(picture.at(0, 0), 0xFF336699u);
    }
    EXPECT_EQ(service.requests().size(), 1u);
}

TEST_F(NewsDownloads, DataThatIsNoBitmapGivesAnEmptyPicture) {
    service.add(FakeService::withLength("GIF89a..."), After::Close);
    NewsPictureSource source(NewsDownload::kPicturePath2, 0);
    NewsPicture picture;
    EXPECT_FALSE(source.picture(picture));
    EXPECT_TRUE(picture.empty());
}
