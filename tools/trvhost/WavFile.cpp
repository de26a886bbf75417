#include "tools/trvhost/WavFile.h"

#include <sndfile.h>

#include <new>

bool readWavStereo(const std::string& path, int32_t expectedRate, size_t maxFrames, std::vector<float>& stereo,
                   std::string& error) {
    stereo.clear();
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    bool ok = true;
    if (info.samplerate != expectedRate) {
        error = path + " has a sample rate of " + std::to_string(info.samplerate) + " Hz, not the " +
                std::to_string(expectedRate) + " Hz of the run (use --rate)";
        ok = false;
    } else if (info.channels < 1) {
        error = path + " has no channels";
        ok = false;
    }
    if (ok) {
        const size_t available = info.frames > 0 ? static_cast<size_t>(info.frames) : 0;
        const size_t frames = available < maxFrames ? available : maxFrames;
        const size_t channels = static_cast<size_t>(info.channels);
        std::vector<float> block;
        constexpr size_t kChunkFrames = 4096;
        try {
            stereo.reserve(frames * 2);
            block.resize(kChunkFrames * channels);
        } catch (const std::bad_alloc&) {
            error = path + " is too long to hold in memory";
            ok = false;
        }
        size_t done = 0;
        while (ok && done < frames) {
            const size_t want = frames - done < kChunkFrames ? frames - done : kChunkFrames;
            const sf_count_t got = sf_readf_float(file, block.data(), static_cast<sf_count_t>(want));
            if (got <= 0) break;
            for (sf_count_t f = 0; f < got; ++f) {
                const float* frame = &block[static_cast<size_t>(f) * channels];
                stereo.push_back(frame[0]);
                stereo.push_back(channels > 1 ? frame[1] : frame[0]);
            }
            done += static_cast<size_t>(got);
        }
    }
    sf_close(file);
    return ok;
}

bool writeWavStereoFloat(const std::string& path, int32_t rate, const float* stereo, size_t frames,
                         std::string& error) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    const sf_count_t written = frames ? sf_writef_float(file, stereo, static_cast<sf_count_t>(frames)) : 0;
    const bool ok = written == static_cast<sf_count_t>(frames);
    if (!ok) error = "cannot write " + path + ": " + sf_strerror(file);
    sf_close(file);
    return ok;
}

StereoWavWriter::~StereoWavWriter() {
    std::string ignored;
    close(ignored);
}

bool StereoWavWriter::open(const std::string& path, int32_t rate, std::string& error) {
    std::string ignored;
    close(ignored);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    path_ = path;
    return true;
}

bool StereoWavWriter::write(const float* stereo, size_t frames, std::string& error) {
    if (!file_) {
        error = "no file is open";
        return false;
    }
    if (frames == 0) return true;
    if (sf_writef_float(file_, stereo, static_cast<sf_count_t>(frames)) != static_cast<sf_count_t>(frames)) {
        error = "cannot write " + path_ + ": " + sf_strerror(file_);
        return false;
    }
    return true;
}

bool StereoWavWriter::close(std::string& error) {
    if (!file_) return true;
    const int rc = sf_close(file_);
    file_ = nullptr;
    if (rc != 0) {
        error = "cannot finish " + path_ + ": " + sf_error_number(rc);
        return false;
    }
    return true;
}
