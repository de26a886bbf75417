#pragma once
// Sample buffers of the audio streams, allocated off the audio thread.
#include <cstring>
#include <memory>
#include <new>

// `frames` zeroed floats, or null when frames is below 1 or memory is short.
inline std::unique_ptr<float[]> zeroedSamples(int frames) {
    if (frames <= 0) return nullptr;
    std::unique_ptr<float[]> p(new (std::nothrow) float[static_cast<size_t>(frames)]);
    if (p) std::memset(p.get(), 0, sizeof(float) * static_cast<size_t>(frames));
    return p;
}
