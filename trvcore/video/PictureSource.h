#pragma once
// What a video pane draws from: the local camera's preview or the
// partner's decoded picture, QCIF RGB24 (176 x 144, stride 528).
#include <cstdint>

class PictureSource {
public:
    virtual ~PictureSource() = default;
    // Copies the current picture (76032 bytes) into `out`; false, nothing
    // copied, while there is none. Any thread.
    virtual bool picture(uint8_t* out) const = 0;
    // Pictures so far: a pane redraws when it changed.
    virtual uint32_t pictureCount() const = 0;
};
