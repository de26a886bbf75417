#include "trvcore/trvnetwork/NewsDownload.h"

#include <cstdlib>
#include <cstring>

#include "trvcore/trvnetwork/HttpClient.h"
#include "trvcore/trvnetwork/TextScan.h"

NewsDownload::NewsDownload(const char* path, int readDelayMs) : readDelayMs_(readDelayMs) {
    copyText(path_, sizeof path_, path ? path : "", kPathBytes);
}

NewsDownload::~NewsDownload() { std::free(data_); }

bool NewsDownload::hasData() const {
    platform::ScopedLock guard(lock_);
    return data_ != nullptr;
}

const uint8_t* NewsDownload::fetch(size_t& size) {
    platform::ScopedLock guard(lock_);
    if (!data_) {
        // A client per attempt: its buffer (up to the file's size) is not
        // kept beside the downloaded copy.
        HttpClient client;
        client.setReadDelay(readDelayMs_);
        const bool fetched = client.get(path_) != nullptr && client.statusCode() == 200 &&
                             client.contentLength() > 0 && client.bodyReceived() >= client.contentLength();
        if (fetched) {
            const size_t length = static_cast<size_t>(client.contentLength());
            uint8_t* copy = static_cast<uint8_t*>(std::malloc(length + 1));
            if (copy) {
                std::memcpy(copy, client.body(), length);
                copy[length] = 0;
                data_ = copy;
                size_ = length;
            }
        }
    }
    size = data_ ? size_ : 0;
    return data_;
}
