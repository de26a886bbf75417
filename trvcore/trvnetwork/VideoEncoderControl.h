#pragma once
// The two knobs of a video encoder that the connection's bandwidth control
// turns: picture quality (0..1) and the fraction of the full 24 frames per
// second to code (0..1).
class VideoEncoderControl {
public:
    virtual ~VideoEncoderControl() = default;
    virtual double quality() const = 0;
    virtual void setQuality(double quality) = 0;
    virtual double frameRateFraction() const = 0;
    virtual void setFrameRateFraction(double fraction) = 0;
};
