#pragma once
// The last messages the reassembler completed, by sender IPv4 address and
// message number. UDP may deliver a datagram twice; a copy that arrives
// after its message was delivered would otherwise start a new slot, be
// delivered again (a one-fragment message) or sit there until the expiry
// rule throws it away and counts an error. Numbers grow by one per message
// sent, so among the last 64 completions of the last second a repeated
// (address, number) pair is a copy, never a new message.
#include <cstddef>
#include <cstdint>

class RecentMessages {
public:
    static constexpr size_t kEntries = 64;
    static constexpr uint32_t kHorizonMs = 1000;

    void remember(uint32_t ip, uint16_t number, uint32_t nowMs) {
        entries_[next_] = Entry{ip, number, nowMs, true};
        next_ = (next_ + 1) % kEntries;
    }
    bool contains(uint32_t ip, uint16_t number, uint32_t nowMs) const {
        for (const Entry& e : entries_)
            if (e.used && e.ip == ip && e.number == number && nowMs - e.at <= kHorizonMs) return true;
        return false;
    }
    void clear() {
        for (Entry& e : entries_) e.used = false;
    }

private:
    struct Entry {
        uint32_t ip = 0;
        uint16_t number = 0;
        uint32_t at = 0;
        bool used = false;
    };
    Entry entries_[kEntries];
    size_t next_ = 0;
};
