// Cost of the video path against bare codec calls on the same pictures in
// the same run.
//
// Coding: the sender's whole path per picture (offerPicture of a QCIF
// camera picture, then codePending: copy, studio-range conversion, intra
// coding at quantiser 7, the VideoFrame message, the post on a connection
// whose socket sends nowhere) against avcodec_send_frame and
// avcodec_receive_packet on the same pictures already in 4:2:0.
// Decoding: the receive path per picture (the network thread's store into
// the frame queue, then the receiver's take, decode and conversion into
// the output picture) against avcodec_send_packet and
// avcodec_receive_frame on the same coded pictures.
// Both sides run on the calling thread, measured in its CPU time, taking
// turns picture block by picture block. Prints the median over rounds of
// each ratio. The bare side is handed 4:2:0 pictures and hands back 4:2:0
// ones; the pipeline's side converts from and to RGB as well, which costs
// about as much as the codec itself at this size: the targets are at most
// 2.0 for both.
//
// A last line runs the receive path in real time: pictures arrive at 24 a
// second from a feeding thread (as the network thread stores them) while
// the receiver's own thread shows them; the two threads' CPU time over the
// wall time is the path's share of one core (target at most 5 %).
#include <benchmark/benchmark.h>

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "bench/BenchLink.h"
#include "tests/support/StandingStreamHost.h"
#include "tools/synthcam/SyntheticCamera.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerConnection.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "trvcore/video/VideoPicture.h"
#include "trvcore/video/VideoReceiver.h"
#include "trvcore/video/VideoSender.h"

namespace {

constexpr int kPictures = 48;  // two seconds of camera at 24 a second
constexpr int kQuantiser = 7;
constexpr int kRounds = 5;

double threadSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
double ownCpu() { return threadSeconds(CLOCK_THREAD_CPUTIME_ID); }

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// A host that stands (no transport): pictures show as they come.
struct StandingHost : StandingStreamHost {
    StandingHost() : StandingStreamHost(256) {}
};

// The camera's pictures at QCIF, RGB and 4:2:0, and coded as VideoFrames.
struct Pictures {
    std::vector<std::vector<uint8_t>> rgb;
    AVFrame* yuv[kPictures] = {};
    std::vector<PeerMessage> messages;
    Pictures() : rgb(kPictures), messages(kPictures) {
        SyntheticCamera::Format format;
        format.kind = SyntheticCamera::Kind::Pattern;
        std::vector<uint8_t> frame(size_t(format.width) * format.height * 3);
        video::H263Encoder encoder;
        encoder.open();
        std::vector<uint8_t> coded(kMaxVideoFrameData);
        for (int i = 0; i < kPictures; ++i) {
            SyntheticCamera::draw(format, uint32_t(i), frame.data());
            rgb[i].resize(video::kPictureBytes);
            video::scaleToQcif(frame.data(), format.width, format.height, format.width * 3, rgb[i].data());
            yuv[i] = av_frame_alloc();
            yuv[i]->format = AV_PIX_FMT_YUV420P;
            yuv[i]->width = video::kWidth;
            yuv[i]->height = video::kHeight;
            av_frame_get_buffer(yuv[i], 0);
            video::rgbToYuv420(rgb[i].data(), yuv[i]->data[0], yuv[i]->linesize[0], yuv[i]->data[1],
                               yuv[i]->data[2], yuv[i]->linesize[1]);
            const int n = encoder.encode(rgb[i].data(), kQuantiser, coded.data(), coded.size());
            buildVideoFrame(messages[i], VideoFrameHeader(), coded.data(), size_t(n > 0 ? n : 0));
        }
    }
    ~Pictures() {
        for (AVFrame*& f : yuv) av_frame_free(&f);
    }
};

Pictures& pictures() {
    static Pictures p;
    return p;
}

// The codec library's own encoder, set up as the sender's.
struct BareEncoder {
    AVCodecContext* c = nullptr;
    AVPacket* packet = av_packet_alloc();
    int64_t pts = 0;
    BareEncoder() {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_H263);
        c = avcodec_alloc_context3(codec);
        c->width = video::kWidth;
        c->height = video::kHeight;
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->time_base = AVRational{1001, 30000};
        c->gop_size = 0;
        c->max_b_frames = 0;
        c->thread_count = 1;
        c->flags |= AV_CODEC_FLAG_QSCALE;
        if (avcodec_open2(c, codec, nullptr) < 0) avcodec_free_context(&c);
    }
    ~BareEncoder() {
        avcodec_free_context(&c);
        av_packet_free(&packet);
    }
    int encode(AVFrame* f) {
        f->pict_type = AV_PICTURE_TYPE_I;
        f->quality = kQuantiser * FF_QP2LAMBDA;
        f->pts = pts++;
        if (avcodec_send_frame(c, f) < 0 || avcodec_receive_packet(c, packet) < 0) return -1;
        const int n = packet->size;
        av_packet_unref(packet);
        return n;
    }
};

