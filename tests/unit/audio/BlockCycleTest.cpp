// The block cycle and processReplacing through the plug-in's AEffect, with
// a host that answers time info: thru, missing time info, the chime in the
// cycle leader's output; and with a connected partner on loopback: the
// partner's audio in the output, the record-offset delay and the sum of
// the instances' inputs sent once per host block.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/NetConfig.h"
#include "support/TempSettings.h"
#include "support/TimedHost.h"
#include "tests/unit/audio/AudioTestSupport.h"
#include "tests/unit/peerlink/LinkHarness.h"
#include "tests/support/ActionService.h"
#include "tests/unit/session/PluginOnLoopback.h"
#include "trvcore/audio/AlertChime.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"

using namespace audiotest;

namespace {

constexpr int kBlock = 256;

using sessiontest::pluginOf;

// One instance's buffers for a host block.
struct Io {
    Stereo in, out;
    explicit Io(int frames = kBlock) : in(size_t(frames)), out(size_t(frames)) {}
    void fillInput(float seed) {
        for (size_t i = 0; i < in.frames(); ++i) {
            in.left[i] = seed + 0.001f * float(i);
            in.right[i] = -seed - 0.001f * float(i);
        }
        std::fill(out.left.begin(), out.left.end(), 9.0f);
        std::fill(out.right.begin(), out.right.end(), 9.0f);
    }
    void process(AEffect* e) {
        float* i[2] = {in.left.data(), in.right.data()};
        float* o[2] = {out.left.data(), out.right.data()};
        e->processReplacing(e, i, o, static_cast<VstInt32>(in.frames()));
    }
};

int logCount(SessionController* c, const std::string& text) {
    char line[MessageLog::kLineBytes];
    int n = 0;
    for (int k = 0; k < MessageLog::kLines && c->message(k, line); ++k)
        if (text == line) ++n;
    return n;
}

class BlockCycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        a = host.create();
        b = host.create();
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        TimedHost::start(a, 48000.0f, kBlock);
        TimedHost::start(b, 48000.0f, kBlock);
        c = pluginOf(a)->controller();
        ASSERT_EQ(c->registeredCount(), 2);
    }
    // One host block: every instance in the order given, then the
    // transport moves on.
    void hostBlock(std::vector<std::pair<AEffect*, Io*>> order) {
        for (auto& p : order) p.second->process(p.first);
        host.advance(static_cast<int>(order.front().second->in.frames()));
    }

    TempSettings settings;
    TimedHost host;
    AEffect* a = nullptr;
    AEffect* b = nullptr;
    SessionController* c = nullptr;
};

}  // namespace

TEST_F(BlockCycleTest, WithoutAPartnerThruPassesTheInputAndOffSilences) {
    pluginOf(b)->setThru(false);
    Io ia, ib;
    const int before = host.timeCalls;
    for (int n = 0; n < 4; ++n) {
        ia.fillInput(0.1f * n);
        ib.fillInput(0.2f + 0.1f * n);
        hostBlock({{a, &ia}, {b, &ib}});
        EXPECT_EQ(ia.out.left, ia.in.left);
        EXPECT_EQ(ia.out.right, ia.in.right);
        EXPECT_TRUE(allZero(ib.out.left.data(), kBlock));
        EXPECT_TRUE(allZero(ib.out.right.data(), kBlock));
    }
    // Every instance asks for time info with the positions, tempo, bars,
    // cycle and time signature filter.
    EXPECT_EQ(host.timeCalls - before, 8);
    EXPECT_EQ(host.lastTimeFilter, 0x3E00);

    // In place: the host hands the same buffers in and out.
    pluginOf(b)->setThru(true);
    Io same;
    same.fillInput(0.5f);
    const std::vector<float> keepL = same.in.left, keepR = same.in.right;
    float* io[2] = {same.in.left.data(), same.in.right.data()};
    a->processReplacing(a, io, io, kBlock);
    b->processReplacing(b, io, io, kBlock);
    EXPECT_EQ(same.in.left, keepL);
    EXPECT_EQ(same.in.right, keepR);

    // A host block longer than the announced size is passed whole.
    Io big(4 * kBlock), bigB(4 * kBlock);
    big.fillInput(0.3f);
    bigB.fillInput(0.4f);
    hostBlock({{a, &big}, {b, &bigB}});
    EXPECT_EQ(big.out.left, big.in.left);
    EXPECT_EQ(bigB.out.right, bigB.in.right);
}

