#pragma once
// The pictures of the video pipeline: QCIF, 176 x 144, RGB24 with three
// bytes a pixel and no padding (a stride of 528 bytes), top row first.
#include <cstddef>
#include <cstdint>

namespace video {

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr int kStride = kWidth * 3;  // 528
constexpr size_t kPictureBytes = static_cast<size_t>(kStride) * kHeight;  // 76032
// What the partner's pane shows before the first picture: mid grey.
constexpr uint8_t kGrey = 127;

// Scales an RGB24 picture of any size into a QCIF one: a straight copy when
// it is already 176 x 144, else bilinear interpolation in 16.16 fixed point
// with steps width / 176 and height / 144. False (nothing written) for a
// picture without pixels or a stride shorter than its rows.
bool scaleToQcif(const uint8_t* rgb, int width, int height, int stride, uint8_t* out);

// ITU-R BT.601 studio range: RGB24 QCIF to planar YCbCr 4:2:0 (Y 176 x 144,
// Cb and Cr 88 x 72; each chroma sample from the 2 x 2 pixels it covers),
// and back for any size of 4:2:0 planes into a QCIF RGB24 picture (sampled
// at the nearest source pixel when the size differs).
void rgbToYuv420(const uint8_t* rgb, uint8_t* y, int yStride, uint8_t* cb, uint8_t* cr, int cStride);
void yuv420ToRgb(const uint8_t* y, int yStride, const uint8_t* cb, const uint8_t* cr, int cStride, int width,
                 int height, uint8_t* rgb);

}  // namespace video
