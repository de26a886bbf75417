#pragma once
// What the session tests of the host share: per-test file names, WAV files
// in and out, and a whole host session with its printed output.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/trvhost/HostSession.h"
#include "tools/trvhost/WavFile.h"

namespace hosttest {

inline std::string tempPath(const std::string& name) {
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "trvhost_" + t->name() + "_" + name;
}

inline std::vector<float> ramp(size_t frames, int channels) {
    std::vector<float> v(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(i % 1000) / 1000.0f - 0.5f;
    return v;
}

inline void writeWav(const std::string& path, int rate, int channels, const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, samples.data(), static_cast<sf_count_t>(samples.size() / static_cast<size_t>(channels)));
    sf_close(f);
}

inline std::vector<float> readOutput(const std::string& path, size_t maxFrames = 1 << 24, int rate = 48000) {
    std::vector<float> out;
    std::string error;
    EXPECT_TRUE(readWavStereo(path, rate, maxFrames, out, error)) << error;
    return out;
}

struct Session {
    int status = -1;
    std::string out;
    std::string err;
};

inline Session runSession(const HostOptions& o, VstPluginMainProc builtIn = nullptr) {
    Session s;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    s.status = runHostSession(o, builtIn, out, err);
    for (auto [file, text] : {std::pair<std::FILE*, std::string*>{out, &s.out}, {err, &s.err}}) {
        std::rewind(file);
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof(buffer), file)) > 0) text->append(buffer, n);
        std::fclose(file);
    }
    return s;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The printed lines that start with `prefix`, without it.
inline std::vector<std::string> linesWith(const std::string& text, const std::string& prefix) {
    std::vector<std::string> found;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
        at = end + 1;
    }
    return found;
}

inline void writeText(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

}  // namespace hosttest
