#include "tests/support/StreamingPartner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/Clock.h"
#include "platform/NetConfig.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/plugin/PluginFactory.h"
#include "trvcore/session/SessionController.h"

namespace streamtest {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Steps of the handshake are sent again when the answer does not come.
constexpr int kStepTries = 5;
constexpr int kStepWaitMs = 1000;
// The widest lag range bestMatch searches.
constexpr int64_t kMaxLagSpan = 4 * 48000 * 60;

int64_t nanosecondsOf(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

}  // namespace

std::string randomLoopbackAddress() {
    static std::mutex mutex;
    static std::mt19937 random(static_cast<unsigned>(std::random_device{}()) ^
                               static_cast<unsigned>(platform::tickCount()));
    std::lock_guard<std::mutex> guard(mutex);
    std::uniform_int_distribution<int> third(200, 250), fourth(2, 250);
    char text[24];
    std::snprintf(text, sizeof text, "127.0.%d.%d", third(random), fourth(random));
    return text;
}

// ---- Signals ----------------------------------------------------------------

float signalSample(Signal s, int channel, int64_t index) {
    // Frequencies without a common period; the modulation is slow enough to
    // keep the upper tone clean through the codec.
    struct Tones {
        double low, high, modulation;
    };
    static const Tones kTones[2][2] = {
        {{331.7, 1127.3, 1.71}, {523.9, 1493.1, 2.33}},  // partner
        {{440.3, 1251.7, 1.37}, {659.1, 1871.9, 1.93}},  // input
    };
    const Tones& t = kTones[s == Signal::Partner ? 0 : 1][channel == 0 ? 0 : 1];
    const double time = static_cast<double>(index) / kSampleRate;
    const double envelope = 0.6 + 0.4 * std::sin(2 * kPi * t.modulation * time);
    return static_cast<float>(0.28 * std::sin(2 * kPi * t.low * time) +
                              0.18 * envelope * std::sin(2 * kPi * t.high * time));
}

void fillSignal(Signal s, int channel, int64_t from, float* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = signalSample(s, channel, from + i);
}

double correlationAt(const std::vector<float>& x, size_t from, size_t count, Signal s, int channel,
                     int64_t lag) {
    if (count == 0 || from + count > x.size()) return 0.0;
    double xy = 0, xx = 0, yy = 0;
    for (size_t k = 0; k < count; ++k) {
        const int64_t at = static_cast<int64_t>(from + k) - lag;
        const double a = x[from + k];
        const double b = at >= 0 ? signalSample(s, channel, at) : 0.0;
        xy += a * b, xx += a * a, yy += b * b;
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

Match bestMatch(const std::vector<float>& x, size_t from, size_t count, Signal s, int channel,
                int64_t lagFrom, int64_t lagTo) {
    Match best;
    if (count == 0 || from + count > x.size() || lagTo < lagFrom || lagTo - lagFrom > kMaxLagSpan) return best;
    // The signal over every index any lag reaches: ref[j] is sample
    // from - lagTo + j, and lag L starts at j = lagTo - L.
    const size_t span = static_cast<size_t>(lagTo - lagFrom);
    std::vector<float> ref(count + span);
    const int64_t base = static_cast<int64_t>(from) - lagTo;
    for (size_t j = 0; j < ref.size(); ++j) {
        const int64_t at = base + static_cast<int64_t>(j);
        ref[j] = at >= 0 ? signalSample(s, channel, at) : 0.0f;
    }
    std::vector<double> energy(ref.size() + 1, 0.0);  // prefix sums of ref^2
    for (size_t j = 0; j < ref.size(); ++j) energy[j + 1] = energy[j] + double(ref[j]) * ref[j];
    const float* in = x.data() + from;
    double xx = 0;
    for (size_t k = 0; k < count; ++k) xx += double(in[k]) * in[k];
    if (!(xx > 0)) return best;
    for (size_t o = 0; o <= span; ++o) {
        const float* r = ref.data() + o;
        // Eight partial sums, which the compiler keeps in vector registers.
        float part[8] = {0, 0, 0, 0, 0, 0, 0, 0};
        size_t k = 0;
        for (; k + 8 <= count; k += 8)
            for (int j = 0; j < 8; ++j) part[j] += in[k + j] * r[k + j];
        double xy = 0;
        for (; k < count; ++k) xy += double(in[k]) * r[k];
        for (float p : part) xy += p;
        const double yy = energy[o + count] - energy[o];
        if (!(yy > 0)) continue;
        const double c = xy / std::sqrt(xx * yy);
        if (c > best.correlation) {
            best.correlation = c;
            best.lag = lagTo - static_cast<int64_t>(o);
        }
    }
    return best;
}

double rms(const std::vector<float>& x, size_t from, size_t count) {
    if (count == 0 || from + count > x.size()) return 0.0;
    double sum = 0;
    for (size_t k = from; k < from + count; ++k) sum += double(x[k]) * x[k];
    return std::sqrt(sum / static_cast<double>(count));
}

// ---- Host -------------------------------------------------------------------

std::atomic<StreamingHost*>& StreamingHost::current() {
    static std::atomic<StreamingHost*> host{nullptr};
    return host;
}

StreamingHost::StreamingHost() { current().store(this); }

StreamingHost::~StreamingHost() {
    closeAll();
    StreamingHost* self = this;
    current().compare_exchange_strong(self, nullptr);
}

AEffect* StreamingHost::create() {
    AEffect* e = createLinkPluginEffect(&StreamingHost::callback);
    if (e) {
        std::lock_guard<std::mutex> guard(mutex_);
        effects_.push_back(e);
    }
    return e;
}

void StreamingHost::start(AEffect* e, float rate, int block) {
    e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, rate);
    e->dispatcher(e, effSetBlockSize, 0, block, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
}

void StreamingHost::suspend(AEffect* e) { e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f); }
void StreamingHost::resume(AEffect* e) { e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f); }

void StreamingHost::close(AEffect* e) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        auto it = std::find(effects_.begin(), effects_.end(), e);
        if (it == effects_.end()) return;
        effects_.erase(it);
    }
    e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
}

