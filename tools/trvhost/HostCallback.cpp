#include "tools/trvhost/HostCallback.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "vst/VstStrings.h"

namespace {

std::atomic<TestHost*> installedHost{nullptr};
// The host whose blocks the calling thread runs, if any.
thread_local const TestHost* audioThreadHost = nullptr;

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
      wantPlaying_(config.playing),
      wantTempo_(config.tempo),
      audioTransport_(config.sampleRate, config.tempo) {
    std::memset(&timeInfo_, 0, sizeof(timeInfo_));
    std::memset(&audioTimeInfo_, 0, sizeof(audioTimeInfo_));
    transport_.setPlaying(config.playing);
    audioTransport_.setPlaying(config.playing);
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
    absorbPendingFrames();
    if (applied_.load(std::memory_order_relaxed) == requested_) return;
    transport_.setPlaying(wantPlaying_);
    transport_.setTempo(wantTempo_);
    appliedAt_.store(transport_.samplePosition(), std::memory_order_relaxed);
    applied_.store(requested_, std::memory_order_release);
}

void TestHost::absorbPendingFrames() {
    const int64_t frames = pendingFrames_.exchange(0, std::memory_order_acq_rel);
    if (frames) transport_.locate(transport_.samplePosition() + frames);
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
    inBlock_.store(true, std::memory_order_release);
    if (!transportLock_.try_lock()) return;  // the requests wait for the next block
    applyRequests();
    audioTransport_.setPlaying(transport_.playing());
    audioTransport_.setTempo(transport_.tempo());
    audioTransport_.locate(transport_.samplePosition());
    transportLock_.unlock();
}

void TestHost::endBlock(VstInt32 frames) {
    inBlock_.store(false, std::memory_order_release);
    audioTransport_.markReported();
    if (!audioTransport_.playing() || frames <= 0) return;
    audioTransport_.advance(frames);
    pendingFrames_.fetch_add(frames, std::memory_order_acq_rel);
    if (!transportLock_.try_lock()) return;
    absorbPendingFrames();
    transportLock_.unlock();
}

uint64_t TestHost::setPlaying(bool playing) {
    std::lock_guard<std::mutex> guard(transportLock_);
    wantPlaying_ = playing;
    const uint64_t serial = ++requested_;
    if (!audioRunning_) applyRequests();
    return serial;
}

uint64_t TestHost::setTempo(double bpm) {
    std::lock_guard<std::mutex> guard(transportLock_);
    wantTempo_ = bpm;
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
    return transport_.samplePosition() + pendingFrames_.load(std::memory_order_acquire);
}

bool TestHost::playing() {
    std::lock_guard<std::mutex> guard(transportLock_);
    return transport_.playing();
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
        otherTransport_.setPlaying(transport_.playing());
        otherTransport_.setTempo(transport_.tempo());
        otherTransport_.locate(transport_.samplePosition() + pendingFrames_.load(std::memory_order_acquire));
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
        return processEvents(static_cast<const VstEvents*>(ptr));
    case audioMasterCanDo: {
        if (!ptr) return 0;
        char text[kVstTextBufferBytes];
        vstTakeHostString(text, ptr);
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
    case audioMasterIdle:
    default:
        return 0;
    }
}

VstIntPtr TestHost::processEvents(const VstEvents* events) {
    // Like Ardour, events are taken only while the plug-in is inside
    // processReplacing.
    if (!inBlock_.load(std::memory_order_acquire)) {
        eventCallsRefused_.fetch_add(1);
        return 0;
    }
    if (!events || events->numEvents < 0 || events->numEvents > kMaxEventsPerCall) return 0;
    uint64_t total = 0;
    uint64_t midi = 0;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* e = events->events[i];
        if (!e) continue;
        ++total;
        if (e->type == kVstMidiType) ++midi;
    }
    eventsReceived_.fetch_add(total);
    midiEventsReceived_.fetch_add(midi);
    return 1;
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
