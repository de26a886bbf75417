// Commands that send and receive files with the connected partner, as the
// session page's buttons do, and answer the file dialogs they open.
#include <cstdio>
#include <string>

#include "tools/trvhost/CommandHandlers.h"
#include "tools/trvhost/CommandWords.h"
#include "tools/trvhost/FileSelector.h"
#include "tools/trvhost/LineOutput.h"
#include "trvcore/files/FileReceiver.h"
#include "trvcore/files/FileSender.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/SessionRef.h"

namespace handlers {

namespace {

constexpr int kMaxFileRateKbits = 100000;

// The first connected session of the built-in plug-in.
SessionRef connectedSession(const CommandContext& c, std::string& error) {
    if (!c.controller || !c.plugin) {
        error = "needs the built-in plug-in";
        return SessionRef();
    }
    for (int i = 0;; ++i) {
        SessionRef s = c.controller->sessionAt(i);
        if (!s) break;
        if (s->connected()) return s;
    }
    error = "no connected session";
    return SessionRef();
}

void printTransfer(CommandContext& c, const char* direction, const FileTransfer& t, double rate) {
    char name[FileTransfer::kNameBytes] = {};
    t.fileName(name, sizeof name);
    const char* shown = afterLastSeparator(name);
    char status[FileTransfer::kStatusBytes] = {};
    if (!t.statusText(status, sizeof status)) std::snprintf(status, sizeof status, "idle");
    uint64_t size = 0, done = 0;
    t.progress(size, done);
    char text[FileTransfer::kNameBytes + FileTransfer::kStatusBytes + 96];
    std::snprintf(text, sizeof text, "%s %s %llu/%llu bytes at %.1f kbit/s, %s", direction,
                  *name ? (shown ? shown : name) : "-", static_cast<unsigned long long>(done),
                  static_cast<unsigned long long>(size), rate, status);
    c.out->line("file", text);
}

}  // namespace

CommandResult sendFile(CommandContext& c, const Args& args, std::string& error) {
    SessionRef s = connectedSession(c, error);
    if (!s) return CommandResult::Failed;
    std::string offeredName;
    if (args.size() == 3) {
        if (args[1] != "as" || args[2].empty()) {
            error = "wants PATH [as NAME] or cancel";
            return CommandResult::Failed;
        }
        offeredName = args[2];
    } else if (args.size() != 1) {
        error = "wants PATH [as NAME] or cancel";
        return CommandResult::Failed;
    }
    c.files->answerNextLoad(args[0] == "cancel" ? std::string() : args[0]);
    s->fileSender().offerFile(*c.plugin, offeredName.empty() ? nullptr : offeredName.c_str());
    return CommandResult::Done;
}

CommandResult receiveFile(CommandContext& c, const Args& args, std::string&) {
    c.files->answerSave(args[0] == "cancel" ? std::string() : args[0]);
    return CommandResult::Done;
}

CommandResult abortFile(CommandContext& c, const Args& args, std::string& error) {
    SessionRef s = connectedSession(c, error);
    if (!s) return CommandResult::Failed;
    if (args[0] == "send") s->abortFileSend();
    else if (args[0] == "receive") s->abortFileReceive();
    else {
        error = "wants send or receive, not \"" + args[0] + "\"";
        return CommandResult::Failed;
    }
    return CommandResult::Done;
}

CommandResult file(CommandContext& c, const Args& args, std::string& error) {
    if (!args.empty()) {
        if (!c.controller) {
            error = "needs the built-in plug-in";
            return CommandResult::Failed;
        }
        double kbits = 0.0;
        if (args.size() != 2 || args[0] != "rate" || !parseDecimal(args[1], 1.0, kMaxFileRateKbits, kbits) ||
            kbits != static_cast<int>(kbits)) {
            error = "wants rate KBITS, a whole number from 1 to 100000";
            return CommandResult::Failed;
        }
        c.controller->settings().setFileRate(static_cast<int>(kbits));
        c.out->line("file", "rate " + std::to_string(c.controller->settings().fileRate()) + " kbit/s");
        return CommandResult::Done;
    }
    SessionRef s = connectedSession(c, error);
    if (!s) return CommandResult::Failed;
    const FileSender& sender = s->fileSender();
    const FileReceiver& receiver = s->fileReceiver();
    printTransfer(c, "send", sender, sender.sendRate());
    printTransfer(c, "receive", receiver, receiver.transferRate());
    return CommandResult::Done;
}

}  // namespace handlers
