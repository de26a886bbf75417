#pragma once
// Files read and written at given offsets (no shared position, so threads
// need not agree on one), with 64-bit sizes.
#include <cstddef>
#include <cstdint>

namespace platform {

class File {
public:
    File() = default;
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool openRead(const char* path);
    // Creates the file, or empties one that exists.
    bool openWrite(const char* path);
    bool isOpen() const { return handle_ != kClosed; }
    void close();

    bool size(uint64_t& out) const;
    // The whole `length` bytes or false.
    bool readAt(uint64_t offset, void* data, size_t length);
    bool writeAt(uint64_t offset, const void* data, size_t length);

private:
    static constexpr intptr_t kClosed = -1;
    intptr_t handle_ = kClosed;  // a descriptor or a handle, by OS
};

bool removeFile(const char* path);

// True for the characters that separate folders in this OS's paths ('/',
// and '\' on Windows).
bool isPathSeparator(char c);

}  // namespace platform
