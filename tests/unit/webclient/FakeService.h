#pragma once
// A loopback stand-in for the web service: listens on 127.0.0.1, reads each
// request whole (header, and for a POST the announced body plus its closing
// CR LF) and answers with the next scripted reply, byte for byte. Every
// request is recorded with the number of the connection it came on.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeService {
public:
    enum class After {
        KeepOpen,           // wait for the next request on the same connection
        Close,              // close the connection after the reply
        Stall,              // keep the connection open and say nothing more
        CloseWithoutReply,  // read the request, close without answering
    };
    struct Reply {
        std::vector<std::string> pieces;  // written one by one, pauseMs apart
        int pauseMs = 0;
        After after = After::KeepOpen;
    };
    struct Request {
        int connection;
        std::string bytes;
    };

    FakeService() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 8) != 0) {
            ::close(listener_);
            listener_ = -1;
            return;
        }
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }

    ~FakeService() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (client_ >= 0) ::close(client_);
        if (listener_ >= 0) ::close(listener_);
    }

    bool listening() const { return listener_ >= 0; }
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
    int connections() const { return connections_.load(); }

    // Replies framed as the service frames them.
    static std::string withLength(const std::string& body, const char* status = "200 OK") {
        return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body;
    }
    // One chunk holding `body`, then the closing zero-size chunk.
    static std::string chunked(const std::string& body) {
        char size[16];
        std::snprintf(size, sizeof size, "%zx", body.size());
        return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(size) + "\r\n" + body +
               "\r\n0\r\n\r\n";
    }

private:
    void serve() {
        while (!stop_) {
            if (client_ < 0) {
                if (!waitReadable(listener_, 50)) continue;
                client_ = ::accept(listener_, nullptr, nullptr);
                if (client_ >= 0) ++connections_;
                continue;
            }
            std::string request;
            if (!readRequest(request)) {
                closeClient();
                continue;
            }
            Reply reply;
            {
                std::lock_guard<std::mutex> g(mutex_);
                requests_.push_back({connections_.load(), request});
                if (replies_.empty()) {
                    reply.after = After::CloseWithoutReply;
                } else {
                    reply = replies_.front();
                    replies_.pop_front();
                }
            }
            answer(reply);
        }
    }

    void answer(const Reply& reply) {
        if (reply.after == After::CloseWithoutReply) {
            closeClient();
            return;
        }
        for (size_t i = 0; i < reply.pieces.size(); ++i) {
            if (i > 0 && reply.pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply.pauseMs));
            sendAll(reply.pieces[i]);
        }
        if (reply.after == After::Close) closeClient();
        if (reply.after == After::Stall) {
            char sink[4096];
            while (!stop_) {
                if (!waitReadable(client_, 50)) continue;
                if (::recv(client_, sink, sizeof sink, 0) <= 0) break;
            }
            closeClient();
        }
    }

    bool readRequest(std::string& out) {
        char chunk[4096];
        size_t need = std::string::npos;
        while (!stop_) {
            const size_t headerEnd = out.find("\r\n\r\n");
            if (headerEnd != std::string::npos && need == std::string::npos) {
                need = headerEnd + 4;
                if (out.compare(0, 4, "POST") == 0) {
                    const size_t at = out.find("Content-Length: ");
                    if (at != std::string::npos && at < headerEnd)
                        need += std::strtoul(out.c_str() + at + 16, nullptr, 10) + 2;
                }
            }
            if (need != std::string::npos && out.size() >= need) return true;
            if (!waitReadable(client_, 50)) continue;
            const ssize_t n = ::recv(client_, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            out.append(chunk, static_cast<size_t>(n));
        }
        return false;
    }

    void sendAll(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(client_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<size_t>(n);
        }
    }

    void closeClient() {
        if (client_ >= 0) ::close(client_);
        client_ = -1;
    }

    static bool waitReadable(int fd, int ms) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
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