void StreamingHost::closeAll() {
    for (;;) {
        AEffect* last = nullptr;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (effects_.empty()) return;
            last = effects_.back();
        }
        close(last);
    }
}

LinkPlugin* StreamingHost::plugin(AEffect* e) { return e ? linkPluginOf(e) : nullptr; }

VstIntPtr VSTCALLBACK StreamingHost::callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    StreamingHost* h = current().load();
    if (!h) return opcode == audioMasterVersion ? 2400 : 0;
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterWantMidi: return 1;
        case audioMasterGetTime: {
            // One record per calling thread: the audio thread's is only
            // written by itself, and nothing is allocated for it.
            static thread_local VstTimeInfo info;
            std::memset(&info, 0, sizeof info);
            info.samplePos = h->position_.load(std::memory_order_relaxed);
            info.sampleRate = kSampleRate;
            info.tempo = 120.0;
            info.timeSigNumerator = 4;
            info.timeSigDenominator = 4;
            info.flags = h->playing_.load(std::memory_order_relaxed) ? kVstTransportPlaying : 0;
            h->timeRequests_.fetch_add(1, std::memory_order_relaxed);
            return reinterpret_cast<VstIntPtr>(&info);
        }
        case audioMasterGetSampleRate: return static_cast<VstIntPtr>(kSampleRate);
        case audioMasterGetBlockSize: return kBlockFrames;
        case audioMasterGetInputLatency: return h->inputLatency.load(std::memory_order_relaxed);
        case audioMasterGetOutputLatency: return h->outputLatency.load(std::memory_order_relaxed);
        default: return 0;
    }
}

// ---- Timeline -----------------------------------------------------------------

void Timeline::onDecoded(const float* const* ch, int count, int frames, int64_t position) {
    if (!ch || count < 1 || frames <= 0 || position < 0 || position > kMaxTimelineFrames - frames) {
        ++outOfRange;
        return;
    }
    ++deliveries;
    const size_t stop = static_cast<size_t>(position + frames);
    if (left.size() < stop) left.resize(stop), right.resize(stop);
    std::copy(ch[0], ch[0] + frames, left.begin() + position);
    std::copy(ch[count - 1], ch[count - 1] + frames, right.begin() + position);
    if (first < 0 || position < first) first = position;
    end = std::max<int64_t>(end, position + frames);
}

// ---- Partner ----------------------------------------------------------------

