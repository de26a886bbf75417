#pragma once
// The commands of the test host's command interface: one table entry per
// command with its argument count and whether it acts like an editor
// button (then it runs under the UI lock, which the idle calls take too,
// so the two never overlap, as on a host's user-interface thread).
//
// Adding a command is one entry in the table (CommandTable.cpp) and one
// handler (CommandHandlers.h).
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class AudioRun;
class FileSelector;
class LineOutput;
class LinkPlugin;
class MessageLog;
class SessionController;
class SessionEvents;
class StatusWatcher;
class TestHost;

// What the handlers work on. `controller`, `plugin` and `plugins` are those
// of the built-in plug-in; commands that need them fail when they are null
// (empty). Instance K of a command is plugins[K - 1] and instance K - 1 of
// the run.
struct CommandContext {
    SessionController* controller = nullptr;
    LinkPlugin* plugin = nullptr;  // instance 1
    std::vector<LinkPlugin*> plugins;
    TestHost* host = nullptr;
    AudioRun* run = nullptr;
    const MessageLog* log = nullptr;
    StatusWatcher* watcher = nullptr;
    SessionEvents* sessionEvents = nullptr;  // the invitation popup and listener events
    LineOutput* out = nullptr;
    std::mutex* uiLock = nullptr;
    FileSelector* files = nullptr;
    // True once the run is over (its time ran out); long waits end early.
    std::function<bool()> runOver;
};

enum class CommandResult { Done, Quit, Failed };

using CommandHandler = CommandResult (*)(CommandContext& c, const std::vector<std::string>& args,
                                         std::string& error);

struct HostCommand {
    const char* name;
    const char* arguments;  // as shown in the usage, e.g. "NAME PASSWORD"
    int minArguments;
    int maxArguments;
    bool onUiThread;
    CommandHandler run;
    const char* summary;
};

// The table; the last entry has a null name.
const HostCommand* hostCommands();
// The entry of that name, or null.
const HostCommand* findHostCommand(const std::string& name);
// "name ARGUMENTS".
std::string commandUsage(const HostCommand& command);

// Runs one input line: splits it, finds the command, checks the argument
// count, takes the UI lock when the command wants it. Blank and comment
// lines are Done. Failed comes with a one-line reason.
CommandResult runCommandLine(CommandContext& c, const std::string& line, std::string& error);
