#include "Ipv4.h"

namespace tarvonet {

bool parseDottedQuad(std::string_view text, uint32_t& out) {
    uint32_t address = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.') return false;
            ++pos;
        }
        int value = 0;
        int digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (++digits > 3) return false;
            value = value * 10 + (text[pos] - '0');
            ++pos;
        }
        if (digits == 0 || value > 255) return false;
        address = (address << 8) | static_cast<uint32_t>(value);
    }
    if (pos != text.size()) return false;
    out = address;
    return true;
}

std::string formatDottedQuad(uint32_t address) {
    std::string text;
    text.reserve(15);
    for (int shift = 24; shift >= 0; shift -= 8) {
        text += std::to_string((address >> shift) & 0xFF);
        if (shift > 0) text += '.';
    }
    return text;
}

}  // namespace tarvonet
