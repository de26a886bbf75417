#include "LoginService.h"

#include "AccountRules.h"
#include "AccountStore.h"
#include "Clock.h"
#include "EventLog.h"
#include "FormBody.h"
#include "Ipv4.h"
#include "ServiceReplies.h"
#include "SessionTable.h"

namespace tarvonet {

LoginService::LoginService(AccountStore& accounts, SessionTable& sessions, const Clock& clock, EventLog& log,
                           HashCost dummyCost)
    : accounts_(accounts), sessions_(sessions), clock_(clock), log_(log) {
    hashPassword("no account has this password", dummyCost, dummyHash_);
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
    if (!checkAccountName(form.user).empty() || !checkPassword(form.password).empty()) {
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
        return refuse(client, form.user, "no such account");
    }
    if (!verifyPassword(user.passwordHash, form.password)) return refuse(client, user.name, "wrong password");

    Account account;
    account.id = user.id;
    account.name = user.name;
    account.flags = user.flags;
    account.masterId = user.masterId;
    if (accounts_.partnerIds(user.id, account.partnerIds) != StoreResult::Ok) {
        log_.write("login failed from " + formatDottedQuad(client) + ": " + accounts_.lastError());
        return replies::loginUnavailable();
    }
    for (const EndedSession& old : sessions_.login(client, account, static_cast<uint16_t>(form.counter),
                                                   clock_.nowMs())) {
        log_.write("session of \"" + old.name + "\" at " + formatDottedQuad(old.address) +
                   " replaced by a new login");
    }
    log_.write("login \"" + user.name + "\" from " + formatDottedQuad(client) + " udp port " +
               std::to_string(form.counter) + " flags " + std::to_string(user.flags));
    return replies::loginAccepted(user.flags);
}

}  // namespace tarvonet
