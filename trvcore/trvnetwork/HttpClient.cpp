#include "trvcore/trvnetwork/HttpClient.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Clock.h"
#include "trvcore/trvnetwork/ServiceEndpoint.h"
#include "trvcore/trvnetwork/TextScan.h"

namespace {

const char kHeaderEnd[] = "\r\n\r\n";
const char kEndMarker[] = "PLXEND\r\n0\r\n\r\n";

bool startsWithNoCase(const char* p, size_t length, const char* word) {
    const size_t n = std::strlen(word);
    if (length < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(p[i])) != word[i]) return false;
    return true;
}

// Writes a formatted text at out + used; false if it does not fit in size.
bool append(char* out, size_t size, size_t& used, const char* format, const char* value) {
    if (used >= size) return false;
    const int n = std::snprintf(out + used, size - used, format, value);
    if (n < 0 || static_cast<size_t>(n) >= size - used) return false;
    used += static_cast<size_t>(n);
    return true;
}

}  // namespace

HttpClient::HttpClient() = default;

HttpClient::~HttpClient() {
    socket_.close();
    std::free(buffer_);
}

void HttpClient::setHost(const char* name) { copyText(hostName_, sizeof hostName_, name ? name : "", kHostBytes); }

void HttpClient::setReceiveTimeout(uint32_t ms) {
    receiveTimeoutMs_ = ms;
    socket_.setReceiveTimeout(ms);
}

bool HttpClient::buildPost(const char* path, const char* body) {
    if (!buffer_ || !path || !body) return false;
    const ServiceEndpoint service = currentServiceEndpoint();
    char length[32];
    std::snprintf(length, sizeof length, "%zu", std::strlen(body));
    const size_t size = static_cast<size_t>(capacity_);
    size_t used = 0;
    const bool ok = append(buffer_, size, used, "POST  %s HTTP/1.1\r\n", path) &&
                    append(buffer_, size, used, "Host: %s\r\n", service.host) &&
                    append(buffer_, size, used, "%s", "User-Agent: TRV\r\n") &&
                    append(buffer_, size, used, "%s", "Content-type: application/x-www-form-urlencoded\r\n") &&
                    append(buffer_, size, used, "Content-Length: %s\r\n\r\n", length) &&
                    append(buffer_, size, used, "%s\r\n", body);
    if (!ok) buffer_[0] = '\0';
    return ok;
}

bool HttpClient::buildGet(const char* path, const char* extra) {
    if (!buffer_ || !path) return false;
    const ServiceEndpoint service = currentServiceEndpoint();
    const size_t size = static_cast<size_t>(capacity_);
    size_t used = 0;
    const bool ok = append(buffer_, size, used, "GET  %s HTTP/1.1\r\n", path) &&
                    append(buffer_, size, used, "%s", "User-Agent: TRV\r\n") &&
                    append(buffer_, size, used, "Host: %s", service.host) &&
                    append(buffer_, size, used, "%s\r\n\r\n", extra ? extra : "");
    if (!ok) buffer_[0] = '\0';
    return ok;
}

const char* HttpClient::post(const char* path, const char* body) {
    if (!connect()) return nullptr;
    if (!buildPost(path, body)) {
        close();
        return nullptr;
    }
    lastWasGet_ = false;
    return transact(path);
}

const char* HttpClient::get(const char* path) {
    if (!connect()) return nullptr;
    if (!buildGet(path, nullptr)) {
        close();
        return nullptr;
    }
    lastWasGet_ = true;
    return transact(path);
}

const char* HttpClient::transact(const char* path) {
    // A GET is made again at most once: a server announcing ever larger
    // bodies must not keep the caller fetching.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!sendRequest()) return nullptr;
        if (!readReply(false)) return nullptr;
        if (bodyReceived_ >= contentLength_ || contentLength_ <= capacity_ - kGrowStep) return buffer_;
        if (!lastWasGet_) return buffer_;  // a POST reply is cut at the buffer's end
        if (attempt == 1 || contentLength_ > kMaxCapacity - kGrowStep) return nullptr;
        std::free(buffer_);
        buffer_ = nullptr;
        capacity_ = 0;
        if (!allocateBuffer(contentLength_ + kGrowStep)) return nullptr;
        if (!connect()) return nullptr;
        if (!buildGet(path, nullptr)) {
            close();
            return nullptr;
        }
    }
    return nullptr;
}

