#include "AdminCommands.h"

#include <istream>
#include <ostream>

#include "Account.h"
#include "AccountRules.h"
#include "AccountStore.h"

namespace tarvonet {

namespace {

int report(StoreResult result, AccountStore& store, std::ostream& out, std::ostream& err, const std::string& done) {
    if (result == StoreResult::Ok) {
        out << done << "\n";
        return 0;
    }
    err << "tarvonet-service: " << store.lastError() << "\n";
    return 1;
}

bool passwordFrom(const std::string& given, std::istream& in, std::string& password, std::ostream& err) {
    password = given;
    if (given == "-") {
        if (!std::getline(in, password)) {
            err << "tarvonet-service: no password on standard input\n";
            return false;
        }
        if (!password.empty() && password.back() == '\r') password.pop_back();
    }
    std::string why = checkPassword(password);
    if (!why.empty()) {
        err << "tarvonet-service: " << why << "\n";
        return false;
    }
    return true;
}

int listUsers(AccountStore& store, std::ostream& out, std::ostream& err) {
    std::vector<UserSummary> users;
    if (store.listUsers(users) != StoreResult::Ok) {
        err << "tarvonet-service: " << store.lastError() << "\n";
        return 1;
    }
    out << "name\taudio\tmaster\tpartners\n";
    for (const UserSummary& user : users) {
        out << user.name << "\t" << ((user.flags & kLimitedAudioFlag) ? "limited" : "studio") << "\t"
            << (user.master.empty() ? "-" : user.master) << "\t";
        if (user.partners.empty()) out << "-";
        for (size_t i = 0; i < user.partners.size(); ++i) out << (i ? "," : "") << user.partners[i];
        out << "\n";
    }
    return 0;
}

}  // namespace

int runAdminCommand(const AdminOptions& options, std::istream& in, std::ostream& out, std::ostream& err,
                    HashCost cost) {
    std::string error;
    bool create = options.verb == AdminVerb::UserAdd;
    std::unique_ptr<AccountStore> store = AccountStore::open(options.database, create, error);
    if (!store) {
        err << "tarvonet-service: " << error << "\n";
        return 1;
    }
    const std::string& name = options.name;
    const std::string& other = options.other;
    std::string password;
    std::string hash;
    switch (options.verb) {
        case AdminVerb::UserAdd: {
            std::string why = checkAccountName(name);
            if (!why.empty()) {
                err << "tarvonet-service: " << why << "\n";
                return 1;
            }
            if (!passwordFrom(other, in, password, err)) return 1;
            if (!hashPassword(password, cost, hash)) {
                err << "tarvonet-service: cannot hash the password (out of memory?)\n";
                return 1;
            }
            int flags = options.studio ? 0 : kLimitedAudioFlag;
            return report(store->addUser(name, hash, flags), *store, out, err,
                          "added user \"" + name + "\" (" + (options.studio ? "studio" : "limited") + ")");
        }
        case AdminVerb::UserDelete:
            return report(store->deleteUser(name), *store, out, err, "deleted user \"" + name + "\"");
        case AdminVerb::UserList: return listUsers(*store, out, err);
        case AdminVerb::UserStudio:
            return report(store->setFlags(name, options.studio ? 0 : kLimitedAudioFlag), *store, out, err,
                          "user \"" + name + "\" is " + (options.studio ? "a studio account" : "limited"));
        case AdminVerb::UserPassword:
            if (!passwordFrom(other, in, password, err)) return 1;
            if (!hashPassword(password, cost, hash)) {
                err << "tarvonet-service: cannot hash the password (out of memory?)\n";
                return 1;
            }
            return report(store->setPasswordHash(name, hash), *store, out, err,
                          "new password for \"" + name + "\"");
        case AdminVerb::PartnerAdd:
            return report(store->addPartners(name, other), *store, out, err,
                          "\"" + name + "\" and \"" + other + "\" are partners");
        case AdminVerb::PartnerDelete:
            return report(store->removePartners(name, other), *store, out, err,
                          "\"" + name + "\" and \"" + other + "\" are no longer partners");
        case AdminVerb::MasterSet:
            return report(store->setMaster(name, other), *store, out, err,
                          "\"" + name + "\" depends on master \"" + other + "\"");
        case AdminVerb::MasterClear:
            return report(store->clearMaster(name), *store, out, err, "\"" + name + "\" has no master");
    }
    return 2;
}

}  // namespace tarvonet
