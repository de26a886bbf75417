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
// a block it takes the requests other threads posted (play, stop, tempo,
// locate, loop) and a copy of the transport for the block; at the end it
// moves its copy on (wrapping at the loop end) and publishes the position
// and play state in atomics that the locked transport takes whenever the
// lock is next had. Time requests from the audio thread are answered from
// its copy without a lock, others under the lock. Each time record returned
// by audioMasterGetTime is overwritten by the next request of the same
// side; on the audio thread every request of a block gets the same answer
// (kVstTransportChanged for the whole block after a change).
//
// MIDI from the plug-in (audioMasterProcessEvents inside a block, on the
// thread running the blocks) goes to a lock-free ring when the run keeps
// it: each event with its song position (the block's start plus its delta
// frames) and its instance. Quarter frames (0xF1 xx) feed a time code
// decoder there too; each complete time code goes to the ring for the
// "mtc:" line and, when chasing, steers the transport: a complete time code
// while stopped locates the transport at it (plus the two frames its
// eight quarter frames took) and plays; 500 ms (counted in blocks) without
// a quarter frame stops a transport the chase started. The chase's starts
// and stops go to the ring too, to be printed.
//
// Several instances may be adopted; each keeps the host in its resvd1.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "tools/trvhost/HostEvents.h"
#include "tools/trvhost/TimeCode.h"
#include "tools/trvhost/Transport.h"
#include "vst/VstAbi.h"

class FileSelector;

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
        // The loop from the start, in quarter notes (when loopEnd > loopStart).
        bool loop = false;
        double loopStart = 0.0;
        double loopEnd = 0.0;
        VstInt32 smpteFrameRate = 0;
        // The plug-in's MIDI events go to the event ring, and the time codes
        // they complete.
        bool keepMidi = false;
        // The transport follows the time code the plug-in hands the host.
        bool chaseTimeCode = false;
    };

    static constexpr size_t kEventRingCapacity = size_t(1) << 16;
    // No quarter frame for this long stops a chasing transport.
    static constexpr double kChaseTimeoutSeconds = 0.5;
    // What eight quarter frames take: the time code plus this many frames
    // is the time when the last of them arrives.
    static constexpr int kTimeCodeFrames = 2;

    // The transport as the command side sees it.
    struct TransportState {
        int64_t position = 0;
        bool playing = false;
        double tempo = 120.0;
        bool loop = false;
        double loopStart = 0.0;
        double loopEnd = 0.0;
        int64_t loopStartSamples = 0;
        int64_t loopEndSamples = 0;
        double sampleRate = 48000.0;
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
    // Audio thread, between beginBlock and endBlock: the block's song
    // position (its start) and play state.
    int64_t blockPosition() const { return audioTransport_.samplePosition(); }
    bool blockPlaying() const { return audioTransport_.playing(); }

    // Any thread but the audio thread. A request takes effect at the start
    // of the audio thread's next block, at once while no audio thread
    // runs; the serial it returns is for waitTransport.
    uint64_t setPlaying(bool playing);
    uint64_t setTempo(double bpm);
    // Sets the song position (clamped at 0), playing or not.
    uint64_t locate(int64_t position);
    // The loop in quarter notes (start < end), or none.
    uint64_t setLoop(bool on, double startQuarters, double endQuarters);
    // The SMPTE frame-rate code the host reports from then on.
    uint64_t setSmpteFrameRate(VstInt32 code);
    // Waits at most `ms` for request `serial` to take effect; true with the
    // sample position it took effect at.
    bool waitTransport(uint64_t serial, uint32_t ms, int64_t& position);
    int64_t samplePosition();
    bool playing();
    TransportState transportState();

    // The ring the audio thread reports MIDI, time codes and the chase's
    // transport changes to (one consumer).
    HostEventRing& events() { return events_; }

    bool wantsMidi() const { return wantsMidi_.load(); }
    uint64_t eventsReceived() const { return eventsReceived_.load(); }
    uint64_t midiEventsReceived() const { return midiEventsReceived_.load(); }
    // audioMasterProcessEvents calls outside processReplacing, refused.
    uint64_t eventCallsRefused() const { return eventCallsRefused_.load(); }
    // MIDI events that came inside a block from a thread other than the
    // one running the blocks: counted, not kept.
    uint64_t midiOffThread() const { return midiOffThread_.load(); }
    uint64_t callCount(VstInt32 opcode) const;
    // Width and height of the last audioMasterSizeWindow request.
    // The file selector the plug-in's dialogs go to (null: the host has
    // none and answers 0). The selector outlives its installation.
    void setFileSelector(FileSelector* selector) { fileSelector_.store(selector); }
    VstInt32 requestedWidth() const { return requestedWidth_.load(); }
    VstInt32 requestedHeight() const { return requestedHeight_.load(); }

    static const char* const kCanDoYes[];

private:
    VstIntPtr processEvents(AEffect* effect, const VstEvents* events);
    // Audio thread: one MIDI event of the plug-in.
    void takeMidi(AEffect* effect, const VstMidiEvent& event);
    // Audio thread, at the end of a block: the chase's decision.
    void chase(VstInt32 frames);
    // Under transportLock_.
    void applyRequests();
    void absorbAudioState();
    int64_t currentPosition() const;
    bool currentPlaying() const;

    // What a request changes; the latest of each kind wins.
    struct Requests {
        bool play = false;
        bool playing = false;
        bool tempo = false;
        double bpm = 120.0;
        bool locate = false;
        int64_t position = 0;
        bool loop = false;
        bool loopOn = false;
        double loopStart = 0.0;
        double loopEnd = 0.0;
        bool smpte = false;
        VstInt32 smpteCode = 0;
    };

    const Config config_;
    std::mutex transportLock_;
    // Under transportLock_: the transport, the requests for it and the time
    // record of the other threads.
    Transport transport_;
    Transport otherTransport_;
    VstTimeInfo timeInfo_;
    Requests wanted_;
    uint64_t requested_ = 0;
    bool audioRunning_ = false;
    std::atomic<uint64_t> applied_{0};
    std::atomic<int64_t> appliedAt_{0};
    // The audio thread's position and play state (-1: none) after its
    // latest block, not yet taken by the locked transport.
    std::atomic<int64_t> pendingPosition_{-1};
    std::atomic<int> pendingPlaying_{-1};
    // Audio thread: the block's transport and its time record.
    Transport audioTransport_;
    VstTimeInfo audioTimeInfo_;
    // Audio thread (or under transportLock_ while none runs): the chase.
    MtcDecoder decoder_;
    bool codeComplete_ = false;
    TimeCodeValue code_;
    int quarterFramesInBlock_ = 0;
    int64_t framesWithoutQuarterFrame_ = 0;
    bool following_ = false;
    HostEventRing events_;
    std::vector<AEffect*> effects_;
    std::atomic<bool> inBlock_{false};
    std::atomic<bool> wantsMidi_{false};
    std::atomic<uint64_t> eventsReceived_{0};
    std::atomic<uint64_t> midiEventsReceived_{0};
    std::atomic<uint64_t> eventCallsRefused_{0};
    std::atomic<uint64_t> midiOffThread_{0};
    std::atomic<VstInt32> requestedWidth_{0};
    std::atomic<FileSelector*> fileSelector_{nullptr};
    std::atomic<VstInt32> requestedHeight_{0};
    std::atomic<uint64_t> calls_[kCountedOpcodes];
};

// Name of a host-callback opcode, or null.
const char* audioMasterOpcodeName(VstInt32 opcode);