struct BareDecoder {
    AVCodecContext* c = nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    std::vector<uint8_t> padded = std::vector<uint8_t>(kMaxVideoFrameData + AV_INPUT_BUFFER_PADDING_SIZE);
    BareDecoder() {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H263);
        c = avcodec_alloc_context3(codec);
        c->thread_count = 1;
        if (avcodec_open2(c, codec, nullptr) < 0) avcodec_free_context(&c);
    }
    ~BareDecoder() {
        avcodec_free_context(&c);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    bool decode(const PeerMessage& m) {
        VideoFrameView v;
        if (!parseVideoFrame(m, v)) return false;
        std::memcpy(padded.data(), v.data, v.dataLength);
        packet->data = padded.data();
        packet->size = int(v.dataLength);
        if (avcodec_send_packet(c, packet) < 0) return false;
        bool got = false;
        while (avcodec_receive_frame(c, frame) == 0) {
            got = true;
            av_frame_unref(frame);
        }
        return got;
    }
};

// The sender and the receiver with what they post to and read from.
struct Rig {
    StandingHost host;
    QuietListener listener;
    std::unique_ptr<PeerLink> link;
    std::unique_ptr<PeerConnection> connection;
    std::unique_ptr<VideoSender> sender;
    Rig() {
        PeerLinkOptions o;
        o.bindAddress = "127.0.0.1";
        o.port = 0;
        o.socket = new NowhereSocket;  // the link takes it over
        o.startThread = false;
        link.reset(new PeerLink(&listener, o));
        connection.reset(new PeerConnection(*link));
        connection->setPartnerAddress("127.0.0.9", kPeerUdpPort);
        sender.reset(new VideoSender(host.cycleTime(), *connection));
        sender->setQuality(0.3);  // quantiser 7, as the bare side
    }
};

Rig& rig() {
    static Rig r;
    return r;
}

void coding(benchmark::State& state) {
    Pictures& p = pictures();
    Rig& r = rig();
    BareEncoder bare;
    if (!bare.c || !r.sender->encoderReady() || r.sender->quantiser() != kQuantiser) {
        state.SkipWithError("no H.263 encoder");
        return;
    }
    double ours = 0, theirs = 0;
    int64_t bytes = 0;
    for (auto _ : state) {
        double t0 = ownCpu();
        for (int i = 0; i < kPictures; ++i) bytes += bare.encode(p.yuv[i]);
        theirs += ownCpu() - t0;
        t0 = ownCpu();
        for (int i = 0; i < kPictures; ++i) {
            r.sender->offerPicture(p.rgb[i].data(), video::kWidth, video::kHeight, video::kStride);
            r.sender->codePending();
        }
        const double t = ownCpu() - t0;
        ours += t;
        state.SetIterationTime(t);
    }
    benchmark::DoNotOptimize(bytes);
    if (theirs > 0) state.counters["ratio"] = ours / theirs;
    state.counters["bare_ms_per_picture"] = theirs * 1000 / (double(state.iterations()) * kPictures);
}

void decoding(benchmark::State& state) {
    Pictures& p = pictures();
    StandingHost host;
    VideoReceiver receiver(host);  // driven on this thread, its own not started
    BareDecoder bare;
    if (!bare.c) {
        state.SkipWithError("no H.263 decoder");
        return;
    }
    double ours = 0, theirs = 0;
    int shown = 0;
    for (auto _ : state) {
        double t0 = ownCpu();
        for (int i = 0; i < kPictures; ++i) shown += bare.decode(p.messages[i]);
        theirs += ownCpu() - t0;
        t0 = ownCpu();
        for (int i = 0; i < kPictures; ++i) {
            receiver.onVideoFrame(p.messages[i]);
            receiver.showNext();
        }
        const double t = ownCpu() - t0;
        ours += t;
        state.SetIterationTime(t);
    }
    benchmark::DoNotOptimize(shown);
    if (receiver.decoded() != uint32_t(state.iterations()) * kPictures) state.SkipWithError("pictures were lost");
    if (theirs > 0) state.counters["ratio"] = ours / theirs;
    state.counters["bare_ms_per_picture"] = theirs * 1000 / (double(state.iterations()) * kPictures);
}

