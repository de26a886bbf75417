#pragma once
// One plug-in instance: what the host sees (identity, pins, capabilities,
// state chunk) and the instance's switches. All instances of a process share
// the one SessionController.
#include <atomic>
#include <cstdint>

#include "platform/Lock.h"
#include "trvcore/plugin/PluginChunk.h"
#include "trvcore/audio/ProcessInstance.h"
#include "trvcore/files/FileChooser.h"
#include "trvcore/session/SessionListener.h"
#include "vst/AudioEffectX.h"

class AudioReceiveStream;
class PartnerSession;
class SessionController;
class SessionRef;

class LinkPlugin : public AudioEffectX, public SessionListener, public ProcessInstance, public FileChooser {
public:
    static constexpr VstInt32 kUniqueId = static_cast<VstInt32>(PluginChunk::kId);
    static constexpr int kProgramNameBytes = 64;
    // Delay lines are only built for latencies below one second at 48 kHz.
    static constexpr int kMaxDelayLength = 48000;

    explicit LinkPlugin(audioMasterCallback host);
    ~LinkPlugin() override;

    // Host interface.
    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void process(float** inputs, float** outputs, VstInt32 frames) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override;
    void open() override;
    void close() override;
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterName(VstInt32 index, char* text) override;
    void getParameterLabel(VstInt32 index, char* text) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    float getVu() override;
    VstInt32 getChunk(void** data, bool isPreset) override;
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override;
    void setSampleRate(float rate) override;
    void setBlockSize(VstInt32 frames) override;
    void suspend() override;
    void resume() override;
    VstInt32 processEvents(VstEvents* events) override;
    bool canParameterBeAutomated(VstInt32 index) override;
    bool string2parameter(VstInt32 index, char* text) override;
    float getChannelParameter(VstInt32 channel, VstInt32 index) override;
    VstInt32 getNumCategories() override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool copyProgram(VstInt32 destination) override;
    void inputConnected(VstInt32 index, bool state) override;
    void outputConnected(VstInt32 index, bool state) override;
    bool getInputProperties(VstInt32 index, VstPinProperties* props) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* props) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(char* text) override;

    // Session events from the controller.
    void onSessionEvent(PartnerSession* session, SessionEvent event) override;
    // The block cycle's question to this instance's host.
    const VstTimeInfo* hostTimeInfo(VstInt32 filter) override { return getTimeInfo(filter); }
    bool sendEventsToHost(VstEvents* events) override;

    // Switches, for the editor.
    void toggleSend() { flip(sendEnabled_); }
    void toggleReceive() { flip(receiveEnabled_); }
    void toggleMuteOnPlay() { flip(muteOnPlay_); }
    void toggleThru() { flip(thru_); }
    void setSend(bool on) { sendEnabled_.store(on, std::memory_order_relaxed); }
    void setReceive(bool on) { receiveEnabled_.store(on, std::memory_order_relaxed); }
    void setThru(bool on) { thru_.store(on, std::memory_order_relaxed); }
    void setMuteOnPlay(bool on) { muteOnPlay_.store(on, std::memory_order_relaxed); }
    bool sendEnabled() const { return sendEnabled_.load(std::memory_order_relaxed); }
    bool receiveEnabled() const { return receiveEnabled_.load(std::memory_order_relaxed); }
    bool thru() const { return thru_.load(std::memory_order_relaxed); }
    bool muteOnPlay() const { return muteOnPlay_.load(std::memory_order_relaxed); }

    void setSyncSource(bool on);
    bool isSyncSource() const;

    // Delays the partner's audio by the host's input + output latency.
    void setCompensateRecordOffset(bool on);
    bool compensateRecordOffset() const {
        return compensateRecordOffset_.load(std::memory_order_relaxed);
    }
    int delayLength() const { return delayLength_; }

    // The session whose audio this instance sends and plays, or null. The
    // pointer is only good while a reference is held: partnerRef takes one.
    PartnerSession* partner() const { return partner_.load(std::memory_order_relaxed); }
    // Held while session events are handled; the editor holds it while it
    // builds a page or reads the partner.
    platform::RecursiveLock& lock() { return lock_; }
    SessionRef partnerRef();
    void setPendingFileSession(PartnerSession* session);
    PartnerSession* pendingFileSession() const { return pendingFileSession_.load(std::memory_order_relaxed); }
    void fileWaiting(PartnerSession* session) override { setPendingFileSession(session); }
    // Called from the editor's idle: reacts to a service time-out, and puts
    // up the save dialog for a file that waits and starts its reception.
    void idleCheck();
    void idleWithoutEditor() override { idleCheck(); }

    // FileChooser: the host's file selector, else the system's dialog.
    FileChoice chooseFileToSend(char* path, size_t capacity) override;
    FileChoice chooseSaveFile(const char* name, const char* extension, char* path, size_t capacity) override;
    const char* unavailableReason() const override { return unavailableReason_.load(std::memory_order_relaxed); }
    bool sessionTimedOut() const { return sessionTimedOut_.load(std::memory_order_relaxed); }

    SessionController* controller() const { return controller_; }
    int scratchFrames() const { return scratchFrames_; }

private:
    static void flip(std::atomic<bool>& b) { b.store(!b.load(std::memory_order_relaxed), std::memory_order_relaxed); }
    void writeChunk();
    bool fillPinProperties(VstInt32 index, VstPinProperties* props, const char* pattern);
    void accumulate(float** inputs, float** outputs, VstInt32 offset, VstInt32 frames);
    // Audio thread: the partner's play block (n frames of it, silence after)
    // into the outputs, delayed and with the input added as switched.
    void playPartner(float** inputs, float** outputs, int frames, const float* const* play, int n);
    int partnerFrames(const AudioReceiveStream& receive, int frames) const;
    FileChoice chooseFile(bool save, const char* title, const char* initialName, const VstFileType& type,
                          char* path, size_t capacity);

    char programName_[kProgramNameBytes];
    platform::RecursiveLock lock_;
    float* scratch_[2] = {nullptr, nullptr};
    float* delayLine_[2] = {nullptr, nullptr};
    // Holds one reference. Written under lock_ and the controller's process
    // lock; read by the audio path under the process lock.
    std::atomic<PartnerSession*> partner_{nullptr};
    // No reference: checked against the controller's list before use.
    std::atomic<PartnerSession*> pendingFileSession_{nullptr};
    std::atomic<const char*> unavailableReason_{""};
    PluginChunk* chunk_ = nullptr;
    int scratchFrames_ = 0;
    int delayLength_ = 0;
    int delayIndex_ = 0;
    std::atomic<bool> receiveEnabled_{true};
    std::atomic<bool> sendEnabled_{true};
    std::atomic<bool> thru_{true};
    std::atomic<bool> muteOnPlay_{false};
    std::atomic<bool> compensateRecordOffset_{false};
    std::atomic<bool> sessionTimedOut_{false};
    SessionController* controller_ = nullptr;
};
