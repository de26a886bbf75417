#pragma once
// Password hashes in libsodium's self-describing string form
// (crypto_pwhash_str). The cost is part of each stored hash, so accounts
// made with a lower cost (tests and benchmarks) verify just as well.
#include <cstddef>
#include <string>
#include <string_view>

namespace tarvonet {

struct HashCost {
    unsigned long long operations;
    size_t memoryBytes;
    static HashCost interactive();
    static HashCost minimal();  // for throw-away accounts of tests and benchmarks
};

// Initialises libsodium; false if it cannot be used.
bool initPasswordHashing();
bool hashPassword(std::string_view password, HashCost cost, std::string& hash);
bool verifyPassword(const std::string& hash, std::string_view password);

}  // namespace tarvonet
