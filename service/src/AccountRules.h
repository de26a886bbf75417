#pragma once
// What an account name and a password may hold. Names travel unescaped in
// the login body and in the online list, where the plug-in finds fields by
// searching for tag words; so a name must not contain those tags, the text
// that separates it from the password, or control characters, and it must
// stay below the plug-in's 127-character limit for listed names.
#include <string>
#include <string_view>

namespace tarvonet {

constexpr size_t kMaxNameBytes = 126;
constexpr size_t kMaxPasswordBytes = 255;  // the plug-in's field holds 255

// Empty `why` on success; otherwise a sentence saying what is wrong.
std::string checkAccountName(std::string_view name);
std::string checkPassword(std::string_view password);

}  // namespace tarvonet
