#include "trvcore/files/FileTransfer.h"

#include <cstring>
#include <initializer_list>

#include "platform/Clock.h"

void FileTransfer::stop(bool) { endTransfer(); }

void FileTransfer::endTransfer() {
    file_.close();
    active_.store(false, std::memory_order_release);
    fileSize_.store(0, std::memory_order_relaxed);
    bytesDone_.store(0, std::memory_order_relaxed);
}

void FileTransfer::fileName(char* out, size_t capacity) const {
    if (!out || capacity == 0) return;
    platform::ScopedLock guard(textLock_);
    std::strncpy(out, fileName_, capacity - 1);
    out[capacity - 1] = '\0';
}

void FileTransfer::setFileName(const char* name, size_t length) {
    platform::ScopedLock guard(textLock_);
    if (length >= kNameBytes) length = kNameBytes - 1;
    std::memcpy(fileName_, name, length);
    fileName_[length] = '\0';
}

bool FileTransfer::statusText(char* out, size_t capacity) const {
    if (!out || capacity == 0) return false;
    platform::ScopedLock guard(textLock_);
    std::strncpy(out, status_, capacity - 1);
    out[capacity - 1] = '\0';
    return status_[0] != '\0';
}

void FileTransfer::setStatus(const char* text, int level) {
    if (text && std::strlen(text) < kStatusBytes) {
        platform::ScopedLock guard(textLock_);
        std::strcpy(status_, text);
    }
    if (level == kFileStatusOnly) return;
    if (FileTransferListener* l = listener_.load(std::memory_order_acquire)) l->onFileEvent(level, *this);
}

const char* afterLastSeparator(const char* path) {
    if (!path) return nullptr;
    const char* last = nullptr;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') last = p;
    return last ? last + 1 : nullptr;
}

namespace {

// Names that open a device instead of a file on Windows, with or without
// an extension.
bool isDeviceName(const char* name) {
    auto upper = [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); };
    size_t stem = 0;
    while (name[stem] && name[stem] != '.') ++stem;
    char head[4] = {};
    for (size_t i = 0; i < 3 && i < stem; ++i) head[i] = upper(name[i]);
    if (stem == 3)
        for (const char* device : {"CON", "PRN", "AUX", "NUL"})
            if (std::strcmp(head, device) == 0) return true;
    return stem == 4 && name[3] >= '1' && name[3] <= '9' &&
           (std::strcmp(head, "COM") == 0 || std::strcmp(head, "LPT") == 0);
}

}  // namespace

void safeFileName(const char* offered, char* out, size_t capacity) {
    if (!out || capacity < 2) {
        if (out && capacity) out[0] = '\0';
        return;
    }
    const char* name = offered ? offered : "";
    for (const char* p = name; *p; ++p)
        if (*p == '/' || *p == '\\' || *p == ':') name = p + 1;
    size_t n = 0;
    for (const char* p = name; *p && n + 1 < capacity; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F) continue;
        // Characters no Windows file name may hold.
        out[n++] = std::strchr("<>\"|?*", c) ? '_' : static_cast<char>(c);
    }
    // Trailing dots and blanks vanish from Windows names.
    while (n > 0 && (out[n - 1] == '.' || out[n - 1] == ' ')) --n;
    out[n] = '\0';
    if (n == 0) {
        std::strncpy(out, "received", capacity - 1);
        out[capacity - 1] = '\0';
    } else if (isDeviceName(out) && n + 1 < capacity) {
        std::memmove(out + 1, out, n + 1);
        out[0] = '_';
    }
}

double FileTransfer::transferRate() const {
    if (!isActive()) return 0.0;
    const uint32_t elapsedMs = platform::tickCount() - startTick_.load(std::memory_order_relaxed);
    if (elapsedMs == 0) return 0.0;
    return static_cast<double>(bytesDone_.load(std::memory_order_relaxed)) * 8.0 / elapsedMs;
}