bool HttpClient::readReply(bool keepOpen) {
    resetReply();
    if (!readDelay(static_cast<uint32_t>(readDelayMs_))) return close();
    if (!buffer_ || !socket_.isOpen()) return close();
    std::memset(buffer_, 0, static_cast<size_t>(capacity_));

    for (int reads = 0; headerLength_ == 0; ++reads) {
        const int full = capacity_ - 1;
        if (reads == kHeaderReads || received_ >= full) return close();
        const int before = received_;
        if (receiveMore(static_cast<size_t>(full - received_)) <= 0) return close();
        findHeaderEnd(before >= 3 ? static_cast<size_t>(before - 3) : 0);
    }

    // Without a length the reply counts as header only, whatever followed.
    contentLength_ = parseContentLength();
    if (contentLength_ > 0) bodyReceived_ = received_ - headerLength_;
    // A body that fits is read whole; one that does not is read until the
    // buffer is full, and then a peer closing early is no failure: the body
    // is cut in any case (the caller sees the numbers).
    const bool fits = static_cast<int64_t>(headerLength_) + contentLength_ <= capacity_ - 1;
    while (bodyReceived_ < contentLength_ && received_ < capacity_ - 1) {
        const size_t missing = static_cast<size_t>(contentLength_ - bodyReceived_);
        const long n = receiveMore(missing);
        if (n < 0 || (n == 0 && fits)) return close();
        if (n == 0) break;
        bodyReceived_ = received_ - headerLength_;
    }
    if (!keepOpen) close();
    return true;
}

bool HttpClient::readUntilEnd(bool keepOpen) {
    resetReply();
    if (!readDelay(static_cast<uint32_t>(readDelayMs_))) return close();
    if (!buffer_ || !socket_.isOpen()) return close();
    std::memset(buffer_, 0, static_cast<size_t>(capacity_));

    const size_t markerLength = sizeof kEndMarker - 1;
    for (;;) {
        if (received_ >= capacity_ - 1) {
            if (capacity_ > kMaxCapacity - kGrowStep || !growBuffer(capacity_ + kGrowStep)) return close();
        }
        const int before = received_;
        const long n = receiveMore(static_cast<size_t>(capacity_ - 1 - received_));
        if (n < 0) return close();
        if (n == 0) {
            // The peer closed: whatever arrived is all there is.
            close();
            if (headerLength_ > 0) bodyReceived_ = received_ - headerLength_;
            return true;
        }
        if (headerLength_ == 0) {
            if (!findHeaderEnd(before >= 3 ? static_cast<size_t>(before - 3) : 0)) continue;
            contentLength_ = parseContentLength();
        }
        bodyReceived_ = received_ - headerLength_;
        // A reply framed by length (an error page, say) is complete with its
        // body; waiting for a marker that never comes would only time out.
        if (contentLength_ > 0 && bodyReceived_ >= contentLength_) {
            if (!keepOpen) close();
            return true;
        }
        const size_t back = before > headerLength_ + static_cast<int>(markerLength)
                                ? static_cast<size_t>(before) - markerLength
                                : static_cast<size_t>(headerLength_);
        if (findText(buffer_, static_cast<size_t>(received_), back, kEndMarker) != kNotFound) {
            if (!keepOpen) close();
            return true;
        }
    }
}

bool HttpClient::connect() {
    if (!buffer_ && !allocateBuffer(kInitialCapacity)) return false;
    resetReply();
    if (cancelled()) return close();
    requestStart_ = platform::tickCount();
    const ServiceEndpoint service = currentServiceEndpoint();
    const char* name = hostName_[0] ? hostName_ : service.host;
    socket_.setReceiveTimeout(receiveTimeoutMs_);
    const uint32_t connectBound = kConnectTimeoutMs < requestDeadlineMs_ ? kConnectTimeoutMs : requestDeadlineMs_;
    if (!socket_.connect(name, service.port, connectBound)) return close();
    return true;
}

uint32_t HttpClient::timeLeft() const {
    const uint32_t spent = platform::tickCount() - requestStart_;
    return spent >= requestDeadlineMs_ ? 0 : requestDeadlineMs_ - spent;
}

bool HttpClient::readDelay(uint32_t ms) {
    for (uint32_t slept = 0; slept < ms; slept += kCancelCheckMs) {
        if (cancelled()) return false;
        const uint32_t step = ms - slept < kCancelCheckMs ? ms - slept : kCancelCheckMs;
        platform::sleepMilliseconds(step);
    }
    return !cancelled();
}

