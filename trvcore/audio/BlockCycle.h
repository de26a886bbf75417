#pragma once
// The per-block audio cycle shared by all plug-in instances. The calls of
// all registered instances in one host block make one cycle: the first
// (the leader) asks its host for time info and opens every connected
// session's send and receive blocks; the last one closes them. processLock
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
#include "vst/VstAbi.h"

class InstanceRegistry;
class MessageLog;
class ProcessInstance;

class BlockCycle {
public:
    // The time info asked of the host every block: positions, tempo, bars,
    // cycle and time signature.
    static constexpr VstInt32 kTimeInfoFilter = 0x3E00;
    static constexpr const char* kNoTimeInfoText = "No VSTTimeInfo : TRV can\x92t work with this application!";

    BlockCycle(platform::RecursiveLock& processLock, InstanceRegistry& instances, MessageLog& log)
        : processLock_(processLock), instances_(instances), log_(log), sessions_(processLock) {}
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
    MessageLog& log_;
    // The audio thread's, under processLock.
    int remaining_ = 0;
    ProcessInstance* leader_ = nullptr;
    int cycleFrames_ = 0;
    const VstTimeInfo* currentTimeInfo_ = &defaultTimeInfo_;
    VstTimeInfo defaultTimeInfo_{};
    double blockEndPosition_ = 0.0;
    CycleTime cycleTime_;
    bool noTimeInfoPosted_ = false;
    AlertChime chime_;
    CycleSessions sessions_;
};
