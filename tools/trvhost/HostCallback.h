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
// Threads: the callback may come from any thread. The transport lives
// under a small lock that the audio thread only try-locks: at the start of
// a block it takes the requests other threads posted (play, stop, tempo) and
// a copy of the transport for the block, at the end it moves the position
// on (when the lock is busy the frames wait in an atomic for the next
// turn). Time requests from the audio thread are answered from its copy
// without a lock, others under the lock. Each time record returned by
// audioMasterGetTime is overwritten by the next request of the same side;
// on the audio thread every request of a block gets the same answer
// (kVstTransportChanged for the whole block after a change).
//
// Several instances may be adopted; each keeps the host in its resvd1.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

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

    // Takes an effect the entry point returned: stores this host in resvd1.
    void adopt(AEffect* effect);
    // False when an adopted instance overwrote resvd1.
    bool reservedFieldIntact() const;
    bool reservedFieldIntact(const AEffect* effect) const;

    // The thread that runs the blocks, around its whole run: from then on
    // transport requests wait for its next block.
    void audioThreadBegins();
    void audioThreadEnds();
    // Audio thread, around the processReplacing calls of each block.
    void beginBlock();
    void endBlock(VstInt32 frames);

    // Any thread but the audio thread. A request takes effect at the start
    // of the audio thread's next block, at once while no audio thread
    // runs; the serial it returns is for waitTransport.
    uint64_t setPlaying(bool playing);
    uint64_t setTempo(double bpm);
    // Waits at most `ms` for request `serial` to take effect; true with the
    // sample position it took effect at.
    bool waitTransport(uint64_t serial, uint32_t ms, int64_t& position);
    int64_t samplePosition();
    bool playing();

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
    // Under transportLock_.
    void applyRequests();
    void absorbPendingFrames();

    const Config config_;
    std::mutex transportLock_;
    // Under transportLock_: the transport, the requests for it and the time
    // record of the other threads.
    Transport transport_;
    Transport otherTransport_;
    VstTimeInfo timeInfo_;
    bool wantPlaying_ = false;
    double wantTempo_ = 120.0;
    uint64_t requested_ = 0;
    bool audioRunning_ = false;
    std::atomic<uint64_t> applied_{0};
    std::atomic<int64_t> appliedAt_{0};
    // Frames of playing blocks the audio thread could not add yet.
    std::atomic<int64_t> pendingFrames_{0};
    // Audio thread: the block's transport and its time record.
    Transport audioTransport_;
    VstTimeInfo audioTimeInfo_;
    std::vector<AEffect*> effects_;
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
