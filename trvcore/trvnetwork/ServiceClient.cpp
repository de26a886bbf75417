#include "trvcore/trvnetwork/ServiceClient.h"

#include <cstdio>
#include <cstring>

#include "trvcore/trvnetwork/ServiceReplies.h"
#include "trvcore/trvnetwork/TextScan.h"

namespace {

constexpr size_t kBodyBytes = 1024;
constexpr size_t kFailureTextBytes = 100;

const char kLogoutFailed[] = "Logout: no reply from server! Check your Internet connection.";
const char kMasterLoggedOutText[] = "Master account logged out!";
const char kNoListText[] = "Fetch users: no reply from Server! Check Your Internet connection.";

}  // namespace

ServiceClient::ServiceClient() = default;

ServiceClient::~ServiceClient() { close(); }

bool ServiceClient::connect() {
    reused_ = false;
    resetReply();
    if (connectedOnce_.load(std::memory_order_relaxed) && isOpen()) {
        // With no request outstanding, a readable socket means the service
        // closed it or it still holds bytes of an earlier reply.
        if (!socket().readable(0)) {
            reused_ = true;
            return true;
        }
        close();
    }
    if (!HttpClient::connect()) return false;
    connectedOnce_.store(true, std::memory_order_relaxed);
    return true;
}

bool ServiceClient::exchange(const char* body, Framing framing, bool keepOpen) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!connect()) return false;
        const bool wasReused = reused_;
        if (!buildPost(kServicePath, body)) return close();
        const bool sent = sendRequest();
        bool read = false;
        if (sent) read = framing == Framing::ContentLength ? readReply(keepOpen) : readUntilEnd(keepOpen);
        // A reused connection the service closed while idle answers with a
        // close or a reset, not a byte: no reply yet, so try once on a fresh
        // connection. A silent service is not asked twice.
        const bool staleConnection = wasReused && replyBytes() == 0 && !readTimedOut();
        if (!staleConnection) return read;
        close();
    }
    return false;
}

const char* ServiceClient::replyData() const { return body() ? body() : buffer(); }

size_t ServiceClient::replySize() const {
    if (!body()) return 0;
    const int size = replyBytes() - headerLength();
    return size > 0 ? static_cast<size_t>(size) : 0;
}

bool ServiceClient::replyHolds(const char* text) const {
    return findText(replyData(), replySize(), 0, text) != kNotFound;
}

void ServiceClient::setReplyText(const char* text, size_t length) {
    copyText(replyText_, sizeof replyText_, text, length);
}

bool ServiceClient::login(const char* user, const char* password, int port, int extra, int& flagsOut) {
    platform::ScopedLock guard(lock_);
    flagsOut = kDefaultAccountFlags;
    failedKeepAlives_ = 0;
    replyText_[0] = '\0';
    if (!user || !password) return false;
    char body[kBodyBytes];
    const int n = std::snprintf(body, sizeof body, "action=login&username=%s&password=%s&counter=%d&extra=%d", user,
                                password, port, extra);
    if (n < 0 || static_cast<size_t>(n) >= sizeof body) return false;

    const bool read = exchange(body, Framing::ContentLength, false);
    const char* data = replyData();
    const size_t size = replySize();
    size_t begin = 0;
    size_t end = 0;
    const service_reply::Payload found =
        read ? service_reply::findPayload(data, size, begin, end) : service_reply::Payload::NoStart;
    bool accepted = false;
    if (found == service_reply::Payload::NoStart) {
        // Only reply bytes, never the request that shared the buffer.
        const size_t received = replyBytes() > 0 ? static_cast<size_t>(replyBytes()) : 0;
        setReplyText(buffer() ? buffer() : "", received < kFailureTextBytes ? received : kFailureTextBytes);
    } else if (found == service_reply::Payload::NoEnd) {
        const size_t rest = size - begin;
        setReplyText(data + begin, rest < kFailureTextBytes ? rest : kFailureTextBytes);
    } else {
        setReplyText(data + begin, end - begin);
        accepted = findText(data, end, begin, "1001") != kNotFound;
        if (accepted) flagsOut = service_reply::loginFlags(data + begin, end - begin, kDefaultAccountFlags);
    }
    close();
    if (accepted) {
        bool timedOut = false;
        keepAlive(0, timedOut);
    }
    return accepted;
}

