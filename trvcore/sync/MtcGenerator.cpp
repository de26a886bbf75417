#include "trvcore/sync/MtcGenerator.h"

namespace {

struct RateRow {
    double rate;
    double multiplier;
    uint8_t bits;
    int counted;
};

constexpr RateRow kRates[MtcGenerator::kCodes] = {
    {24.0, 1.0, 0x0, 24},         {25.0, 1.0, 0x2, 25},  {29.97, 0.999000999, 0x6, 30},
    {30.0, 1.0, 0x6, 30},         {29.97, 0.999000999, 0x4, 30}, {30.0, 1.0, 0x4, 30},
};

// 29.97 drop-frame numbering: two frame numbers are skipped at the start of
// every minute but each tenth.
constexpr int64_t kFramesPer10Minutes = 17982;
constexpr int64_t kFramesPerDroppedMinute = 1798;

}  // namespace

uint8_t MtcGenerator::rateBits(int code) { return code >= 0 && code < kCodes ? kRates[code].bits : 0; }

void MtcGenerator::setSampleRate(double rate) {
    if (!(rate > 0.0)) return;
    sampleRate_ = rate;
    code_ = kNoCode;  // the next setFrameRate recomputes the steps
}

void MtcGenerator::setFrameRate(int code) {
    if (code == code_) return;
    if (code < 0 || code >= kCodes) {
        if (code_ != kNoCode) return;  // an unknown code keeps the rate in use
        code = 0;
    }
    code_ = code;
    const RateRow& r = kRates[code];
    framesPerSecond_ = r.counted;
    // The 29.97 rates run at 30 frames times the multiplier (30000/1001 a
    // second), as a receiver of that time code counts them.
    subframeSamples_ = sampleRate_ / (r.counted * r.multiplier) * 0.0125;
    quarterFrameSamples_ = 20.0 * subframeSamples_;
}

void MtcGenerator::locate(int64_t position) {
    if (running()) return;
    if (code_ == kNoCode) setFrameRate(0);
    int64_t d = position - static_cast<int64_t>(startOffset_ * sampleRate_);
    if (d < 0) d = 0;
    if (dropFrame(code_)) {
        // Count the frames that have passed (in 1/80-frame units, rounded),
        // then number them as drop-frame time code does.
        const int64_t subframes = static_cast<int64_t>(static_cast<double>(d) / subframeSamples_ + 0.4999999);
        int64_t n = subframes / 80;
        const int64_t tens = n / kFramesPer10Minutes;
        const int64_t rest = n % kFramesPer10Minutes;
        n += 18 * tens + (rest > 1 ? 2 * ((rest - 2) / kFramesPerDroppedMinute) : 0);
        frames_ = static_cast<int>(n % 30);
        const int64_t secs = n / 30;
        seconds_ = static_cast<int>(secs % 60);
        minutes_ = static_cast<int>(secs / 60 % 60);
        hours_ = static_cast<int>(secs / 3600 % 24);
    } else {
        const int64_t secs = static_cast<int64_t>(static_cast<double>(d) / sampleRate_);
        hours_ = static_cast<int>(secs / 3600);
        minutes_ = static_cast<int>(secs / 60 % 60);
        seconds_ = static_cast<int>(secs % 60);
        frames_ = 0;
        const double rest = static_cast<double>(d) - static_cast<double>(secs) * sampleRate_;
        if (rest > 0.0) {
            frames_ = static_cast<int>(static_cast<int64_t>(rest / subframeSamples_ + 0.4999999) / 80);
            if (frames_ >= framesPerSecond_) {
                frames_ = 0;
                ++seconds_;
            }
        }
        if (seconds_ >= 60) {
            seconds_ -= 60;
            ++minutes_;
        }
        if (minutes_ >= 60) {
            minutes_ -= 60;
            ++hours_;
        }
        hours_ %= 24;
    }
    piece_ = 0;
    accumulator_ = quarterFrameSamples_;  // the first message is due at once
    running_.store(true, std::memory_order_relaxed);
}

uint8_t MtcGenerator::nibble() const {
    switch (piece_) {
        case 0: return static_cast<uint8_t>(frames_ & 0xF);
        case 1: return static_cast<uint8_t>(frames_ >> 4);
        case 2: return static_cast<uint8_t>(seconds_ & 0xF);
        case 3: return static_cast<uint8_t>(seconds_ >> 4);
        case 4: return static_cast<uint8_t>(minutes_ & 0xF);
        case 5: return static_cast<uint8_t>(minutes_ >> 4);
        case 6: return static_cast<uint8_t>(hours_ & 0xF);
        default: return static_cast<uint8_t>(rateBits(code_) | (hours_ >> 4));
    }
}

void MtcGenerator::advance() {
    piece_ = (piece_ + 1) & 7;
    if (piece_ != 0) return;
    // A whole message (eight quarter frames) spans two frames.
    frames_ += 2;
    if (frames_ < framesPerSecond_) return;
    frames_ -= framesPerSecond_;
    if (++seconds_ < 60) return;
    seconds_ = 0;
    if (++minutes_ < 60) {
        if (dropFrame(code_) && minutes_ % 10 != 0) frames_ = 2;
        return;
    }
    minutes_ = 0;
    if (++hours_ > 23) hours_ = 0;
}

int MtcGenerator::generate(uint8_t* bytes, int frames, int max) {
    if (!running() || !bytes || !(quarterFrameSamples_ > 0.0)) return 0;
    accumulator_ += frames;
    int n = 0;
    while (accumulator_ >= quarterFrameSamples_ && n < max) {
        bytes[n++] = static_cast<uint8_t>((piece_ << 4) | nibble());
        advance();
        accumulator_ -= quarterFrameSamples_;
    }
    return n;
}
