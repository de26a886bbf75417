#pragma once
// Receives the file the partner offers. The offer is kept for the user to
// choose where to save it; from then on this side drives the transfer: it
// keeps up to 16 requests of 2048 bytes out (FileControl status 0), checks
// each chunk that comes back (transfer id, length, checksum, a matching
// request) and writes it at its offset, asks again after 1.5 s without a
// chunk, and tells the partner when the file is complete (status 2) or the
// transfer aborted (status 1). A file not received whole is deleted.
//
// Threads: onOffer on the session thread; startReceiving and stop on the
// user interface thread; onChunk on the network thread (a copy into the
// chunk ring, then a wake); the worker writes the chunks and keeps the
// 100 ms watchdog. The operation lock serialises the transfer's start and
// end; the request lock guards the requests (taken after the operation
// lock, never before it); the chunk ring has its own.
// The worker ends a transfer itself without ending its own thread.
#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/Lock.h"
#include "platform/WorkerThread.h"
#include "trvcore/files/FileTransfer.h"
#include "trvcore/session/SessionMediaSink.h"
#include "trvcore/trvnetwork/PeerMessage.h"

class PeerConnection;

class FileReceiver : public FileTransfer, public SessionMediaSink {
public:
    static constexpr int kMaxRequests = 16;
    static constexpr uint32_t kChunkBytes = 2048;
    static constexpr int kRetryMs = 1500;
    static constexpr unsigned kWatchdogMs = 100;
    static constexpr int kChunkSlots = 32;
    static constexpr size_t kMaxNameLength = 256;
    static constexpr uint64_t kMaxFileSize = uint64_t(1) << 36;  // 64 GiB
    static constexpr size_t kPathBytes = 1024;

    explicit FileReceiver(PeerConnection& connection);
    ~FileReceiver() override;

    // Session thread: a FileOffer. True when it waits for the user to pick
    // where to save it; a transfer in progress is given up first.
    bool onOffer(const PeerMessage& message);
    // An offer waits for its path.
    bool offered() const { return offered_.load(std::memory_order_relaxed); }
    // The offered name, made safe to save under, and its extension (without
    // the dot; empty when it has none).
    void offeredName(char* out, size_t capacity) const { fileName(out, capacity); }
    void offeredExtension(char* out, size_t capacity) const;
    // The user chose `path`: the transfer starts. False when no offer
    // waits or the file cannot be written.
    bool startReceiving(const char* path);
    void stop(bool aborted) override;
    // The session ends: the transfer stops without a word to the partner (the
    // session's Bye says it all), and a partial file is deleted.
    void abandon() {
        haltWorker();
        end(true, false);
    }

    // Network thread: a FileChunk from the partner.
    void onChunk(const PeerMessage& message);
    void onMediaMessage(PartnerSession&, const PeerMessage& message) override { onChunk(message); }

    // Requests out, and chunks dropped (invalid, stale, duplicate, no room).
    int outstanding() const { return outstanding_.load(std::memory_order_relaxed); }
    uint64_t chunksDropped() const { return dropped_.load(std::memory_order_relaxed); }
    // Where the file is being written (empty before startReceiving).
    void savePath(char* out, size_t capacity) const;
    // Chunks taken in and not yet looked at by the writer.
    int chunksWaiting() const;

private:
    class Worker : public WorkerThread {
    public:
        explicit Worker(FileReceiver& owner) : owner_(owner) {}
        void run() override { owner_.work(); }

    private:
        FileReceiver& owner_;
    };

    struct Request {
        uint64_t offset = 0;
        uint32_t length = 0;
        bool sent = false;
    };

    void work();
    void writeChunks();
    // One chunk; false when the transfer ended.
    bool write(const PeerMessage& chunk);
    void watchdogTick();
    // Under the request lock.
    void topUp();
    void sendNextRequest();
    void postControl(uint32_t status);
    // Ends the transfer: with `aborted` the partial file goes; with
    // `tellPartner` the partner hears status 1.
    void end(bool aborted, bool tellPartner);
    void clearChunks();
    // Stops the worker's thread, unless called on it.
    void haltWorker();

    PeerConnection& connection_;
    Worker worker_{*this};
    mutable platform::RecursiveLock opLock_;
    char path_[kPathBytes] = {};  // under opLock_
    char extension_[16] = {};     // under opLock_

    platform::RecursiveLock requestLock_;
    Request requests_[kMaxRequests];
    std::atomic<int> outstanding_{0};
    std::atomic<int> timeoutMs_{kRetryMs};

    mutable platform::RecursiveLock chunkLock_;  // innermost
    std::unique_ptr<PeerMessage[]> chunks_;
    int chunkHead_ = 0;
    int chunkCount_ = 0;
    PeerMessage current_;  // worker: the chunk being written

    std::atomic<bool> offered_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> dropped_{0};
};
