#pragma once
// Parsing of the web service's tagged replies. Tags are found by plain
// substring search, so any text, line ends or chunk-size lines may stand
// between the elements. Every function reads only [data, data + size) and
// writes only the records and texts it is given.
#include <cstddef>

#include "trvcore/trvnetwork/OnlineUser.h"

namespace service_reply {

// Results of parseOnlineList besides a record count.
enum : int {
    kListError = -1,            // truncated or malformed list
    kListMasterLoggedOut = -2,  // "PLXSTART4007" instead of a list
    kListAbsent = -3,           // no "PLXLIST" at all
};

enum class Payload { Found, NoStart, NoEnd };

// The payload of a login or logout reply: from 8 characters after
// "PLXSTART" up to the following "PLXEND". begin is set whenever
// "PLXSTART" was found.
Payload findPayload(const char* data, size_t size, size_t& begin, size_t& end);

// Account flags of a login payload: the number after "PLXFLAGS" when the
// text from there to the payload's end is shorter than 16 characters,
// otherwise `fallback`.
int loginFlags(const char* payload, size_t size, int fallback);

// Reads the records of an online-list reply into out[0..max). Returns the
// count, or one of the negative results above.
int parseOnlineList(const char* data, size_t size, OnlineUser* out, int max);

// The inviter's dotted quad after "PLXSTART1022 ", copied into
// out[OnlineUser::kIpBytes]; true if it is a dotted quad (at least 7
// characters of digits and dots). `out` is emptied otherwise.
bool parseInviter(const char* data, size_t size, char* out);

}  // namespace service_reply
