#pragma once
// What a file sender and a file receiver share: the open file, its size
// and how much of it is done, the transfer's id, the file's name, the last
// status text and whether a transfer runs. Status texts with a level reach
// the listener (the session, which posts them to the message log).
//
// Threads: the fields are read from any thread (the editor polls progress
// and status); texts are copied under the text lock.
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/File.h"
#include "platform/Lock.h"

class FileTransfer;

// Levels of a status text.
enum FileEventLevel : int {
    kFileStatusOnly = 0,  // kept as the status text, nobody told
    kFileNotice = 1,      // a notice or an abort
    kFileSuccess = 2,
    kFileError = 3,
    kFileTimeout = 4,
};

class FileTransferListener {
public:
    virtual ~FileTransferListener() = default;
    virtual void onFileEvent(int level, FileTransfer& transfer) = 0;
};

class FileTransfer {
public:
    static constexpr size_t kNameBytes = 257;    // 256 characters and the terminator
    static constexpr size_t kStatusBytes = 256;  // 255 characters and the terminator
    // The messages that end a transfer (completion, aborts) go this many
    // times: nothing asks for them again when one is lost.
    static constexpr int kEndCopies = 3;

    virtual ~FileTransfer() = default;
    FileTransfer(const FileTransfer&) = delete;
    FileTransfer& operator=(const FileTransfer&) = delete;

    void setListener(FileTransferListener* listener) { listener_.store(listener, std::memory_order_release); }
    // Ends the transfer; the derived classes add their steps, then the file
    // is closed and active, size and done cleared.
    virtual void stop(bool aborted);
    void finish() { stop(false); }

    void progress(uint64_t& fileSize, uint64_t& bytesDone) const {
        fileSize = fileSize_.load(std::memory_order_relaxed);
        bytesDone = bytesDone_.load(std::memory_order_relaxed);
    }
    bool isActive() const { return active_.load(std::memory_order_acquire); }
    // kbit/s of file data done since the transfer's clock started; 0 when
    // idle.
    double transferRate() const;
    uint32_t transferId() const { return transferId_.load(std::memory_order_relaxed); }
    // Copies the file name / the status text (false when there is none).
    void fileName(char* out, size_t capacity) const;
    bool statusText(char* out, size_t capacity) const;
    // Keeps `text` (if shorter than 256) and, for a level other than 0,
    // tells the listener.
    void setStatus(const char* text, int level);

protected:
    FileTransfer() = default;
    void setFileName(const char* name, size_t length);
    // The base's part of stop: the file closed, active, size and done cleared.
    void endTransfer();

    platform::File file_;
    std::atomic<uint64_t> fileSize_{0};
    std::atomic<uint64_t> bytesDone_{0};
    std::atomic<uint32_t> transferId_{0};
    std::atomic<uint32_t> startTick_{0};  // platform::tickCount() when the data began
    std::atomic<bool> active_{false};

private:
    mutable platform::RecursiveLock textLock_;  // innermost
    char fileName_[kNameBytes] = {};
    char status_[kStatusBytes] = {};
    std::atomic<FileTransferListener*> listener_{nullptr};
};

// The last component of a path: what follows the last '/' or '\' (both,
// whatever this OS uses); null when there is no separator.
const char* afterLastSeparator(const char* path);

// A name offered by a partner made safe to save under, on any OS: its last
// path component only (after any '/', '\' or drive ':'), without control
// characters, with '_' for the characters Windows refuses, without trailing
// dots and blanks, a device name ("NUL.wav") prefixed with '_'; nothing
// left becomes "received". Writes at most capacity - 1 characters.
void safeFileName(const char* offered, char* out, size_t capacity);