TEST_F(BlockCycleTest, AnInstanceGoingAwayMidBlockIsNeitherLeaderNorSyncSource) {
    pluginOf(a)->setSyncSource(true);
    Io ia, ib;
    ia.process(a);  // a opens the host block: it leads
    EXPECT_EQ(c->cycleLeader(), pluginOf(a));
    host.close(a);  // the host drops it before b's turn
    a = nullptr;
    EXPECT_EQ(c->cycleLeader(), nullptr);
    EXPECT_EQ(c->syncSource(), nullptr);
    ib.fillInput(0.2f);
    ib.process(b);  // b closes the block
    EXPECT_EQ(ib.out.left, ib.in.left);

    // The sync source is let go inside the cycle's lock: a block in progress
    // on the audio thread keeps it until the block ends.
    pluginOf(b)->setSyncSource(true);
    std::atomic<bool> cleared{false};
    c->processLock().lock();
    std::thread clearer([&] {
        pluginOf(b)->setSyncSource(false);
        cleared = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(cleared.load());
    EXPECT_EQ(c->syncSource(), pluginOf(b));
    c->processLock().unlock();
    clearer.join();
    EXPECT_EQ(c->syncSource(), nullptr);
}

TEST_F(BlockCycleTest, AHostWithoutTimeInfoIsToldOnceAndAudioStillPasses) {
    const std::string line = "No VSTTimeInfo : TRV can\x92t work with this application!";
    ASSERT_NE(line.find('\x92'), std::string::npos);
    EXPECT_EQ(logCount(c, line), 0);
    host.giveTime = false;
    Io ia, ib;
    pluginOf(b)->setThru(false);
    for (int n = 0; n < 20; ++n) {
        ia.fillInput(0.05f * n);
        ib.fillInput(0.3f);
        hostBlock({{a, &ia}, {b, &ib}});
        ASSERT_EQ(ia.out.left, ia.in.left);
        ASSERT_EQ(ia.out.right, ia.in.right);
        ASSERT_TRUE(allZero(ib.out.left.data(), kBlock));
    }
    EXPECT_EQ(logCount(c, line), 1);
    // Time info back, then gone again: still told once in the controller's life.
    host.giveTime = true;
    hostBlock({{a, &ia}, {b, &ib}});
    host.giveTime = false;
    hostBlock({{a, &ia}, {b, &ib}});
    EXPECT_EQ(logCount(c, line), 1);
    EXPECT_EQ(ia.out.left, ia.in.left);
}

TEST_F(BlockCycleTest, TheChimeReplacesTheCycleLeadersOutputOnly) {
    AlertChime expected;
    expected.start();
    c->startChime();
    Io ia, ib;
    std::vector<float> chime(kBlock);
    const int blocks = static_cast<int>(1.5 * 48000 / kBlock);
    int chimed = 0;
    for (int n = 0; n < blocks; ++n) {
        SCOPED_TRACE(n);
        // Thru on or off makes no difference to the leader's output.
        pluginOf(a)->setThru(n % 2 == 0);
        ia.fillInput(0.2f);
        ib.fillInput(0.3f);
        const bool ringing = expected.playing();
        expected.render(chime.data(), kBlock, 48000.0);
        hostBlock({{a, &ia}, {b, &ib}});
        if (ringing) {
            ++chimed;
            ASSERT_EQ(ia.out.left, chime);
            ASSERT_EQ(ia.out.right, chime);
        } else {
            ASSERT_EQ(ia.out.left, n % 2 == 0 ? ia.in.left : std::vector<float>(kBlock, 0.0f));
        }
        // The other instance just passes its input.
        ASSERT_EQ(ib.out.left, ib.in.left);
        ASSERT_EQ(ib.out.right, ib.in.right);
    }
    // About 1.47 s of chime.
    EXPECT_NEAR(chimed, 1.47 * 48000 / kBlock, 2);
    EXPECT_EQ(c->alertChime(), nullptr);
}

TEST_F(BlockCycleTest, TheChimeGoesToWhicheverInstanceOpensTheCycle) {
    c->startChime();
    Io ia, ib;
    ia.fillInput(0.2f);
    ib.fillInput(0.3f);
    // A few blocks in (past the chime's very first samples, which are 0).
    for (int n = 0; n < 4; ++n) hostBlock({{b, &ib}, {a, &ia}});
    EXPECT_EQ(ia.out.left, ia.in.left);
    EXPECT_NE(ib.out.left, ib.in.left);
    EXPECT_EQ(ib.out.left, ib.out.right);
    EXPECT_GT(rms(ib.out.left.data(), kBlock), 0.001);
}

// ---- With a connected partner ------------------------------------------------

namespace {

class BlockCyclePartnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(service.port(), 0);
        for (int attempt = 0; attempt < 20 && !bob; ++attempt) {
            PeerLinkOptions o;
            o.bindAddress = sessiontest::freeLoopbackAddress();
            o.port = kPeerUdpPort;
            bob.reset(new LinkHarness(o));
            if (bob->link->hasSocket()) bobAddress = o.bindAddress;
            else bob.reset();
        }
        ASSERT_TRUE(bob);
        platform::setServiceOverride("127.0.0.1", service.port());
        a = sessiontest::createOnFreeAddress(host, own);
        ASSERT_NE(a, nullptr);
        c = pluginOf(a)->controller();
        TimedHost::start(a, 48000.0f, kBlock);
        service.setUsers({{"me", own}, {"bob", bobAddress}});
        c->setUserName("me");
        c->setPassword("secret");
        ASSERT_TRUE(c->login());
        connect();
    }
    void TearDown() override {
        session.reset();
        if (c) c->logout();
        if (b) host.close(b);
        if (a) host.close(a);
        platform::setLocalAddress("127.0.0.254");
        platform::setServiceOverride("", 0);
    }

    void bobSends(InvitationStep step) {
        PeerMessage m;
        buildInvitation(m, step);
        bob->connection->post(m);
    }
    int bobReceived(InvitationStep step) {
        int n = 0;
        for (const auto& m : bob->messages()) {
            InvitationStep s;
            if (parseInvitation(MessageBytes(m.data(), m.size()), s) && s == step) ++n;
        }
        return n;
    }
    // Bob invites, this user accepts, bob connects.
    void connect() {
        bob->connection->setPartnerAddress(own.c_str());
        bobSends(InvitationStep::Invite);
        ASSERT_TRUE(eventually([&] { return c->sessionCount() == 1; }));
        SessionRef s = c->sessionAt(0);
        ASSERT_TRUE(s);
        ASSERT_TRUE(eventually([&] { return bobReceived(InvitationStep::Ringing) > 0; }));
        bobSends(InvitationStep::Ask);
        ASSERT_TRUE(eventually([&] { return s->awaitingAnswer(); }));
        c->acceptInvitation(s.get(), true);
        bobSends(InvitationStep::Connected);
        ASSERT_TRUE(eventually([&] { return pluginOf(a)->partner() == s.get(); }));
        ASSERT_TRUE(eventually([&] { return c->cycleSessionCount() == 1; }));
        session = s;
        // Bob's Ask rang the chime: it fills the first instance's output
        // for about 1.47 s. Let it ring out.
        Stereo rung = run(a, 300);
        EXPECT_GT(rms(rung.left.data(), 48000), 0.01);
        EXPECT_EQ(rung.left, rung.right);
        EXPECT_TRUE(allZero(rung.left.data() + 72000, rung.frames() - 72000));
    }
    AudioReceiveStream& receive() { return session->receiveStream(); }
    // Bob streams encoder buffers [from, to) of `encoded`; waits until the
    // plug-in has decoded them all.
    void bobStreams(const EncodedStream& encoded, size_t from, size_t to) {
        const int64_t before = receive().decodedFrames();
        for (size_t k = from; k < to; ++k) {
            PeerMessage m = audioFrame(encoded.buffers[k], static_cast<uint16_t>(k + 1));
            ASSERT_TRUE(bob->connection->post(m));
        }
        ASSERT_TRUE(eventually([&] { return receive().decodedFrames() == before + int64_t(1152 * (to - from)); }));
    }
    // Runs `blocks` host blocks of instance `e` with input `in` (its
    // successive blocks), collecting the output.
    Stereo run(AEffect* e, int blocks, const Stereo* in = nullptr) {
        Stereo out;
        Io io;
        for (int n = 0; n < blocks; ++n) {
            for (size_t i = 0; i < size_t(kBlock); ++i) {
                const size_t at = size_t(n) * kBlock + i;
                io.in.left[i] = in ? in->left[at] : 0.0f;
                io.in.right[i] = in ? in->right[at] : 0.0f;
            }
            io.process(e);
            host.advance(kBlock);
            // Real time is about 5 ms a block: let the encoder keep up.
            if (n % 16 == 15) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            out.left.insert(out.left.end(), io.out.left.begin(), io.out.left.end());
            out.right.insert(out.right.end(), io.out.right.begin(), io.out.right.end());
        }
        return out;
    }
    // What the plug-in sent bob, decoded onto its stream positions.
    Stereo decodedAtBob() {
        Mp3Decoder d;
        d.open();
        Timeline t;
        for (const auto& m : bob->messages()) {
            AudioFrameView v;
            if (parseAudioFrame(MessageBytes(m.data(), m.size()), v))
                d.decode(v.data, v.dataLength, v.header.streamPosition, &t);
        }
        return t.audio;
    }
    size_t audioFramesAtBob() {
        size_t n = 0;
        for (const auto& m : bob->messages())
            if (m[kMessageKindAt] == static_cast<uint8_t>(MessageKind::AudioFrame)) ++n;
        return n;
    }

    TempSettings settings;
    ActionService service;
    std::unique_ptr<LinkHarness> bob;
    std::string bobAddress, own;
    TimedHost host;
    AEffect* a = nullptr;
    AEffect* b = nullptr;
    SessionController* c = nullptr;
    SessionRef session;
};

}  // namespace

