#pragma once
// The 4448-byte state chunk each instance hands to the host: version,
// size, ID, the instance's switches, a few controller values for
// information, and the login and partner user names. Little-endian.
#include <cstddef>
#include <cstdint>

class PluginChunk {
public:
    static constexpr int32_t kVersion = 10001;
    static constexpr int32_t kOldestVersion = 27;
    static constexpr int32_t kSize = 4448;
    // 'TRVn', first character in the most significant byte.
    static constexpr uint32_t kId = (uint32_t('T') << 24) | (uint32_t('R') << 16) |
                                    (uint32_t('V') << 8) | uint32_t('n');
    static constexpr size_t kNameBytes = 128;

    enum Flag : uint32_t {
        kSend = 1u << 0,
        kReceive = 1u << 1,
        kThru = 1u << 2,
        kSyncSource = 1u << 3,
        kCompensateRecordOffset = 1u << 4,
    };

    struct Contents {
        uint32_t flags = 0;
        int32_t codec = 0;
        double upstream = 0.0;
        float audioQuality = 0.0f;
        const char* loginName = nullptr;    // null or empty: zeroed
        const char* partnerName = nullptr;  // null or empty: zeroed
    };

    PluginChunk();
    // Rewrites every byte from `c`.
    void write(const Contents& c);
    // True when `data` of `size` bytes is a chunk this version can take:
    // at least 4448 bytes, the right ID and a version in 27..10001.
    static bool acceptable(const uint8_t* data, size_t size);
    // Copies the first 4448 bytes of an acceptable chunk.
    void assign(const uint8_t* data);

    uint32_t flags() const;
    // The login user name (offset 96), always NUL-terminated, into out[128].
    void loginName(char* out) const;
    void partnerName(char* out) const;

    uint8_t* data() { return bytes_; }
    const uint8_t* data() const { return bytes_; }

private:
    uint8_t bytes_[kSize];
};
