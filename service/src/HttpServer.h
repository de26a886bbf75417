#pragma once
// The HTTP side of the service, on libmicrohttpd: event-driven (epoll, a
// small pool of threads), so thousands of idle persistent connections cost
// only memory. It collects each request's body, hands the request to the
// ServiceProtocol and sends its Reply with the framing the Reply asks for.
// Logins run on a WorkQueue while their connection is suspended.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "WorkQueue.h"

struct MHD_Daemon;

namespace tarvonet {

class ServiceProtocol;

struct HttpSettings {
    uint32_t address = 0x7F000001;  // host byte order
    uint16_t port = 0;              // 0: any free port, see HttpServer::port()
    unsigned threads = 2;
    unsigned connectionLimit = 16000;
    // A plug-in uses one persistent connection and, now and then, one more.
    unsigned perAddressLimit = 16;
    // Idle persistent connections stay open at least 120 s; a request that
    // stalls for this long is dropped.
    unsigned idleTimeoutSeconds = 150;
    size_t connectionMemoryBytes = 32 * 1024;
    size_t maxPendingLogins = 256;
    int listenBacklog = 4096;
};

class HttpServer {
public:
    HttpServer(ServiceProtocol& protocol, HttpSettings settings);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    bool start(std::string& error);
    uint16_t port() const { return port_; }
    // Finishes the queued logins, then closes every connection.
    void stop();

    // The libmicrohttpd callbacks reach the server through these.
    struct Callbacks;

private:
    ServiceProtocol& protocol_;
    const HttpSettings settings_;
    WorkQueue logins_;
    MHD_Daemon* daemon_ = nullptr;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> running_{false};
};

}  // namespace tarvonet