TEST_F(BlockCyclePartnerTest, ThePartnersAudioPlaysAndTheRecordOffsetDelaysIt) {
    // Bob's signal: a tone with a click in it.
    Stereo signal = sine(11 * 1152, 700, 900, 48000, 0.3);
    for (size_t at : {2000u, 7000u}) signal.left[at] = signal.right[at] = 0.9f;
    const EncodedStream encoded = encode(signal);
    ASSERT_GE(encoded.buffers.size(), 8u);
    // The same payloads through a decoder of the test's own: what the
    // play block must hold, frame for frame.
    Mp3Decoder d;
    d.open();
    Timeline ref;
    for (size_t k = 0; k < 8; ++k)
        d.decode(encoded.buffers[k].bytes.data(), encoded.buffers[k].bytes.size(), encoded.buffers[k].position, &ref);
    const size_t p0 = size_t(encoded.buffers[0].position), p4 = size_t(encoded.buffers[4].position);

    // Latency sum 0: the switch stays off; with thru the output is the
    // input plus bob's audio, undelayed.
    LinkPlugin* p = pluginOf(a);
    p->setCompensateRecordOffset(true);
    EXPECT_FALSE(p->compensateRecordOffset());
    bobStreams(encoded, 0, 4);
    Stereo input = sine(18 * kBlock, 300, 300, 48000, 0.1);
    Stereo first = run(a, 18, &input);
    for (size_t i = 0; i < 4608; ++i) {
        ASSERT_EQ(first.left[i], input.left[i] + ref.audio.left[p0 + i]) << i;
        ASSERT_EQ(first.right[i], input.right[i] + ref.audio.right[p0 + i]) << i;
    }

    // Latencies of 256 + 256: bob's audio comes out 512 frames later.
    host.inputLatency = 256;
    host.outputLatency = 256;
    p->setCompensateRecordOffset(true);
    ASSERT_TRUE(p->compensateRecordOffset());
    ASSERT_EQ(p->delayLength(), 512);
    p->setThru(false);
    bobStreams(encoded, 4, 8);
    Stereo second = run(a, 20);
    EXPECT_TRUE(allZero(second.left.data(), 512)) << "the line starts out silent";
    EXPECT_TRUE(allZero(second.right.data(), 512));
    for (size_t i = 0; i < 4608; ++i) {
        ASSERT_EQ(second.left[512 + i], ref.audio.left[p4 + i]) << i;
        ASSERT_EQ(second.right[512 + i], ref.audio.right[p4 + i]) << i;
    }
    // The click at 7000 in particular: its peak, 512 frames later.
    const auto peak = [](const std::vector<float>& x, size_t from, size_t to) {
        return size_t(std::max_element(x.begin() + long(from), x.begin() + long(to)) - x.begin());
    };
    EXPECT_EQ(peak(second.left, 0, second.frames()), peak(ref.audio.left, p4, p4 + 4608) - p4 + 512);
}

