#pragma once
// A connected, streaming partner for tests and benchmarks, all in one
// process. The plug-in's first instance makes the real SessionController,
// which logs in to a stand-in web service and accepts an invitation from a
// scripted partner on a loopback address of its own; the partner then
// streams a stereo test signal to it, MP3-encoded and paced in real time as
// a plug-in would, and keeps the audio the plug-in sends back so that it can
// be decoded and checked.
//
// - StreamingHost: the host side of the instances. Answers the time info
//   (the sample position moves on once per block cycle), the latencies, the
//   sample rate and the block size. One host object at a time: the
//   callback is global.
// - PartnerEnd: the scripted partner: its link and connection, the
//   handshake steps, Ping answers, the streaming thread and the AudioFrames
//   it received.
// - StreamingWorld: both together, up to a connected session.
// - Test signals and a correlation search to find one in what arrived.
//
// Tests and tools may use std::thread and std::mutex; the plug-in code they
// drive does not.
#include "support/Eventually.h"
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempSettings.h"
#include "tests/support/ActionService.h"
#include "trvcore/codec/Mp3Decoder.h"
#include "trvcore/codec/Mp3Encoder.h"
#include "trvcore/session/SessionRef.h"
#include "trvcore/trvnetwork/ControlMessages.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerConnection.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/trvnetwork/PeerLinkListener.h"
#include "trvcore/trvnetwork/PeerMessage.h"
#include "vst/VstAbi.h"

class LinkPlugin;
class SessionController;

namespace streamtest {

constexpr double kSampleRate = 48000.0;
constexpr int kBlockFrames = 256;
constexpr int kPartnerBitrate = 64000;
constexpr int kPayloadFrames = Mp3Encoder::kFrameSamples;  // one encoder output per 24 ms
constexpr auto kPayloadPeriod = std::chrono::microseconds(24000);
// The longest stretch of decoded audio a partner keeps: two minutes.
constexpr int64_t kMaxTimelineFrames = 120 * 48000;
// AudioFrames a partner keeps; later ones are only counted.
constexpr size_t kMaxKeptFrames = 20000;

using testsupport::eventually;

// A loopback address in 127.0.200-250.x, picked at random; the caller
// probes it by binding (test processes run side by side).
std::string randomLoopbackAddress();

// ---- Signals ----------------------------------------------------------------

// Two tones per channel, the upper one amplitude-modulated, so that no two
// stretches of a few tens of milliseconds look alike and the channels do
// not resemble each other. Peaks stay below 0.5. Partner: what the scripted
// partner streams; Input: what the tests feed the instances.
enum class Signal { Partner, Input };

float signalSample(Signal s, int channel, int64_t index);
void fillSignal(Signal s, int channel, int64_t from, float* out, int count);

struct Match {
    double correlation = 0.0;
    int64_t lag = 0;
};

// Normalised correlation of x[from, from + count) with the signal's samples
// [from - lag, from - lag + count) (indices below 0 are silence).
double correlationAt(const std::vector<float>& x, size_t from, size_t count, Signal s, int channel,
                     int64_t lag);
// The lag in [lagFrom, lagTo] at which the correlation above is highest.
Match bestMatch(const std::vector<float>& x, size_t from, size_t count, Signal s, int channel,
                int64_t lagFrom, int64_t lagTo);
double rms(const std::vector<float>& x, size_t from, size_t count);

// ---- Host -------------------------------------------------------------------

class StreamingHost {
public:
    StreamingHost();
    ~StreamingHost();  // closes the instances still open
    StreamingHost(const StreamingHost&) = delete;
    StreamingHost& operator=(const StreamingHost&) = delete;

    // A new instance (not started), or null.
    AEffect* create();
    // Opens it, sets rate and block size and switches it on, as hosts do.
    static void start(AEffect* e, float rate = static_cast<float>(kSampleRate), int block = kBlockFrames);
    static void suspend(AEffect* e);
    static void resume(AEffect* e);
    void close(AEffect* e);
    void closeAll();
    static LinkPlugin* plugin(AEffect* e);

    // Audio thread, after every instance of the block cycle ran: the
    // transport moves on by `frames`.
    void endCycle(int frames) {
        position_.store(position_.load(std::memory_order_relaxed) + frames, std::memory_order_relaxed);
    }
    double samplePosition() const { return position_.load(std::memory_order_relaxed); }
    void setPlaying(bool on) { playing_.store(on, std::memory_order_relaxed); }
    uint64_t timeRequests() const { return timeRequests_.load(std::memory_order_relaxed); }

    std::atomic<int> inputLatency{0};
    std::atomic<int> outputLatency{0};

private:
    static VstIntPtr VSTCALLBACK callback(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                          void* ptr, float opt);
    static std::atomic<StreamingHost*>& current();

    std::atomic<double> position_{0.0};
    std::atomic<bool> playing_{false};
    std::atomic<uint64_t> timeRequests_{0};
    std::mutex mutex_;
    std::vector<AEffect*> effects_;
};

// ---- Partner ----------------------------------------------------------------

// Decoded audio placed at the stream positions it came with.
struct Timeline : AudioDecoderListener {
    std::vector<float> left, right;
    int64_t first = -1;  // lowest position decoded, -1 for none
    int64_t end = 0;     // one past the highest
    int deliveries = 0;
    int outOfRange = 0;  // payloads beyond kMaxTimelineFrames
    void onDecoded(const float* const* ch, int count, int frames, int64_t position) override;
};

class PartnerEnd : public PeerLinkListener, public PeerConnectionListener {
public:
    struct ReceivedFrame {
        AudioFrameHeader header;
        std::vector<uint8_t> data;
    };

