#pragma once
// One of the two news pictures of the Connect page: its file downloaded on
// first demand (read delay 1000 ms) and decoded into a picture for the
// editor on every request. Without data, or with data that is no bitmap
// the decoder understands, the picture comes back empty.
#include "trvcore/trvnetwork/NewsDownload.h"
#include "trvcore/trvnetwork/NewsPicture.h"

class NewsPictureSource {
public:
    static constexpr int kReadDelayMs = 1000;

    explicit NewsPictureSource(const char* path, int readDelayMs = kReadDelayMs) : download_(path, readDelayMs) {}

    // True if `out` holds a picture.
    bool picture(NewsPicture& out);

private:
    NewsDownload download_;
};
