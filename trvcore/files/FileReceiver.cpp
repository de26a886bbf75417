#include "trvcore/files/FileReceiver.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/Clock.h"
#include "trvcore/trvnetwork/FileMessages.h"
#include "trvcore/trvnetwork/PeerConnection.h"

FileReceiver::FileReceiver(PeerConnection& connection)
    : connection_(connection), chunks_(new (std::nothrow) PeerMessage[kChunkSlots]) {}

FileReceiver::~FileReceiver() {
    stop(false);
    worker_.waitUntilFinished();
}

bool FileReceiver::onOffer(const PeerMessage& message) {
    const bool wasActive = isActive();
    if (wasActive) setStatus("File Receive: pending task cancelled.", kFileNotice);
    haltWorker();
    // The partner gave a running transfer up for the new offer: its partial
    // file goes, and nothing is said that it could take for the new one.
    end(wasActive, false);
    FileOfferView offer;
    if (!parseFileOffer(message, offer)) return false;
    if (offer.nameLength > kMaxNameLength) {
        setStatus("File Receive: FILE NAME ERROR!", kFileError);
        end(true, true);
        return false;
    }
    if (offer.fileSize > kMaxFileSize) {
        setStatus("File Receive: FILE SIZE ERROR!", kFileError);
        end(true, true);
        return false;
    }
    char name[kNameBytes];
    safeFileName(offer.name, name, sizeof name);
    platform::ScopedLock guard(opLock_);
    setFileName(name, std::strlen(name));
    const char* dot = std::strrchr(name, '.');
    extension_[0] = '\0';
    if (dot && dot[1] && std::strlen(dot + 1) < sizeof extension_) std::strcpy(extension_, dot + 1);
    fileSize_.store(offer.fileSize, std::memory_order_relaxed);
    bytesDone_.store(0, std::memory_order_relaxed);
    transferId_.store(offer.transferId, std::memory_order_relaxed);
    offered_.store(true, std::memory_order_relaxed);
    return true;
}

void FileReceiver::offeredExtension(char* out, size_t capacity) const {
    if (!out || capacity == 0) return;
    platform::ScopedLock guard(const_cast<platform::RecursiveLock&>(opLock_));
    std::strncpy(out, extension_, capacity - 1);
    out[capacity - 1] = '\0';
}

bool FileReceiver::startReceiving(const char* path) {
    platform::ScopedLock guard(opLock_);
    if (!offered() || isActive() || !path || std::strlen(path) >= sizeof path_) return false;
    std::strcpy(path_, path);
    if (!file_.openWrite(path_)) {
        setStatus("File Receive: FILE OPEN ERROR!", kFileError);
        end(true, true);
        return false;
    }
    offered_.store(false, std::memory_order_relaxed);
    if (fileSize_.load(std::memory_order_relaxed) == 0) {
        setStatus("File Receive finished successfully.", kFileSuccess);
        postControl(static_cast<uint32_t>(FileControlStatus::Complete));
        end(false, false);
        return true;
    }
    clearChunks();
    startTick_.store(platform::tickCount(), std::memory_order_relaxed);
    stopping_.store(false, std::memory_order_relaxed);
    active_.store(true, std::memory_order_release);
    worker_.start();
    platform::ScopedLock requests(requestLock_);
    outstanding_.store(0, std::memory_order_relaxed);
    topUp();
    for (int i = 0; i < kMaxRequests; ++i) sendNextRequest();
    return true;
}

void FileReceiver::stop(bool aborted) {
    haltWorker();
    end(aborted, aborted);
}

void FileReceiver::haltWorker() {
    stopping_.store(true, std::memory_order_relaxed);
    if (!worker_.onOwnThread()) worker_.stop();
}

void FileReceiver::end(bool aborted, bool tellPartner) {
    platform::ScopedLock guard(opLock_);
    clearChunks();
    if (aborted && isActive() && file_.isOpen()) {
        file_.close();
        platform::removeFile(path_);
    }
    if (tellPartner) postControl(static_cast<uint32_t>(FileControlStatus::Aborted));
    {
        platform::ScopedLock requests(requestLock_);
        outstanding_.store(0, std::memory_order_relaxed);
    }
    offered_.store(false, std::memory_order_relaxed);
    endTransfer();
}

void FileReceiver::clearChunks() {
    platform::ScopedLock guard(chunkLock_);
    chunkCount_ = 0;
}

void FileReceiver::postControl(uint32_t status) {
    FileControlFields f;
    f.transferId = transferId();
    f.status = status;
    PeerMessage m;
    if (!buildFileControl(m, f)) return;
    // A request lost is asked for again; the end of a transfer is said
    // only now, so it goes more than once (the sender ignores the rest).
    const int copies = status == static_cast<uint32_t>(FileControlStatus::Request) ? 1 : kEndCopies;
    for (int i = 0; i < copies; ++i) connection_.post(m);
}

// ---- Requests (under the request lock) --------------------------------------

void FileReceiver::topUp() {
    const uint64_t size = fileSize_.load(std::memory_order_relaxed);
    int n = outstanding_.load(std::memory_order_relaxed);
    uint64_t next = bytesDone_.load(std::memory_order_relaxed);
    while (isActive() && n < kMaxRequests && next < size) {
        const uint64_t left = size - next;
        Request& r = requests_[n++];
        r.offset = next;
        r.length = left < kChunkBytes ? static_cast<uint32_t>(left) : kChunkBytes;
        r.sent = false;
        next += r.length;
    }
    outstanding_.store(n, std::memory_order_relaxed);
    bytesDone_.store(next, std::memory_order_relaxed);
}

