#include "trvcore/plugin/PluginChunk.h"

#include <cstring>

#include "trvcore/trvnetwork/WireBytes.h"

namespace {
constexpr size_t kVersionAt = 0, kSizeAt = 4, kIdAt = 8, kFlagsAt = 12, kCodecAt = 16,
                 kUpstreamAt = 32, kQualityAt = 64, kLoginAt = 96, kPartnerAt = 224;

void writeName(uint8_t* at, const char* name) {
    std::memset(at, 0, PluginChunk::kNameBytes);
    if (!name) return;
    size_t n = std::strlen(name);
    if (n > PluginChunk::kNameBytes - 1) n = PluginChunk::kNameBytes - 1;
    std::memcpy(at, name, n);
}

void readName(const uint8_t* at, char* out) {
    std::memcpy(out, at, PluginChunk::kNameBytes);
    out[PluginChunk::kNameBytes - 1] = '\0';
}
}  // namespace

PluginChunk::PluginChunk() {
    std::memset(bytes_, 0, sizeof bytes_);
    wire::writeI32(bytes_, kSize, kSizeAt, kSize);
    wire::writeU32(bytes_, kSize, kIdAt, kId);
}

void PluginChunk::write(const Contents& c) {
    std::memset(bytes_, 0, sizeof bytes_);
    wire::writeI32(bytes_, kSize, kVersionAt, kVersion);
    wire::writeI32(bytes_, kSize, kSizeAt, kSize);
    wire::writeU32(bytes_, kSize, kIdAt, kId);
    wire::writeU32(bytes_, kSize, kFlagsAt, c.flags);
    wire::writeI32(bytes_, kSize, kCodecAt, c.codec);
    wire::writeDouble(bytes_, kSize, kUpstreamAt, c.upstream);
    wire::writeFloat(bytes_, kSize, kQualityAt, c.audioQuality);
    writeName(bytes_ + kLoginAt, c.loginName);
    writeName(bytes_ + kPartnerAt, c.partnerName);
}

bool PluginChunk::acceptable(const uint8_t* data, size_t size) {
    if (!data || size < static_cast<size_t>(kSize)) return false;
    uint32_t id = 0;
    int32_t version = 0;
    wire::readU32(data, size, kIdAt, id);
    wire::readI32(data, size, kVersionAt, version);
    return id == kId && version >= kOldestVersion && version <= kVersion;
}

void PluginChunk::assign(const uint8_t* data) { std::memcpy(bytes_, data, kSize); }

uint32_t PluginChunk::flags() const {
    uint32_t f = 0;
    wire::readU32(bytes_, kSize, kFlagsAt, f);
    return f;
}

void PluginChunk::loginName(char* out) const { readName(bytes_ + kLoginAt, out); }
void PluginChunk::partnerName(char* out) const { readName(bytes_ + kPartnerAt, out); }