    // Binds the partners' port on a free loopback address.
    PartnerEnd();
    ~PartnerEnd() override;
    PartnerEnd(const PartnerEnd&) = delete;
    PartnerEnd& operator=(const PartnerEnd&) = delete;

    bool ok() const { return link_ && link_->hasSocket(); }
    const std::string& address() const { return address_; }
    PeerConnection& connection() { return *connection_; }
    PeerLink& link() { return *link_; }

    // The handshake, from the partner's side.
    void aimAt(const std::string& ip) { connection_->setPartnerAddress(ip.c_str()); }
    void send(InvitationStep step);
    int received(InvitationStep step) const;
    int receivedKind(MessageKind kind) const;

    // Streaming the partner's signal: Mp3Encoder at 64 kbit/s, every output
    // as AudioFrames, one 1152-frame payload every 24 ms. An AudioRestart
    // from the plug-in starts the encoder over (frame counter and position
    // from 0; the signal goes on).
    bool startStreaming();
    void stopStreaming();
    bool streaming() const { return streaming_.load(std::memory_order_relaxed); }
    // When signal sample 0 was encoded; valid once streaming started.
    std::chrono::steady_clock::time_point streamStart() const;
    // Signal samples encoded and AudioFrames posted so far.
    int64_t samplesStreamed() const { return samplesStreamed_.load(std::memory_order_relaxed); }
    uint32_t framesPosted() const { return framesPosted_.load(std::memory_order_relaxed); }
    uint32_t encoderRestarts() const { return restarts_.load(std::memory_order_relaxed); }
    bool encoderFailed() const { return encoderFailed_.load(std::memory_order_relaxed); }

    // What the plug-in sent.
    size_t audioFramesReceived() const { return audioFrames_.load(std::memory_order_relaxed); }
    std::vector<ReceivedFrame> audioFrames() const;
    // Decodes every kept AudioFrame (the parts of one buffer joined again)
    // with a fresh decoder onto a timeline of stream positions. `failures`
    // counts the buffers the decoder refused or failed on.
    Timeline decodeReceived(int* failures = nullptr) const;
    // Drops the AudioFrames received so far.
    void clearReceived();

    // PeerLinkListener, network thread.
    void onPeerPacket(const PeerMessage& message, const PeerAddress& from) override;
    void onPeerTick() override { connection_->flush(); }
    void onLocalPort(uint16_t) override {}
    void onLinkStatus(const char*) override {}
    double videoBudgetKbps() override { return 0.0; }
    // PeerConnectionListener, network thread.
    void onPeerMessage(PeerConnection& connection, const PeerMessage& message) override;

private:
    class Sink;
    void streamLoop();
    void answerPing(const PeerMessage& ping);

    std::string address_;
    std::unique_ptr<PeerLink> link_;
    std::unique_ptr<PeerConnection> connection_;

    mutable std::mutex mutex_;
    std::vector<uint8_t> kinds_;               // kind of every message received
    std::vector<InvitationStep> steps_;        // every invitation step received
    std::vector<ReceivedFrame> frames_;        // AudioFrames, up to kMaxKeptFrames
    std::atomic<size_t> audioFrames_{0};

    std::atomic<bool> ready_{false};  // the connection exists: packets may be handled
    std::thread streamer_;
    std::atomic<bool> streaming_{false};
    std::atomic<bool> restartWanted_{false};
    std::atomic<bool> encoderFailed_{false};
    std::atomic<int64_t> samplesStreamed_{0};
    std::atomic<uint32_t> framesPosted_{0};
    std::atomic<uint32_t> restarts_{0};
    std::atomic<int64_t> streamStartNs_{0};
};

// ---- Everything together -----------------------------------------------------

class StreamingWorld {
public:
    static constexpr const char* kOwnName = "me";
    static constexpr const char* kPartnerName = "bob";

    StreamingWorld();
    ~StreamingWorld();
    StreamingWorld(const StreamingWorld&) = delete;
    StreamingWorld& operator=(const StreamingWorld&) = delete;

    // The first instance, started at 48 kHz and 256 frames, whose
    // controller's peer link got a free loopback address; then the log-in.
    bool open();
    // Partner: Invite; the session rings; Ask; the test accepts the pending
    // invitation; Accept; Connected. True when the session is connected and
    // the first instance's partner.
    bool connect();
    // The plug-in ends the session (a Bye to the partner) and every
    // instance loses its partner.
    bool disconnect();
    // Another instance of the same process, started.
    AEffect* addInstance();
    void closeInstance(AEffect* e);

    AEffect* effect(size_t i) const { return i < effects_.size() ? effects_[i] : nullptr; }
    LinkPlugin* plugin(size_t i) const { return StreamingHost::plugin(effect(i)); }
    size_t instanceCount() const { return effects_.size(); }
    SessionController* controller() const { return controller_; }
    // The connected session, or none.
    SessionRef session() const;
    PartnerEnd& partner() { return *partner_; }
    StreamingHost& host() { return host_; }
    const std::string& ownAddress() const { return own_; }
    // What went wrong in the last step that failed.
    const std::string& failure() const { return failure_; }

private:
    bool fail(const std::string& why);
    // The open session with the partner, connected or not.
    SessionRef partnerSession() const;

    TempSettings settings_;
    ActionService service_;
    std::unique_ptr<PartnerEnd> partner_;
    StreamingHost host_;
    std::vector<AEffect*> effects_;
    SessionController* controller_ = nullptr;
    std::string own_;
    std::string failure_;
    std::string savedLocalAddress_;
};

}  // namespace streamtest
