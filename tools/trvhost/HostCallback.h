#pragma once
// The host side of the plug-in boundary: the callback the plug-in calls,
// the simulated transport behind audioMasterGetTime, and counters of what
// the plug-in asked for.
//
// One TestHost is installed per process at a time (install()); the
// callback answers for it whether or not the plug-in passes its record.
// Like Ardour, the host keeps its own pointer in the record's resvd1 and
// checks at the end that the plug-in left it alone.
//
// Threads: the callback may come from any thread. The transport and the
// time record are guarded by one mutex; the time record returned by
// audioMasterGetTime is overwritten by the next request.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "tools/trvhost/Transport.h"
#include "vst/VstAbi.h"

class TestHost {
public:
    static constexpr VstIntPtr kHostVstVersion = 2400;
    static constexpr VstInt32 kMaxEventsPerCall = 1 << 16;
    static constexpr int kCountedOpcodes = 64;

    struct Config {
        double sampleRate = 48000.0;
        VstInt32 blockSize = 256;
        VstInt32 inputLatency = 0;
        VstInt32 outputLatency = 0;
        double tempo = 120.0;
        bool playing = false;
    };

    explicit TestHost(const Config& config);
    ~TestHost();  // uninstalls
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // Makes this the host the callback answers for.
    void install();
    static VstIntPtr VSTCALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);
    VstIntPtr handle(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);

    // Takes the effect the entry point returned: stores this host in resvd1.
    void adopt(AEffect* effect);
    // False when the plug-in overwrote resvd1.
    bool reservedFieldIntact() const;

    // Audio thread, around each processReplacing call.
    void beginBlock();
    void endBlock(VstInt32 frames);

    // Any thread.
    void setPlaying(bool playing);
    void setTempo(double bpm);
    int64_t samplePosition();

    bool wantsMidi() const { return wantsMidi_.load(); }
    uint64_t eventsReceived() const { return eventsReceived_.load(); }
    uint64_t midiEventsReceived() const { return midiEventsReceived_.load(); }
    // audioMasterProcessEvents calls outside processReplacing, refused.
    uint64_t eventCallsRefused() const { return eventCallsRefused_.load(); }
    uint64_t callCount(VstInt32 opcode) const;
    // Width and height of the last audioMasterSizeWindow request.
    VstInt32 requestedWidth() const { return requestedWidth_.load(); }
    VstInt32 requestedHeight() const { return requestedHeight_.load(); }

    static const char* const kCanDoYes[];

private:
    VstIntPtr processEvents(const VstEvents* events);

    const Config config_;
    std::mutex transportLock_;
    Transport transport_;
    VstTimeInfo timeInfo_;
    AEffect* effect_ = nullptr;
    std::atomic<bool> inBlock_{false};
    std::atomic<bool> wantsMidi_{false};
    std::atomic<uint64_t> eventsReceived_{0};
    std::atomic<uint64_t> midiEventsReceived_{0};
    std::atomic<uint64_t> eventCallsRefused_{0};
    std::atomic<VstInt32> requestedWidth_{0};
    std::atomic<VstInt32> requestedHeight_{0};
    std::atomic<uint64_t> calls_[kCountedOpcodes];
};

// Name of a host-callback opcode, or null.
const char* audioMasterOpcodeName(VstInt32 opcode);
