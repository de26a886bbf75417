#pragma once
// Pictures for the video tests: the synthetic camera's frames at QCIF, and
// the luma PSNR between two QCIF RGB24 pictures.
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/synthcam/SyntheticCamera.h"
#include "trvcore/video/VideoPicture.h"

namespace videotest {

using Picture = std::vector<uint8_t>;

inline Picture qcif() { return Picture(video::kPictureBytes, 0); }

// Frame n of a synthetic camera of the given kind and size.
inline Picture cameraFrame(SyntheticCamera::Kind kind, int width, int height, uint32_t n = 0) {
    SyntheticCamera::Format format;
    format.kind = kind;
    format.width = width;
    format.height = height;
    Picture p(static_cast<size_t>(width) * height * 3);
    SyntheticCamera::draw(format, n, p.data());
    return p;
}

// The same frame scaled to QCIF.
inline Picture qcifFrame(SyntheticCamera::Kind kind, int width, int height, uint32_t n = 0) {
    const Picture frame = cameraFrame(kind, width, height, n);
    Picture out = qcif();
    video::scaleToQcif(frame.data(), width, height, width * 3, out.data());
    return out;
}

inline double lumaPsnr(const Picture& a, const Picture& b) {
    double sum = 0.0;
    for (size_t i = 0; i + 2 < a.size() && i + 2 < b.size(); i += 3) {
        const double ya = 0.299 * a[i] + 0.587 * a[i + 1] + 0.114 * a[i + 2];
        const double yb = 0.299 * b[i] + 0.587 * b[i + 1] + 0.114 * b[i + 2];
        sum += (ya - yb) * (ya - yb);
    }
    const double mse = sum / (a.size() / 3);
    return mse <= 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace videotest
