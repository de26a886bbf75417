#pragma once
// What a login session knows about the account behind it.
#include <cstdint>
#include <string>
#include <vector>

namespace tarvonet {

// Account flag bit 4: audio limited to 128 kbit/s. Studio accounts have it
// clear. The plug-in receives the flags with its login.
constexpr int kLimitedAudioFlag = 16;

struct Account {
    int64_t id = 0;
    std::string name;
    int flags = kLimitedAudioFlag;
    int64_t masterId = 0;             // 0: the account depends on no master
    std::vector<int64_t> partnerIds;  // sorted
};

}  // namespace tarvonet
