#include "tools/trvhost/HostCallback.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "tools/trvhost/FileSelector.h"
#include "vst/VstStrings.h"

namespace {

std::atomic<TestHost*> installedHost{nullptr};
// The host whose blocks the calling thread runs, if any.
thread_local const TestHost* audioThreadHost = nullptr;
// The host whose block the calling thread is inside of, if any.
thread_local const TestHost* blockThreadHost = nullptr;

constexpr const char* kHostVendor = "Tarvolink";
constexpr const char* kHostProduct = "trvhost";

double monotonicNanoseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

}  // namespace

const char* const TestHost::kCanDoYes[] = {
    "sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo", "receiveVstEvents", "receiveVstMidiEvent",
    "sizeWindow",    nullptr,
};

TestHost::TestHost(const Config& config)
    : config_(config),
      transport_(config.sampleRate, config.tempo),
      otherTransport_(config.sampleRate, config.tempo),
      audioTransport_(config.sampleRate, config.tempo),
      events_(config.keepMidi || config.chaseTimeCode ? kEventRingCapacity : 2) {
    std::memset(&timeInfo_, 0, sizeof(timeInfo_));
    std::memset(&audioTimeInfo_, 0, sizeof(audioTimeInfo_));
    transport_.setPlaying(config.playing);
    if (config.loop) transport_.setLoop(config.loopStart, config.loopEnd);
    transport_.setSmpteFrameRate(config.smpteFrameRate);
    audioTransport_.follow(transport_);
    for (auto& c : calls_) c.store(0);
}

TestHost::~TestHost() {
    TestHost* self = this;
    installedHost.compare_exchange_strong(self, nullptr);
}

void TestHost::install() { installedHost.store(this); }

VstIntPtr VSTCALLBACK TestHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                         void* ptr, float opt) {
    TestHost* host = installedHost.load();
    if (!host) return opcode == audioMasterVersion ? kHostVstVersion : 0;
    return host->handle(effect, opcode, index, value, ptr, opt);
}

void TestHost::adopt(AEffect* effect) {
    if (!effect) return;
    effects_.push_back(effect);
    effect->resvd1 = reinterpret_cast<VstIntPtr>(this);
}

bool TestHost::reservedFieldIntact() const {
    for (const AEffect* e : effects_)
        if (!reservedFieldIntact(e)) return false;
    return true;
}

bool TestHost::reservedFieldIntact(const AEffect* effect) const {
    return !effect || effect->resvd1 == reinterpret_cast<VstIntPtr>(this);
}

void TestHost::applyRequests() {
    absorbAudioState();
    if (applied_.load(std::memory_order_relaxed) == requested_) return;
    const Requests r = wanted_;
    wanted_ = Requests{};
    if (r.tempo) transport_.setTempo(r.bpm);
    if (r.loop) {
        if (!r.loopOn || !transport_.setLoop(r.loopStart, r.loopEnd)) transport_.clearLoop();
    }
    if (r.smpte) transport_.setSmpteFrameRate(r.smpteCode);
    if (r.locate) transport_.locate(r.position);
    if (r.play) {
        transport_.setPlaying(r.playing);
        following_ = false;  // the user's play or stop ends a chase
    }
    appliedAt_.store(transport_.samplePosition(), std::memory_order_relaxed);
    applied_.store(requested_, std::memory_order_release);
}

void TestHost::absorbAudioState() {
    const int64_t position = pendingPosition_.exchange(-1, std::memory_order_acq_rel);
    if (position >= 0) transport_.locate(position);
    const int playing = pendingPlaying_.exchange(-1, std::memory_order_acq_rel);
    if (playing >= 0) transport_.setPlaying(playing == 1);
}

int64_t TestHost::currentPosition() const {
    const int64_t pending = pendingPosition_.load(std::memory_order_acquire);
    return pending >= 0 ? pending : transport_.samplePosition();
}

bool TestHost::currentPlaying() const {
    const int pending = pendingPlaying_.load(std::memory_order_acquire);
    return pending >= 0 ? pending == 1 : transport_.playing();
}

void TestHost::audioThreadBegins() {
    audioThreadHost = this;
    std::lock_guard<std::mutex> guard(transportLock_);
    audioRunning_ = true;
}

