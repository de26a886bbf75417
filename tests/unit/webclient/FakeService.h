#pragma once
// A loopback stand-in for the web service: listens on 127.0.0.1, reads each
// request whole (header, and for a POST the announced body and its CR LF),
// records it with the number of its connection and answers with the next
// scripted reply, byte for byte. WebServiceTest points the process's
// service override at it.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/NetConfig.h"

class FakeService {
public:
    enum class After { KeepOpen, Close, Stall, CloseWithoutReply };
    struct Reply {
        std::vector<std::string> pieces;  // written pauseMs apart
        int pauseMs = 0;
        After after = After::KeepOpen;
    };
    struct Request {
        int connection;
        std::string bytes;
    };

    FakeService() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(listener_, 8) != 0) return;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeService() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        closeClient();
        ::close(listener_);
    }

    uint16_t port() const { return port_; }
    void add(Reply r) {
        std::lock_guard<std::mutex> g(mutex_);
        replies_.push_back(std::move(r));
    }
    void add(const std::string& whole, After after = After::KeepOpen) { add(Reply{{whole}, 0, after}); }
    std::vector<Request> requests() {
        std::lock_guard<std::mutex> g(mutex_);
        return requests_;
    }
    int connections() const { return connections_; }

    static std::string withLength(const std::string& body, const char* status = "200 OK") {
        return std::string("HTTP/1.1 ") + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
               body;
    }
    // `body` as one chunk, then the closing zero-size chunk.
    static std::string chunked(const std::string& body) {
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", body.size());
        return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(size) + body + "\r\n0\r\n\r\n";
    }

private:
    void serve() {
        while (!stop_) {
            if (client_ < 0) {
                if (readable(listener_) && (client_ = ::accept(listener_, nullptr, nullptr)) >= 0) ++connections_;
                continue;
            }
            std::string request;
            if (!readRequest(request)) {
                closeClient();
                continue;
            }
            Reply reply{{}, 0, After::CloseWithoutReply};
            {
                std::lock_guard<std::mutex> g(mutex_);
                requests_.push_back({connections_, request});
                if (!replies_.empty()) {
                    reply = replies_.front();
                    replies_.pop_front();
                }
            }
            for (size_t i = 0; i < reply.pieces.size(); ++i) {
                if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.pauseMs));
                ::send(client_, reply.pieces[i].data(), reply.pieces[i].size(), MSG_NOSIGNAL);
            }
            char sink[4096];
            while (reply.after == After::Stall && !stop_)
                if (readable(client_) && ::recv(client_, sink, sizeof sink, 0) <= 0) break;
            if (reply.after != After::KeepOpen) closeClient();
        }
    }
    bool readRequest(std::string& out) {
        char chunk[4096];
        while (!stop_) {
            const size_t end = out.find("\r\n\r\n");
            if (end != std::string::npos) {
                size_t need = end + 4;
                const size_t at = out.find("Content-Length: ");
                if (out.compare(0, 4, "POST") == 0 && at < end) need += std::stoul(out.substr(at + 16)) + 2;
                if (out.size() >= need) return true;
            }
            if (!readable(client_)) continue;
            const ssize_t n = ::recv(client_, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            out.append(chunk, static_cast<size_t>(n));
        }
        return false;
    }
    void closeClient() {
        if (client_ >= 0) ::close(client_);
        client_ = -1;
    }
    static bool readable(int fd) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 50) > 0;
    }

    int listener_ = -1;
    int client_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::deque<Reply> replies_;
    std::vector<Request> requests_;
    std::thread thread_;
};

class WebServiceTest : public ::testing::Test {
protected:
    using After = FakeService::After;
    void SetUp() override {
        ASSERT_NE(service.port(), 0);
        platform::setServiceOverride(serviceHost(), service.port());
    }
    void TearDown() override { platform::setServiceOverride("", 0); }
    virtual const char* serviceHost() const { return "127.0.0.1"; }

    // No read delay and a short receive time-out keep the tests quick.
    template <class Client>
    static void quick(Client& c, uint32_t receiveTimeoutMs = 3000) {
        c.setReadDelay(0);
        c.setReceiveTimeout(receiveTimeoutMs);
    }
    // The bytes of a form POST of `body` to the service path.
    std::string servicePost(const std::string& body) const {
        return std::string("POST  /sys/interface/trv/index.php4 HTTP/1.1\r\nHost: ") + serviceHost() +
               "\r\nUser-Agent: TRV\r\nContent-type: application/x-www-form-urlencoded\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body + "\r\n";
    }

    FakeService service;
};
