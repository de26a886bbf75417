#pragma once
// What the audio thread has to tell the rest of the host about the
// plug-in's MIDI: the events it handed the host, the time codes their
// quarter frames completed and the transport starts and stops of chasing
// that time code. The audio thread pushes them into a lock-free ring of
// fixed size (single producer, single consumer, no allocation); a pump
// thread drains it, prints the lines and keeps the events for --midi-out.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class LineOutput;

struct HostEvent {
    enum class Kind : uint8_t { Midi, TimeCode, Started, Stopped };
    Kind kind = Kind::Midi;
    // Midi: the instance that sent it, from 1 (0: not one of the run's).
    uint8_t instance = 0;
    // Midi: the three MIDI bytes; TimeCode: hours, minutes, seconds, frames.
    uint8_t bytes[4] = {};
    uint8_t rateBits = 0;  // TimeCode
    // Midi: the song position (block start plus delta frames); Started and
    // Stopped: the transport's position.
    int64_t position = 0;
};

class HostEventRing {
public:
    // `capacity` is rounded up to a power of two (at least 2).
    explicit HostEventRing(size_t capacity);
    HostEventRing(const HostEventRing&) = delete;
    HostEventRing& operator=(const HostEventRing&) = delete;

    // Producer. False (and counted as lost) when full.
    bool push(const HostEvent& event);
    // Consumer. False when empty.
    bool pop(HostEvent& event);
    uint64_t lost() const { return lost_.load(std::memory_order_relaxed); }

private:
    std::vector<HostEvent> slots_;
    size_t mask_ = 0;
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> read_{0};
    std::atomic<uint64_t> lost_{0};
};

// Drains a ring on a thread of its own every few milliseconds: time codes
// are printed as "mtc: HH:MM:SS:FF rate R", the chase's transport changes as
// the transport command prints them, MIDI events are kept (up to
// kMaxKept) when `keep` is given.
class HostEventPump {
public:
    static constexpr size_t kMaxKept = size_t(1) << 24;
    static constexpr unsigned kPollMs = 5;

    HostEventPump(HostEventRing& ring, LineOutput& out, std::vector<HostEvent>* keep);
    ~HostEventPump();  // stops
    HostEventPump(const HostEventPump&) = delete;
    HostEventPump& operator=(const HostEventPump&) = delete;

    bool start();
    // Ends the thread and drains what is left.
    void stop();
    // MIDI events past kMaxKept.
    uint64_t notKept() const { return notKept_; }

private:
    void drain();

    HostEventRing& ring_;
    LineOutput& out_;
    std::vector<HostEvent>* keep_;
    uint64_t notKept_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// Writes the MIDI events one a line, "POSITION B1 B2 B3 INSTANCE" (bytes as
// two upper-case hex digits).
bool writeMidiOut(const std::string& path, const std::vector<HostEvent>& events, std::string& error);
