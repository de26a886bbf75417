#include "HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "ChunkSplitter.h"
#include "FormBody.h"
#include "Ipv4.h"
#include "ServiceProtocol.h"
#include "ServiceReplies.h"

namespace tarvonet {

namespace {

constexpr size_t kResponseBlock = 256;  // chunks are sized by the write buffer, not this

// One request on a connection, from its headers to the end of its reply.
struct RequestState {
    ServiceProtocol::Route route = ServiceProtocol::Route::NotFound;
    std::string body;
    bool loginSubmitted = false;
    std::atomic<bool> replyReady{false};  // set by the login worker
    Reply reply;
};

ssize_t readChunk(void* cls, uint64_t, char* buffer, size_t max) {
    auto* splitter = static_cast<ChunkSplitter*>(cls);
    if (splitter->finished()) return MHD_CONTENT_READER_END_OF_STREAM;
    return static_cast<ssize_t>(splitter->next(buffer, max));
}

void freeChunks(void* cls) { delete static_cast<ChunkSplitter*>(cls); }

MHD_Result queueReply(MHD_Connection* connection, Reply reply) {
    MHD_Response* response;
    if (reply.framing == Framing::Chunked) {
        std::shared_ptr<const ChunkedText> text = reply.shared;
        if (!text) text = std::make_shared<ChunkedText>(ChunkedText{std::move(reply.body), std::move(reply.cutPoints)});
        auto* splitter = new ChunkSplitter(std::move(text));
        response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, kResponseBlock, readChunk, splitter,
                                                     freeChunks);
        if (!response) delete splitter;
    } else {
        response = MHD_create_response_from_buffer(reply.body.size(), reply.body.data(), MHD_RESPMEM_MUST_COPY);
    }
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
    if (reply.closeConnection) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    MHD_Result result = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return result;
}

bool clientAddress(MHD_Connection* connection, uint32_t& address) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr || info->client_addr->sa_family != AF_INET) return false;
    sockaddr_in in;
    std::memcpy(&in, info->client_addr, sizeof in);
    address = ntohl(in.sin_addr.s_addr);
    return true;
}

bool declaredTooLarge(MHD_Connection* connection) {
    const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (!length) return false;
    // Anything that is not a small decimal number counts as too large.
    size_t digits = std::strspn(length, "0123456789");
    if (digits == 0 || length[digits] != '\0' || digits > 9) return true;
    return std::strtoul(length, nullptr, 10) > ServiceProtocol::kMaxBodyBytes;
}

}  // namespace

