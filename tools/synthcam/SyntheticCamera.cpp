#include "tools/synthcam/SyntheticCamera.h"

#include <cstdio>
#include <cstring>

#include "platform/Clock.h"
#include "platform/NanoClock.h"

namespace {

double nanoClock() { return static_cast<double>(nowNanoseconds()); }

constexpr int kMinSide = 16;
constexpr int kMaxSide = 4096;
constexpr unsigned kJoinMs = 2000;
// Eight bars at 75 % level: white, yellow, cyan, green, magenta, red, blue, black.
constexpr uint8_t kBars[8][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                 {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {0, 0, 0}};

}  // namespace

bool SyntheticCamera::parse(const std::string& text, Format& out) {
    Format s;
    std::string rest;
    if (text.compare(0, 4, "bars") == 0) {
        s.kind = Kind::Bars;
        rest = text.substr(4);
    } else if (text.compare(0, 7, "pattern") == 0) {
        s.kind = Kind::Pattern;
        rest = text.substr(7);
    } else {
        return false;
    }
    if (!rest.empty()) {
        if (rest[0] != ':') return false;
        int w = 0, h = 0, used = 0;
        double fps = s.fps;
        if (std::sscanf(rest.c_str(), ":%dx%d%n", &w, &h, &used) != 2) return false;
        if (rest[static_cast<size_t>(used)] == '@') {
            int more = 0;
            if (std::sscanf(rest.c_str() + used, "@%lf%n", &fps, &more) != 1) return false;
            used += more;
        }
        if (static_cast<size_t>(used) != rest.size()) return false;
        s.width = w;
        s.height = h;
        s.fps = fps;
    }
    if (s.width < kMinSide || s.width > kMaxSide || s.height < kMinSide || s.height > kMaxSide) return false;
    if (!(s.fps >= 0.1 && s.fps <= 240.0)) return false;
    out = s;
    return true;
}

SyntheticCamera::SyntheticCamera(const Format& format)
    : format_(format), frame_(new uint8_t[static_cast<size_t>(format.width) * format.height * 3]) {}

SyntheticCamera::~SyntheticCamera() { stop(); }

void SyntheticCamera::squareAt(const Format& format, uint32_t n, int& x, int& y, int& side) {
    side = format.height / 4;
    // Bounces between the edges, 4 % of the width a frame across and half
    // that down, so consecutive frames always differ.
    const int rangeX = format.width - side;
    const int rangeY = format.height - side;
    const int stepX = format.width / 25 > 0 ? format.width / 25 : 1;
    const int stepY = stepX / 2 > 0 ? stepX / 2 : 1;
    auto bounce = [](int64_t travelled, int range) {
        if (range <= 0) return 0;
        const int64_t p = travelled % (2 * static_cast<int64_t>(range));
        return static_cast<int>(p <= range ? p : 2 * range - p);
    };
    x = bounce(static_cast<int64_t>(n) * stepX, rangeX);
    y = bounce(static_cast<int64_t>(n) * stepY, rangeY);
}

void SyntheticCamera::draw(const Format& format, uint32_t n, uint8_t* rgb) {
    const size_t stride = static_cast<size_t>(format.width) * 3;
    for (int x = 0; x < format.width; ++x) {
        const uint8_t* c = kBars[x * 8 / format.width];
        std::memcpy(rgb + static_cast<size_t>(x) * 3, c, 3);
    }
    for (int y = 1; y < format.height; ++y) std::memcpy(rgb + y * stride, rgb, stride);
    if (format.kind != Kind::Pattern) return;
    int sx, sy, side;
    squareAt(format, n, sx, sy, side);
    for (int y = sy; y < sy + side; ++y)
        std::memset(rgb + y * stride + static_cast<size_t>(sx) * 3, 255, static_cast<size_t>(side) * 3);
}

bool SyntheticCamera::start(platform::CameraSink* sink) {
    if (!sink || thread_.started()) return false;
    sink_ = sink;
    running_.store(true, std::memory_order_relaxed);
    if (thread_.start(&SyntheticCamera::entry, this, platform::ThreadPriority::Normal)) return true;
    running_.store(false, std::memory_order_relaxed);
    return false;
}

void SyntheticCamera::stop() {
    if (!thread_.started()) return;
    running_.store(false, std::memory_order_relaxed);
    thread_.join(kJoinMs);
}

void SyntheticCamera::entry(void* self) { static_cast<SyntheticCamera*>(self)->run(); }

void SyntheticCamera::run() {
    // Frames on a fixed schedule from the start, so the rate holds however
    // long a frame's delivery takes (a late frame is not made up for).
    const double periodNs = 1e9 / format_.fps;
    const double startNs = nanoClock();
    uint32_t n = 0;
    while (running_.load(std::memory_order_relaxed)) {
        draw(format_, n, frame_.get());
        sink_->onCameraFrame(frame_.get(), format_.width, format_.height, format_.width * 3);
        frames_.fetch_add(1, std::memory_order_relaxed);
        ++n;
        double due = startNs + n * periodNs;
        const double now = nanoClock();
        if (due < now) {  // behind: start the schedule again from now
            n = static_cast<uint32_t>((now - startNs) / periodNs) + 1;
            due = startNs + n * periodNs;
        }
        // Short sleeps so stop() is prompt at low rates too.
        while (running_.load(std::memory_order_relaxed) && nanoClock() < due) {
            const double left = (due - nanoClock()) / 1e6;
            platform::sleepMilliseconds(left > 20.0 ? 20u : left > 1.0 ? static_cast<uint32_t>(left) : 1u);
        }
    }
}
