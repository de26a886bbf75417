// The partner's pictures under arbitrary input: what the network thread
// hands the video receiver (a VideoFrame message, or any message at all)
// goes through the frame queue, the receiver's take, the H.263 decoder and
// the conversion into the output picture, as the receiver thread runs
// them. The decoder keeps its state from one input to the next, as it does
// for a partner's stream.
//
// Input: [mode byte][bytes]. Mode bit 0 clear: the bytes are the coded
// picture of a well-formed VideoFrame (cut to 8156 bytes), with the
// transport flags from bits 1-2 and the host position from bits 3-7.
// Bit 0 set: the bytes are taken as a whole message, header and all.
#include <cstddef>
#include <cstdint>

#include "tests/support/StandingStreamHost.h"
#include "trvcore/trvnetwork/MediaMessages.h"
#include "trvcore/trvnetwork/PeerMessage.h"
#include "trvcore/video/VideoPicture.h"
#include "trvcore/video/VideoReceiver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static StandingStreamHost host(512);
    static VideoReceiver receiver(host);  // its thread is never started
    static uint8_t picture[video::kPictureBytes];
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    PeerMessage m;
    if (mode & 1) {
        if (!m.assign(data, size)) return 0;
    } else {
        VideoFrameHeader h;
        h.transportFlags = (mode >> 1) & 3u;
        h.hostPosition = static_cast<uint32_t>(mode >> 3) * 100u;
        if (!buildVideoFrame(m, h, data, size < kMaxVideoFrameData ? size : kMaxVideoFrameData)) return 0;
    }
    receiver.onVideoFrame(m);
    receiver.showNext();
    receiver.picture(picture);
    return 0;
}
