#include "trvcore/UserCommands.h"

#include <cstring>

#include "trvcore/SessionController.h"

namespace commands {

bool loginOrLogout(SessionController& c) {
    if (c.loggedIn()) {
        c.postMessage("Logging out...");
        c.logout();
        c.postMessage("Logged out.");
        return false;
    }
    char user[SessionController::kTextBytes], pass[SessionController::kTextBytes];
    c.userName(user);
    c.password(pass);
    if (!user[0] || std::strcmp(user, "(no user)") == 0) {
        c.postMessage("** No User Name **");
        return false;
    }
    if (!pass[0] || std::strcmp(pass, "(no passwd)") == 0) {
        c.postMessage("** No Password **");
        return false;
    }
    c.postMessage("Logging in...");
    if (c.login()) {
        c.postMessage("Welcome. You are logged in to the Tarvonet.");
        return true;
    }
    c.postMessage("** Login failed **");
    return false;
}

}  // namespace commands
