// The network thread's part of the video path allocates nothing: pictures
// arriving faster than they are shown, across queue overflows and
// transport switches, are stored with the allocation counter on.
#include <gtest/gtest.h>

#include "tests/alloc/CountingAllocator.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/video/VideoFrameQueue.h"

TEST(VideoIntakeAllocation, StoringPicturesNeverAllocates) {
    VideoFrameQueue queue;
    PeerMessage messages[2];
    static uint8_t picture[kMaxVideoFrameData];
    for (size_t i = 0; i < sizeof picture; ++i) picture[i] = static_cast<uint8_t>(i * 7);
    VideoFrameHeader h;
    ASSERT_TRUE(buildVideoFrame(messages[0], h, picture, sizeof picture));
    h.transportFlags = 2;
    ASSERT_TRUE(buildVideoFrame(messages[1], h, picture, 900));
    PeerMessage shown;
    alloccount::reset();
    {
        alloccount::Scope counted;
        // 600 pictures: the 2 MB arena and the 250 slots overflow, and
        // every 50th switches the partner's transport.
        for (int i = 0; i < 600; ++i) queue.store(messages[(i / 50) % 2]);
    }
    EXPECT_EQ(0u, alloccount::counts().allocations);
    EXPECT_GT(queue.dropped(), 0u);
    EXPECT_TRUE(queue.take(0, 2, 512, shown));  // both play, the picture is due
}
