#pragma once
// Which texts openUrl hands to the desktop: http and https addresses only,
// so a text from the network can never name a program or a local file.
#include <cctype>
#include <cstring>

namespace platform {

inline bool isWebAddress(const char* url) {
    if (!url) return false;
    auto hasScheme = [url](const char* scheme) {
        const size_t n = std::strlen(scheme);
        for (size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return false;
        return url[n] != '\0';
    };
    if (!hasScheme("http://") && !hasScheme("https://")) return false;
    for (const char* p = url; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x21 || c == 0x7F || c == '"') return false;  // no spaces, controls or quotes
    }
    return true;
}

}  // namespace platform
