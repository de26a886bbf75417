#pragma once
// Handlers of the command table, grouped by what they drive: the session
// (SessionCommands.cpp), the partner sessions (InvitationCommands.cpp) and
// the run itself (RunCommands.cpp).
#include <string>
#include <vector>

#include "tools/trvhost/CommandTable.h"

namespace handlers {

using Args = std::vector<std::string>;

// Session.
CommandResult login(CommandContext& c, const Args& args, std::string& error);
CommandResult logout(CommandContext& c, const Args& args, std::string& error);
CommandResult policy(CommandContext& c, const Args& args, std::string& error);

// Partner sessions.
CommandResult invite(CommandContext& c, const Args& args, std::string& error);
CommandResult accept(CommandContext& c, const Args& args, std::string& error);
CommandResult reject(CommandContext& c, const Args& args, std::string& error);
CommandResult disconnect(CommandContext& c, const Args& args, std::string& error);
CommandResult state(CommandContext& c, const Args& args, std::string& error);

// Run.
CommandResult wait(CommandContext& c, const Args& args, std::string& error);
CommandResult messages(CommandContext& c, const Args& args, std::string& error);
CommandResult sleep(CommandContext& c, const Args& args, std::string& error);
CommandResult help(CommandContext& c, const Args& args, std::string& error);
CommandResult quit(CommandContext& c, const Args& args, std::string& error);

}  // namespace handlers