// The encoder's outputs, made into AudioFrames and posted; encoder thread.
class PartnerEnd::Sink : public AudioEncoderListener {
public:
    explicit Sink(PartnerEnd& owner) : owner_(owner) {}
    void restart() { counter_ = 0; }
    void onEncoded(const uint8_t* data, int length, int64_t position, int) override {
        if (!data || length <= 0) return;
        AudioFrameHeader h;
        h.transportStart = 0;
        h.streamAtTransportStart = 0;
        h.streamPosition = static_cast<uint32_t>(position);
        h.sampleRate = static_cast<uint32_t>(kSampleRate);
        h.codec = kCodecMp3;
        h.channels = 2;
        h.frameCounter = ++counter_;
        h.transportFlags = 0;
        const size_t parts = audioFrameParts(static_cast<size_t>(length));
        for (size_t part = 0; part < parts; ++part)
            if (buildAudioFramePart(message_, h, data, static_cast<size_t>(length), part))
                owner_.connection_->post(message_);
        owner_.framesPosted_.fetch_add(1, std::memory_order_relaxed);
    }

private:
    PartnerEnd& owner_;
    uint16_t counter_ = 0;
    PeerMessage message_;
};

PartnerEnd::PartnerEnd() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        PeerLinkOptions o;
        o.bindAddress = randomLoopbackAddress();
        o.port = kPeerUdpPort;
        link_.reset(new PeerLink(this, o));
        if (link_->hasSocket()) {
            address_ = o.bindAddress;
            break;
        }
    }
    connection_.reset(new PeerConnection(*link_));
    connection_->setListener(this);
    kinds_.reserve(4096);
    frames_.reserve(1024);
    ready_.store(true);
}

PartnerEnd::~PartnerEnd() {
    stopStreaming();
    // The network thread calls into this object: stop it first.
    link_->stop();
    ready_.store(false);
}

void PartnerEnd::send(InvitationStep step) {
    PeerMessage m;
    if (buildInvitation(m, step)) connection_->post(m);
}

int PartnerEnd::received(InvitationStep step) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(std::count(steps_.begin(), steps_.end(), step));
}

int PartnerEnd::receivedKind(MessageKind kind) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(std::count(kinds_.begin(), kinds_.end(), static_cast<uint8_t>(kind)));
}

void PartnerEnd::onPeerPacket(const PeerMessage& message, const PeerAddress& from) {
    if (!ready_.load()) return;
    connection_->setPartnerAddress(from);
    connection_->onMessage(message);
}

void PartnerEnd::onPeerMessage(PeerConnection&, const PeerMessage& message) {
    const uint8_t kind = message.kind();
    if (kind == static_cast<uint8_t>(MessageKind::Ping)) answerPing(message);
    if (kind == static_cast<uint8_t>(MessageKind::AudioRestart)) {
        uint8_t sub = 0;
        if (parseBareMessage(message, MessageKind::AudioRestart, sub) && sub == kAudioRestartEncoder)
            restartWanted_.store(true);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    if (kinds_.size() < 1000000) kinds_.push_back(kind);
    InvitationStep step;
    if (kind == static_cast<uint8_t>(MessageKind::Invitation) && parseInvitation(message, step))
        steps_.push_back(step);
    AudioFrameView view;
    if (kind == static_cast<uint8_t>(MessageKind::AudioFrame) && parseAudioFrame(message, view)) {
        audioFrames_.fetch_add(1, std::memory_order_relaxed);
        if (frames_.size() < kMaxKeptFrames)
            frames_.push_back({view.header, std::vector<uint8_t>(view.data, view.data + view.dataLength)});
    }
}

void PartnerEnd::answerPing(const PeerMessage& ping) {
    double sendTime = 0.0;
    if (!parsePing(ping, sendTime)) return;
    StatusReportFields f;
    f.echoTime = sendTime;
    f.codec = kCodecMp3;
    f.audioShare = 50;
    f.audioBitrate = statusField(kPartnerBitrate / 100.0);
    for (size_t i = 0; i < kStatusRateCount; ++i)
        f.rates[i] = statusField(connection_->rate(static_cast<StatusRate>(i)) / 100.0);
    PeerMessage reply;
    if (buildStatusReport(reply, f)) connection_->post(reply);
}

bool PartnerEnd::startStreaming() {
    if (streaming_.exchange(true)) return true;
    encoderFailed_.store(false);
    streamStartNs_.store(nanosecondsOf(std::chrono::steady_clock::now()));
    streamer_ = std::thread([this] { streamLoop(); });
    // The encoder opens on the streaming thread; wait for its first output.
    const bool started = eventually([&] { return framesPosted() > 0 || encoderFailed(); }, 2000);
    return started && !encoderFailed();
}

void PartnerEnd::stopStreaming() {
    streaming_.store(false);
    if (streamer_.joinable()) streamer_.join();
}

std::chrono::steady_clock::time_point PartnerEnd::streamStart() const {
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(streamStartNs_.load()));
}

