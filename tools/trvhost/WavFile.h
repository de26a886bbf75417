#pragma once
// WAV input and output of the test host (libsndfile). Audio in memory is
// interleaved stereo float.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads at most `maxFrames` frames of `path` as stereo: mono is duplicated to
// both channels, more channels keep the first two. Refuses a file whose
// sample rate is not `expectedRate`.
bool readWavStereo(const std::string& path, int32_t expectedRate, size_t maxFrames, std::vector<float>& stereo,
                   std::string& error);

// Writes `frames` stereo frames as 32-bit float WAV.
bool writeWavStereoFloat(const std::string& path, int32_t rate, const float* stereo, size_t frames,
                         std::string& error);

// The same format written piece by piece (recordings kept in chunks).
class StereoWavWriter {
public:
    StereoWavWriter() = default;
    ~StereoWavWriter();  // closes
    StereoWavWriter(const StereoWavWriter&) = delete;
    StereoWavWriter& operator=(const StereoWavWriter&) = delete;

    bool open(const std::string& path, int32_t rate, std::string& error);
    bool write(const float* stereo, size_t frames, std::string& error);
    // False when the file could not be finished.
    bool close(std::string& error);

private:
    struct sf_private_tag* file_ = nullptr;
    std::string path_;
};