TEST_F(BlockCyclePartnerTest, WithoutTimeInfoThePartnersAudioIsNotRead) {
    Stereo signal = sine(4 * 1152, 700, 900, 48000, 0.3);
    const EncodedStream encoded = encode(signal);
    bobStreams(encoded, 0, 2);
    host.giveTime = false;
    Stereo input = sine(8 * kBlock, 300, 300, 48000, 0.1);
    Stereo out = run(a, 8, &input);
    EXPECT_EQ(out.left, input.left);
    EXPECT_EQ(out.right, input.right);
    EXPECT_EQ(receive().playout().queuedFrames(), 2304);
}

TEST_F(BlockCyclePartnerTest, TheInstancesInputsAreSentSummedOncePerHostBlock) {
    b = host.create();
    ASSERT_NE(b, nullptr);
    TimedHost::start(b, 48000.0f, kBlock);
    ASSERT_TRUE(eventually([&] { return pluginOf(b)->partner() == session.get(); }));
    LinkPlugin* pb = pluginOf(b);
    AudioSendStream& send = session->sendStream();
    ASSERT_TRUE(send.isRunning());
    const int64_t base = send.framesSubmitted();  // the chime's blocks were sent too

    const int phaseBlocks = 40;
    const size_t phase = size_t(phaseBlocks) * kBlock;
    Stereo x = sine(phase, 440, 440, 48000, 0.3);
    Stereo minusX(phase);
    for (size_t i = 0; i < phase; ++i) minusX.left[i] = -x.left[i], minusX.right[i] = -x.right[i];
    auto runPhase = [&]() {
        Io ia, ib;
        for (int n = 0; n < phaseBlocks; ++n) {
            std::copy_n(x.left.begin() + n * kBlock, kBlock, ia.in.left.begin());
            std::copy_n(x.right.begin() + n * kBlock, kBlock, ia.in.right.begin());
            std::copy_n(minusX.left.begin() + n * kBlock, kBlock, ib.in.left.begin());
            std::copy_n(minusX.right.begin() + n * kBlock, kBlock, ib.in.right.begin());
            ia.process(a);
            ib.process(b);
            host.advance(kBlock);
            if (n % 16 == 15) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    runPhase();                      // 1: both send: x - x
    pb->setSend(false);
    runPhase();                      // 2: only a
    pb->setSend(true);
    pb->setMuteOnPlay(true);
    host.time.flags |= kVstTransportPlaying;
    runPhase();                      // 3: b is muted while the transport plays
    host.time.flags &= ~kVstTransportPlaying;
    runPhase();                      // 4: stopped: b sends again
    EXPECT_EQ(send.framesSubmitted() - base, int64_t(4 * phase)) << "one block per host block, not per instance";
    ASSERT_EQ(send.droppedBlocks(), 0u);
    const size_t expected = size_t(base + 4 * phase) / 1152 - 1;
    ASSERT_TRUE(eventually([&] { return audioFramesAtBob() >= expected; }));

    const Stereo got = decodedAtBob();
    // Input frame i of the phases is at stream position base + i + latency.
    const size_t L = size_t(send.encoderLatency()) + size_t(base);
    ASSERT_GE(got.frames(), L + 3 * phase + 6500);
    auto level = [&](int k) { return rms(got.left.data() + L + size_t(k) * phase + 500, 6000); };
    EXPECT_LT(level(0), 0.003) << "the sum of x and -x";
    EXPECT_NEAR(level(1), 0.3 / std::sqrt(2.0), 0.03) << "a alone";
    EXPECT_NEAR(level(2), 0.3 / std::sqrt(2.0), 0.03) << "b muted on play";
    EXPECT_LT(level(3), 0.003) << "both again";
    EXPECT_GT(correlation(x.left, got.left, long(L + phase), 500, 6000), 0.9) << "a's input, in time";
}
