#pragma once
// Bounded scanning of received bytes: substring search and decimal numbers
// that never read outside [0, size), whatever the bytes are (a reply may
// hold zero bytes or end in the middle of a tag).
#include <climits>
#include <cstddef>
#include <cstring>

constexpr size_t kNotFound = static_cast<size_t>(-1);

// Offset of the first `needle` that lies wholly inside [from, size), or
// kNotFound.
inline size_t findText(const char* data, size_t size, size_t from, const char* needle) {
    const size_t n = std::strlen(needle);
    if (!data || n == 0 || from > size || size - from < n) return kNotFound;
    const size_t last = size - n;
    for (size_t i = from; i <= last; ++i)
        if (data[i] == needle[0] && std::memcmp(data + i, needle, n) == 0) return i;
    return kNotFound;
}

inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads a decimal number from [p, p + length) the way atoi does: leading
// blanks, an optional sign, then digits up to the first other character;
// no digits gives 0. The value saturates at the int range.
inline int readDecimal(const char* p, size_t length) {
    size_t i = 0;
    while (i < length && isBlank(p[i])) ++i;
    bool negative = false;
    if (i < length && (p[i] == '-' || p[i] == '+')) negative = p[i++] == '-';
    long long v = 0;
    for (; i < length && p[i] >= '0' && p[i] <= '9'; ++i) {
        v = v * 10 + (p[i] - '0');
        if (v > INT_MAX) {
            v = static_cast<long long>(INT_MAX) + 1;
            break;
        }
    }
    if (negative) v = -v;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

// Copies [p, p + length) into out[outSize] as a terminated text, cut to
// outSize - 1 bytes and at the first zero byte.
inline void copyText(char* out, size_t outSize, const char* p, size_t length) {
    if (!out || outSize == 0) return;
    size_t n = 0;
    while (n < length && n + 1 < outSize && p[n] != '\0') ++n;
    if (n) std::memcpy(out, p, n);
    out[n] = '\0';
}
