// Commands that pace and inspect the run itself.
#include <cstdio>

#include "platform/Clock.h"
#include "tools/trvhost/CommandHandlers.h"
#include "tools/trvhost/CommandWords.h"
#include "tools/trvhost/LineOutput.h"
#include "tools/trvhost/StatusWatcher.h"
#include "trvcore/session/MessageLog.h"

namespace handlers {

namespace {
constexpr double kDefaultWaitSeconds = 10.0;
constexpr double kMaxWaitSeconds = 3600.0;
constexpr int64_t kMaxSleepMs = 3600 * 1000;
constexpr uint32_t kSleepSliceMs = 20;

bool over(const CommandContext& c) { return c.runOver && c.runOver(); }
}  // namespace

CommandResult wait(CommandContext& c, const Args& args, std::string& error) {
    if (!c.watcher) {
        error = "no status lines are watched";
        return CommandResult::Failed;
    }
    double seconds = kDefaultWaitSeconds;
    if (args.size() > 1 && !parseDecimal(args[1], 0.0, kMaxWaitSeconds, seconds)) {
        error = "wants SECONDS from 0 to 3600 (quote a TEXT with blanks)";
        return CommandResult::Failed;
    }
    std::string matched;
    const uint32_t ms = static_cast<uint32_t>(seconds * 1000.0 + 0.5);
    if (c.watcher->waitFor(args[0], ms, matched, c.runOver)) {
        c.out->line("matched", matched);
        return CommandResult::Done;
    }
    if (over(c)) return CommandResult::Done;  // the run ends anyway
    char text[64];
    std::snprintf(text, sizeof text, "%g", seconds);
    error = "no status line holding \"" + args[0] + "\" within " + text + " s";
    return CommandResult::Failed;
}

CommandResult messages(CommandContext& c, const Args&, std::string& error) {
    if (!c.log) {
        error = "needs the built-in plug-in";
        return CommandResult::Failed;
    }
    char line[MessageLog::kLineBytes];
    for (int k = 0; k < MessageLog::kLines && c.log->message(k, line); ++k)
        c.out->line("message", std::to_string(k) + " " + line);
    return CommandResult::Done;
}

CommandResult sleep(CommandContext& c, const Args& args, std::string& error) {
    int64_t ms = 0;
    if (!parseWholeNumber(args[0], 0, kMaxSleepMs, ms)) {
        error = "wants MS from 0 to 3600000";
        return CommandResult::Failed;
    }
    const uint32_t start = platform::tickCount();
    while (!over(c)) {
        const uint32_t spent = platform::tickCount() - start;
        if (spent >= static_cast<uint32_t>(ms)) break;
        const uint32_t left = static_cast<uint32_t>(ms) - spent;
        platform::sleepMilliseconds(left < kSleepSliceMs ? left : kSleepSliceMs);
    }
    return CommandResult::Done;
}

CommandResult help(CommandContext& c, const Args&, std::string&) {
    for (const HostCommand* command = hostCommands(); command->name; ++command)
        c.out->line("help", commandUsage(*command) + ": " + command->summary);
    return CommandResult::Done;
}

CommandResult quit(CommandContext&, const Args&, std::string&) { return CommandResult::Quit; }

}  // namespace handlers
