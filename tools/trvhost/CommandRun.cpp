#include "tools/trvhost/CommandRun.h"

#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include "tools/trvhost/AudioRun.h"
#include "tools/trvhost/CommandInput.h"
#include "tools/trvhost/CommandTable.h"
#include "tools/trvhost/IdleTicker.h"
#include "tools/trvhost/LineOutput.h"
#include "tools/trvhost/SessionEvents.h"
#include "tools/trvhost/StatusWatcher.h"
#include "trvcore/LinkPlugin.h"
#include "trvcore/PluginFactory.h"
#include "trvcore/SessionController.h"

namespace {
// How long the command thread waits for a line before it looks at the run.
constexpr uint32_t kLineWaitMs = 50;
}  // namespace

int runCommands(AEffect* effect, TestHost& host, AudioRun& run, const HostOptions& o, std::FILE* out,
                std::FILE* err) {
    LinkPlugin* plugin = linkPluginOf(effect);
    SessionController* controller = plugin ? plugin->controller() : nullptr;
    if (!controller) {
        std::fprintf(err, "trvhost: commands need the built-in plug-in\n");
        return kCommandsCannotStart;
    }
    std::unique_ptr<CommandInput> input;
    std::string error;
    if (!o.scriptPath.empty()) input = CommandInput::fromFile(o.scriptPath, error);
    else if (!(input = CommandInput::fromStream(std::cin))) error = "cannot start the input thread";
    if (!input) {
        std::fprintf(err, "trvhost: %s\n", error.c_str());
        return kCommandsCannotStart;
    }

    LineOutput lines(out);
    StatusWatcher watcher(controller->messageLog(), lines);
    std::mutex uiLock;
    const AutoAnswer autoAnswer = o.autoAnswer == HostOptions::Answer::Accept   ? AutoAnswer::Accept
                                  : o.autoAnswer == HostOptions::Answer::Reject ? AutoAnswer::Reject
                                                                                : AutoAnswer::None;
    SessionEvents sessionEvents(*controller, lines, autoAnswer);
    IdleTicker idle(
        [plugin, &sessionEvents] {
            plugin->idleCheck();
            sessionEvents.idle();
        },
        uiLock);
    if (!watcher.start() || !idle.start()) {
        std::fprintf(err, "trvhost: cannot start the watcher threads\n");
        return kCommandsCannotStart;
    }

    CommandContext context;
    context.controller = controller;
    context.plugin = plugin;
    context.host = &host;
    context.log = &controller->messageLog();
    context.watcher = &watcher;
    context.sessionEvents = &sessionEvents;
    context.out = &lines;
    context.uiLock = &uiLock;
    context.runOver = [&run] { return run.finished(); };

    int status = kCommandsDone;
    std::string line;
    while (!run.finished()) {
        const CommandInput::Next next = input->next(line, kLineWaitMs);
        if (next == CommandInput::Next::Pending) continue;
        if (next == CommandInput::Next::Ended) break;
        const CommandResult result = runCommandLine(context, line, error);
        if (result == CommandResult::Quit) break;
        if (result == CommandResult::Failed) {
            std::fprintf(err, "trvhost: line %d: %s\n", input->lineNumber(), error.c_str());
            status = kCommandFailed;
            break;
        }
    }
    idle.stop();
    watcher.stop();
    return status;
}
