// Settings as a small text file, <config dir>/TVN/<product>, one
// "name=value" line per value. Reads tolerate anything a user or a crash may
// leave in the file; writes replace the whole file through a temporary file
// and a rename, so a reader never sees half a file.
#include "platform/SettingsBackend.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr size_t kMaxFileBytes = 64 * 1024;  // far above any real settings file
constexpr size_t kMaxNameBytes = 128;

using Entries = std::vector<std::pair<std::string, uint32_t>>;

std::mutex& settingsMutex() {
    static std::mutex m;
    return m;
}

std::string& directoryOverride() {
    static std::string dir;
    return dir;
}

// A name is one line's key: printable, no '=' and not empty.
bool validName(const char* name) {
    if (!name || !*name) return false;
    size_t n = 0;
    for (const char* p = name; *p; ++p, ++n) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (n >= kMaxNameBytes || c < 0x21 || c == 0x7F || c == '=') return false;
    }
    return true;
}

// A product is one path component.
bool validProduct(const char* product) {
    if (!validName(product)) return false;
    if (std::strchr(product, '/')) return false;
    return std::strcmp(product, ".") != 0 && std::strcmp(product, "..") != 0;
}

bool parseValue(const char* begin, const char* end, uint32_t& out) {
    if (begin == end || end - begin > 10) return false;
    uint64_t v = 0;
    for (const char* p = begin; p != end; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<uint64_t>(*p - '0');
    }
    if (v > 0xFFFFFFFFULL) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

std::string configRoot() {
    // Called with the settings mutex held.
    if (!directoryOverride().empty()) return directoryOverride();
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;  // relative values are to be ignored
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config";
    passwd pw{};
    passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return std::string(found->pw_dir) + "/.config";
    return std::string();
}

// Reads the well-formed lines of the file; false if it cannot be read.
bool readEntries(const std::string& path, Entries& entries) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string text;
    char chunk[4096];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        size_t take = static_cast<size_t>(n);
        if (text.size() + take > kMaxFileBytes) take = kMaxFileBytes - text.size();
        text.append(chunk, take);
        if (text.size() >= kMaxFileBytes) break;
    }
    ::close(fd);

    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        const char* line = text.data() + pos;
        const char* end = text.data() + eol;
        pos = eol + 1;
        if (end > line && end[-1] == '\r') --end;
        const char* eq = static_cast<const char*>(std::memchr(line, '=', static_cast<size_t>(end - line)));
        if (!eq || eq == line) continue;
        std::string name(line, eq);
        uint32_t value = 0;
        if (!validName(name.c_str()) || !parseValue(eq + 1, end, value)) continue;
        bool replaced = false;
        for (auto& e : entries) {
            if (e.first == name) {
                e.second = value;
                replaced = true;
                break;
            }
        }
        if (!replaced) entries.emplace_back(std::move(name), value);
    }
    return true;
}

bool makeDirectories(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i != path.size() && path[i] != '/') continue;
        std::string part = path.substr(0, i);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool readSettingValue(const char* product, const char* name, uint32_t& out) {
    if (!validProduct(product) || !validName(name)) return false;
    std::lock_guard<std::mutex> guard(settingsMutex());
    std::string root = configRoot();
    if (root.empty()) return false;
    Entries entries;
    if (!readEntries(root + "/TVN/" + product, entries)) return false;
    for (const auto& e : entries) {
        if (e.first == name) {
            out = e.second;
            return true;
        }
    }
    return false;
}

bool writeSettingValue(const char* product, const char* name, uint32_t value) {
    if (!validProduct(product) || !validName(name)) return false;
    std::lock_guard<std::mutex> guard(settingsMutex());
    std::string root = configRoot();
    if (root.empty()) return false;
    const std::string folder = root + "/TVN";
    const std::string path = folder + "/" + product;
    if (!makeDirectories(folder)) return false;

    Entries entries;
    readEntries(path, entries);  // a missing file starts empty
    bool replaced = false;
    for (auto& e : entries) {
        if (e.first == name) {
            e.second = value;
            replaced = true;
        }
    }
    if (!replaced) entries.emplace_back(name, value);

    std::string text;
    for (const auto& e : entries) {
        text += e.first;
        text += '=';
        text += std::to_string(e.second);
        text += '\n';
    }

    std::string temp = path + ".XXXXXX";
    int fd = ::mkstemp(&temp[0]);
    if (fd < 0) return false;
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

void setSettingsDirectory(const std::string& dir) {
    std::lock_guard<std::mutex> guard(settingsMutex());
    directoryOverride() = dir;
}

}  // namespace platform
