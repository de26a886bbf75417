#pragma once
// One instance's output kept in memory for `record`, in chunks that a
// control thread allocates ahead of the audio thread: the audio thread only
// copies into memory that is already there. When it finds no chunk ready
// (the control thread fell behind, or memory ran out) the frames are
// counted as lost; frames beyond the bound are not kept.
//
// Threads: append on the audio thread; reserveAhead on one control thread at
// a time; writeWav once the audio thread has let go of the buffer.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class RecordBuffer {
public:
    static constexpr size_t kChunkFrames = size_t(1) << 16;

    // Keeps at most `maxFrames` stereo frames for `path`, at `rate`.
    RecordBuffer(std::string path, int32_t rate, uint64_t maxFrames);
    ~RecordBuffer();
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;

    // Control thread: makes sure memory is ready for `aheadFrames` frames
    // past those written so far (zeroed, so the pages are in place before
    // the audio thread touches them). False when memory ran out.
    bool reserveAhead(uint64_t aheadFrames);

    // Audio thread: `frames` frames of the two channels.
    void append(const float* left, const float* right, size_t frames);

    uint64_t frames() const { return written_.load(std::memory_order_acquire); }
    // Frames that found no memory ready, and frames past the bound.
    uint64_t lostFrames() const { return lost_.load(std::memory_order_relaxed); }
    uint64_t framesOverBound() const { return overBound_.load(std::memory_order_relaxed); }
    uint64_t maxFrames() const { return maxFrames_; }
    const std::string& path() const { return path_; }
    int32_t rate() const { return rate_; }

    // The frames kept, as 32-bit float stereo WAV.
    bool writeWav(std::string& error) const;

private:
    const std::string path_;
    const int32_t rate_;
    const uint64_t maxFrames_;
    const size_t chunkCount_;
    std::unique_ptr<std::atomic<float*>[]> chunks_;
    size_t reserved_ = 0;  // chunks allocated, control thread
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> lost_{0};
    std::atomic<uint64_t> overBound_{0};
};

// "FILE, N frames": what `record` prints for a recording it wrote.
std::string recordLine(const RecordBuffer& r);
// What went missing from a recording, or empty.
std::string recordNote(const RecordBuffer& r);