void PartnerEnd::streamLoop() {
    Sink sink(*this);
    Mp3Encoder encoder;
    if (!encoder.open(&sink, 2, kSampleRate, kPartnerBitrate)) {
        encoderFailed_.store(true);
        return;
    }
    std::vector<float> left(kPayloadFrames), right(kPayloadFrames);
    const float* channels[2] = {left.data(), right.data()};
    int64_t index = samplesStreamed();
    // Sample `index` is due at start + index / rate: a late wake-up is made
    // up by the next payloads, so the stream keeps the wall clock's pace.
    const auto start = std::chrono::steady_clock::now() -
                       std::chrono::microseconds(index * 1000000 / static_cast<int64_t>(kSampleRate));
    streamStartNs_.store(nanosecondsOf(start));
    int64_t payloads = index / kPayloadFrames;
    while (streaming_.load()) {
        if (restartWanted_.exchange(false)) {
            if (!encoder.open(&sink, 2, kSampleRate, kPartnerBitrate)) {
                encoderFailed_.store(true);
                return;
            }
            sink.restart();
            restarts_.fetch_add(1, std::memory_order_relaxed);
        }
        fillSignal(Signal::Partner, 0, index, left.data(), kPayloadFrames);
        fillSignal(Signal::Partner, 1, index, right.data(), kPayloadFrames);
        encoder.encode(channels, kPayloadFrames, &sink);
        index += kPayloadFrames;
        samplesStreamed_.store(index, std::memory_order_relaxed);
        ++payloads;
        std::this_thread::sleep_until(start + payloads * kPayloadPeriod);
    }
}

std::vector<PartnerEnd::ReceivedFrame> PartnerEnd::audioFrames() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return frames_;
}

void PartnerEnd::clearReceived() {
    std::lock_guard<std::mutex> guard(mutex_);
    frames_.clear();
    audioFrames_.store(0);
}

namespace {
// Places what the decoder gives for one encoder buffer after what its
// earlier parts gave.
struct BufferSink : AudioDecoderListener {
    Timeline& out;
    int64_t position = 0;
    explicit BufferSink(Timeline& t) : out(t) {}
    void onDecoded(const float* const* ch, int count, int frames, int64_t) override {
        out.onDecoded(ch, count, frames, position);
        if (frames > 0) position += frames;
    }
};
}  // namespace

Timeline PartnerEnd::decodeReceived(int* failures) const {
    const std::vector<ReceivedFrame> frames = audioFrames();
    Timeline timeline;
    Mp3Decoder decoder;
    int failed = 0;
    if (!decoder.open()) {
        if (failures) *failures = static_cast<int>(frames.size());
        return timeline;
    }
    BufferSink sink(timeline);
    for (size_t i = 0; i < frames.size(); ++i) {
        const ReceivedFrame& f = frames[i];
        // The parts of one buffer share its header; a new header starts the
        // next buffer.
        const bool continues = i > 0 && frames[i - 1].header.frameCounter == f.header.frameCounter &&
                               frames[i - 1].header.streamPosition == f.header.streamPosition;
        if (!continues) sink.position = f.header.streamPosition;
        if (f.header.codec != kCodecMp3) {
            ++failed;
            continue;
        }
        const Mp3Decoder::Result r = decoder.decode(f.data.data(), f.data.size(), f.header.streamPosition, &sink);
        if (r == Mp3Decoder::Result::Failed || r == Mp3Decoder::Result::Refused ||
            r == Mp3Decoder::Result::NotOpen) {
            ++failed;
            decoder.open();
        }
    }
    if (failures) *failures = failed;
    return timeline;
}

// ---- Everything together -----------------------------------------------------

StreamingWorld::StreamingWorld() : partner_(new PartnerEnd), savedLocalAddress_(platform::localAddress()) {}

StreamingWorld::~StreamingWorld() {
    partner_->stopStreaming();
    if (controller_) controller_->logout();
    host_.closeAll();  // the last instance takes the controller with it
    controller_ = nullptr;
    partner_.reset();
    platform::setLocalAddress(savedLocalAddress_);
    platform::setServiceOverride("", 0);
}

bool StreamingWorld::fail(const std::string& why) {
    failure_ = why;
    return false;
}

