#pragma once
// Which texts openUrl hands to the desktop: http and https addresses only,
// so a text from the network can never name a program or a local file.
#include <cctype>

namespace platform {

inline bool isWebAddress(const char* url) {
    if (!url) return false;
    // Compares up to the first difference, so it never reads past either end.
    auto hasScheme = [url](const char* scheme) {
        const char* u = url;
        for (; *scheme; ++scheme, ++u)
            if (*u == '\0' || std::tolower(static_cast<unsigned char>(*u)) != *scheme) return false;
        return *u != '\0';
    };
    if (!hasScheme("http://") && !hasScheme("https://")) return false;
    for (const char* p = url; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x21 || c == 0x7F || c == '"') return false;  // no spaces, controls or quotes
    }
    return true;
}

}  // namespace platform
