#pragma once
// One file of the service's news content (the news text or a news
// picture), downloaded with a GET on first demand and kept until the object
// ends. A failed download keeps nothing and is tried again on the next call.
// Only a complete body of a "200" reply is kept.
//
// Threading: the calls are serialised by the object's own lock.
#include <cstddef>
#include <cstdint>

#include "platform/Lock.h"

class NewsDownload {
public:
    static constexpr const char* kNewsTextPath = "/fileadmin/tvn/trv_content/news.txt";
    static constexpr const char* kPicturePath1 = "/fileadmin/tvn/trv_content/img1.bmp";
    static constexpr const char* kPicturePath2 = "/fileadmin/tvn/trv_content/img2.bmp";
    static constexpr int kPathBytes = 256;

    NewsDownload(const char* path, int readDelayMs);
    ~NewsDownload();
    NewsDownload(const NewsDownload&) = delete;
    NewsDownload& operator=(const NewsDownload&) = delete;

    // The kept bytes, followed by a zero byte (so a text can be used as
    // is), downloading them first when none are kept; null and size 0 when
    // there is nothing. The pointer stays valid until the object ends.
    const uint8_t* fetch(size_t& size);
    bool hasData() const;

private:
    mutable platform::RecursiveLock lock_;
    char path_[kPathBytes] = {};
    int readDelayMs_;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};
