#include "trvcore/files/FileSender.h"

#include <cstring>

#include "platform/Clock.h"
#include "trvcore/trvnetwork/PeerConnection.h"

namespace {
constexpr unsigned kPauseStepMs = 20;
constexpr uint32_t kFirstTransferId = 1;  // incremented before each offer: the first carries 2
}  // namespace

FileSender::FileSender(PeerConnection& connection, FilePacingSettings* pacing)
    : connection_(connection), pacing_(pacing) {
    transferId_.store(kFirstTransferId, std::memory_order_relaxed);
}

FileSender::~FileSender() {
    stop(false);
    worker_.waitUntilFinished();
}

void FileSender::offerFile(FileChooser& chooser, const char* offeredName) {
    if (isActive()) {
        setStatus("Send new file: current transmission aborted.", kFileNotice);
        postAbortNotice();
        stop(false);
    }
    {
        platform::ScopedLock guard(controlLock_);
        controlCount_ = 0;
    }
    fileSize_.store(0, std::memory_order_relaxed);
    bytesDone_.store(0, std::memory_order_relaxed);

    char path[kPathBytes] = {};
    const FileChoice choice = chooser.chooseFileToSend(path, sizeof path);
    if (choice == FileChoice::Unavailable) {
        setStatus(chooser.unavailableReason(), kFileError);
        return;
    }
    if (choice != FileChoice::Chosen || detached_.load(std::memory_order_relaxed)) return;
    // The offered name: what follows the last separator. Checked before the
    // pacing so an abandoned offer leaves the rates alone.
    const char* name = afterLastSeparator(path);
    if (!name || !*name) return;
    if (offeredName && *offeredName && std::strlen(offeredName) < kNameBytes) name = offeredName;

    {
        platform::ScopedLock guard(opLock_);
        if (!file_.openRead(path)) {
            setStatus("File Transmit: OPEN FILE ERROR!", kFileError);
            end();
            return;
        }
        uint64_t size = 0;
        file_.size(size);
        fileSize_.store(size, std::memory_order_relaxed);
        // The path, for the progress text; a path too long for it gives way
        // to the name alone.
        const size_t pathLength = std::strlen(path);
        if (pathLength < kNameBytes) setFileName(path, pathLength);
        else setFileName(name, std::strlen(name));
    }
    pace();
    platform::ScopedLock guard(opLock_);
    if (!file_.isOpen() || detached_.load(std::memory_order_relaxed)) {
        end();
        return;
    }
    startTick_.store(platform::tickCount(), std::memory_order_relaxed);
    const uint32_t id = transferId_.fetch_add(1, std::memory_order_relaxed) + 1;
    PeerMessage offer;
    if (!buildFileOffer(offer, fileSize_.load(std::memory_order_relaxed), id, name, std::strlen(name))) {
        end();
        return;
    }
    stopping_.store(false, std::memory_order_relaxed);
    active_.store(true, std::memory_order_release);
    connection_.post(offer);
    worker_.start();
}

void FileSender::abortSend(const char* text) {
    if (!isActive()) return;
    if (text) setStatus(text, kFileNotice);
    postAbortNotice();
}

void FileSender::postAbortNotice() {
    PeerMessage notice;
    if (!buildFileAbortNotice(notice, transferId())) return;
    // Said only once per transfer, so sent more than once.
    for (int i = 0; i < FileTransfer::kEndCopies; ++i) connection_.post(notice);
}

void FileSender::stop(bool aborted) {
    stopping_.store(true, std::memory_order_relaxed);
    if (!worker_.onOwnThread()) worker_.stop();
    end();
    FileTransfer::stop(aborted);
}

void FileSender::end() {
    platform::ScopedLock guard(opLock_);
    {
        platform::ScopedLock controls(controlLock_);
        controlCount_ = 0;
    }
    // Back to the user's rates, once; nothing is sending any more, so the
    // change re-paces nobody.
    if (lowered_.exchange(false, std::memory_order_relaxed) && pacing_)
        pacing_->restoreUserRates(savedUpstream_, savedShare_, savedFileRate_);
    endTransfer();
}

