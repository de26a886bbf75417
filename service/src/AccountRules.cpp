#include "AccountRules.h"

namespace tarvonet {

namespace {

bool hasControl(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

}  // namespace

std::string checkAccountName(std::string_view name) {
    if (name.empty()) return "the user name is empty";
    if (name.size() > kMaxNameBytes) return "the user name is longer than 126 bytes";
    if (hasControl(name)) return "the user name holds a control character";
    if (name.front() == ' ' || name.back() == ' ') return "the user name begins or ends with a blank";
    if (name.find("PLX") != std::string_view::npos) return "the user name holds \"PLX\"";
    if (name.find("&password=") != std::string_view::npos) return "the user name holds \"&password=\"";
    if (name == "(no user)") return "\"(no user)\" is reserved by the plug-in";
    return {};
}

std::string checkPassword(std::string_view password) {
    if (password.empty()) return "the password is empty";
    if (password.size() > kMaxPasswordBytes) return "the password is longer than 255 bytes";
    if (password.find('\0') != std::string_view::npos) return "the password holds a zero byte";
    if (password == "(no passwd)") return "\"(no passwd)\" is reserved by the plug-in";
    return {};
}

}  // namespace tarvonet
