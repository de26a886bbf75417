#include "trvcore/files/FilePacing.h"

#include "trvcore/settings/RateTables.h"

FilePace computeFilePace(double upstream, double fileRate) {
    constexpr double kMinMedia = 64.0;
    constexpr double kMinFileShare = 32.0;
    constexpr double kChunkBytes = 2048.0;
    constexpr double kPaceFraction = 0.75;
    FilePace p;
    p.media = upstream - fileRate;
    if (p.media < kMinMedia) p.media = kMinMedia;
    // The share of the first upstream step at or above the media rate (the
    // last step's above the ladder).
    p.mediaShare = rates::kUpstreamShare[rates::kUpstreamCount - 1];
    for (int i = 0; i < rates::kUpstreamCount; ++i)
        if (rates::kUpstream[i] >= p.media) {
            p.mediaShare = rates::kUpstreamShare[i];
            break;
        }
    p.fileShare = upstream - p.media;
    if (p.fileShare < kMinFileShare) p.fileShare = kMinFileShare;
    // One chunk every pauseMs carries kPaceFraction of the file share.
    const double chunksPerSecond = p.fileShare * 1000.0 * 0.125 * kPaceFraction / kChunkBytes;
    const double pause = 1000.0 / chunksPerSecond;
    p.pauseMs = pause < 1.0 ? 1u : pause > 400.0 ? 400u : static_cast<unsigned>(pause);
    return p;
}
