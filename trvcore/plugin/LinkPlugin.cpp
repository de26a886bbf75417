#include "trvcore/plugin/LinkPlugin.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/Check.h"
#include "trvcore/audio/AlertChime.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/SessionRef.h"

namespace {
const char* const kCapabilities[] = {"sendVstEvents", "sendVstMidiEvent", "receiveVstEvents",
                                     "receiveVstMidiEvent"};

// Copies at most size - 1 bytes of src and terminates.
void copyString(char* dst, const char* src, size_t size) {
    const size_t n = strnlen(src, size - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

float* allocateSamples(int count) {
    if (count <= 0) return nullptr;
    float* p = new (std::nothrow) float[static_cast<size_t>(count)];
    if (p) std::memset(p, 0, sizeof(float) * static_cast<size_t>(count));
    return p;
}
}  // namespace

LinkPlugin::LinkPlugin(audioMasterCallback host) : AudioEffectX(host, 1, 1) {
    setNumInputs(2);
    setNumOutputs(2);
    copyString(programName_, "TRV", sizeof programName_);

    controller_ = SessionController::acquire();

    chunk_ = new PluginChunk();
    void* ignored = nullptr;
    getChunk(&ignored, false);

    controller_->addListener(this);

    {
        // Under lock_, so a release of that session (kind 2) waits for this.
        platform::ScopedLock guard(lock_);
        SessionRef first = controller_->sessionAt(0);
        if (first && !(first->awaitingAnswer() && !first->connected())) partner_.store(first.detach());
    }

    canProcessReplacing(true);
    programsAreChunks(true);
    setUniqueID(kUniqueId);
    cEffect.version = 1;
}

LinkPlugin::~LinkPlugin() {
    receiveEnabled_.store(false, std::memory_order_relaxed);
    sendEnabled_.store(false, std::memory_order_relaxed);
    suspend();
    controller_->removeListener(this);
    controller_->setSyncSource(this, false);
    PartnerSession* partner = nullptr;
    {
        platform::ScopedLock guard(lock_);
        platform::ScopedLock process(controller_->processLock());
        partner = partner_.exchange(nullptr, std::memory_order_relaxed);
        pendingFileSession_.store(nullptr, std::memory_order_relaxed);
    }
    if (partner) partner->release();
    controller_->release();
    controller_ = nullptr;
    delete chunk_;
    for (int ch = 0; ch < 2; ++ch) {
        delete[] scratch_[ch];
        delete[] delayLine_[ch];
    }
}

void LinkPlugin::setParameter(VstInt32, float) {}
float LinkPlugin::getParameter(VstInt32) { return 0.0f; }
void LinkPlugin::open() {}
void LinkPlugin::close() {}
void LinkPlugin::setProgram(VstInt32) {}

void LinkPlugin::setProgramName(char* name) {
    if (name) copyString(programName_, name, sizeof programName_);
}

void LinkPlugin::getProgramName(char* name) {
    if (name) copyString(name, programName_, sizeof programName_);
}

void LinkPlugin::getParameterName(VstInt32, char* text) {
    if (text) copyString(text, " ", 2);
}
void LinkPlugin::getParameterLabel(VstInt32, char* text) {
    if (text) copyString(text, " ", 2);
}
void LinkPlugin::getParameterDisplay(VstInt32, char* text) {
    if (text) copyString(text, " ", 2);
}
float LinkPlugin::getVu() { return 0.0f; }

void LinkPlugin::process(float** inputs, float** outputs, VstInt32 frames) {
    if (!inputs || !outputs || frames <= 0) return;
    // setBlockSize swaps the scratch buffers under the cycle's lock; taken
    // here first (it is recursive) so they stay put for the whole call.
    platform::ScopedLock cycle(controller_->processLock());
    if (!scratch_[0] || !scratch_[1] || scratchFrames_ <= 0) return;
    // A host may pass more frames than it announced: work in slices of the
    // scratch size so the scratch buffers are never overrun.
    for (VstInt32 done = 0; done < frames;) {
        VstInt32 n = frames - done;
        if (n > scratchFrames_) n = scratchFrames_;
        accumulate(inputs, outputs, done, n);
        done += n;
    }
}

void LinkPlugin::accumulate(float** inputs, float** outputs, VstInt32 offset, VstInt32 frames) {
    float* in[2] = {inputs[0] + offset, inputs[1] + offset};
    processReplacing(in, scratch_, frames);
    for (int ch = 0; ch < 2; ++ch) {
        float* out = outputs[ch] + offset;
        const float* add = scratch_[ch];
        for (VstInt32 i = 0; i < frames; ++i) out[i] += add[i];
    }
}

void LinkPlugin::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    if (!inputs || !outputs || frames <= 0) return;
    if (!inputs[0] || !inputs[1] || !outputs[0] || !outputs[1]) return;
    controller_->beginProcess(this, frames);
    bool played = false;
    if (PartnerSession* p = partner()) {
        AudioSendStream& send = p->sendStream();
        const bool hostPlaying = (controller_->cycleTimeInfo().flags & kVstTransportPlaying) != 0;
        if (send.enabled() && sendEnabled() && !(muteOnPlay() && hostPlaying)) send.addInput(inputs, 2, frames);
        AudioReceiveStream& receive = p->receiveStream();
        // Only a play block this cycle opened: without one (no time info)
        // the block would hold the previous cycle's audio.
        if (receive.active() && receiveEnabled() && receive.channelCount() == 2) {
            playPartner(inputs, outputs, frames, receive.output(), partnerFrames(receive, frames));
            played = true;
        }
    }
    if (!played) {
        const size_t bytes = sizeof(float) * static_cast<size_t>(frames);
        for (int ch = 0; ch < 2; ++ch) {
            if (thru()) {
                if (outputs[ch] != inputs[ch]) std::memmove(outputs[ch], inputs[ch], bytes);
            } else {
                std::memset(outputs[ch], 0, bytes);
            }
        }
    }
    if (AlertChime* chime = controller_->alertChime()) {
        chime->render(outputs[0], frames, getSampleRate());
        std::memcpy(outputs[1], outputs[0], sizeof(float) * static_cast<size_t>(frames));
    }
    controller_->endProcess(this);
}

int LinkPlugin::partnerFrames(const AudioReceiveStream& receive, int frames) const {
    // The play block holds the cycle's frames, at most the stream's block
    // size; anything beyond is silence.
    int n = controller_->cycleFrames();
    if (n > receive.blockSize()) n = receive.blockSize();
    if (n > frames) n = frames;
    return n < 0 ? 0 : n;
}

void LinkPlugin::playPartner(float** inputs, float** outputs, int frames, const float* const* play, int n) {
    const bool addInput = thru();
    const bool delayed = compensateRecordOffset() && delayLength_ > 0 && delayLine_[0] && delayLine_[1];
    int index = delayIndex_;
    for (int ch = 0; ch < 2; ++ch) {
        const float* in = inputs[ch];
        float* out = outputs[ch];
        const float* partner = play[ch];
        // The delay line runs over this instance's copy, not the shared play
        // block, so instances with and without it do not disturb each other.
        int k = delayIndex_;
        for (int i = 0; i < frames; ++i) {
            float v = i < n ? partner[i] : 0.0f;
            if (delayed) {
                const float d = delayLine_[ch][k];
                delayLine_[ch][k] = v;
                v = d;
                if (++k == delayLength_) k = 0;
            }
            out[i] = addInput ? in[i] + v : v;
        }
        index = k;
    }
    if (delayed) delayIndex_ = index;
}

void LinkPlugin::writeChunk() {
    char login[SessionController::kTextBytes];
    controller_->userName(login);
    const Settings& s = controller_->settings();
    PluginChunk::Contents c;
    if (sendEnabled()) c.flags |= PluginChunk::kSend;
    if (receiveEnabled()) c.flags |= PluginChunk::kReceive;
    if (thru()) c.flags |= PluginChunk::kThru;
    if (isSyncSource()) c.flags |= PluginChunk::kSyncSource;
    if (compensateRecordOffset()) c.flags |= PluginChunk::kCompensateRecordOffset;
    c.codec = s.codec();
    c.upstream = s.upstreamRate();
    c.audioQuality = s.audioQuality();
    c.loginName = login;
    // Under lock_ the partner keeps its reference (and its name) meanwhile.
    platform::ScopedLock guard(lock_);
    PartnerSession* p = partner();
    c.partnerName = p ? p->partnerName() : nullptr;
    chunk_->write(c);
}

VstInt32 LinkPlugin::getChunk(void** data, bool isPreset) {
    if (isPreset || !data) return 0;
    writeChunk();
    *data = chunk_->data();
    return PluginChunk::kSize;
}

VstInt32 LinkPlugin::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    if (isPreset || byteSize < 0) return 0;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (!PluginChunk::acceptable(bytes, static_cast<size_t>(byteSize))) return 0;
    chunk_->assign(bytes);
    const uint32_t flags = chunk_->flags();
    receiveEnabled_.store((flags & PluginChunk::kReceive) != 0, std::memory_order_relaxed);
    sendEnabled_.store((flags & PluginChunk::kSend) != 0, std::memory_order_relaxed);
    thru_.store((flags & PluginChunk::kThru) != 0, std::memory_order_relaxed);
    controller_->setSyncSource(this, (flags & PluginChunk::kSyncSource) != 0);
    setCompensateRecordOffset((flags & PluginChunk::kCompensateRecordOffset) != 0);
    bool hasPartner;
    {
        platform::ScopedLock guard(lock_);
        hasPartner = partner_ != nullptr;
    }
    if (!hasPartner) {
        char name[PluginChunk::kNameBytes];
        chunk_->loginName(name);
        controller_->setUserName(name);
    }
    return 1;
}