void TestHost::audioThreadEnds() {
    {
        std::lock_guard<std::mutex> guard(transportLock_);
        audioRunning_ = false;
        applyRequests();
    }
    audioThreadHost = nullptr;
}

void TestHost::beginBlock() {
    blockThreadHost = this;
    inBlock_.store(true, std::memory_order_release);
    if (!transportLock_.try_lock()) return;  // the requests wait for the next block
    applyRequests();
    audioTransport_.follow(transport_);
    transportLock_.unlock();
}

void TestHost::endBlock(VstInt32 frames) {
    inBlock_.store(false, std::memory_order_release);
    blockThreadHost = nullptr;
    audioTransport_.markReported();
    const int64_t before = audioTransport_.samplePosition();
    const bool wasPlaying = audioTransport_.playing();
    if (frames > 0) audioTransport_.advance(frames);
    if (config_.chaseTimeCode) chase(frames);
    if (audioTransport_.samplePosition() == before && audioTransport_.playing() == wasPlaying) return;
    pendingPosition_.store(audioTransport_.samplePosition(), std::memory_order_release);
    pendingPlaying_.store(audioTransport_.playing() ? 1 : 0, std::memory_order_release);
    if (!transportLock_.try_lock()) return;
    absorbAudioState();
    transportLock_.unlock();
}

void TestHost::chase(VstInt32 frames) {
    if (quarterFramesInBlock_ > 0) framesWithoutQuarterFrame_ = 0;
    else if (frames > 0) framesWithoutQuarterFrame_ += frames;
    quarterFramesInBlock_ = 0;
    if (codeComplete_) {
        codeComplete_ = false;
        if (!audioTransport_.playing()) {
            const int64_t rate = static_cast<int64_t>(config_.sampleRate);
            audioTransport_.locate(timecode::toSamples(code_, kTimeCodeFrames, rate));
            audioTransport_.setPlaying(true);
            following_ = true;
            HostEvent e;
            e.kind = HostEvent::Kind::Started;
            e.position = audioTransport_.samplePosition();
            events_.push(e);
            return;
        }
    }
    if (following_ && audioTransport_.playing() &&
        static_cast<double>(framesWithoutQuarterFrame_) >= kChaseTimeoutSeconds * config_.sampleRate) {
        audioTransport_.setPlaying(false);
        following_ = false;
        HostEvent e;
        e.kind = HostEvent::Kind::Stopped;
        e.position = audioTransport_.samplePosition();
        events_.push(e);
    }
}

uint64_t TestHost::setPlaying(bool playing) {
    std::lock_guard<std::mutex> guard(transportLock_);
    wanted_.play = true;
    wanted_.playing = playing;
    const uint64_t serial = ++requested_;
    if (!audioRunning_) applyRequests();
    return serial;
}

uint64_t TestHost::setTempo(double bpm) {
    std::lock_guard<std::mutex> guard(transportLock_);
    wanted_.tempo = true;
    wanted_.bpm = bpm;
    const uint64_t serial = ++requested_;
    if (!audioRunning_) applyRequests();
    return serial;
}

uint64_t TestHost::locate(int64_t position) {
    std::lock_guard<std::mutex> guard(transportLock_);
    wanted_.locate = true;
    wanted_.position = position;
    const uint64_t serial = ++requested_;
    if (!audioRunning_) applyRequests();
    return serial;
}

uint64_t TestHost::setSmpteFrameRate(VstInt32 code) {
    std::lock_guard<std::mutex> guard(transportLock_);
    wanted_.smpte = true;
    wanted_.smpteCode = code;
    const uint64_t serial = ++requested_;
    if (!audioRunning_) applyRequests();
    return serial;
}

uint64_t TestHost::setLoop(bool on, double startQuarters, double endQuarters) {
    std::lock_guard<std::mutex> guard(transportLock_);
    wanted_.loop = true;
    wanted_.loopOn = on;
    wanted_.loopStart = startQuarters;
    wanted_.loopEnd = endQuarters;
    const uint64_t serial = ++requested_;
    if (!audioRunning_) applyRequests();
    return serial;
}

bool TestHost::waitTransport(uint64_t serial, uint32_t ms, int64_t& position) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (applied_.load(std::memory_order_acquire) < serial) {
        {
            // The audio thread may have ended meanwhile.
            std::lock_guard<std::mutex> guard(transportLock_);
            if (!audioRunning_) applyRequests();
        }
        if (applied_.load(std::memory_order_acquire) >= serial) break;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    position = appliedAt_.load(std::memory_order_relaxed);
    return true;
}

