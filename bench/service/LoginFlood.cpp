#include "LoginFlood.h"

#include "PluginWire.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

using servicebench::nowUs;
using servicebench::pluginPost;

namespace {

int connectFrom(uint32_t source, uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(source);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends one request and reads one reply framed by Content-Length, waiting at
// most until `deadlineUs`. The reply's payload, or false.
bool exchange(int fd, const std::string& request, int64_t deadlineUs, const std::atomic<bool>* running,
              std::string& payload) {
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        return false;
    }
    std::string in;
    char buffer[4096];
    for (;;) {
        size_t end = in.find("\r\n\r\n");
        if (end != std::string::npos) {
            size_t tag = in.find("Content-Length:");
            if (tag == std::string::npos || tag > end) return false;
            size_t length = std::strtoul(in.c_str() + tag + 15, nullptr, 10);
            if (length > 65536) return false;
            if (in.size() >= end + 4 + length) {
                std::string body = in.substr(end + 4, length);
                size_t start = body.find("PLXSTART");
                size_t stop = body.find("PLXEND");
                payload = start != std::string::npos && stop != std::string::npos && stop > start
                              ? body.substr(start + 8, stop - start - 8)
                              : body;
                return true;
            }
        }
        int64_t left = deadlineUs - nowUs();
        if (left <= 0 || (running && !running->load())) return false;
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left / 1000 + 1, 200)));
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        if (in.size() + static_cast<size_t>(n) > 65536) return false;
        in.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace

std::string loginBody(const std::string& user, const std::string& password) {
    return "action=login&username=" + user + "&password=" + password + "&counter=58116&extra=0";
}

int64_t timedLogin(uint32_t source, uint16_t port, const std::string& body, int timeoutMs, std::string& payload) {
    int64_t start = nowUs();
    int fd = connectFrom(source, port);
    if (fd < 0) return -1;
    bool answered = exchange(fd, pluginPost(body), start + int64_t{timeoutMs} * 1000, nullptr, payload);
    ::close(fd);
    return answered ? nowUs() - start : -1;
}

LoginFlood::LoginFlood(uint16_t port, unsigned addresses, unsigned connectionsPerAddress, std::string accountPrefix,
                       std::string password)
    : port_(port),
      addresses_(addresses),
      connections_(connectionsPerAddress),
      prefix_(std::move(accountPrefix)),
      password_(std::move(password)) {}

LoginFlood::~LoginFlood() { stop(); }

void LoginFlood::start() {
    running_.store(true);
    for (unsigned a = 0; a < addresses_; ++a) {
        for (unsigned c = 0; c < connections_; ++c) threads_.emplace_back([this, a, c] { run(a, c); });
    }
}

void LoginFlood::stop() {
    running_.store(false);
    for (std::thread& t : threads_) t.join();
    threads_.clear();
}

FloodCounts LoginFlood::counts() const {
    return {accepted_.load(), refused_.load(), limited_.load(), busy_.load(), other_.load()};
}

void LoginFlood::run(unsigned address, unsigned connection) {
    const bool ownAccount = address % 2 == 0;
    uint64_t attempt = 0;
    int fd = -1;
    while (running_.load()) {
        if (fd < 0) fd = connectFrom(sourceAddress(address), port_);
        if (fd < 0) {
            ++other_;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        std::string body = ownAccount ? loginBody(prefix_ + std::to_string(address), password_)
                                      : loginBody("guess" + std::to_string(address) + "x" +
                                                      std::to_string(connection) + "x" + std::to_string(attempt),
                                                  "wrong" + std::to_string(attempt));
        ++attempt;
        std::string payload;
        if (!exchange(fd, pluginPost(body), nowUs() + 60'000'000, &running_, payload)) {
            if (running_.load()) ++other_;
            ::close(fd);
            fd = -1;
            continue;
        }
        if (payload.find("1001") != std::string::npos) {
            ++accepted_;
        } else if (payload.rfind("4001", 0) == 0) {
            ++refused_;
        } else if (payload.rfind("4009", 0) == 0) {
            ++busy_;
        } else if (payload.rfind("4010", 0) == 0 || payload.rfind("4011", 0) == 0) {
            ++limited_;
        } else {
            ++other_;
        }
    }
    if (fd >= 0) ::close(fd);
}
