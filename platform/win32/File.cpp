#include "platform/File.h"

#include <windows.h>

namespace platform {

namespace {
HANDLE h(intptr_t v) { return reinterpret_cast<HANDLE>(v); }

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}
}  // namespace

bool File::openRead(const char* path) {
    close();
    if (!path) return false;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(f);
    return true;
}

bool File::openWrite(const char* path) {
    close();
    if (!path) return false;
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    handle_ = reinterpret_cast<intptr_t>(f);
    return true;
}

void File::close() {
    if (handle_ == kClosed) return;
    CloseHandle(h(handle_));
    handle_ = kClosed;
}

bool File::size(uint64_t& out) const {
    LARGE_INTEGER s;
    if (handle_ == kClosed || !GetFileSizeEx(h(handle_), &s)) return false;
    out = static_cast<uint64_t>(s.QuadPart);
    return true;
}

namespace {
// Reads or writes in pieces of at most 1 GiB, each at its own offset, until
// all of it is done; `step` is ReadFile or WriteFile.
template <typename Byte, typename Step>
bool everyPieceAt(HANDLE handle, uint64_t offset, Byte* p, size_t length, Step step) {
    while (length > 0) {
        OVERLAPPED o = at(offset);
        DWORD n = 0;
        const DWORD want = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
        if (!step(handle, p, want, &n, &o) || n == 0) return false;
        p += n;
        offset += n;
        length -= n;
    }
    return true;
}
}  // namespace

bool File::readAt(uint64_t offset, void* data, size_t length) {
    return everyPieceAt(h(handle_), offset, static_cast<char*>(data), length, ReadFile);
}

bool File::writeAt(uint64_t offset, const void* data, size_t length) {
    return everyPieceAt(h(handle_), offset, static_cast<const char*>(data), length, WriteFile);
}

bool removeFile(const char* path) { return path && DeleteFileA(path) != 0; }

bool isPathSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace platform
