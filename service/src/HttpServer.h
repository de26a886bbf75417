#pragma once
// The HTTP side of the service, on libmicrohttpd: event-driven (epoll, a
// small pool of threads), so thousands of idle persistent connections cost
// only memory. It collects each request's body, hands the request to the
// ServiceProtocol and sends its Reply with the framing the Reply asks for.
// Logins run on a WorkQueue (the address served least lately first) while
// their connection is suspended; refusals that cost nothing to make are held
// back a while (DelayedJobs).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "DelayedJobs.h"
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
    // Logins of one address waiting at once; beyond it the address is told
    // the service is busy. The address served least lately goes first, so a
    // flood from a few addresses does not hold back everyone else's logins.
    size_t maxPendingLoginsPerAddress = 4;
    // Threads that check passwords; 0: one per processor, at most 4 (each
    // check holds 64 MiB while it runs).
    unsigned loginThreads = 0;
    // How long a refusal that cost nothing (Reply::holdBack) is held back.
    int64_t refusalDelayMs = 1000;
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
    // Answers the queued logins (busy, but for those under way), then
    // closes every connection.
    void stop();

    // The libmicrohttpd callbacks reach the server through these.
    struct Callbacks;

private:
    ServiceProtocol& protocol_;
    const HttpSettings settings_;
    WorkQueue logins_;
    DelayedJobs heldReplies_;
    MHD_Daemon* daemon_ = nullptr;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> running_{false};
};

}  // namespace tarvonet
