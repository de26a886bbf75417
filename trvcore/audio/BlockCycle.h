#pragma once
// The per-block audio cycle shared by all plug-in instances. The calls of
// all registered instances in one host block make one cycle: the first
// (the leader) asks its host for time info, keeps a copy of it, gives the
// time code generator the host's frame rate and opens every connected
// session's send, receive and MIDI blocks; the last one closes them, hands
// the partners' MIDI to the host through the leader and the time code
// through the sync source. processLock
// is held from each instance's begin() to its end(), so the instances'
// parts of a cycle never run at once and everything that changes what a
// cycle uses (the sessions here, the registry's instances and sync source,
// the streams' buffers, an instance's partner) does so between them.
//
// Audio thread: begin, end, alertChime and the getters inside a cycle.
// Other threads: addSession/removeSession, forgetLeader (under the lock),
// startChime, cycleTime.
#include "platform/Lock.h"
#include "trvcore/audio/AlertChime.h"
#include "trvcore/audio/AudioStreamHost.h"
#include "trvcore/audio/CycleSessions.h"
#include "trvcore/midi/MidiEventBlock.h"
#include "vst/VstAbi.h"

class InstanceRegistry;
class MessageLog;
class MtcGenerator;
class ProcessInstance;

class BlockCycle {
public:
    // The time info asked of the host every block: positions, tempo, bars,
    // cycle and time signature.
    static constexpr VstInt32 kTimeInfoFilter = 0x3E00;
    static constexpr const char* kNoTimeInfoText = "No VSTTimeInfo : TRV can\x92t work with this application!";
    static constexpr int kTimeCodeEvents = 32;

    BlockCycle(platform::RecursiveLock& processLock, InstanceRegistry& instances, MtcGenerator& timeCode,
               MessageLog& log)
        : processLock_(processLock), instances_(instances), timeCode_(timeCode), log_(log), sessions_(processLock) {}
    BlockCycle(const BlockCycle&) = delete;
    BlockCycle& operator=(const BlockCycle&) = delete;

    // Takes processLock; end() lets go of it.
    void begin(ProcessInstance* instance, int frames);
    void end(ProcessInstance* instance);

    // The chime while it plays, to the cycle leader only; else null.
    AlertChime* alertChime();
    void startChime() { chime_.start(); }

    // The current cycle's host time info (all zero when the host gave none).
    const VstTimeInfo& timeInfo() const { return *currentTimeInfo_; }
    const CycleTime& cycleTime() const { return cycleTime_; }
    // A copy of the last host time info (all zero before the first). Any
    // thread; takes processLock.
    void copyTimeInfo(VstTimeInfo& out) const;
    int frames() const { return cycleFrames_; }
    double blockEndPosition() const { return blockEndPosition_; }
    ProcessInstance* leader() const;
    // Under processLock: an instance leaving in the middle of a host block
    // leads no more.
    void forgetLeader(const ProcessInstance* instance);

    // The connected sessions (see CycleSessions).
    bool addSession(PartnerSession& s) { return sessions_.add(s); }
    void removeSession(PartnerSession& s) { sessions_.remove(s); }
    int sessionCount() const { return sessions_.count(); }
    // Lets go of every session still in the cycle (at the controller's end).
    void dropSessions();

private:
    platform::RecursiveLock& processLock_;
    InstanceRegistry& instances_;
    MtcGenerator& timeCode_;
    MessageLog& log_;
    // The audio thread's, under processLock.
    int remaining_ = 0;
    ProcessInstance* leader_ = nullptr;
    int cycleFrames_ = 0;
    const VstTimeInfo* currentTimeInfo_ = &defaultTimeInfo_;
    VstTimeInfo defaultTimeInfo_{};
    double blockEndPosition_ = 0.0;
    CycleTime cycleTime_;
    VstTimeInfo snapshot_{};
    // The time code quarter frames of one cycle, handed to the sync source.
    MidiEventBlock timeCodeEvents_{kTimeCodeEvents};
    bool noTimeInfoPosted_ = false;
    AlertChime chime_;
    CycleSessions sessions_;
};
