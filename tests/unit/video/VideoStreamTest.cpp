// Pictures between two partners: the sender codes, stamps and posts them on
// a real connection, the receiver queues them by the transports and
// decodes the one due; the queue's choice in every transport state.
#include <gtest/gtest.h>

#include <random>

#include "tests/unit/audio/AudioLinkPair.h"
#include "tests/unit/audio/AudioTestSupport.h"
#include "tests/unit/video/VideoTestSupport.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/video/VideoReceiver.h"
#include "trvcore/video/VideoSender.h"

using namespace videotest;
using audiotest::AudioLinkPair;
using audiotest::FakeStreamHost;
using Kind = SyntheticCamera::Kind;

namespace {

constexpr int32_t kPlaying = 2;

PeerMessage asMessage(const std::vector<uint8_t>& bytes) {
    PeerMessage m;
    m.assign(bytes.data(), bytes.size());
    return m;
}

PeerMessage pictureStamped(uint32_t position, uint32_t flags, uint8_t marker = 0) {
    VideoFrameHeader h;
    h.hostPosition = position;
    h.transportFlags = flags;
    const uint8_t data[4] = {marker, 1, 2, 3};
    PeerMessage m;
    buildVideoFrame(m, h, data, sizeof data);
    return m;
}

// The stamp of the picture the queue hands out now, or "none".
constexpr int64_t kNone = -999999;
int64_t takeStamp(VideoFrameQueue& q, double position, int32_t flags, int block) {
    PeerMessage m;
    int64_t stamp = 0;
    return q.take(position, flags, block, m, &stamp) ? stamp : kNone;
}

}  // namespace

TEST(VideoSender, KnobsFollowQualityAndFrameRateFraction) {
    EXPECT_EQ(10, VideoSender::quantiserFor(0.1));
    EXPECT_EQ(7, VideoSender::quantiserFor(0.25));
    EXPECT_EQ(4, VideoSender::quantiserFor(0.5));
    EXPECT_EQ(3, VideoSender::quantiserFor(0.75));
    EXPECT_EQ(2, VideoSender::quantiserFor(1.0));
    EXPECT_EQ(1000u, VideoSender::intervalFor(0.02));
    EXPECT_EQ(333u, VideoSender::intervalFor(0.125));
    EXPECT_EQ(41u, VideoSender::intervalFor(1.0));

    AudioLinkPair pair;
    FakeStreamHost host;
    VideoSender sender(host.cycleTime(), *pair.local->connection);
    EXPECT_EQ(0.25, sender.quality());
    EXPECT_EQ(7, sender.quantiser());
    EXPECT_EQ(333u, sender.frameIntervalMs());
    sender.setQuality(0.5);
    EXPECT_EQ(4, sender.quantiser());
    sender.setFrameRateFraction(7.0);
    EXPECT_EQ(1.0, sender.frameRateFraction());
    EXPECT_EQ(41u, sender.frameIntervalMs());
    sender.setFrameRateFraction(-1.0);
    EXPECT_EQ(1000u, sender.frameIntervalMs());
}

TEST(VideoStream, APictureTravelsStampedAndDecodesAtThePartner) {
    AudioLinkPair pair;
    ASSERT_TRUE(pair.ok());
    FakeStreamHost local, remote;
    local.setTime(96000.0, 0);
    VideoSender sender(local.cycleTime(), *pair.local->connection);
    ASSERT_TRUE(sender.encoderReady());
    VideoReceiver receiver(remote);

    // Before the first picture the partner's pane is mid grey.
    Picture shown = qcif();
    ASSERT_TRUE(receiver.picture(shown.data()));
    EXPECT_EQ(Picture(video::kPictureBytes, 127), shown);

    const Picture bars = cameraFrame(Kind::Bars, 320, 240);
    const Picture other = cameraFrame(Kind::Pattern, 320, 240, 9);
    sender.offerPicture(bars.data(), 320, 240, 320 * 3);
    sender.offerPicture(other.data(), 320, 240, 320 * 3);  // one is pending: ignored
    ASSERT_TRUE(sender.codePending());
    EXPECT_FALSE(sender.codePending());
    ASSERT_TRUE(audiotest::eventually([&] { return pair.count(MessageKind::VideoFrame) == 1; }));

    const auto bytes = pair.received(MessageKind::VideoFrame)[0];
    VideoFrameView view;
    ASSERT_TRUE(parseVideoFrame(MessageBytes(bytes.data(), bytes.size()), view));
    EXPECT_EQ(96000u, view.header.hostPosition);
    EXPECT_EQ(0u, view.header.transportFlags);
    EXPECT_EQ(1, view.header.pictureFormat);
    EXPECT_EQ(176, view.header.width);
    EXPECT_EQ(144, view.header.height);
    EXPECT_EQ(sender.lastCodedBytes(), view.dataLength);
    EXPECT_EQ(bytes.size(), view.dataLength + 36);

    receiver.onVideoFrame(asMessage(bytes));
    ASSERT_TRUE(receiver.showNext());
    ASSERT_TRUE(receiver.picture(shown.data()));
    EXPECT_GE(lumaPsnr(shown, qcifFrame(Kind::Bars, 320, 240)), 30.0);
    EXPECT_EQ(1u, receiver.decoded());

    // A picture whose data is garbage: counted, the pane keeps the last one.
    std::vector<uint8_t> broken = bytes;
    for (size_t i = 36; i < broken.size(); ++i) broken[i] = static_cast<uint8_t>(i * 37);
    receiver.onVideoFrame(asMessage(broken));
    receiver.showNext();
    Picture after = qcif();
    receiver.picture(after.data());
    if (receiver.decoded() == 1) {
        EXPECT_EQ(shown, after);
        EXPECT_EQ(1u, receiver.dropped());
    }
}

