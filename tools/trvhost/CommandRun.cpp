#include "tools/trvhost/CommandRun.h"

#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include "tools/trvhost/AudioRun.h"
#include "tools/trvhost/CommandInput.h"
#include "tools/trvhost/CommandTable.h"
#include "tools/trvhost/FileSelector.h"
#include "tools/trvhost/HostCallback.h"
#include "tools/trvhost/HostEditor.h"
#include "tools/trvhost/IdleTicker.h"
#include "tools/trvhost/LineOutput.h"
#include "tools/trvhost/SessionEvents.h"
#include "tools/trvhost/StatusWatcher.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/plugin/PluginFactory.h"
#include "trvcore/session/SessionController.h"

namespace {
// How long the command thread waits for a line before it looks at the run.
constexpr uint32_t kLineWaitMs = 50;
constexpr uint32_t kEditorIdleMs = 40;
}  // namespace

int runCommands(const std::vector<AEffect*>& effects, TestHost& host, AudioRun& run, const HostOptions& o,
                LineOutput& lines, std::FILE* err) {
    // A plug-in library is driven through its AEffect record only, even
    // when it holds the same classes as the host.
    std::vector<LinkPlugin*> plugins;
    for (AEffect* effect : effects) {
        LinkPlugin* p = o.builtIn() ? linkPluginOf(effect) : nullptr;
        if (p && p->controller()) plugins.push_back(p);
    }
    // All instances or none are the built-in plug-in's.
    if (!plugins.empty() && plugins.size() != effects.size()) plugins.clear();
    LinkPlugin* plugin = plugins.empty() ? nullptr : plugins.front();
    SessionController* controller = plugin ? plugin->controller() : nullptr;
    std::unique_ptr<CommandInput> input;
    std::string error;
    if (!o.scriptPath.empty()) input = CommandInput::fromFile(o.scriptPath, error);
    else if (!(input = CommandInput::fromStream(std::cin))) error = "cannot start the input thread";
    if (!input) {
        std::fprintf(err, "trvhost: %s\n", error.c_str());
        return kCommandsCannotStart;
    }

    std::mutex uiLock;
    std::unique_ptr<StatusWatcher> watcher;
    std::unique_ptr<SessionEvents> sessionEvents;
    std::unique_ptr<IdleTicker> idle;
    std::unique_ptr<HostEditor> hostEditor;
    // The host's file selector, answered by the file commands.
    FileSelector files(lines, o.saveDir);
    host.setFileSelector(&files);
    // However the run ends, the host forgets the selector before it goes.
    struct SelectorInstalled {
        TestHost& host;
        ~SelectorInstalled() { host.setFileSelector(nullptr); }
    } installed{host};
    if (controller) {
        watcher.reset(new StatusWatcher(controller->messageLog(), lines));
        const AutoAnswer autoAnswer = o.autoAnswer == HostOptions::Answer::Accept   ? AutoAnswer::Accept
                                      : o.autoAnswer == HostOptions::Answer::Reject ? AutoAnswer::Reject
                                                                                    : AutoAnswer::None;
        sessionEvents.reset(new SessionEvents(*controller, lines, autoAnswer));
        SessionEvents* events = sessionEvents.get();
        // Like hosts that idle every plug-in whether or not its editor is
        // open: the plug-in's idle work (a received file's save dialog, a
        // service time-out) runs here, under the UI lock.
        const std::vector<AEffect*> idled = effects;
        if (o.editor != HostOptions::Editor::None && !effects.empty()) {
            hostEditor.reset(new HostEditor(effects.front(), o.editor == HostOptions::Editor::Window));
            std::string why;
            if (!hostEditor->open(why)) {
                std::fprintf(err, "trvhost: cannot open the editor: %s\n", why.c_str());
                return kCommandsCannotStart;
            }
            lines.line("editor", "open " + std::to_string(hostEditor->width()) + "x" +
                                     std::to_string(hostEditor->height()) +
                                     (o.editor == HostOptions::Editor::Window ? " in a window" : " offscreen"));
        }
        HostEditor* shown = hostEditor.get();
        // An open editor is idled about 25 times a second, as sequencers do.
        const uint32_t period = shown ? kEditorIdleMs : IdleTicker::kDefaultPeriodMs;
        idle.reset(new IdleTicker(
            [events, idled, shown] {
                events->idle();
                if (shown) shown->pump();
                for (AEffect* effect : idled) effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
            },
            uiLock, period));
        if (!watcher->start() || !idle->start()) {
            std::fprintf(err, "trvhost: cannot start the watcher threads\n");
            return kCommandsCannotStart;
        }
    }

    CommandContext context;
    context.controller = controller;
    context.plugin = plugin;
    context.plugins = plugins;
    context.host = &host;
    context.run = &run;
    context.log = controller ? &controller->messageLog() : nullptr;
    context.watcher = watcher.get();
    context.sessionEvents = sessionEvents.get();
    context.out = &lines;
    context.uiLock = &uiLock;
    context.files = &files;
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
    // A save dialog waiting for an answer ends before the idle thread.
    files.shutDown();
    if (idle) idle->stop();
    if (hostEditor) hostEditor->close();
    if (watcher) watcher->stop();
    return status;
}
