#pragma once
// Bounded string copies across the host boundary.
#include <cstddef>
#include <cstring>

// Size of the local buffers the dispatcher lets the effect write its texts
// into before they are copied to the host.
constexpr size_t kVstTextBufferBytes = 256;

// Copies `src` into a buffer of `capacity` bytes: at most capacity - 1
// characters and the terminating NUL, nothing written past them. A null
// source gives an empty string; a null or empty destination is left alone.
// Returns the number of characters copied.
inline size_t vstStringCopy(char* dst, const char* src, size_t capacity) {
    if (!dst || capacity == 0) return 0;
    size_t n = 0;
    if (src) {
        while (n + 1 < capacity && src[n] != '\0') {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = '\0';
    return n;
}

// A zeroed local text buffer for the effect to write into.
inline void vstClearText(char (&text)[kVstTextBufferBytes]) { std::memset(text, 0, sizeof(text)); }

// Hands a text the effect produced to the host's buffer at `hostPtr`:
// terminates the local buffer (the effect may have filled it) and copies at
// most `limit` bytes, NUL included.
inline void vstGiveHostString(void* hostPtr, char (&text)[kVstTextBufferBytes], size_t limit) {
    text[kVstTextBufferBytes - 1] = '\0';
    vstStringCopy(static_cast<char*>(hostPtr), text, limit);
}

// Takes a host's string into a local buffer, so the effect sees at most 255
// characters, NUL-terminated, and cannot write into the host's memory.
inline void vstTakeHostString(char (&text)[kVstTextBufferBytes], const void* hostPtr) {
    vstStringCopy(text, static_cast<const char*>(hostPtr), kVstTextBufferBytes);
}
