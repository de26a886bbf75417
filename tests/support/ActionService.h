#pragma once
// A loopback stand-in for the web service that answers by action, as the
// real one does, so a controller can log in and run its loop against it:
// login, logout, keepalive, invite and checkinvitation always succeed (no
// invitation waiting), onlinelist gives the users the test set. Each
// connection is served on a thread of its own and kept open between
// requests. Requests are counted by action.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ActionService {
public:
    struct User {
        std::string name;
        std::string ip;
        int flags = 2;  // a partner, available
        int port = 58116;
    };

    ActionService() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 16) != 0) {
            ::close(listener_);
            listener_ = -1;
            return;
        }
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~ActionService() {
        stop_ = true;
        if (acceptor_.joinable()) acceptor_.join();
        std::vector<std::thread> workers;
        {
            std::lock_guard<std::mutex> g(mutex_);
            workers.swap(workers_);
        }
        for (std::thread& t : workers) t.join();
        if (listener_ >= 0) ::close(listener_);
    }

    uint16_t port() const { return port_; }
    void setUsers(std::vector<User> users) {
        std::lock_guard<std::mutex> g(mutex_);
        users_ = std::move(users);
    }
    // The keep-alive answers "4006" (the service no longer knows the login).
    void setSessionGone(bool gone) { sessionGone_ = gone; }
    // Replies to `action` wait this long first.
    void setReplyDelay(const std::string& action, int ms) {
        std::lock_guard<std::mutex> g(mutex_);
        delays_[action] = ms;
    }
    int requests(const std::string& action) {
        std::lock_guard<std::mutex> g(mutex_);
        return counts_[action];
    }

private:
    static std::string withLength(const std::string& body) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }
    static std::string chunked(const std::string& body) {
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", body.size());
        return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(size) + body + "\r\n0\r\n\r\n";
    }

    std::string answer(const std::string& request) {
        const size_t at = request.find("action=");
        std::string action;
        if (at != std::string::npos) {
            const size_t end = request.find_first_of("&\r", at);
            action = request.substr(at + 7, end == std::string::npos ? std::string::npos : end - at - 7);
        }
        int delay = 0;
        {
            std::lock_guard<std::mutex> g(mutex_);
            delay = delays_[action];
            ++counts_[action];
        }
        for (int waited = 0; waited < delay && !stop_; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::lock_guard<std::mutex> g(mutex_);
        if (action == "keepalive" && sessionGone_) return chunked("PLXSTART4006 Session unknown.\r\nPLXEND");
        if (action == "login") return withLength("PLXSTART1001 Login accepted.PLXFLAGS16PLXEND");
        if (action == "logout") return withLength("PLXSTART1002 Logged out.PLXEND");
        if (action == "keepalive") return chunked("PLXSTART1003\r\nPLXEND");
        if (action == "checkinvitation") return chunked("PLXSTART1021 No invitation.\r\nPLXEND");
        if (action == "invite") return withLength("PLXSTART1020 Invitation registered.PLXEND");
        if (action == "onlinelist") {
            std::string body = "PLXLIST\r\n";
            for (const User& u : users_)
                body += "PLXNAME:" + u.name + "PLXIP:" + u.ip + "PLXLINEPLXFLAGS" + std::to_string(u.flags) +
                        "PLXSERIAL" + std::to_string(u.port) + "\r\n";
            return chunked(body + "1004\r\nPLXEND");
        }
        return withLength("PLXSTART4000 Bad request: unknown action.PLXEND");
    }

    void acceptLoop() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            std::lock_guard<std::mutex> g(mutex_);
            workers_.emplace_back([this, client] { serve(client); });
        }
    }

    void serve(int client) {
        std::string pending;
        char chunk[4096];
        while (!stop_) {
            const size_t end = pending.find("\r\n\r\n");
            if (end != std::string::npos) {
                size_t need = end + 4;
                const size_t at = pending.find("Content-Length: ");
                if (pending.compare(0, 4, "POST") == 0 && at < end)
                    need += std::strtoul(pending.c_str() + at + 16, nullptr, 10) + 2;
                if (pending.size() >= need) {
                    const std::string reply = answer(pending.substr(0, need));
                    pending.erase(0, need);
                    ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
                    continue;
                }
            }
            pollfd p{client, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            pending.append(chunk, static_cast<size_t>(n));
        }
        ::close(client);
    }

    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
    std::vector<User> users_;
    std::map<std::string, int> counts_;
    std::map<std::string, int> delays_;
    std::atomic<bool> sessionGone_{false};
};