void LinkPlugin::setSampleRate(float rate) {
    controller_->setSampleRate(rate);
    AudioEffectX::setSampleRate(rate);
}

void LinkPlugin::setBlockSize(VstInt32 frames) {
    if (frames <= 0) return;
    if (frames != scratchFrames_) {
        float* fresh[2] = {allocateSamples(frames), allocateSamples(frames)};
        if (!fresh[0] || !fresh[1]) {
            delete[] fresh[0];
            delete[] fresh[1];
            return;
        }
        float* old[2];
        {
            // The audio thread uses the scratch buffers inside the block cycle.
            platform::ScopedLock guard(controller_->processLock());
            for (int ch = 0; ch < 2; ++ch) {
                old[ch] = scratch_[ch];
                scratch_[ch] = fresh[ch];
            }
            scratchFrames_ = frames;
        }
        delete[] old[0];
        delete[] old[1];
    }
    controller_->setBlockSize(frames);
    AudioEffectX::setBlockSize(frames);
}

void LinkPlugin::suspend() { controller_->unregisterInstance(this); }

void LinkPlugin::resume() {
    wantEvents(1);
    controller_->registerInstance(this);
    const int latency = getInputLatency() + getOutputLatency();
    if (latency != delayLength_ && compensateRecordOffset()) {
        setCompensateRecordOffset(false);
        setCompensateRecordOffset(true);
    }
}