// A receiver whose thread notes its CPU clock as it starts.
class ClockedReceiver : public VideoReceiver {
public:
    using VideoReceiver::VideoReceiver;
    void run() override {
        clockid_t c;
        if (pthread_getcpuclockid(pthread_self(), &c) == 0) {
            clock_ = c;
            known_.store(true, std::memory_order_release);
        }
        VideoReceiver::run();
    }
    bool clock(clockid_t& out) const {
        if (!known_.load(std::memory_order_acquire)) return false;
        out = clock_;
        return true;
    }

private:
    clockid_t clock_{};
    std::atomic<bool> known_{false};
};

struct Share {
    double percent = -1;
    double shownPerSecond = 0;
};

// Three seconds of pictures at 24 a second into a running receiver.
Share realTime() {
    Pictures& p = pictures();
    StandingHost host;
    ClockedReceiver receiver(host);
    receiver.start();
    clockid_t receiverClock;
    for (int i = 0; i < 1000 && !receiver.clock(receiverClock); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Share s;
    if (!receiver.clock(receiverClock)) return s;
    constexpr int kCount = 72;
    const auto period = std::chrono::nanoseconds(1000000000 / 24);
    const double receiverBefore = threadSeconds(receiverClock);
    double feeding = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCount; ++i) {
        const double t0 = ownCpu();
        receiver.onVideoFrame(p.messages[i % kPictures]);
        feeding += ownCpu() - t0;
        std::this_thread::sleep_until(start + (i + 1) * period);
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double receiving = threadSeconds(receiverClock) - receiverBefore;
    receiver.stop();
    s.percent = 100.0 * (receiving + feeding) / wall;
    s.shownPerSecond = receiver.decoded() / wall;
    return s;
}

class RoundRatios : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred || r.iterations == 0) continue;
            auto ratio = r.counters.find("ratio");
            auto bare = r.counters.find("bare_ms_per_picture");
            if (ratio == r.counters.end() || bare == r.counters.end()) continue;
            const bool coding = r.benchmark_name().rfind("coding", 0) == 0;
            (coding ? codingRatios : decodingRatios).push_back(ratio->second.value);
            (coding ? codingBare : decodingBare).push_back(bare->second.value);
        }
    }
    std::vector<double> codingRatios, decodingRatios, codingBare, decodingBare;
};

void printRatio(const char* what, const std::vector<double>& ratios, double target, double bareMs) {
    if (ratios.empty()) {
        std::printf("ratio %s: no result\n", what);
        return;
    }
    std::printf("ratio %s: %.3f (target at most %.2f; median of %zu rounds, %.3f..%.3f)  [bare %.3f ms CPU per "
                "picture]\n",
                what, median(ratios), target, ratios.size(), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()), bareMs);
}

}  // namespace

int main(int argc, char** argv) {
    for (int round = 1; round <= kRounds; ++round) {
        benchmark::RegisterBenchmark(("coding-vs-bare#" + std::to_string(round)).c_str(), coding)
            ->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(0.2);
        benchmark::RegisterBenchmark(("decoding-vs-bare#" + std::to_string(round)).c_str(), decoding)
            ->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(0.2);
    }
    benchmark::Initialize(&argc, argv);
    RoundRatios reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printRatio("sender/bare coding", reporter.codingRatios, 2.0, median(reporter.codingBare));
    printRatio("receiver/bare decoding", reporter.decodingRatios, 2.0, median(reporter.decodingBare));
    std::vector<double> shares, shown;
    for (int run = 0; run < 3; ++run) {
        const Share s = realTime();
        if (s.percent < 0) continue;
        shares.push_back(s.percent);
        shown.push_back(s.shownPerSecond);
    }
    if (shares.empty()) return 1;
    std::printf("real time: receive path at 24 pictures a second takes %.2f %% of one core (target at most 5 %%; "
                "median of %zu runs of 3 s)  [%.1f pictures shown a second]\n",
                median(shares), shares.size(), median(shown));
    return reporter.codingRatios.empty() || reporter.decodingRatios.empty() ? 1 : 0;
}
