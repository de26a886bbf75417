#pragma once
// A plain TCP connection from a chosen loopback address, for sending the
// plug-in's exact request bytes and looking at the exact reply bytes.
// Every wait is bounded.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tvntest {

// The request bytes the plug-in sends: two blanks after the method, the
// body unencoded, and a CR LF after the body that Content-Length leaves out.
std::string pluginPost(std::string_view body);
std::string pluginGet(std::string_view path);

class RawConnection {
public:
    ~RawConnection();
    // Connects from `source` (e.g. "127.0.0.5") to 127.0.0.1:`port`.
    bool open(const char* source, uint16_t port);
    bool send(std::string_view bytes);
    // One reply framed by Content-Length, header and body; empty on time-out.
    std::string readContentLengthReply(int timeoutMs = 3000);
    // One reply whose raw bytes end with "PLXEND\r\n0\r\n\r\n".
    std::string readChunkedReply(int timeoutMs = 3000);
    // Whatever arrives until the peer closes or the time runs out.
    std::string readUntilClosed(int timeoutMs = 3000);
    // True if the peer closed (or reset) the connection within the time.
    bool closedByPeer(int timeoutMs = 3000);
    // Sends a POST and reads its reply by the given rule.
    std::string post(std::string_view body, bool chunked, int timeoutMs = 3000);
    bool isOpen() const { return fd_ >= 0; }

private:
    // Reads until `complete` returns the length of a whole reply (0: not
    // yet), and hands out that much.
    std::string readUntil(const std::function<size_t(const std::string&)>& complete, int timeoutMs);

    int fd_ = -1;
    bool peerClosed_ = false;
    std::string buffer_;
};

}  // namespace tvntest