bool HttpClient::close() {
    socket_.close();
    return false;
}

bool HttpClient::sendRequest() {
    if (!buffer_) return close();
    const void* end = std::memchr(buffer_, '\0', static_cast<size_t>(capacity_));
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - buffer_) : 0;
    if (length == 0 || !socket_.sendAll(buffer_, length)) return close();
    return true;
}

void HttpClient::resetReply() {
    contentLength_ = 0;
    bodyReceived_ = 0;
    headerLength_ = 0;
    bodyOffset_ = -1;
    received_ = 0;
    timedOut_ = false;
}

bool HttpClient::allocateBuffer(int capacity) {
    char* p = static_cast<char*>(std::calloc(static_cast<size_t>(capacity), 1));
    if (!p) return false;
    std::free(buffer_);
    buffer_ = p;
    capacity_ = capacity;
    return true;
}

bool HttpClient::growBuffer(int capacity) {
    char* p = static_cast<char*>(std::calloc(static_cast<size_t>(capacity), 1));
    if (!p) return false;
    std::memcpy(p, buffer_, static_cast<size_t>(received_));
    std::free(buffer_);
    buffer_ = p;
    capacity_ = capacity;
    return true;
}

long HttpClient::receiveMore(size_t limit) {
    const size_t room = static_cast<size_t>(capacity_ - 1 - received_);
    if (limit > room) limit = room;
    if (limit == 0) return -1;
    // Waiting first tells a silent peer from a failed connection; the
    // socket's own receive time-out stays as a backstop. The wait goes in
    // short steps so a cancel is seen, and never past the request's
    // deadline, so a peer that trickles bytes cannot hold the caller.
    for (uint32_t waited = 0;;) {
        const uint32_t left = timeLeft();
        if (cancelled() || left == 0 || waited >= receiveTimeoutMs_) {
            timedOut_ = true;
            return -1;
        }
        uint32_t step = receiveTimeoutMs_ - waited;
        if (step > left) step = left;
        if (step > kCancelCheckMs) step = kCancelCheckMs;
        if (socket_.readable(step)) break;
        waited += step;
    }
    const long n = socket_.receive(buffer_ + received_, limit);
    if (n <= 0) return n < 0 ? -1 : 0;
    received_ += static_cast<int>(n);
    buffer_[received_] = '\0';
    return n;
}

bool HttpClient::findHeaderEnd(size_t searchFrom) {
    const size_t end = findText(buffer_, static_cast<size_t>(received_), searchFrom, kHeaderEnd);
    if (end == kNotFound) return false;
    headerLength_ = static_cast<int>(end + 4);
    bodyOffset_ = headerLength_;
    return true;
}

int HttpClient::statusCode() const {
    if (headerLength_ < 12 || std::memcmp(buffer_, "HTTP/", 5) != 0) return 0;
    const size_t blank = findText(buffer_, static_cast<size_t>(headerLength_), 5, " ");
    if (blank == kNotFound || blank + 4 > static_cast<size_t>(headerLength_)) return 0;
    int code = 0;
    for (size_t i = blank + 1; i < blank + 4; ++i) {
        if (buffer_[i] < '0' || buffer_[i] > '9') return 0;
        code = code * 10 + (buffer_[i] - '0');
    }
    return code;
}

// The value of the header's "Content-Length:" line (name matched without
// regard to case, only inside the header); 0 if absent or not a number.
int HttpClient::parseContentLength() const {
    const char* header = buffer_;
    const size_t size = static_cast<size_t>(headerLength_);
    const char name[] = "content-length:";
    for (size_t line = 0; line < size;) {
        if (startsWithNoCase(header + line, size - line, name)) {
            size_t i = line + sizeof name - 1;
            while (i < size && (header[i] == ' ' || header[i] == '\t')) ++i;
            long long v = 0;
            for (; i < size && header[i] >= '0' && header[i] <= '9'; ++i) {
                v = v * 10 + (header[i] - '0');
                if (v > INT_MAX) return INT_MAX;
            }
            return static_cast<int>(v);
        }
        const size_t next = findText(header, size, line, "\r\n");
        if (next == kNotFound) break;
        line = next + 2;
    }
    return 0;
}
