#pragma once
// H.263 coding of QCIF pictures through libavcodec: an intra-only encoder
// with a fixed quantiser per picture, and a decoder for any of the five
// standard source formats whose pictures are mapped into a QCIF RGB24
// picture. Each object owns its codec context and its buffers, allocated
// when it is opened; neither is shared between threads.
#include <cstddef>
#include <cstdint>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace video {

class H263Encoder {
public:
    static constexpr int kMinQuantiser = 1;
    static constexpr int kMaxQuantiser = 31;

    H263Encoder() = default;
    ~H263Encoder();
    H263Encoder(const H263Encoder&) = delete;
    H263Encoder& operator=(const H263Encoder&) = delete;

    // Opens the encoder for QCIF; false when libavcodec cannot.
    bool open();
    bool isOpen() const { return context_ != nullptr; }
    void close();

    // Codes one QCIF RGB24 picture (stride 528) as an intra picture at
    // `quantiser` (clamped to 1..31). Returns the coded size, or -1 when the
    // encoder failed; the bytes are copied to `out` only when they fit in
    // `capacity` (a larger picture still reports its size).
    int encode(const uint8_t* rgb, int quantiser, uint8_t* out, size_t capacity);

private:
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t pts_ = 0;
};

class H263Decoder {
public:
    // Room for the largest coded picture a VideoFrame carries.
    static constexpr size_t kMaxCodedBytes = 8156;

    H263Decoder() = default;
    ~H263Decoder();
    H263Decoder(const H263Decoder&) = delete;
    H263Decoder& operator=(const H263Decoder&) = delete;

    bool open();
    bool isOpen() const { return context_ != nullptr; }
    void close();

    // Decodes one coded picture and keeps it. False when the data gave no
    // picture (corrupt, truncated, over 8156 bytes); the last good picture
    // is kept then.
    bool decode(const uint8_t* data, size_t length);
    // The kept picture into `rgb` (QCIF RGB24, stride 528), any source
    // format mapped to QCIF; false before the first picture.
    bool convertTo(uint8_t* rgb) const;
    // Both: `rgb` is left as it was when the data gave no picture.
    bool decode(const uint8_t* data, size_t length, uint8_t* rgb) { return decode(data, length) && convertTo(rgb); }
    // The size of the last decoded source picture.
    int sourceWidth() const { return sourceWidth_; }
    int sourceHeight() const { return sourceHeight_; }

private:
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;     // the frame being received
    AVFrame* picture_ = nullptr;   // the last good picture
    AVPacket* packet_ = nullptr;
    uint8_t* input_ = nullptr;  // the coded bytes with the decoder's zero padding
    int sourceWidth_ = 0;
    int sourceHeight_ = 0;
};

}  // namespace video
