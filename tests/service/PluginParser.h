#pragma once
// The plug-in's way of reading the service's replies, reproduced for the
// tests: tags are found by plain substring search in the raw bytes, chunk
// lines and all, exactly as the plug-in does it.
#include <string>
#include <vector>

namespace tvntest {

struct ListedUser {
    std::string name;
    std::string ip;
    int port = 58116;
    int connected = 0;
    int partner = 1;
    int doNotDisturb = 0;
    int partnersOnly = 0;
};

// Number of users read, -1 on error, -2 for "master account logged out".
int parseOnlineList(const std::string& raw, std::vector<ListedUser>& out, size_t max = 1000);
// True if the login was accepted; `flags` gets the account flags (16 unless sent).
bool parseLogin(const std::string& raw, int& flags);
// True if an invitation is waiting; `ip` gets the inviter's address.
bool parseCheckInvitation(const std::string& raw, std::string& ip);
bool keepAliveAccepted(const std::string& raw);

}  // namespace tvntest
