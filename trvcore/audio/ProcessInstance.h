#pragma once
// A plug-in instance as the block cycle sees it: the host it asks for time
// info and hands MIDI to. The plug-in's LinkPlugin.
#include "vst/VstAbi.h"

class PartnerSession;

class ProcessInstance {
public:
    virtual ~ProcessInstance() = default;
    // The host's time info for the block being processed, or null when the
    // host gives none. Audio thread.
    virtual const VstTimeInfo* hostTimeInfo(VstInt32 filter) = 0;
    // Hands MIDI (the partner's, or time code) to this instance's host;
    // false when the host refused it. Audio thread.
    virtual bool sendEventsToHost(VstEvents* events) = 0;
    // A file offered by `session` waits for this instance's save dialog
    // (the first registered instance handles files). Must not block: it is
    // called under the block cycle's lock.
    virtual void fileWaiting(PartnerSession*) {}
};
