#include "editor/ProgressText.h"

#include <cstdio>
#include <cstring>

namespace editor {

std::string sizeText(uint64_t n) {
    char s[64];
    if (n < 1000) std::snprintf(s, sizeof s, " %3d bytes", static_cast<int>(n));
    else if (n < 1000000) std::snprintf(s, sizeof s, "%3.2f KB", static_cast<double>(n) / 1024.0);
    else if (n <= 999999999) std::snprintf(s, sizeof s, "%3.2f MB", static_cast<double>(n) / 1048576.0);
    else std::snprintf(s, sizeof s, "%3.2f GB", static_cast<double>(n) / 1073741824.0);
    return s;
}

std::string progressText(const char* prefix, const char* path, uint64_t total, uint64_t done) {
    const float f = total ? static_cast<float>(done) / static_cast<float>(total) : 0.0f;
    const int percent = static_cast<int>(f * 100.0f);
    std::string name = "?";
    if (path) {
        const char* cut = nullptr;
        for (const char* p = path; *p; ++p)
            if (*p == '/' || *p == '\\') cut = p;
        if (cut) {
            name = cut + 1;
            if (name.size() >= 24) name = name.substr(0, 20) + "...";
        }
    }
    char head[64];
    std::snprintf(head, sizeof head, " %3d%%", percent);
    return std::string(prefix ? prefix : "") + " " + name + head + " (" + sizeText(done) + " of " + sizeText(total) +
           ")";
}

}  // namespace editor
