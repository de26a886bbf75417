#pragma once
// MIDI time code for the host: when the partner starts playing while this
// host stands, the generator is located at the partner's position (less a
// second, so the host has time to follow) and then hands out quarter-frame
// messages (0xF1 xx) as the blocks go by, through the instance chosen as
// the sync source. A sequencer slaved to MIDI time code follows them.
//
// Frame rates by the host's SMPTE code: 0 = 24, 1 = 25, 2 = 29.97, 3 = 30,
// 4 = 29.97 drop-frame, 5 = 30 drop-frame (29.97 is 30000/1001 frames a
// second, numbered as 30). Another code keeps the rate in use (24 if there
// was none yet).
//
// Threads: setFrameRate and generate on the audio thread inside the block
// cycle; locate, stop and setSampleRate from other threads under the same
// processLock (the controller sees to it). running() may be read anywhere.
#include <atomic>
#include <cstdint>

class MtcGenerator {
public:
    static constexpr int kCodes = 6;
    static constexpr int kNoCode = 6;
    // Quarter frames handed out per block at most; the rest follow later.
    static constexpr int kMaxPerBlock = 32;

    void setSampleRate(double rate);
    // The host's SMPTE code, from every cycle leader.
    void setFrameRate(int code);
    // Starts the time code at `position` (samples) minus the start offset;
    // ignored while running.
    void locate(int64_t position);
    void stop() { running_.store(false, std::memory_order_relaxed); }
    bool running() const { return running_.load(std::memory_order_relaxed); }

    // Adds `frames` of elapsed audio and writes the quarter-frame data
    // bytes now due (at most `max`) into `bytes`; returns their count.
    int generate(uint8_t* bytes, int frames, int max);

    // The time code that the next full message will carry.
    int hours() const { return hours_; }
    int minutes() const { return minutes_; }
    int seconds() const { return seconds_; }
    int frames() const { return frames_; }
    int frameRateCode() const { return code_; }
    int framesPerSecond() const { return framesPerSecond_; }
    double quarterFrameSamples() const { return quarterFrameSamples_; }

    // The rate bits piece 7 carries for a code (0..5).
    static uint8_t rateBits(int code);
    static bool dropFrame(int code) { return code == 4 || code == 5; }

private:
    void advance();
    uint8_t nibble() const;

    double sampleRate_ = 48000.0;
    double subframeSamples_ = 0.0;
    double quarterFrameSamples_ = 0.0;
    double accumulator_ = 0.0;
    double startOffset_ = 1.0;  // seconds subtracted from a located position
    int code_ = kNoCode;
    int framesPerSecond_ = 24;
    int piece_ = 0;
    int frames_ = 0;
    int seconds_ = 0;
    int minutes_ = 0;
    int hours_ = 0;
    std::atomic<bool> running_{false};
};
