#include "tools/trvhost/TimeCode.h"

#include <cstdio>

bool MtcDecoder::feed(uint8_t data, TimeCodeValue& out) {
    if (data & 0x80) {  // not a data byte
        next_ = 0;
        return false;
    }
    const int piece = data >> 4;
    if (piece == 0) next_ = 0;
    if (piece != next_) {
        next_ = 0;
        return false;
    }
    nibbles_[piece] = static_cast<uint8_t>(data & 0x0F);
    if (++next_ < 8) return false;
    next_ = 0;
    out.frames = nibbles_[0] | (nibbles_[1] & 0x1) << 4;
    out.seconds = nibbles_[2] | (nibbles_[3] & 0x3) << 4;
    out.minutes = nibbles_[4] | (nibbles_[5] & 0x3) << 4;
    out.hours = nibbles_[6] | (nibbles_[7] & 0x1) << 4;
    out.rateBits = (nibbles_[7] >> 1) & 0x3;
    return true;
}

namespace timecode {

namespace {
constexpr int kFramesPerSecond[4] = {24, 25, 30, 30};
constexpr int kDropFrame = 2;
}  // namespace

const char* rateName(int rateBits) {
    static const char* const kNames[4] = {"24", "25", "30df", "30"};
    return kNames[rateBits & 3];
}

void format(const TimeCodeValue& v, char* text, int size) {
    std::snprintf(text, static_cast<size_t>(size), "%02d:%02d:%02d:%02d", v.hours, v.minutes, v.seconds, v.frames);
}

int64_t frameCount(const TimeCodeValue& v, int extraFrames) {
    const int fps = kFramesPerSecond[v.rateBits & 3];
    const int64_t minutes = int64_t(v.hours) * 60 + v.minutes;
    int64_t n = (minutes * 60 + v.seconds) * fps + v.frames;
    if ((v.rateBits & 3) == kDropFrame) n -= 2 * (minutes - minutes / 10);
    return n + extraFrames;
}

int64_t toSamples(const TimeCodeValue& v, int extraFrames, int64_t rate) {
    const int64_t n = frameCount(v, extraFrames);
    if ((v.rateBits & 3) == kDropFrame) return (n * rate * 1001 + 15000) / 30000;
    const int64_t fps = kFramesPerSecond[v.rateBits & 3];
    return (n * rate + fps / 2) / fps;
}

}  // namespace timecode
