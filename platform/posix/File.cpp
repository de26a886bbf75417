#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {
int fd(intptr_t h) { return static_cast<int>(h); }
}  // namespace

bool File::openRead(const char* path) {
    close();
    if (!path) return false;
    const int f = ::open(path, O_RDONLY | O_CLOEXEC);
    if (f < 0) return false;
    struct stat st {};
    if (::fstat(f, &st) != 0 || !S_ISREG(st.st_mode)) {  // a folder is no file to send
        ::close(f);
        return false;
    }
    handle_ = f;
    return true;
}

bool File::openWrite(const char* path) {
    close();
    if (!path) return false;
    const int f = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (f < 0) return false;
    handle_ = f;
    return true;
}

void File::close() {
    if (handle_ == kClosed) return;
    ::close(fd(handle_));
    handle_ = kClosed;
}

bool File::size(uint64_t& out) const {
    struct stat st {};
    if (handle_ == kClosed || ::fstat(fd(handle_), &st) != 0) return false;
    out = static_cast<uint64_t>(st.st_size);
    return true;
}

bool File::readAt(uint64_t offset, void* data, size_t length) {
    auto* p = static_cast<char*>(data);
    while (length > 0) {
        const ssize_t n = ::pread(fd(handle_), p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;  // an error, or the file ended early
        p += n;
        offset += static_cast<uint64_t>(n);
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool File::writeAt(uint64_t offset, const void* data, size_t length) {
    const auto* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::pwrite(fd(handle_), p, length, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += static_cast<uint64_t>(n);
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool removeFile(const char* path) { return path && ::unlink(path) == 0; }

bool isPathSeparator(char c) { return c == '/'; }

}  // namespace platform