void FileReceiver::sendNextRequest() {
    if (!isActive()) return;
    const int n = outstanding_.load(std::memory_order_relaxed);
    for (int i = 0; i < n; ++i) {
        Request& r = requests_[i];
        if (r.sent) continue;
        r.sent = true;
        FileControlFields f;
        f.chunkOffset = r.offset;
        f.transferId = transferId();
        f.chunkLength = r.length;
        f.status = static_cast<uint32_t>(FileControlStatus::Request);
        PeerMessage m;
        if (buildFileControl(m, f)) connection_.post(m);
        timeoutMs_.store(kRetryMs, std::memory_order_relaxed);
        return;
    }
}

// ---- Chunks -----------------------------------------------------------------

void FileReceiver::onChunk(const PeerMessage& message) {
    if (!chunks_) return;
    {
        platform::ScopedLock guard(chunkLock_);
        if (chunkCount_ == kChunkSlots) {
            dropped_.fetch_add(1, std::memory_order_relaxed);  // asked for again after 1.5 s
            return;
        }
        PeerMessage& slot = chunks_[(chunkHead_ + chunkCount_) % kChunkSlots];
        if (!slot.assign(message.data(), message.length())) return;
        ++chunkCount_;
    }
    worker_.wake();
}

void FileReceiver::work() {
    uint32_t lastTick = platform::tickCount();
    while (worker_.running()) {
        worker_.waitFor(kWatchdogMs);
        if (stopping_.load(std::memory_order_relaxed)) continue;
        writeChunks();
        // The watchdog: one step for every 100 ms that passed.
        const uint32_t now = platform::tickCount();
        while (now - lastTick >= kWatchdogMs && !stopping_.load(std::memory_order_relaxed)) {
            lastTick += kWatchdogMs;
            if (isActive()) watchdogTick();
        }
    }
}

void FileReceiver::savePath(char* out, size_t capacity) const {
    if (!out || capacity == 0) return;
    platform::ScopedLock guard(opLock_);
    std::snprintf(out, capacity, "%s", path_);
}

int FileReceiver::chunksWaiting() const {
    platform::ScopedLock guard(chunkLock_);
    return chunkCount_;
}

void FileReceiver::writeChunks() {
    while (!stopping_.load(std::memory_order_relaxed) && worker_.running()) {
        {
            platform::ScopedLock guard(chunkLock_);
            if (chunkCount_ == 0) return;
            current_ = chunks_[chunkHead_];
            chunkHead_ = (chunkHead_ + 1) % kChunkSlots;
            --chunkCount_;
        }
        if (!write(current_)) return;
    }
}

bool FileReceiver::write(const PeerMessage& chunk) {
    FileChunkView view;
    if (!parseFileChunk(chunk, view)) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    if (view.isAbort()) {
        // The notice comes more than once, and one for a file given up
        // for this one may come late: only this transfer's counts.
        if (!isActive() || !file_.isOpen() || view.fields.transferId != transferId()) return true;
        setStatus("File Receive: PARTNER ABORTED TRANSFER!", kFileNotice);
        end(true, false);
        return false;
    }
    const FileChunkFields& f = view.fields;
    if (!isActive() || f.chunkLength > kChunkBytes || f.transferId != transferId() || !view.checksumMatches()) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    {
        platform::ScopedLock requests(requestLock_);
        const int n = outstanding_.load(std::memory_order_relaxed);
        int found = -1;
        for (int i = 0; i < n && found < 0; ++i)
            if (requests_[i].offset == f.chunkOffset && requests_[i].length == f.chunkLength) found = i;
        if (found < 0) {  // a duplicate or a stale chunk
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return true;
        }
        for (int i = found; i + 1 < n; ++i) requests_[i] = requests_[i + 1];
        outstanding_.store(n - 1, std::memory_order_relaxed);
        topUp();
        sendNextRequest();
    }
    bool written;
    {
        platform::ScopedLock guard(opLock_);
        if (!isActive()) return false;
        written = file_.writeAt(f.chunkOffset, view.data, f.chunkLength);
    }
    if (!written) {
        setStatus("File Receive: WRITE ERROR!", kFileError);
        end(true, true);
        return false;
    }
    if (outstanding() == 0 && bytesDone_.load(std::memory_order_relaxed) == fileSize_.load(std::memory_order_relaxed)) {
        setStatus("File Receive finished successfully.", kFileSuccess);
        postControl(static_cast<uint32_t>(FileControlStatus::Complete));
        end(false, false);
        return false;
    }
    return true;
}

void FileReceiver::watchdogTick() {
    if (timeoutMs_.fetch_sub(static_cast<int>(kWatchdogMs), std::memory_order_relaxed) > static_cast<int>(kWatchdogMs))
        return;
    {
        platform::ScopedLock requests(requestLock_);
        const int n = outstanding_.load(std::memory_order_relaxed);
        if (n > 0) {
            // Silence: everything outstanding is asked for again, all at
            // once. Asking for one only would leave a single request in
            // flight from then on (each chunk sends just the next), and on
            // a lossy link every loss would cost a whole silence.
            for (int i = 0; i < n; ++i) requests_[i].sent = false;
            topUp();
            for (int i = 0; i < kMaxRequests; ++i) sendNextRequest();
            timeoutMs_.store(kRetryMs, std::memory_order_relaxed);
            return;
        }
    }
    setStatus("File Receive: TIMEOUT ERROR!", kFileTimeout);
    end(true, true);
}
