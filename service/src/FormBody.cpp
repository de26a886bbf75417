#include "FormBody.h"

namespace tarvonet {

namespace {

constexpr std::string_view kActionKey = "action=";
constexpr std::string_view kLoginPrefix = "action=login&username=";
constexpr std::string_view kPasswordKey = "&password=";
constexpr std::string_view kCounterKey = "&counter=";
constexpr std::string_view kExtraKey = "&extra=";

}  // namespace

std::string_view trimLineEnd(std::string_view body) {
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r')) body.remove_suffix(1);
    return body;
}

Action actionOf(std::string_view body) {
    if (body.substr(0, kActionKey.size()) != kActionKey) return Action::Unknown;
    std::string_view name = body.substr(kActionKey.size());
    size_t end = name.find('&');
    if (end != std::string_view::npos) name = name.substr(0, end);
    name = trimLineEnd(name);
    if (name == "login") return Action::Login;
    if (name == "logout") return Action::Logout;
    if (name == "onlinelist") return Action::OnlineList;
    if (name == "keepalive") return Action::KeepAlive;
    if (name == "invite") return Action::Invite;
    if (name == "checkinvitation") return Action::CheckInvitation;
    return Action::Unknown;
}

bool parseBoundedInt(std::string_view text, int min, int max, int& out) {
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 9) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (negative) value = -value;
    if (value < min || value > max) return false;
    out = static_cast<int>(value);
    return true;
}

bool parseLoginForm(std::string_view body, LoginForm& out) {
    body = trimLineEnd(body);
    if (body.substr(0, kLoginPrefix.size()) != kLoginPrefix) return false;
    std::string_view rest = body.substr(kLoginPrefix.size());

    // The two numbers close the body; a password may itself hold "&counter=",
    // so the last occurrence is the field.
    size_t counterAt = rest.rfind(kCounterKey);
    if (counterAt == std::string_view::npos) return false;
    std::string_view numbers = rest.substr(counterAt + kCounterKey.size());
    size_t extraAt = numbers.find(kExtraKey);
    if (extraAt == std::string_view::npos) return false;
    int counter = 0;
    int extra = 0;
    if (!parseBoundedInt(numbers.substr(0, extraAt), 0, 65535, counter)) return false;
    if (!parseBoundedInt(numbers.substr(extraAt + kExtraKey.size()), -1000000, 1000000, extra)) return false;

    std::string_view credentials = rest.substr(0, counterAt);
    size_t passwordAt = credentials.find(kPasswordKey);
    if (passwordAt == std::string_view::npos) return false;
    out.user.assign(credentials.substr(0, passwordAt));
    out.password.assign(credentials.substr(passwordAt + kPasswordKey.size()));
    out.counter = counter;
    out.extra = extra;
    return true;
}

bool formValue(std::string_view body, std::string_view key, std::string_view& out) {
    body = trimLineEnd(body);
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t end = body.find('&', pos);
        if (end == std::string_view::npos) end = body.size();
        std::string_view pair = body.substr(pos, end - pos);
        size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == key) {
            out = pair.substr(eq + 1);
            return true;
        }
        pos = end + 1;
    }
    return false;
}

}  // namespace tarvonet
