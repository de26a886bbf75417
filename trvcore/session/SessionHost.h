#pragma once
// What a PartnerSession asks of the object that owns it: the
// SessionController in the plug-in, a stand-in in tests.
#include "trvcore/audio/AudioStreamHost.h"

class FilePacingSettings;
struct RemoteSettingFields;
struct StatusReportFields;
struct SyncInfoFields;
class PartnerSession;

class SessionHost : public AudioStreamHost {
public:
    // An Ask arrived for an incoming invitation: ring the alert chime.
    virtual void startChime() = 0;
    // The session has just become connected: it is no longer a pending
    // invitation, and the listeners are told (kind 1). Called once, on the
    // session's thread, without the session's lock.
    virtual void sessionConnected(PartnerSession& session) = 0;
    // The session has just been closed: take it off the session list and
    // keep it until its thread has ended. Called once, from close(),
    // without the session's lock; the caller holds a reference.
    virtual void sessionClosed(PartnerSession& session) = 0;
    // The user accepts `keep`: end every other session first. Called on the
    // thread that answers the invitation, without keep's lock (the others'
    // closing takes a while).
    virtual void disconnectOthers(PartnerSession& keep) = 0;
    // This user's values for a StatusReport: codec, audio share, upstream
    // rate and audio bitrate.
    virtual void statusValues(StatusReportFields& fields) = 0;
    // The partner asks to change one of this user's settings (audio share,
    // upstream rate, codec, time code). Session thread.
    virtual void onRemoteSetting(PartnerSession& session, const RemoteSettingFields& fields) = 0;
    // This host's transport for a SyncInfo: the last time info of the block
    // cycle and whether an instance is the sync source. Session thread.
    virtual void transportSnapshot(SyncInfoFields& fields) = 0;
    // A partner's file offer waits for the user's save dialog: the plug-in
    // instance that handles files is told. Session thread.
    virtual void fileOffered(PartnerSession&) {}
    // The options a file transfer lowers the media's upstream in; null for
    // none.
    virtual FilePacingSettings* filePacing() { return nullptr; }
};
