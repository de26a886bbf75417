#pragma once
// Process-wide network overrides set by a hosting program (the test host),
// never read from files or the environment. Default: no override.
#include <cstdint>
#include <string>

namespace platform {

// Local IPv4 address that every socket of the process binds to ("" = any).
void setLocalAddress(const std::string& dottedQuad);
std::string localAddress();

// Web-service host and port used instead of the build's setting.
void setServiceOverride(const std::string& host, uint16_t port);
bool serviceOverride(std::string& host, uint16_t& port);

}  // namespace platform