void LinkPlugin::setCompensateRecordOffset(bool on) {
    const int len = getInputLatency() + getOutputLatency();
    if (len == delayLength_ && on == compensateRecordOffset()) return;
    const bool active = on && len > 0 && len < kMaxDelayLength;
    float* fresh[2] = {nullptr, nullptr};
    if (active) {
        fresh[0] = allocateSamples(len);
        fresh[1] = allocateSamples(len);
    }
    const bool built = active && fresh[0] && fresh[1];
    float* old[2];
    {
        // Swapped inside the block cycle's lock so a block in progress sees
        // either the old line or the new one for its whole duration.
        platform::ScopedLock guard(controller_->processLock());
        for (int ch = 0; ch < 2; ++ch) {
            old[ch] = delayLine_[ch];
            delayLine_[ch] = built ? fresh[ch] : nullptr;
        }
        delayLength_ = len;
        delayIndex_ = 0;
        compensateRecordOffset_.store(built, std::memory_order_relaxed);
    }
    if (!built) {
        delete[] fresh[0];
        delete[] fresh[1];
    }
    delete[] old[0];
    delete[] old[1];
}

VstInt32 LinkPlugin::processEvents(VstEvents* events) {
    // The partner is released only inside the cycle's lock, so it stays
    // while its sender builds the messages.
    platform::ScopedLock cycle(controller_->processLock());
    if (PartnerSession* p = partner()) p->midiSender().send(events);
    return 1;
}

bool LinkPlugin::sendEventsToHost(VstEvents* events) {
    return TRV_CHECK(sendVstEventsToHost(events), "the host refused the plug-in's MIDI");
}

bool LinkPlugin::canParameterBeAutomated(VstInt32) { return true; }
bool LinkPlugin::string2parameter(VstInt32, char*) { return false; }
float LinkPlugin::getChannelParameter(VstInt32, VstInt32) { return 0.0f; }
VstInt32 LinkPlugin::getNumCategories() { return 1; }

bool LinkPlugin::getProgramNameIndexed(VstInt32, VstInt32, char* text) {
    if (text) copyString(text, programName_, sizeof programName_);
    return true;
}