bool StreamingWorld::open() {
    if (controller_) return true;
    if (service_.port() == 0) return fail("the stand-in service has no port");
    if (!partner_->ok()) return fail("the partner found no free loopback address");
    platform::setServiceOverride("127.0.0.1", service_.port());
    for (int attempt = 0; attempt < 20 && !controller_; ++attempt) {
        own_ = randomLoopbackAddress();
        platform::setLocalAddress(own_);
        AEffect* e = host_.create();
        if (!e) return fail("no instance");
        LinkPlugin* p = StreamingHost::plugin(e);
        if (p && p->controller()->peerLink() && p->controller()->peerLink()->hasSocket()) {
            controller_ = p->controller();
            StreamingHost::start(e);
            effects_.push_back(e);
        } else {
            host_.close(e);
        }
    }
    if (!controller_) return fail("the controller's link found no free loopback address");
    service_.setUsers({{kOwnName, own_}, {kPartnerName, partner_->address()}});
    controller_->setUserName(kOwnName);
    controller_->setPassword("secret");
    if (!controller_->login()) return fail("log-in refused");
    OnlineUser partner;
    if (!eventually([&] { return controller_->findOnlineUser(kPartnerName, partner); }))
        return fail("the partner is missing from the online list");
    return true;
}

SessionRef StreamingWorld::partnerSession() const {
    if (!controller_) return SessionRef();
    for (int i = 0; i < controller_->sessionCount(); ++i) {
        SessionRef s = controller_->sessionAt(i);
        if (s && !s->closed() && partner_->address() == s->partnerIp()) return s;
    }
    return SessionRef();
}

SessionRef StreamingWorld::session() const {
    SessionRef s = partnerSession();
    return s && s->connected() ? s : SessionRef();
}

bool StreamingWorld::connect() {
    if (!open()) return false;
    if (session()) return true;
    PartnerEnd& p = *partner_;
    p.connection().reset();
    p.aimAt(own_);
    // Each step is sent again when its answer does not come: UDP.
    auto step = [&](InvitationStep what, auto answered) {
        for (int tries = 0; tries < kStepTries; ++tries) {
            p.send(what);
            if (eventually(answered, kStepWaitMs)) return true;
        }
        return false;
    };
    const int ringing = p.received(InvitationStep::Ringing);
    SessionRef s;
    if (!step(InvitationStep::Invite, [&] {
            s = partnerSession();
            return s && p.received(InvitationStep::Ringing) > ringing;
        }))
        return fail("the partner's Invite made no ringing session");
    if (!step(InvitationStep::Ask, [&] { return s->awaitingAnswer(); }))
        return fail("the partner's Ask was not put to the user");
    SessionRef pending = controller_->pendingInvitation();
    if (pending.get() != s.get()) return fail("the partner's session is not the pending invitation");
    const int accepts = p.received(InvitationStep::Accept);
    controller_->acceptInvitation(pending.get(), true);
    if (!eventually([&] { return p.received(InvitationStep::Accept) > accepts; }))
        return fail("no Accept reached the partner");
    if (!step(InvitationStep::Connected, [&] { return s->connected(); }))
        return fail("the session did not connect");
    if (!eventually([&] {
            for (size_t i = 0; i < effects_.size(); ++i)
                if (plugin(i)->partner() != s.get()) return false;
            return true;
        }))
        return fail("not every instance took the session as its partner");
    return true;
}

bool StreamingWorld::disconnect() {
    SessionRef s = partnerSession();
    if (!s) return true;
    const int byes = partner_->receivedKind(MessageKind::Bye);
    controller_->disconnect(s.get());
    if (!eventually([&] { return partner_->receivedKind(MessageKind::Bye) > byes; }))
        return fail("no Bye reached the partner");
    if (!eventually([&] {
            for (size_t i = 0; i < effects_.size(); ++i)
                if (plugin(i)->partner()) return false;
            return true;
        }))
        return fail("an instance kept the ended session");
    return true;
}

AEffect* StreamingWorld::addInstance() {
    AEffect* e = host_.create();
    if (!e) return nullptr;
    StreamingHost::start(e);
    effects_.push_back(e);
    return e;
}

void StreamingWorld::closeInstance(AEffect* e) {
    auto it = std::find(effects_.begin(), effects_.end(), e);
    if (it == effects_.end()) return;
    effects_.erase(it);
    host_.close(e);
}

}  // namespace streamtest