bool ServiceClient::logout() {
    platform::ScopedLock guard(lock_);
    const bool read = exchange("action=logout", Framing::ContentLength, false);
    if (!read) {
        setReplyText(kLogoutFailed, sizeof kLogoutFailed);
        return false;
    }
    const char* data = replyData();
    size_t begin = 0;
    size_t end = 0;
    switch (service_reply::findPayload(data, replySize(), begin, end)) {
    case service_reply::Payload::NoStart:
        setReplyText(kLogoutFailed, sizeof kLogoutFailed);
        break;
    case service_reply::Payload::NoEnd:
        break;  // the text stays as it was
    case service_reply::Payload::Found:
        if (findText(data, end, begin, "1002") != kNotFound)
            setReplyText(data + begin, end - begin);
        else
            setReplyText(kLogoutFailed, sizeof kLogoutFailed);
        break;
    }
    return true;
}

int ServiceClient::fetchOnlineList(OnlineUser* out, int max) {
    platform::ScopedLock guard(lock_);
    if (!exchange("action=onlinelist", Framing::EndMarker, true)) return kFetchFailed;
    const int result = service_reply::parseOnlineList(replyData(), replySize(), out, max);
    switch (result) {
    case service_reply::kListAbsent:
        setReplyText(kNoListText, sizeof kNoListText);
        return kFetchFailed;
    case service_reply::kListMasterLoggedOut:
        setReplyText(kMasterLoggedOutText, sizeof kMasterLoggedOutText);
        return kMasterLoggedOut;
    case service_reply::kListError:
        return kFetchFailed;
    default:
        return result;
    }
}

bool ServiceClient::keepAlive(int flags, bool& timedOut) {
    platform::ScopedLock guard(lock_);
    timedOut = false;
    char body[64];
    std::snprintf(body, sizeof body, "action=keepalive&flags=%d", flags);
    if (!exchange(body, Framing::EndMarker, true)) return false;
    if (replyHolds("1003")) {
        failedKeepAlives_ = 0;
        return true;
    }
    if (replyHolds("4006")) {
        if (failedKeepAlives_ <= kTolerated4006) ++failedKeepAlives_;
        timedOut = failedKeepAlives_ > kTolerated4006;
    } else {
        failedKeepAlives_ = 0;
    }
    return close();
}

bool ServiceClient::invite(const char* ip) {
    platform::ScopedLock guard(lock_);
    char body[kBodyBytes];
    const int n = std::snprintf(body, sizeof body, "action=invite&ip=%s", ip ? ip : "");
    if (n < 0 || static_cast<size_t>(n) >= sizeof body) return false;
    const bool registered = exchange(body, Framing::ContentLength, true) && replyHolds("PLXSTART1020 ");
    close();
    return registered;
}

bool ServiceClient::checkInvitation(char* inviterOut) {
    platform::ScopedLock guard(lock_);
    inviterAddress_[0] = '\0';
    if (inviterOut) inviterOut[0] = '\0';
    if (!exchange("action=checkinvitation", Framing::EndMarker, true)) return close();
    if (!service_reply::parseInviter(replyData(), replySize(), inviterAddress_)) return false;
    if (inviterOut) std::memcpy(inviterOut, inviterAddress_, sizeof inviterAddress_);
    return true;
}

void ServiceClient::replyText(char* out, size_t size) const {
    platform::ScopedLock guard(lock_);
    copyText(out, size, replyText_, sizeof replyText_);
}

void ServiceClient::inviterAddress(char* out) const {
    platform::ScopedLock guard(lock_);
    std::memcpy(out, inviterAddress_, sizeof inviterAddress_);
}

int ServiceClient::failedKeepAlives() const {
    platform::ScopedLock guard(lock_);
    return failedKeepAlives_;
}
