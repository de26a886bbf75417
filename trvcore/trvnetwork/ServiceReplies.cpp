#include "trvcore/trvnetwork/ServiceReplies.h"

#include <cstdint>

#include "platform/Socket.h"
#include "trvcore/trvnetwork/TextScan.h"

namespace service_reply {
namespace {

constexpr size_t kMaxNameLength = OnlineUser::kNameBytes - 2;  // 127 and longer end the list
constexpr size_t kMaxIpLength = 16;
constexpr size_t kMaxValueLength = 11;
constexpr size_t kMaxLoginFlagsLength = 15;

// End of the number a value starts with (blanks, sign, digits), so that a
// search for the closing code does not find it inside the number itself.
size_t numberEnd(const char* d, size_t size, size_t i) {
    while (i < size && isBlank(d[i])) ++i;
    if (i < size && (d[i] == '-' || d[i] == '+')) ++i;
    while (i < size && d[i] >= '0' && d[i] <= '9') ++i;
    return i;
}

// Where a record's value ends when no tag of the same record follows it:
// at the next record's name, else at the list's closing code.
size_t valueEnd(const char* d, size_t listEnd, size_t valueStart, size_t nextName) {
    if (nextName != kNotFound) return nextName;
    return findText(d, listEnd, numberEnd(d, listEnd, valueStart), "1004");
}

// Reads the flags and port of the record whose values lie in
// [from, recordEnd); nextName is where the next record starts, if any.
void readRecordValues(const char* d, size_t listEnd, size_t from, size_t recordEnd, size_t nextName,
                      OnlineUser& user) {
    const size_t flagsTag = findText(d, recordEnd, from, "PLXFLAGS");
    const size_t serialTag = findText(d, recordEnd, from, "PLXSERIAL");
    if (flagsTag != kNotFound) {
        const size_t start = flagsTag + 8;
        const size_t end = (serialTag != kNotFound && serialTag > flagsTag) ? serialTag
                                                                            : valueEnd(d, listEnd, start, nextName);
        if (end == kNotFound) return;  // no end to the value: the record keeps its defaults
        if (end - start <= kMaxValueLength) user.setFlags(readDecimal(d + start, end - start));
    }
    if (serialTag != kNotFound) {
        const size_t start = serialTag + 9;
        const size_t end = valueEnd(d, listEnd, start, nextName);
        if (end == kNotFound || end < start || end - start > kMaxValueLength) return;
        const int port = readDecimal(d + start, end - start);
        if (port >= 1 && port <= 65535) user.port = static_cast<uint16_t>(port);
    }
}

}  // namespace

Payload findPayload(const char* data, size_t size, size_t& begin, size_t& end) {
    const size_t start = findText(data, size, 0, "PLXSTART");
    if (start == kNotFound) return Payload::NoStart;
    begin = start + 8;
    end = findText(data, size, begin, "PLXEND");
    return end == kNotFound ? Payload::NoEnd : Payload::Found;
}

int loginFlags(const char* payload, size_t size, int fallback) {
    const size_t tag = findText(payload, size, 0, "PLXFLAGS");
    if (tag == kNotFound) return fallback;
    const size_t start = tag + 8;
    if (size - start > kMaxLoginFlagsLength) return fallback;
    return readDecimal(payload + start, size - start);
}

int parseOnlineList(const char* d, size_t size, OnlineUser* out, int max) {
    const size_t list = findText(d, size, 0, "PLXLIST");
    if (list == kNotFound)
        return findText(d, size, 0, "PLXSTART4007") != kNotFound ? kListMasterLoggedOut : kListAbsent;
    // Tags count only before the end tag; a list without one was cut short.
    const size_t listEnd = findText(d, size, list, "PLXEND");
    if (listEnd == kNotFound) return kListError;

    int count = 0;
    size_t cursor = list + 7;
    while (out && count < max) {
        const size_t nameTag = findText(d, listEnd, cursor, "PLXNAME:");
        if (nameTag == kNotFound) return count;
        const size_t nameStart = nameTag + 8;
        const size_t ipTag = findText(d, listEnd, nameStart, "PLXIP:");
        if (ipTag == kNotFound) return kListError;
        const size_t ipStart = ipTag + 6;
        const size_t lineTag = findText(d, listEnd, ipStart, "PLXLINE");
        if (lineTag == kNotFound) return kListError;
        if (ipTag - nameStart > kMaxNameLength || lineTag - ipStart > kMaxIpLength) return count;

        OnlineUser& user = out[count++];
        user = OnlineUser();
        copyText(user.name, sizeof user.name, d + nameStart, ipTag - nameStart);
        copyText(user.ip, sizeof user.ip, d + ipStart, lineTag - ipStart);

        const size_t values = lineTag + 7;
        const size_t nextName = findText(d, listEnd, values, "PLXNAME:");
        readRecordValues(d, listEnd, values, nextName != kNotFound ? nextName : listEnd, nextName, user);
        cursor = values;
    }
    return count;
}

bool parseInviter(const char* data, size_t size, char* out) {
    out[0] = '\0';
    const size_t tag = findText(data, size, 0, "PLXSTART1022 ");
    if (tag == kNotFound) return false;
    size_t i = tag + 13;
    size_t n = 0;
    while (i + n < size && n < OnlineUser::kIpBytes - 1 &&
           ((data[i + n] >= '0' && data[i + n] <= '9') || data[i + n] == '.'))
        ++n;
    copyText(out, OnlineUser::kIpBytes, data + i, n);
    uint32_t address = 0;
    if (n < 7 || !platform::parseIpv4(out, address)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace service_reply
