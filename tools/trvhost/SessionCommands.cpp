// Commands that act on the session controller the way the editor's
// buttons and options do.
#include "tools/trvhost/CommandHandlers.h"
#include "tools/trvhost/CommandWords.h"
#include "tools/trvhost/LineOutput.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/UserCommands.h"

namespace handlers {

namespace {
bool haveController(CommandContext& c, std::string& error) {
    if (c.controller) return true;
    error = "needs the built-in plug-in";
    return false;
}
}  // namespace

CommandResult login(CommandContext& c, const Args& args, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    // The Login button logs out when logged in; this command only logs in.
    if (c.controller->loggedIn()) {
        c.out->line("note", "already logged in (logout first)");
        return CommandResult::Done;
    }
    c.controller->setUserName(args[0].c_str());
    c.controller->setPassword(args[1].c_str());
    commands::loginOrLogout(*c.controller);
    return CommandResult::Done;
}

CommandResult logout(CommandContext& c, const Args&, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    if (!c.controller->loggedIn()) {
        c.out->line("note", "not logged in");
        return CommandResult::Done;
    }
    commands::loginOrLogout(*c.controller);
    return CommandResult::Done;
}

CommandResult policy(CommandContext& c, const Args& args, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    int64_t n = 0;
    if (!parseWholeNumber(args[0], 0, 3, n) || !c.controller->settings().setInvitationPolicy(static_cast<int>(n))) {
        error = "wants a policy from 0 to 3";
        return CommandResult::Failed;
    }
    return CommandResult::Done;
}

}  // namespace handlers
