#pragma once
// Parsing of the form bodies the plug-in posts. The plug-in writes values
// into its bodies without percent-encoding, so a user name or password may
// hold "&", "=" or "%" literally; nothing here decodes anything.
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvonet {

enum class Action { Login, Logout, OnlineList, KeepAlive, Invite, CheckInvitation, Unknown };

// The action named by a body that starts with "action=": the text up to the
// first "&" or the end. A body that does not start so is Unknown.
Action actionOf(std::string_view body);

struct LoginForm {
    std::string user;
    std::string password;
    int counter = 0;  // the UDP port the plug-in is reachable at
    int extra = 0;
};

// "action=login&username=NAME&password=PASS&counter=N&extra=N", read by its
// fixed key order: the counter and extra fields are taken from the end, the
// name ends at the first "&password=" (account names never contain that
// text, see AccountRules), and the password is everything in between.
bool parseLoginForm(std::string_view body, LoginForm& out);

// Value of `key` in a body of "&"-separated key=value pairs (for the actions
// whose values are numbers or addresses). False if the key is absent.
bool formValue(std::string_view body, std::string_view key, std::string_view& out);

// Optional "-" and one to nine decimal digits, within [min, max].
bool parseBoundedInt(std::string_view text, int min, int max, int& out);

// The body without the line end some clients count into Content-Length.
std::string_view trimLineEnd(std::string_view body);

}  // namespace tarvonet
