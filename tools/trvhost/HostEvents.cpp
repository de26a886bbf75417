#include "tools/trvhost/HostEvents.h"

#include <chrono>
#include <cstdio>
#include <system_error>

#include "tools/trvhost/LineOutput.h"
#include "tools/trvhost/TimeCode.h"

HostEventRing::HostEventRing(size_t capacity) {
    size_t n = 2;
    while (n < capacity) n <<= 1;
    slots_.resize(n);
    mask_ = n - 1;
}

bool HostEventRing::push(const HostEvent& event) {
    const uint64_t w = written_.load(std::memory_order_relaxed);
    if (w - read_.load(std::memory_order_acquire) > mask_) {
        lost_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    slots_[w & mask_] = event;
    written_.store(w + 1, std::memory_order_release);
    return true;
}

bool HostEventRing::pop(HostEvent& event) {
    const uint64_t r = read_.load(std::memory_order_relaxed);
    if (r == written_.load(std::memory_order_acquire)) return false;
    event = slots_[r & mask_];
    read_.store(r + 1, std::memory_order_release);
    return true;
}

HostEventPump::HostEventPump(HostEventRing& ring, LineOutput& out, std::vector<HostEvent>* keep)
    : ring_(ring), out_(out), keep_(keep) {}

HostEventPump::~HostEventPump() { stop(); }

bool HostEventPump::start() {
    if (thread_.joinable()) return false;
    stop_.store(false);
    try {
        thread_ = std::thread([this] {
            while (!stop_.load(std::memory_order_acquire)) {
                drain();
                std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            }
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void HostEventPump::stop() {
    stop_.store(true, std::memory_order_release);
    if (thread_.joinable()) thread_.join();
    drain();
}

void HostEventPump::drain() {
    HostEvent e;
    while (ring_.pop(e)) {
        switch (e.kind) {
        case HostEvent::Kind::Midi:
            if (!keep_) break;
            if (keep_->size() < kMaxKept) keep_->push_back(e);
            else ++notKept_;
            break;
        case HostEvent::Kind::TimeCode: {
            TimeCodeValue v;
            v.hours = e.bytes[0];
            v.minutes = e.bytes[1];
            v.seconds = e.bytes[2];
            v.frames = e.bytes[3];
            v.rateBits = e.rateBits;
            char time[32];
            timecode::format(v, time, sizeof time);
            out_.line("mtc", std::string(time) + " rate " + timecode::rateName(v.rateBits));
            break;
        }
        case HostEvent::Kind::Started:
            out_.line("transport", "playing at " + std::to_string(e.position));
            break;
        case HostEvent::Kind::Stopped:
            out_.line("transport", "stopped at " + std::to_string(e.position));
            break;
        }
    }
}

bool writeMidiOut(const std::string& path, const std::vector<HostEvent>& events, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    bool ok = true;
    for (const HostEvent& e : events) {
        if (std::fprintf(f, "%lld %02X %02X %02X %d\n", static_cast<long long>(e.position), e.bytes[0], e.bytes[1],
                         e.bytes[2], e.instance) < 0)
            ok = false;
    }
    if (std::fclose(f) != 0 || !ok) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