int64_t TestHost::samplePosition() {
    std::lock_guard<std::mutex> guard(transportLock_);
    return currentPosition();
}

bool TestHost::playing() {
    std::lock_guard<std::mutex> guard(transportLock_);
    return currentPlaying();
}

TestHost::TransportState TestHost::transportState() {
    std::lock_guard<std::mutex> guard(transportLock_);
    TransportState s;
    s.position = currentPosition();
    s.playing = currentPlaying();
    s.tempo = transport_.tempo();
    s.loop = transport_.loopActive();
    s.loopStart = transport_.loopStart();
    s.loopEnd = transport_.loopEnd();
    s.loopStartSamples = transport_.loopStartSamples();
    s.loopEndSamples = transport_.loopEndSamples();
    s.sampleRate = transport_.sampleRate();
    return s;
}

uint64_t TestHost::callCount(VstInt32 opcode) const {
    if (opcode < 0 || opcode >= kCountedOpcodes) return 0;
    return calls_[opcode].load();
}

VstIntPtr TestHost::handle(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                           float opt) {
    if (opcode >= 0 && opcode < kCountedOpcodes) calls_[opcode].fetch_add(1, std::memory_order_relaxed);
    switch (opcode) {
    case audioMasterVersion:
        return kHostVstVersion;
    case audioMasterGetTime: {
        if (audioThreadHost == this) {
            // Every instance of a block gets the same answer, a change of the
            // play state included.
            Transport block = audioTransport_;
            block.fill(audioTimeInfo_, value, monotonicNanoseconds());
            return reinterpret_cast<VstIntPtr>(&audioTimeInfo_);
        }
        std::lock_guard<std::mutex> guard(transportLock_);
        otherTransport_.follow(transport_);
        otherTransport_.setPlaying(currentPlaying());
        otherTransport_.locate(currentPosition());
        otherTransport_.fill(timeInfo_, value, monotonicNanoseconds());
        return reinterpret_cast<VstIntPtr>(&timeInfo_);
    }
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(config_.sampleRate);
    case audioMasterGetBlockSize:
        return config_.blockSize;
    case audioMasterGetInputLatency:
        return config_.inputLatency;
    case audioMasterGetOutputLatency:
        return config_.outputLatency;
    case audioMasterWantMidi:
        wantsMidi_.store(true);
        return 1;
    case audioMasterProcessEvents:
        return processEvents(effect, static_cast<const VstEvents*>(ptr));
    case audioMasterCanDo: {
        if (!ptr) return 0;
        char text[kVstTextBufferBytes];
        vstTakeHostString(text, ptr);
        if (fileSelector_.load() &&
            (std::strcmp(text, "openFileSelector") == 0 || std::strcmp(text, "closeFileSelector") == 0))
            return 1;
        for (const char* const* yes = kCanDoYes; *yes; ++yes) {
            if (std::strcmp(text, *yes) == 0) return 1;
        }
        return 0;
    }
    case audioMasterGetVendorString:
        if (!ptr) return 0;
        vstStringCopy(static_cast<char*>(ptr), kHostVendor, kVstMaxVendorStrLen);
        return 1;
    case audioMasterGetProductString:
        if (!ptr) return 0;
        vstStringCopy(static_cast<char*>(ptr), kHostProduct, kVstMaxProductStrLen);
        return 1;
    case audioMasterSizeWindow:
        requestedWidth_.store(index);
        requestedHeight_.store(value >= 0 && value <= 0x7fffffff ? static_cast<VstInt32>(value) : 0);
        return 1;
    case audioMasterOpenFileSelector: {
        FileSelector* selector = fileSelector_.load();
        if (!selector || !ptr) return 0;
        return selector->open(*static_cast<VstFileSelect*>(ptr));
    }
    case audioMasterCloseFileSelector:
        return fileSelector_.load() && ptr ? 1 : 0;
    case audioMasterIdle:
    default:
        return 0;
    }
}

