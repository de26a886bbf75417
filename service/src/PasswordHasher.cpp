#include "PasswordHasher.h"

#include <sodium.h>

namespace tarvonet {

HashCost HashCost::interactive() {
    return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

HashCost HashCost::minimal() {
    return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

bool initPasswordHashing() { return sodium_init() >= 0; }

bool hashPassword(std::string_view password, HashCost cost, std::string& hash) {
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), cost.operations, cost.memoryBytes) != 0) {
        return false;
    }
    hash.assign(out);
    return true;
}

bool verifyPassword(const std::string& hash, std::string_view password) {
    if (hash.size() >= crypto_pwhash_STRBYTES) return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

}  // namespace tarvonet
