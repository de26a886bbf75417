#pragma once
// Handlers of the command table, grouped by what they drive: the session
// (SessionCommands.cpp), the partner sessions (InvitationCommands.cpp), the
// run itself (RunCommands.cpp), the audio and transport through the host
// (AudioCommands.cpp), the plug-in's switches, sync, audio settings and
// the partner's transport (PluginCommands.cpp), its video
// (VideoCommands.cpp) and its file transfers (FileCommands.cpp).
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

// Audio through the host.
CommandResult play(CommandContext& c, const Args& args, std::string& error);
CommandResult record(CommandContext& c, const Args& args, std::string& error);
CommandResult transport(CommandContext& c, const Args& args, std::string& error);
CommandResult loop(CommandContext& c, const Args& args, std::string& error);
CommandResult smpte(CommandContext& c, const Args& args, std::string& error);
CommandResult latency(CommandContext& c, const Args& args, std::string& error);

// The built-in plug-in's switches, settings and streams.
CommandResult switchCommand(CommandContext& c, const Args& args, std::string& error);
CommandResult offset(CommandContext& c, const Args& args, std::string& error);
CommandResult sync(CommandContext& c, const Args& args, std::string& error);
CommandResult monitor(CommandContext& c, const Args& args, std::string& error);
CommandResult locate(CommandContext& c, const Args& args, std::string& error);
// The partner's transport line of `transport` (built-in plug-in with a
// partner; nothing otherwise).
void printPartnerTransport(CommandContext& c);
CommandResult audio(CommandContext& c, const Args& args, std::string& error);
CommandResult upstream(CommandContext& c, const Args& args, std::string& error);
CommandResult quality(CommandContext& c, const Args& args, std::string& error);
CommandResult codec(CommandContext& c, const Args& args, std::string& error);

// The built-in plug-in's video.
CommandResult video(CommandContext& c, const Args& args, std::string& error);
CommandResult snapshot(CommandContext& c, const Args& args, std::string& error);

// Files with the first connected partner (FileCommands.cpp).
CommandResult sendFile(CommandContext& c, const Args& args, std::string& error);
CommandResult receiveFile(CommandContext& c, const Args& args, std::string& error);
CommandResult abortFile(CommandContext& c, const Args& args, std::string& error);
CommandResult file(CommandContext& c, const Args& args, std::string& error);

// Instance 1's editor (EditorCommands.cpp).
CommandResult click(CommandContext& c, const Args& args, std::string& error);
CommandResult key(CommandContext& c, const Args& args, std::string& error);
CommandResult type(CommandContext& c, const Args& args, std::string& error);
CommandResult screenshot(CommandContext& c, const Args& args, std::string& error);
CommandResult editorState(CommandContext& c, const Args& args, std::string& error);

// Instances of the run (the built-in plug-in's, without a run).
int instanceCount(const CommandContext& c);
// Instance number K (from 1) from args[at], 1 when absent; false with
// "no instance K" when the run has no such instance.
bool instanceArgument(const CommandContext& c, const Args& args, size_t at, int& k, std::string& error);

// Run.
CommandResult wait(CommandContext& c, const Args& args, std::string& error);
CommandResult messages(CommandContext& c, const Args& args, std::string& error);
CommandResult sleep(CommandContext& c, const Args& args, std::string& error);
CommandResult help(CommandContext& c, const Args& args, std::string& error);
CommandResult quit(CommandContext& c, const Args& args, std::string& error);

}  // namespace handlers
