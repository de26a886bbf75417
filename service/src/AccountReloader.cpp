#include "AccountReloader.h"

#include "AccountStore.h"
#include "EventLog.h"
#include "Ipv4.h"
#include "SessionTable.h"

namespace tarvonet {

AccountReloader::AccountReloader(AccountStore& accounts, SessionTable& sessions, EventLog& log)
    : accounts_(accounts), sessions_(sessions), log_(log) {}

void AccountReloader::failed(const std::string& what) {
    // Once per spell of failures, not at every poll.
    if (!failing_) log_.write("cannot follow account changes: " + what);
    failing_ = true;
}

void AccountReloader::succeeded() {
    if (failing_) log_.write("following account changes again");
    failing_ = false;
}

void AccountReloader::poll() {
    int64_t count = 0;
    if (accounts_.changeCount(count) != StoreResult::Ok) {
        failed(accounts_.lastError());
        return;
    }
    if (count == applied_ && !again_) {
        succeeded();
        return;
    }
    AccountQuery asked = sessions_.accountQuery();
    std::vector<int64_t> ids;
    ids.reserve(asked.sessions.size());
    for (const AccountQuery::Entry& s : asked.sessions) ids.push_back(s.accountId);
    std::vector<Account> found;
    if (accounts_.readAccounts(ids, found, count) != StoreResult::Ok) {
        failed(accounts_.lastError());
        return;
    }
    succeeded();
    AccountRefresh refresh = sessions_.refreshAccounts(asked, std::move(found));
    for (const EndedSession& ended : refresh.ended) {
        log_.write("session of \"" + ended.name + "\" at " + formatDottedQuad(ended.address) +
                   " ended: the account was deleted");
    }
    if (refresh.updated > 0) {
        log_.write("account changes reached " + std::to_string(refresh.updated) + " session" +
                   (refresh.updated == 1 ? "" : "s"));
    }
    applied_ = count;
    again_ = refresh.askAgain;
}

}  // namespace tarvonet
