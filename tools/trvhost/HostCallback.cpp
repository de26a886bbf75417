#include "tools/trvhost/HostCallback.h"

#include <chrono>
#include <cstring>

#include "vst/VstStrings.h"

namespace {

std::atomic<TestHost*> installedHost{nullptr};

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

TestHost::TestHost(const Config& config) : config_(config), transport_(config.sampleRate, config.tempo) {
    std::memset(&timeInfo_, 0, sizeof(timeInfo_));
    transport_.setPlaying(config.playing);
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
    effect_ = effect;
    if (effect) effect->resvd1 = reinterpret_cast<VstIntPtr>(this);
}

bool TestHost::reservedFieldIntact() const {
    return !effect_ || effect_->resvd1 == reinterpret_cast<VstIntPtr>(this);
}

void TestHost::beginBlock() { inBlock_.store(true, std::memory_order_release); }

void TestHost::endBlock(VstInt32 frames) {
    inBlock_.store(false, std::memory_order_release);
    std::lock_guard<std::mutex> guard(transportLock_);
    transport_.advance(frames);
}

void TestHost::setPlaying(bool playing) {
    std::lock_guard<std::mutex> guard(transportLock_);
    transport_.setPlaying(playing);
}

void TestHost::setTempo(double bpm) {
    std::lock_guard<std::mutex> guard(transportLock_);
    transport_.setTempo(bpm);
}

int64_t TestHost::samplePosition() {
    std::lock_guard<std::mutex> guard(transportLock_);
    return transport_.samplePosition();
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
        std::lock_guard<std::mutex> guard(transportLock_);
        transport_.fill(timeInfo_, value, monotonicNanoseconds());
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