VstIntPtr TestHost::processEvents(AEffect* effect, const VstEvents* events) {
    // Like Ardour, events are taken only while the plug-in is inside
    // processReplacing.
    if (!inBlock_.load(std::memory_order_acquire)) {
        eventCallsRefused_.fetch_add(1);
        return 0;
    }
    if (!events || events->numEvents < 0 || events->numEvents > kMaxEventsPerCall) return 0;
    const bool blockThread = blockThreadHost == this;
    uint64_t total = 0;
    uint64_t midi = 0;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* e = events->events[i];
        if (!e) continue;
        ++total;
        if (e->type != kVstMidiType) continue;
        ++midi;
        if (blockThread) takeMidi(effect, *reinterpret_cast<const VstMidiEvent*>(e));
        else midiOffThread_.fetch_add(1);
    }
    eventsReceived_.fetch_add(total);
    midiEventsReceived_.fetch_add(midi);
    return 1;
}

void TestHost::takeMidi(AEffect* effect, const VstMidiEvent& event) {
    const uint8_t status = static_cast<uint8_t>(event.midiData[0]);
    const uint8_t data = static_cast<uint8_t>(event.midiData[1]);
    if (config_.keepMidi) {
        HostEvent e;
        e.kind = HostEvent::Kind::Midi;
        for (size_t k = 0; k < effects_.size(); ++k) {
            if (effects_[k] == effect) e.instance = static_cast<uint8_t>(k + 1);
        }
        e.bytes[0] = status;
        e.bytes[1] = data;
        e.bytes[2] = static_cast<uint8_t>(event.midiData[2]);
        e.position = audioTransport_.samplePosition() + event.deltaFrames;
        events_.push(e);
    }
    if (status != 0xF1 || !(config_.keepMidi || config_.chaseTimeCode)) return;
    ++quarterFramesInBlock_;
    TimeCodeValue code;
    if (!decoder_.feed(data, code)) return;
    if (config_.keepMidi) {
        HostEvent e;
        e.kind = HostEvent::Kind::TimeCode;
        e.bytes[0] = static_cast<uint8_t>(code.hours);
        e.bytes[1] = static_cast<uint8_t>(code.minutes);
        e.bytes[2] = static_cast<uint8_t>(code.seconds);
        e.bytes[3] = static_cast<uint8_t>(code.frames);
        e.rateBits = static_cast<uint8_t>(code.rateBits);
        events_.push(e);
    }
    code_ = code;
    codeComplete_ = true;
}

const char* audioMasterOpcodeName(VstInt32 opcode) {
    switch (opcode) {
    case audioMasterAutomate: return "Automate";
    case audioMasterVersion: return "Version";
    case audioMasterCurrentId: return "CurrentId";
    case audioMasterIdle: return "Idle";
    case audioMasterPinConnected: return "PinConnected";
    case audioMasterWantMidi: return "WantMidi";
    case audioMasterGetTime: return "GetTime";
    case audioMasterProcessEvents: return "ProcessEvents";
    case audioMasterTempoAt: return "TempoAt";
    case audioMasterIOChanged: return "IOChanged";
    case audioMasterNeedIdle: return "NeedIdle";
    case audioMasterSizeWindow: return "SizeWindow";
    case audioMasterGetSampleRate: return "GetSampleRate";
    case audioMasterGetBlockSize: return "GetBlockSize";
    case audioMasterGetInputLatency: return "GetInputLatency";
    case audioMasterGetOutputLatency: return "GetOutputLatency";
    case audioMasterGetCurrentProcessLevel: return "GetCurrentProcessLevel";
    case audioMasterGetAutomationState: return "GetAutomationState";
    case audioMasterGetVendorString: return "GetVendorString";
    case audioMasterGetProductString: return "GetProductString";
    case audioMasterGetVendorVersion: return "GetVendorVersion";
    case audioMasterVendorSpecific: return "VendorSpecific";
    case audioMasterCanDo: return "CanDo";
    case audioMasterGetLanguage: return "GetLanguage";
    case audioMasterGetDirectory: return "GetDirectory";
    case audioMasterUpdateDisplay: return "UpdateDisplay";
    case audioMasterBeginEdit: return "BeginEdit";
    case audioMasterEndEdit: return "EndEdit";
    case audioMasterOpenFileSelector: return "OpenFileSelector";
    case audioMasterCloseFileSelector: return "CloseFileSelector";
    default: return nullptr;
    }
}
