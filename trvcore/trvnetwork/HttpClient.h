#pragma once
// Small blocking HTTP/1.1 client over one TCP connection to the web
// service. The request is built as text in the object's own buffer, sent in
// one piece, and the reply is read into the same buffer by one of two
// framing rules:
//   readReply    up to the length given by the "Content-Length:" header
//                (downloads, login, logout, invite);
//   readUntilEnd until the service's end marker "PLXEND\r\n0\r\n\r\n"
//                (the chunked replies of the online list, keep-alive and
//                invitation check; chunks are not decoded).
// No TLS, no redirects, no chunk decoding, no encoding of form values.
//
// Bounds: the buffer starts at 16384 bytes and never grows beyond
// kMaxCapacity; the header must arrive within 5 reads; every read waits at
// most the receive time-out (kReceiveTimeoutMs unless set otherwise), and a
// time-out ends the reply as a failure with the connection closed. A peer
// that closes the connection ends the read at once (no reply can follow).
// A whole request, from connecting to the end of the reply, ends within
// kRequestDeadlineMs however slowly the peer trickles its bytes; cancel()
// ends one in progress within kCancelCheckMs.
//
// The buffer always keeps one zero byte after the received bytes, so
// buffer() and body() may be read as texts.
//
// Threading: one thread at a time per object (ServiceClient adds a lock).
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/Socket.h"

class HttpClient {
public:
    static constexpr int kInitialCapacity = 16384;
    static constexpr int kGrowStep = 4096;
    static constexpr int kMaxCapacity = 4 * 1024 * 1024;
    static constexpr int kHeaderReads = 5;
    static constexpr int kHostBytes = 1024;
    static constexpr int kDefaultReadDelayMs = 500;
    // Longest silence tolerated on a read: above the 10 s of silence the
    // body read allows (40 silent reads 250 ms apart) and the 5 s the header
    // read allows (5 reads 1 s apart), with room for a slow link.
    static constexpr uint32_t kReceiveTimeoutMs = 15000;
    static constexpr uint32_t kConnectTimeoutMs = 5000;
    // The longest a request may take, all reads together: the connect, the
    // read delay and the 15 s the reply's reads may stay silent, with
    // nothing to spare for a peer that sends a byte now and then.
    static constexpr uint32_t kRequestDeadlineMs = 22000;
    static constexpr uint32_t kCancelCheckMs = 50;

    HttpClient();
    virtual ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Name to resolve when connecting; empty (the default) means the web
    // service's host. The port is always the web service's.
    void setHost(const char* name);
    const char* host() const { return hostName_; }

    // Write a request into the buffer; false if there is no buffer yet
    // (before the first connect) or the request does not fit. `extra` is
    // appended to the Host line as given and may be null.
    bool buildPost(const char* path, const char* body);
    bool buildGet(const char* path, const char* extra);

    // connect + build + transact: the buffer, or null on failure. The reply
    // is read by Content-Length and the connection closed afterwards.
    const char* post(const char* path, const char* body);
    const char* get(const char* path);

    const char* buffer() const { return buffer_; }
    // First byte after the header's blank line; null until a header was read.
    const char* body() const { return bodyOffset_ < 0 ? nullptr : buffer_ + bodyOffset_; }
    int contentLength() const { return contentLength_; }
    int bodyReceived() const { return bodyReceived_; }
    int headerLength() const { return headerLength_; }
    int capacity() const { return capacity_; }
    // Bytes of the last reply held in the buffer (header and body).
    int replyBytes() const { return received_; }
    // Status code of the reply's status line ("HTTP/1.1 200 OK" gives 200);
    // 0 if no header was read or the line is not a status line.
    int statusCode() const;
    // True when the last read ended because the peer went silent for the
    // whole receive time-out.
    bool readTimedOut() const { return timedOut_; }

    // Ends the request in progress on another thread (it fails as if timed
    // out) and every later one until clearCancel(). Any thread.
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    void clearCancel() { cancelled_.store(false, std::memory_order_relaxed); }
    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    // The whole-request bound (tests shorten it).
    void setRequestDeadline(uint32_t ms) { requestDeadlineMs_ = ms; }

    void setReadDelay(int ms) { readDelayMs_ = ms < 0 ? 0 : ms; }
    int readDelay() const { return readDelayMs_; }
    void setReceiveTimeout(uint32_t ms);

    // Sends the request in the buffer and reads the reply (readReply,
    // connection closed). A GET whose body does not fit is made again, once,
    // with a buffer of content length + 4096 bytes if that is within
    // kMaxCapacity. Returns the buffer or null.
    const char* transact(const char* path);

    // Reads a reply framed by Content-Length. True once a header and a body
    // that fits were read; also true when there is no Content-Length (the
    // reply is then the header alone, body received 0) or the body does not
    // fit (it is cut at the buffer's end, or where the peer closed; the
    // numbers tell).
    bool readReply(bool keepOpen);
    // Reads until the end marker. True with the marker; also true without it
    // when the peer closed the connection or the reply carried a
    // Content-Length and its body is complete (the caller then finds no
    // marker).
    bool readUntilEnd(bool keepOpen);

    virtual bool connect();
    // Always false, so failure paths can return its result.
    virtual bool close();
    bool isOpen() const { return socket_.isOpen(); }

protected:
    // Sends the zero-terminated request text in the buffer; on error closes.
    bool sendRequest();
    platform::TcpSocket& socket() { return socket_; }

    // Forgets the last reply's numbers (a new exchange begins).
    void resetReply();

private:
    bool allocateBuffer(int capacity);
    bool growBuffer(int capacity);
    // One receive into the free part of the buffer, after waiting at most
    // the receive time-out for bytes: > 0 bytes added, 0 the peer closed,
    // -1 error or time-out. `limit` caps the bytes asked for.
    long receiveMore(size_t limit);
    // Looks for the header end among the bytes received; sets the header
    // length and body offset when found.
    bool findHeaderEnd(size_t searchFrom);
    // Sleeps the read delay in short steps; false when cancelled meanwhile.
    bool readDelay(uint32_t ms);
    // Milliseconds left of the request's deadline (0 when it has passed).
    uint32_t timeLeft() const;
    int parseContentLength() const;

    platform::TcpSocket socket_;
    int contentLength_ = 0;
    int bodyReceived_ = 0;
    int headerLength_ = 0;
    int capacity_ = 0;
    int readDelayMs_ = kDefaultReadDelayMs;
    int bodyOffset_ = -1;
    int received_ = 0;
    uint32_t receiveTimeoutMs_ = kReceiveTimeoutMs;
    uint32_t requestDeadlineMs_ = kRequestDeadlineMs;
    uint32_t requestStart_ = 0;  // tick count at connect
    std::atomic<bool> cancelled_{false};
    bool lastWasGet_ = false;
    bool timedOut_ = false;
    char hostName_[kHostBytes] = {};
    char* buffer_ = nullptr;
};
