#include "PluginParser.h"

#include <cstdlib>

namespace tvntest {

namespace {

constexpr size_t npos = std::string::npos;

long number(const std::string& text) { return std::strtol(text.c_str(), nullptr, 10); }

void splitFlags(long flags, ListedUser& user) {
    user.connected = (flags & 1) ? 1 : 0;
    user.partner = (flags & 2) ? 1 : 0;
    user.doNotDisturb = (flags & 4) ? 1 : 0;
    user.partnersOnly = (flags & 8) ? 1 : 0;
}

}  // namespace

int parseOnlineList(const std::string& raw, std::vector<ListedUser>& out, size_t max) {
    out.clear();
    size_t list = raw.find("PLXLIST");
    if (list == npos) return raw.find("PLXSTART4007") != npos ? -2 : -1;
    size_t end = raw.find("PLXEND");
    if (end == npos) return 0;
    size_t pos = list;
    while (out.size() < max) {
        size_t name = raw.find("PLXNAME:", pos);
        if (name == npos || name >= end) break;
        size_t nameStart = name + 8;
        size_t ip = raw.find("PLXIP:", nameStart);
        size_t line = ip == npos ? npos : raw.find("PLXLINE", ip);
        if (ip == npos || ip >= end || line == npos || line >= end) return -1;
        ListedUser user;
        user.name = raw.substr(nameStart, ip - nameStart);
        if (user.name.size() >= 127) break;
        user.ip = raw.substr(ip + 6, line - ip - 6);
        if (user.ip.size() > 16) break;
        size_t flags = raw.find("PLXFLAGS", line);
        size_t serial = raw.find("PLXSERIAL", line);
        bool keepDefaults = false;
        if (flags != npos) {
            size_t valueEnd = serial;
            if (valueEnd == npos) valueEnd = raw.find("PLXNAME:", nameStart);
            if (valueEnd == npos) valueEnd = raw.find("1004", flags + 8);
            if (valueEnd == npos) {
                keepDefaults = true;
            } else {
                std::string value = raw.substr(flags + 8, valueEnd - flags - 8);
                if (value.size() < 12) splitFlags(number(value), user);
            }
        }
        if (!keepDefaults && serial != npos) {
            size_t valueEnd = raw.find("PLXNAME:", serial);
            if (valueEnd == npos) valueEnd = raw.find("1004", serial + 9);
            if (valueEnd != npos) {
                std::string value = raw.substr(serial + 9, valueEnd - serial - 9);
                long port = value.size() < 12 ? number(value) : 0;
                if (port >= 1 && port <= 65535) user.port = static_cast<int>(port);
            }
        }
        out.push_back(user);
        pos = nameStart;
    }
    return static_cast<int>(out.size());
}

bool parseLogin(const std::string& raw, int& flags) {
    flags = 16;
    size_t start = raw.find("PLXSTART");
    size_t end = raw.find("PLXEND");
    if (start == npos || end == npos || end < start + 8) return false;
    std::string payload = raw.substr(start + 8, end - start - 8).substr(0, 1023);
    if (payload.find("1001") == npos) return false;
    size_t tag = payload.find("PLXFLAGS");
    if (tag != npos) {
        std::string value = payload.substr(tag + 8);
        if (value.size() < 16) flags = static_cast<int>(number(value));
    }
    return true;
}

bool parseCheckInvitation(const std::string& raw, std::string& ip) {
    ip.clear();
    size_t tag = raw.find("PLXSTART1022 ");
    if (tag == npos) return false;
    for (size_t i = tag + 13; i < raw.size() && ip.size() < 23; ++i) {
        char c = raw[i];
        if ((c < '0' || c > '9') && c != '.') break;
        ip += c;
    }
    return ip.size() >= 7;
}

bool keepAliveAccepted(const std::string& raw) { return raw.find("1003") != npos; }

}  // namespace tvntest
