#include "RawConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
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
    std::string request = "POST  /sys/interface/trv/index.php4 HTTP/1.1\r\n";
    request += "Host: localhost\r\n";
    request += "User-Agent: TRV\r\n";
    request += "Content-type: application/x-www-form-urlencoded\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += "\r\n";
    request += body;
    request += "\r\n";
    return request;
}

std::string pluginGet(std::string_view path) {
    std::string request = "GET  " + std::string(path) + " HTTP/1.1\r\n";
    request += "User-Agent: TRV\r\n";
    request += "Host: localhost\r\n";
    request += "\r\n";
    return request;
}

RawConnection::~RawConnection() { close(); }

bool RawConnection::open(const char* source, uint16_t port) {
    close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, source, &local.sin_addr);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        close();
        return false;
    }
    return true;
}

void RawConnection::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    peerClosed_ = false;
    buffer_.clear();
}

bool RawConnection::send(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool RawConnection::fill(int64_t deadlineMs) {
    if (fd_ < 0 || peerClosed_) return false;
    int64_t left = deadlineMs - nowMs();
    if (left <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char chunk[65536];
    ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
        peerClosed_ = true;
        return false;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
}

std::string RawConnection::take(size_t length) {
    std::string out = buffer_.substr(0, length);
    buffer_.erase(0, length);
    return out;
}

std::string RawConnection::readContentLengthReply(int timeoutMs) {
    int64_t deadline = nowMs() + timeoutMs;
    size_t headerEnd;
    while ((headerEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
        if (!fill(deadline)) return {};
    }
    size_t bodyStart = headerEnd + 4;
    size_t length = 0;
    size_t tag = buffer_.find("Content-Length:");
    if (tag != std::string::npos && tag < headerEnd) length = std::strtoul(buffer_.c_str() + tag + 15, nullptr, 10);
    while (buffer_.size() < bodyStart + length) {
        if (!fill(deadline)) return {};
    }
    return take(bodyStart + length);
}

std::string RawConnection::readChunkedReply(int timeoutMs) {
    int64_t deadline = nowMs() + timeoutMs;
    size_t end;
    while ((end = buffer_.find(kChunkedEnd)) == std::string::npos) {
        if (!fill(deadline)) return {};
    }
    return take(end + kChunkedEnd.size());
}

std::string RawConnection::readUntilClosed(int timeoutMs) {
    int64_t deadline = nowMs() + timeoutMs;
    while (fill(deadline)) {
    }
    return take(buffer_.size());
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