struct HttpServer::Callbacks {
    static MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url, const char* method,
                                const char*, const char* data, size_t* size, void** context) {
        auto* server = static_cast<HttpServer*>(cls);
        auto* request = static_cast<RequestState*>(*context);
        if (!request) {
            request = new RequestState;
            *context = request;
            request->route = ServiceProtocol::route(method, url);
            if (declaredTooLarge(connection)) return queueReply(connection, replies::bodyTooLarge());
            return MHD_YES;
        }
        if (*size != 0) {
            // A reply can no longer be queued while the body is arriving;
            // a body beyond the limit (one sent without a declared length)
            // ends the connection.
            if (request->body.size() + *size > ServiceProtocol::kMaxBodyBytes) return MHD_NO;
            request->body.append(data, *size);
            *size = 0;
            return MHD_YES;
        }
        switch (request->route) {
            case ServiceProtocol::Route::Action: break;
            case ServiceProtocol::Route::Download: return queueReply(connection, server->protocol_.answerDownload(url));
            case ServiceProtocol::Route::NotFound: return queueReply(connection, replies::notFound());
            case ServiceProtocol::Route::BadMethod: return queueReply(connection, replies::methodNotAllowed());
        }
        if (request->replyReady.load()) return queueReply(connection, std::move(request->reply));
        if (request->loginSubmitted) return MHD_YES;  // woken early; the worker resumes it again

        uint32_t client = 0;
        if (!clientAddress(connection, client)) return queueReply(connection, replies::badRequest("IPv4 only."));
        if (actionOf(request->body) != Action::Login) {
            return queueReply(connection, server->protocol_.answerAction(client, request->body));
        }
        // The password check is slow: park the connection and let a worker
        // answer. Suspend first, so the worker's resume cannot come before it.
        request->loginSubmitted = true;
        MHD_suspend_connection(connection);
        if (std::optional<Reply> refusal = server->protocol_.screenLogin(client, request->body)) {
            deliver(server, connection, request, std::move(*refusal));
            return MHD_YES;
        }
        bool queued = server->logins_.submit(
            client,
            [server, connection, request, client] {
                deliver(server, connection, request, server->protocol_.answerAction(client, request->body));
            },
            [server, connection, request] { deliver(server, connection, request, replies::loginBusy()); });
        if (!queued) deliver(server, connection, request, replies::loginBusy());
        return MHD_YES;
    }

    // Hands a parked request its reply and resumes its connection, from any
    // thread; a reply that may be held back goes out after the delay.
    static void deliver(HttpServer* server, MHD_Connection* connection, RequestState* request, Reply reply) {
        bool holdBack = reply.holdBack && server->settings_.refusalDelayMs > 0;
        request->reply = std::move(reply);
        auto resume = [connection, request] {
            request->replyReady.store(true);
            MHD_resume_connection(connection);
        };
        if (holdBack && server->heldReplies_.schedule(server->settings_.refusalDelayMs, resume)) return;
        resume();
    }

    static void onCompleted(void*, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
        delete static_cast<RequestState*>(*context);
        *context = nullptr;
    }
};

namespace {

unsigned loginThreadCount(unsigned wanted) {
    if (wanted > 0) return wanted;
    return std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
}

}  // namespace

HttpServer::HttpServer(ServiceProtocol& protocol, HttpSettings settings)
    : protocol_(protocol),
      settings_(settings),
      logins_(settings.maxPendingLogins, settings.maxPendingLoginsPerAddress,
              loginThreadCount(settings.loginThreads)) {}

HttpServer::~HttpServer() { stop(); }

bool HttpServer::start(std::string& error) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        error = std::string("cannot create the listening socket: ") + std::strerror(errno);
        return false;
    }
    int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(settings_.port);
    address.sin_addr.s_addr = htonl(settings_.address);
    socklen_t length = sizeof address;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, settings_.listenBacklog) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = "cannot listen on " + formatDottedQuad(settings_.address) + ":" + std::to_string(settings_.port) +
                ": " + std::strerror(errno);
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    port_ = ntohs(address.sin_port);

    logins_.start();
    heldReplies_.start();
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_SUPPRESS_DATE_NO_CLOCK | MHD_ALLOW_SUSPEND_RESUME |
                     MHD_USE_TURBO;
    daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &Callbacks::onRequest, this, MHD_OPTION_LISTEN_SOCKET, listenFd_,
        MHD_OPTION_THREAD_POOL_SIZE, settings_.threads > 1 ? settings_.threads : 0u, MHD_OPTION_CONNECTION_LIMIT,
        settings_.connectionLimit, MHD_OPTION_PER_IP_CONNECTION_LIMIT, settings_.perAddressLimit,
        MHD_OPTION_CONNECTION_TIMEOUT, settings_.idleTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        settings_.connectionMemoryBytes, MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::onCompleted, nullptr,
        MHD_OPTION_END);
    if (!daemon_) {
        error = "cannot start the HTTP server";
        logins_.stop();
        heldReplies_.stop();
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    running_.store(true);
    return true;
}

void HttpServer::stop() {
    if (!running_.exchange(false)) return;
    MHD_quiesce_daemon(daemon_);
    // Every parked login is resumed before the daemon goes away: those not
    // begun are told the service is busy (their session would end with it).
    logins_.stop();
    heldReplies_.stop();
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    ::close(listenFd_);
    listenFd_ = -1;
}

}  // namespace tarvonet
