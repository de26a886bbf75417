#include "LoginService.h"

#include <algorithm>

#include "AccountRules.h"
#include "AccountStore.h"
#include "Clock.h"
#include "EventLog.h"
#include "FormBody.h"
#include "Ipv4.h"
#include "ServiceReplies.h"
#include "SessionTable.h"

namespace tarvonet {

namespace {

// The name the limits count: none for one that no account can have, which
// is neither logged nor counted by name.
std::string countedName(const LoginForm& form) {
    bool possible = checkAccountName(form.user).empty() && checkPassword(form.password).empty();
    return possible ? form.user : std::string();
}

int wholeMinutes(int64_t ms) {
    int64_t minutes = (ms + 59999) / 60000;
    return static_cast<int>(std::clamp<int64_t>(minutes, 1, 999));
}

}  // namespace

LoginService::LoginService(AccountStore& accounts, SessionTable& sessions, const Clock& clock, EventLog& log,
                           HashCost dummyCost, LoginLimits limits)
    : accounts_(accounts), sessions_(sessions), clock_(clock), log_(log), limiter_(limits) {
    hashPassword("no account has this password", dummyCost, dummyHash_);
}

void LoginService::failed(uint32_t client, const std::string& name) {
    LoginLimiter::Reached reached = limiter_.failed(client, name, clock_.nowMs());
    const std::string window = std::to_string(wholeMinutes(limiter_.windowMs())) + " min";
    if (reached.address) {
        log_.write("too many failed logins from " + formatDottedQuad(client) + ": its logins are refused for up to " +
                   window);
    }
    if (reached.account) {
        log_.write("too many failed logins for \"" + name + "\": its logins are refused for up to " + window +
                   ", except from addresses it logged in from before");
    }
}

std::optional<Reply> LoginService::limitRefusal(uint32_t client, const std::string& name) {
    int64_t waitMs = 0;
    switch (limiter_.check(client, name, clock_.nowMs(), waitMs)) {
        case LoginVerdict::Allowed: break;
        // Logged once, when the limit was reached (see failed()).
        case LoginVerdict::AddressLimited: return replies::loginLimitedAddress(wholeMinutes(waitMs));
        case LoginVerdict::AccountLimited: return replies::loginLimitedAccount(wholeMinutes(waitMs));
    }
    return std::nullopt;
}

std::optional<Reply> LoginService::screen(uint32_t client, std::string_view body) {
    LoginForm form;
    if (!parseLoginForm(body, form)) return std::nullopt;
    return limitRefusal(client, countedName(form));
}

Reply LoginService::refuse(uint32_t client, const std::string& name, const char* why) {
    log_.write("login refused from " + formatDottedQuad(client) + (name.empty() ? "" : " for \"" + name + "\"") +
               ": " + why);
    return replies::loginRefused();
}

Reply LoginService::login(uint32_t client, std::string_view body) {
    LoginForm form;
    if (!parseLoginForm(body, form)) {
        log_.write("login refused from " + formatDottedQuad(client) + ": malformed request");
        return replies::loginMalformed();
    }
    const std::string name = countedName(form);
    // Asked again: failures may have come in since the login was screened.
    if (std::optional<Reply> refusal = limitRefusal(client, name)) return std::move(*refusal);
    if (name.empty()) {
        failed(client, name);
        return refuse(client, "", "no such account");
    }
    StoredUser user;
    StoreResult found = accounts_.findUser(form.user, user);
    if (found == StoreResult::Failed) {
        log_.write("login failed from " + formatDottedQuad(client) + ": " + accounts_.lastError());
        return replies::loginUnavailable();
    }
    if (found == StoreResult::NotFound) {
        verifyPassword(dummyHash_, form.password);
        failed(client, name);
        return refuse(client, form.user, "no such account");
    }
    if (!verifyPassword(user.passwordHash, form.password)) {
        failed(client, name);
        return refuse(client, user.name, "wrong password");
    }
    limiter_.succeeded(client, user.name);

    Account account;
    account.id = user.id;
    account.name = user.name;
    account.flags = user.flags;
    account.masterId = user.masterId;
    if (accounts_.partnerIds(user.id, account.partnerIds) != StoreResult::Ok) {
        log_.write("login failed from " + formatDottedQuad(client) + ": " + accounts_.lastError());
        return replies::loginUnavailable();
    }
    LoginResult opened = sessions_.login(client, account, static_cast<uint16_t>(form.counter), clock_.nowMs());
    if (opened.status == LoginStatus::AddressTaken) {
        log_.write("login refused from " + formatDottedQuad(client) + " for \"" + user.name + "\": \"" +
                   opened.holder + "\" is logged in from that address");
        return replies::loginAddressTaken();
    }
    for (const EndedSession& old : opened.replaced) {
        log_.write("session of \"" + old.name + "\" at " + formatDottedQuad(old.address) +
                   " replaced by a new login");
    }
    log_.write("login \"" + user.name + "\" from " + formatDottedQuad(client) + " udp port " +
               std::to_string(form.counter) + " flags " + std::to_string(user.flags));
    return replies::loginAccepted(user.flags);
}

}  // namespace tarvonet