bool LinkPlugin::copyProgram(VstInt32) { return true; }
void LinkPlugin::inputConnected(VstInt32, bool) {}
void LinkPlugin::outputConnected(VstInt32, bool) {}

bool LinkPlugin::fillPinProperties(VstInt32 index, VstPinProperties* props, const char* pattern) {
    if (index < 0 || index > 1 || !props) return false;
    std::snprintf(props->label, sizeof props->label, pattern, static_cast<int>(index + 1));
    props->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

bool LinkPlugin::getInputProperties(VstInt32 index, VstPinProperties* props) {
    return fillPinProperties(index, props, "TRV %1d In");
}

bool LinkPlugin::getOutputProperties(VstInt32 index, VstPinProperties* props) {
    return fillPinProperties(index, props, "TRV %1d Out");
}

bool LinkPlugin::getEffectName(char* name) {
    if (name) copyString(name, "TRV", 4);
    return true;
}

bool LinkPlugin::getVendorString(char* text) {
    if (text) copyString(text, "Tarvonet", 9);
    return true;
}

bool LinkPlugin::getProductString(char* text) {
    if (text) copyString(text, "TRV VST Plugin", 15);
    return true;
}

VstInt32 LinkPlugin::getVendorVersion() { return 1; }

VstInt32 LinkPlugin::canDo(char* text) {
    if (!text) return -1;
    for (const char* cap : kCapabilities)
        if (std::strcmp(text, cap) == 0) return 1;
    return -1;
}

void LinkPlugin::onSessionEvent(PartnerSession* session, SessionEvent event) {
    PartnerSession* dropped = nullptr;  // released after the locks
    {
        platform::ScopedLock guard(lock_);
        if (event == SessionEvent::ServiceTimedOut) {
            sessionTimedOut_.store(true, std::memory_order_relaxed);
        } else if (event == SessionEvent::Connected && session) {
            // A session already taken keeps its one reference; one that
            // replaces an earlier partner frees that one's.
            if (!session->awaitingAnswer() && partner() != session) {
                session->addRef();
                platform::ScopedLock process(controller_->processLock());
                dropped = partner_.exchange(session, std::memory_order_relaxed);
            }
        } else if (event == SessionEvent::Released && session) {
            if (partner() == session) {
                // The editor drops the partner's enlarged video window here.
                {
                    platform::ScopedLock process(controller_->processLock());
                    partner_.store(nullptr, std::memory_order_relaxed);
                }
                dropped = session;
                pendingFileSession_.store(nullptr, std::memory_order_relaxed);
            }
            PartnerSession* expected = session;
            pendingFileSession_.compare_exchange_strong(expected, nullptr, std::memory_order_relaxed);
        }
    }
    if (dropped) dropped->release();
}

SessionRef LinkPlugin::partnerRef() {
    platform::ScopedLock guard(lock_);
    return SessionRef(partner());
}

void LinkPlugin::setPendingFileSession(PartnerSession* session) {
    pendingFileSession_.store(session, std::memory_order_relaxed);
}

void LinkPlugin::idleCheck() {
    // Once per time-out, whichever instance's idle (or the controller's own
    // loop) comes first.
    if (sessionTimedOut_.exchange(false, std::memory_order_relaxed)) {
        controller_->endTimedOutSession();
        return;
    }
    PartnerSession* waiting = pendingFileSession_.exchange(nullptr, std::memory_order_relaxed);
    if (!waiting) return;
    // The session may have gone meanwhile; the reference keeps it while the
    // dialog is up.
    SessionRef session = controller_->sessionRef(waiting);
    if (!session) return;
    FileReceiver& receiver = session->fileReceiver();
    if (!receiver.offered()) return;
    char name[FileTransfer::kNameBytes];
    char extension[16];
    receiver.offeredName(name, sizeof name);
    receiver.offeredExtension(extension, sizeof extension);
    char path[FileReceiver::kPathBytes];
    const FileChoice choice = chooseSaveFile(name, extension, path, sizeof path);
    if (choice == FileChoice::Unavailable) controller_->postMessage(unavailableReason());
    // Cancelled: nothing is sent; the partner keeps offering until it gives up.
    if (choice == FileChoice::Chosen && controller_->isSession(session.get()) && receiver.offered())
        receiver.startReceiving(path);
}

void LinkPlugin::setSyncSource(bool on) { controller_->setSyncSource(this, on); }

bool LinkPlugin::isSyncSource() const { return controller_->syncSource() == this; }
