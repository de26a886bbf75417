#pragma once
// Sends one file at a time to the partner. The partner's receiver drives
// the transfer: after the FileOffer it asks for chunks (FileControl status
// 0), each answered with a FileChunk after a pause that keeps the file
// within its share of the upstream; status 2 ends it as done, any other
// status as aborted. While a file is sent, the media run on a lowered
// upstream (FilePacing.h) and get the user's rates back at the end.
//
// Threads: offerFile, abortSend and stop on the user interface thread;
// onControl on the network thread (a copy into the control ring, then a
// wake); the worker answers the requests. The operation lock serialises
// the transfer's start and end and the file reads; the worker never waits
// on it across a pause. The worker ends a transfer itself (done, aborted,
// errors) without ending its own thread.
#include <atomic>
#include <cstdint>

#include "platform/Lock.h"
#include "platform/WorkerThread.h"
#include "trvcore/files/FileChooser.h"
#include "trvcore/files/FilePacing.h"
#include "trvcore/files/FileTransfer.h"
#include "trvcore/session/SessionMediaSink.h"
#include "trvcore/trvnetwork/FileMessages.h"
#include "trvcore/trvnetwork/PeerMessage.h"

class PeerConnection;

class FileSender : public FileTransfer, public SessionMediaSink {
public:
    static constexpr int kControlSlots = 64;
    static constexpr int kQueueTries = 20;
    static constexpr unsigned kQueueRetryMs = 100;
    static constexpr unsigned kPacingSettleMs = 500;
    static constexpr size_t kPathBytes = 1024;

    // `pacing` may be null (no lowering of the media).
    FileSender(PeerConnection& connection, FilePacingSettings* pacing);
    ~FileSender() override;

    // Asks the user for a WAV file and offers it. A transfer in progress is
    // aborted first. Nothing happens when the user cancels or the session
    // has gone meanwhile (detach). `offeredName`, when given, is sent as
    // the file's name instead of the chosen file's own (at most 256 bytes).
    void offerFile(FileChooser& chooser, const char* offeredName = nullptr);
    // Tells the partner the transfer stops (with a status text if given).
    void abortSend(const char* text);
    void stop(bool aborted) override;

    // Network thread: a FileControl from the partner.
    void onControl(const PeerMessage& message);
    void onMediaMessage(PartnerSession&, const PeerMessage& message) override { onControl(message); }

    // The upstream or the file rate changed while sending: pace again.
    void repace();
    // The media run lowered for this transfer.
    bool lowersMedia() const { return lowered_.load(std::memory_order_relaxed); }
    unsigned pauseMs() const { return pauseMs_.load(std::memory_order_relaxed); }
    double fileShare() const { return fileShare_.load(std::memory_order_relaxed); }
    // kbit/s of file data sent since the first request; 0 when idle.
    double sendRate() const { return transferRate(); }
    // The session is going: no new transfer starts.
    void detach() { detached_.store(true, std::memory_order_relaxed); }

private:
    class Worker : public WorkerThread {
    public:
        explicit Worker(FileSender& owner) : owner_(owner) {}
        void run() override { owner_.work(); }

    private:
        FileSender& owner_;
    };

    void work();
    // One control message; false stops this round.
    bool handle(const FileControlFields& control);
    // Reads, paces and posts the requested chunk; false when the transfer ended.
    bool answer(uint64_t offset, uint32_t length);
    // Ends the transfer: controls dropped, the user's rates back, the file
    // closed. Any thread; more than once does nothing more.
    void end();
    void pace();
    void postAbortNotice();
    // Sleeps `ms` in short steps; false when a stop came meanwhile.
    bool pause(unsigned ms);

    PeerConnection& connection_;
    FilePacingSettings* const pacing_;
    Worker worker_{*this};
    platform::RecursiveLock opLock_;
    PeerMessage message_;  // worker: the chunk being sent

    // The control ring: the network thread writes, the worker reads.
    platform::RecursiveLock controlLock_;  // innermost
    FileControlFields controls_[kControlSlots];
    int controlHead_ = 0;
    int controlCount_ = 0;

    std::atomic<bool> stopping_{false};
    std::atomic<bool> detached_{false};
    std::atomic<bool> lowered_{false};
    std::atomic<bool> pacingBusy_{false};
    std::atomic<unsigned> pauseMs_{400};
    std::atomic<double> fileShare_{0.0};
    double savedUpstream_ = 0;  // under opLock_
    float savedShare_ = 0;
    int savedFileRate_ = 0;
};
