#pragma once
// Little-endian field access at a byte offset of a caller's buffer. Every
// read and write checks that the whole field lies inside [0, size) and does
// nothing but return false otherwise. The byte order on the wire is fixed,
// whatever the host's; floating-point values travel as their IEEE 754 bits.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace wire {

// True when a field of `width` bytes at `offset` fits into `size` bytes;
// written so that huge offsets cannot wrap around.
constexpr bool fits(size_t size, size_t offset, size_t width) {
    return offset <= size && width <= size - offset;
}

inline uint64_t loadLittle(const uint8_t* p, size_t width) {
    uint64_t v = 0;
    for (size_t i = width; i-- > 0;) v = (v << 8) | p[i];
    return v;
}

inline void storeLittle(uint8_t* p, size_t width, uint64_t v) {
    for (size_t i = 0; i < width; ++i, v >>= 8) p[i] = static_cast<uint8_t>(v);
}

inline bool readU8(const uint8_t* buf, size_t size, size_t offset, uint8_t& out) {
    if (!buf || !fits(size, offset, 1)) return false;
    out = buf[offset];
    return true;
}

inline bool readU16(const uint8_t* buf, size_t size, size_t offset, uint16_t& out) {
    if (!buf || !fits(size, offset, 2)) return false;
    out = static_cast<uint16_t>(loadLittle(buf + offset, 2));
    return true;
}

inline bool readU32(const uint8_t* buf, size_t size, size_t offset, uint32_t& out) {
    if (!buf || !fits(size, offset, 4)) return false;
    out = static_cast<uint32_t>(loadLittle(buf + offset, 4));
    return true;
}

inline bool readU64(const uint8_t* buf, size_t size, size_t offset, uint64_t& out) {
    if (!buf || !fits(size, offset, 8)) return false;
    out = loadLittle(buf + offset, 8);
    return true;
}

inline bool readI32(const uint8_t* buf, size_t size, size_t offset, int32_t& out) {
    uint32_t u;
    if (!readU32(buf, size, offset, u)) return false;
    out = static_cast<int32_t>(u);
    return true;
}

inline bool readI64(const uint8_t* buf, size_t size, size_t offset, int64_t& out) {
    uint64_t u;
    if (!readU64(buf, size, offset, u)) return false;
    out = static_cast<int64_t>(u);
    return true;
}

inline bool readFloat(const uint8_t* buf, size_t size, size_t offset, float& out) {
    uint32_t bits;
    if (!readU32(buf, size, offset, bits)) return false;
    std::memcpy(&out, &bits, sizeof out);
    return true;
}

inline bool readDouble(const uint8_t* buf, size_t size, size_t offset, double& out) {
    uint64_t bits;
    if (!readU64(buf, size, offset, bits)) return false;
    std::memcpy(&out, &bits, sizeof out);
    return true;
}

inline bool writeU8(uint8_t* buf, size_t size, size_t offset, uint8_t v) {
    if (!buf || !fits(size, offset, 1)) return false;
    buf[offset] = v;
    return true;
}

inline bool writeU16(uint8_t* buf, size_t size, size_t offset, uint16_t v) {
    if (!buf || !fits(size, offset, 2)) return false;
    storeLittle(buf + offset, 2, v);
    return true;
}

inline bool writeU32(uint8_t* buf, size_t size, size_t offset, uint32_t v) {
    if (!buf || !fits(size, offset, 4)) return false;
    storeLittle(buf + offset, 4, v);
    return true;
}

inline bool writeU64(uint8_t* buf, size_t size, size_t offset, uint64_t v) {
    if (!buf || !fits(size, offset, 8)) return false;
    storeLittle(buf + offset, 8, v);
    return true;
}

inline bool writeI32(uint8_t* buf, size_t size, size_t offset, int32_t v) {
    return writeU32(buf, size, offset, static_cast<uint32_t>(v));
}

inline bool writeI64(uint8_t* buf, size_t size, size_t offset, int64_t v) {
    return writeU64(buf, size, offset, static_cast<uint64_t>(v));
}

inline bool writeFloat(uint8_t* buf, size_t size, size_t offset, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return writeU32(buf, size, offset, bits);
}

inline bool writeDouble(uint8_t* buf, size_t size, size_t offset, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return writeU64(buf, size, offset, bits);
}

}  // namespace wire