void FileSender::pace() {
    if (!pacing_ || pacingBusy_.exchange(true, std::memory_order_acquire)) return;
    const double upstream = pacing_->upstreamRate();
    const float share = pacing_->audioShare();
    const int fileRate = pacing_->fileRate();
    {
        platform::ScopedLock guard(opLock_);
        savedUpstream_ = upstream;
        savedShare_ = share;
        savedFileRate_ = fileRate;
    }
    const FilePace p = computeFilePace(upstream, fileRate);
    pacing_->applyMediaRates(p.media, p.mediaShare);
    lowered_.store(true, std::memory_order_relaxed);
    fileShare_.store(p.fileShare, std::memory_order_relaxed);
    // The encoders restart on their new rates before the file starts.
    platform::sleepMilliseconds(kPacingSettleMs);
    pacing_->showUserRates(upstream, share, fileRate);
    pauseMs_.store(p.pauseMs, std::memory_order_relaxed);
    pacingBusy_.store(false, std::memory_order_release);
}

void FileSender::repace() {
    if (isActive() && lowersMedia()) pace();
}

void FileSender::onControl(const PeerMessage& message) {
    FileControlFields f;
    if (!parseFileControl(message, f)) return;
    {
        platform::ScopedLock guard(controlLock_);
        if (controlCount_ == kControlSlots) return;  // the receiver asks again after 1.5 s
        controls_[(controlHead_ + controlCount_) % kControlSlots] = f;
        ++controlCount_;
    }
    worker_.wake();
}

void FileSender::work() {
    while (worker_.running()) {
        worker_.wait();
        while (worker_.running() && !stopping_.load(std::memory_order_relaxed)) {
            FileControlFields c;
            {
                platform::ScopedLock guard(controlLock_);
                if (controlCount_ == 0) break;
                c = controls_[controlHead_];
                controlHead_ = (controlHead_ + 1) % kControlSlots;
                --controlCount_;
            }
            if (!handle(c)) break;
        }
    }
}

bool FileSender::handle(const FileControlFields& c) {
    // The end of a transfer comes more than once, and the end of one given
    // up for this one may come late: only this transfer's end counts.
    // Requests are not compared (a receiver only asks for the current file).
    const bool request = c.status == static_cast<uint32_t>(FileControlStatus::Request);
    if (!request && c.transferId != transferId()) return true;
    if (c.status == static_cast<uint32_t>(FileControlStatus::Complete)) {
        if (!isActive()) return false;
        setStatus("File Send: Transfer finished successfully.", kFileSuccess);
        end();
        return false;
    }
    if (c.status != static_cast<uint32_t>(FileControlStatus::Request)) {
        if (!isActive()) return false;
        setStatus("File Send: Partner aborted transfer.", kFileNotice);
        end();
        return false;
    }
    if (bytesDone_.load(std::memory_order_relaxed) == 0)
        startTick_.store(platform::tickCount(), std::memory_order_relaxed);
    // A request that no message can carry, or that reaches past the end of
    // the file, is dropped unanswered and the next one looked at: requests
    // for a file given up for this one arrive like that, and stopping at
    // each would leave the current file's requests waiting for the next wake.
    const uint64_t size = fileSize_.load(std::memory_order_relaxed);
    if (c.chunkLength == 0 || c.chunkLength > kMaxFileChunkData || c.chunkOffset > size ||
        c.chunkLength > size - c.chunkOffset)
        return true;
    if (!isActive()) return true;
    return answer(c.chunkOffset, c.chunkLength);
}

bool FileSender::answer(uint64_t offset, uint32_t length) {
    for (int attempt = 0; attempt < kQueueTries; ++attempt) {
        if (stopping_.load(std::memory_order_relaxed)) return false;
        if (!connection_.queueSpace()) {
            if (!pause(kQueueRetryMs)) return false;
            continue;
        }
        {
            platform::ScopedLock guard(opLock_);
            if (!isActive()) return false;
            uint8_t* data = beginFileChunk(message_, fileSize_.load(std::memory_order_relaxed), offset,
                                           transferId(), length);
            if (!data) return false;
            if (!file_.readAt(offset, data, length)) {
                setStatus("File Send: READ ERROR!", kFileError);
                markFileChunkAborted(message_);
                connection_.post(message_);
                end();
                return false;
            }
            sealFileChunk(message_);
        }
        if (!pause(pauseMs())) return false;
        if (!isActive()) return false;
        connection_.post(message_);
        bytesDone_.store(offset + length, std::memory_order_relaxed);
        return true;
    }
    setStatus("File Send: NET BUSY TIMEOUT!", kFileTimeout);
    end();
    return false;
}

bool FileSender::pause(unsigned ms) {
    while (ms > 0) {
        if (stopping_.load(std::memory_order_relaxed) || !worker_.running()) return false;
        const unsigned step = ms < kPauseStepMs ? ms : kPauseStepMs;
        platform::sleepMilliseconds(step);
        ms -= step;
    }
    return !stopping_.load(std::memory_order_relaxed);
}
