#include "tools/trvhost/RecordBuffer.h"

#include <new>
#include <utility>

#include "tools/trvhost/WavFile.h"

RecordBuffer::RecordBuffer(std::string path, int32_t rate, uint64_t maxFrames)
    : path_(std::move(path)),
      rate_(rate),
      maxFrames_(maxFrames),
      chunkCount_(static_cast<size_t>((maxFrames + kChunkFrames - 1) / kChunkFrames)),
      chunks_(new std::atomic<float*>[chunkCount_ ? chunkCount_ : 1]) {
    for (size_t i = 0; i < (chunkCount_ ? chunkCount_ : 1); ++i) chunks_[i].store(nullptr, std::memory_order_relaxed);
}

RecordBuffer::~RecordBuffer() {
    for (size_t i = 0; i < chunkCount_; ++i) delete[] chunks_[i].load(std::memory_order_relaxed);
}

bool RecordBuffer::reserveAhead(uint64_t aheadFrames) {
    uint64_t want = frames() + aheadFrames;
    if (want > maxFrames_) want = maxFrames_;
    const size_t needed = static_cast<size_t>((want + kChunkFrames - 1) / kChunkFrames);
    while (reserved_ < needed) {
        float* chunk = new (std::nothrow) float[kChunkFrames * 2]();
        if (!chunk) return false;
        chunks_[reserved_].store(chunk, std::memory_order_release);
        ++reserved_;
    }
    return true;
}

void RecordBuffer::append(const float* left, const float* right, size_t frames) {
    uint64_t at = written_.load(std::memory_order_relaxed);
    size_t done = 0;
    while (done < frames) {
        if (at >= maxFrames_) {
            overBound_.fetch_add(frames - done, std::memory_order_relaxed);
            break;
        }
        float* chunk = chunks_[static_cast<size_t>(at / kChunkFrames)].load(std::memory_order_acquire);
        if (!chunk) {
            lost_.fetch_add(frames - done, std::memory_order_relaxed);
            break;
        }
        const size_t offset = static_cast<size_t>(at % kChunkFrames);
        size_t n = kChunkFrames - offset;
        if (n > frames - done) n = frames - done;
        if (n > maxFrames_ - at) n = static_cast<size_t>(maxFrames_ - at);
        float* out = chunk + offset * 2;
        for (size_t f = 0; f < n; ++f) {
            out[f * 2] = left[done + f];
            out[f * 2 + 1] = right[done + f];
        }
        done += n;
        at += n;
        written_.store(at, std::memory_order_release);
    }
}

bool RecordBuffer::writeWav(std::string& error) const {
    StereoWavWriter writer;
    if (!writer.open(path_, rate_, error)) return false;
    const uint64_t total = frames();
    for (uint64_t at = 0; at < total; at += kChunkFrames) {
        const float* chunk = chunks_[static_cast<size_t>(at / kChunkFrames)].load(std::memory_order_acquire);
        const uint64_t left = total - at;
        const size_t n = left < kChunkFrames ? static_cast<size_t>(left) : kChunkFrames;
        if (!chunk || !writer.write(chunk, n, error)) {
            if (!chunk) error = "recording of " + path_ + " has a hole";
            return false;
        }
    }
    return writer.close(error);
}

std::string recordLine(const RecordBuffer& r) {
    return r.path() + ", " + std::to_string(r.frames()) + " frames";
}

std::string recordNote(const RecordBuffer& r) {
    std::string note;
    if (r.lostFrames())
        note = r.path() + " lost " + std::to_string(r.lostFrames()) + " frames (no memory was ready for them)";
    if (r.framesOverBound()) {
        if (!note.empty()) note += "; ";
        note += r.path() + " stopped at the bound of " + std::to_string(r.maxFrames()) + " frames (1 GiB)";
    }
    return note;
}