TEST(VideoSender, AnOversizedPictureStaysHomeAndRaisesTheQuantiserUntilTheQualityIsSetAgain) {
    AudioLinkPair pair;
    FakeStreamHost host;
    VideoSender sender(host.cycleTime(), *pair.local->connection);
    sender.setQuality(1.0);
    Picture noise = qcif();
    std::mt19937 rng(3);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    int q = sender.quantiser();
    ASSERT_EQ(2, q);
    int refused = 0;
    for (;;) {
        sender.offerPicture(noise.data(), video::kWidth, video::kHeight, video::kStride);
        if (sender.codePending()) break;
        ++refused;
        ASSERT_GT(sender.lastCodedBytes(), 8156u);
        ASSERT_EQ(q + 1, sender.quantiser());
        q = sender.quantiser();
        ASSERT_LE(q, 31);
    }
    EXPECT_GT(refused, 0);
    EXPECT_EQ(static_cast<uint32_t>(refused), sender.picturesTooLarge());
    EXPECT_LE(sender.largestCodedBytes(), 8156u);
    sender.setQuality(1.0);
    EXPECT_EQ(2, sender.quantiser());
    EXPECT_EQ(0u, sender.largestCodedBytes());
}

TEST(VideoFrameQueue, PicturesFollowTheTransportsAndTheNewestShowsOtherwise) {
    VideoFrameQueue q;
    const int block = 512;
    // Partner standing: the newest is shown, the older ones dropped.
    for (uint32_t p : {100u, 200u, 300u}) q.store(pictureStamped(p, 0));
    EXPECT_EQ(300u, takeStamp(q, 0, 0, block));
    EXPECT_EQ(2u, q.dropped());
    EXPECT_EQ(kNone, takeStamp(q, 0, 0, block));

    // The partner starts while this host stands: follow it, show nothing yet.
    q.store(pictureStamped(900, kPlaying));
    EXPECT_TRUE(q.partnerPlaying());
    EXPECT_EQ(kNone, takeStamp(q, 0, 0, block));

    // Both play: late ones dropped, one within a block taken, early ones wait.
    q.reset();
    q.store(pictureStamped(0, kPlaying));  // follows the start again after the reset
    takeStamp(q, 0, 0, block);
    for (uint32_t p : {1000u, 2000u, 3000u, 5000u}) q.store(pictureStamped(p, kPlaying));
    const uint64_t before = q.dropped();
    EXPECT_EQ(2000u, takeStamp(q, 2100, kPlaying, block));
    EXPECT_EQ(before + 2, q.dropped());  // 0 and 1000 were late
    EXPECT_EQ(kNone, takeStamp(q, 2100, kPlaying, block));  // 3000 is not due yet
    EXPECT_EQ(3000u, takeStamp(q, 2600, kPlaying, block));
    EXPECT_EQ(5000u, takeStamp(q, 4600, kPlaying, block));

    // A start seen while this host already plays is not followed: the
    // pictures show as they come until this host stands.
    VideoFrameQueue late;
    takeStamp(late, 0, kPlaying, block);
    late.store(pictureStamped(7000, kPlaying));
    EXPECT_FALSE(late.partnerPlaying());
    EXPECT_EQ(7000u, takeStamp(late, 100, kPlaying, block));

    // The partner stops while this host plays: the newest shows at once.
    q.store(pictureStamped(6000, kPlaying));
    q.store(pictureStamped(6100, 0));
    EXPECT_FALSE(q.partnerPlaying());
    q.store(pictureStamped(6200, 0));
    EXPECT_EQ(6200u, takeStamp(q, 90000, kPlaying, block));

    // Monitor mode: every picture as it comes, whatever the transports.
    q.setEnabled(false);
    q.store(pictureStamped(1, kPlaying));
    q.store(pictureStamped(2, kPlaying));
    EXPECT_FALSE(q.partnerPlaying());
    EXPECT_EQ(2u, takeStamp(q, 5, kPlaying, block));
}

TEST(VideoFrameQueue, StampsBelowZeroAndAFullQueue) {
    EXPECT_EQ(-1, VideoFrameQueue::stampOf(0xFFFFFFFFu));
    EXPECT_EQ(-65535, VideoFrameQueue::stampOf(0xFFFF0001u));
    EXPECT_EQ(int64_t(0xFFFF0000u), VideoFrameQueue::stampOf(0xFFFF0000u));

    // A pre-roll picture stamped -256 is due around -256, not 4 billion
    // samples later.
    VideoFrameQueue q;
    q.store(pictureStamped(static_cast<uint32_t>(-256), kPlaying));
    EXPECT_EQ(-256, takeStamp(q, -300, kPlaying, 512));

    // 250 slots: the 251st message finds no room, the queue starts afresh.
    VideoFrameQueue full;
    for (uint32_t i = 0; i < 250; ++i) ASSERT_TRUE(full.store(pictureStamped(i, 0)));
    EXPECT_FALSE(full.store(pictureStamped(250, 0)));
    EXPECT_EQ(251u, full.dropped());
    EXPECT_TRUE(full.store(pictureStamped(251, 0)));
    EXPECT_EQ(1, full.waiting());
    EXPECT_FALSE(full.store(PeerMessage()));  // not a VideoFrame
}
