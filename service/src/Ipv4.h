#pragma once
// Dotted-quad IPv4 addresses as the plug-in sends and expects them.
// Addresses are held in host byte order.
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvonet {

// Strict: four decimal parts of one to three digits, each 0..255, nothing
// before, between or after them.
bool parseDottedQuad(std::string_view text, uint32_t& out);
std::string formatDottedQuad(uint32_t address);

}  // namespace tarvonet
