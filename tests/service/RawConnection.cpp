#include "RawConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace tvntest {

namespace {

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

constexpr std::string_view kChunkedEnd = "PLXEND\r\n0\r\n\r\n";

}  // namespace

std::string pluginPost(std::string_view body) {
    return "POST  /sys/interface/trv/index.php4 HTTP/1.1\r\nHost: localhost\r\nUser-Agent: TRV\r\n"
           "Content-type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + std::string(body) + "\r\n";
}

std::string pluginGet(std::string_view path) {
    return "GET  " + std::string(path) + " HTTP/1.1\r\nUser-Agent: TRV\r\nHost: localhost\r\n\r\n";
}

RawConnection::~RawConnection() {
    if (fd_ >= 0) ::close(fd_);
}

bool RawConnection::open(const char* source, uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, source, &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
           ::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0;
}

bool RawConnection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string RawConnection::readUntil(const std::function<size_t(const std::string&)>& complete, int timeoutMs) {
    int64_t deadline = nowMs() + timeoutMs;
    size_t length;
    while ((length = complete(buffer_)) == 0) {
        int left = static_cast<int>(deadline - nowMs());
        pollfd p{fd_, POLLIN, 0};
        if (peerClosed_ || left <= 0 || ::poll(&p, 1, left) <= 0) return {};
        char chunk[65536];
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            peerClosed_ = true;
        } else {
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }
    std::string out = buffer_.substr(0, length);
    buffer_.erase(0, length);
    return out;
}

std::string RawConnection::readContentLengthReply(int timeoutMs) {
    return readUntil(
        [](const std::string& b) -> size_t {
            size_t end = b.find("\r\n\r\n");
            if (end == std::string::npos) return 0;
            size_t tag = b.find("Content-Length:");
            size_t length = tag < end ? std::strtoul(b.c_str() + tag + 15, nullptr, 10) : 0;
            return b.size() >= end + 4 + length ? end + 4 + length : 0;
        },
        timeoutMs);
}

std::string RawConnection::readChunkedReply(int timeoutMs) {
    return readUntil(
        [](const std::string& b) -> size_t {
            size_t end = b.find(kChunkedEnd);
            return end == std::string::npos ? 0 : end + kChunkedEnd.size();
        },
        timeoutMs);
}

std::string RawConnection::readUntilClosed(int timeoutMs) {
    std::string out =
        readUntil([this](const std::string& b) -> size_t { return peerClosed_ && !b.empty() ? b.size() : 0; },
                  timeoutMs);
    if (out.empty()) out.swap(buffer_);  // the time ran out: what arrived so far
    return out;
}

bool RawConnection::closedByPeer(int timeoutMs) {
    readUntilClosed(timeoutMs);
    return peerClosed_;
}

std::string RawConnection::post(std::string_view body, bool chunked, int timeoutMs) {
    if (!send(pluginPost(body))) return {};
    return chunked ? readChunkedReply(timeoutMs) : readContentLengthReply(timeoutMs);
}

}  // namespace tvntest
