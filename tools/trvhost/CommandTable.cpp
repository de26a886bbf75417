#include "tools/trvhost/CommandTable.h"

#include "tools/trvhost/CommandHandlers.h"
#include "tools/trvhost/CommandWords.h"

namespace {

const HostCommand kCommands[] = {
    {"login", "NAME PASSWORD", 2, 2, true, &handlers::login,
     "log in to the service as the Login button does (quote empty texts: \"\")"},
    {"logout", "", 0, 0, true, &handlers::logout, "log out as the Login button does"},
    {"policy", "N", 1, 1, true, &handlers::policy,
     "invitation policy: 0 anyone, 1 partners only, 2 no invitations while connected, 3 both"},
    {"invite", "NAME", 1, 1, true, &handlers::invite,
     "the Invite button with NAME chosen: ends the partner's session or cancels an outgoing invitation "
     "if there is one, else invites NAME unless that user's policy refuses"},
    {"accept", "", 0, 0, true, &handlers::accept, "accept the invitation the popup asks about"},
    {"reject", "", 0, 0, true, &handlers::reject, "reject the invitation the popup asks about"},
    {"disconnect", "", 0, 0, true, &handlers::disconnect,
     "end the partner's session, or else the first session"},
    {"state", "", 0, 0, false, &handlers::state, "print the partner sessions and their states"},
    {"play", "FILE.wav|clicks [song]|stop [K]", 1, 3, false, &handlers::play,
     "from the next block instance K (default 1) hears FILE.wav once (at the run's rate), the click train "
     "(a click at every whole 500 ms of the monotonic clock, or with song at every whole half second of song "
     "position while the transport plays) or silence"},
    {"record", "FILE.wav|stop [K]", 1, 2, false, &handlers::record,
     "from the next block keep instance K's output; record stop writes it (32-bit float stereo)"},
    {"switch", "send|receive|thru|mute on|off [K]", 2, 3, true, &handlers::switchCommand,
     "instance K's send, receive, thru or mute-on-play switch (built-in plug-in)"},
    {"offset", "on|off [K]", 1, 2, true, &handlers::offset,
     "instance K delays the partner's audio by the host's input + output latency, or not (built-in plug-in)"},
    {"transport", "[play|stop|locate FRAMES]", 0, 2, false, &handlers::transport,
     "start, stop or locate the host's transport at the next block and print the sample position; alone, "
     "print the local transport and the partner's"},
    {"loop", "START END|off", 1, 2, false, &handlers::loop,
     "the host's loop in quarter notes from the next block: the position wraps from END to START at block "
     "boundaries"},
    {"smpte", "CODE", 1, 1, false, &handlers::smpte,
     "the SMPTE frame-rate code the host reports from the next block (0 to 13)"},
    {"latency", "[song] [K]", 0, 2, false, &handlers::latency,
     "median delay of the clicks heard in instance K's output since the previous latency command, "
     "against the floor of block, MP3 encoder, MP3 frame and playout delay; with song, of the song clicks "
     "against the nearest whole half second of song position"},
    {"sync", "on|off [K]", 1, 2, true, &handlers::sync,
     "instance K is the sync source (hands the host the time code), or not (built-in plug-in)"},
    {"monitor", "on|off", 1, 1, true, &handlers::monitor,
     "monitor mode: the partner's audio and MIDI play as they arrive, not at their song position "
     "(built-in plug-in)"},
    {"locate", "", 0, 0, true, &handlers::locate,
     "ask the partner to locate its time code at the host's song position (built-in plug-in)"},
    {"audio", "", 0, 0, false, &handlers::audio, "the audio streams of every partner session (built-in plug-in)"},
    {"upstream", "KBITS", 1, 1, true, &handlers::upstream, "the upstream rate setting (built-in plug-in)"},
    {"quality", "PERCENT", 1, 1, true, &handlers::quality, "the audio quality setting (built-in plug-in)"},
    {"codec", "ID", 1, 1, true, &handlers::codec, "the audio codec setting; the send streams start afresh (built-in plug-in)"},
    {"video", "", 0, 0, false, &handlers::video,
     "the camera's size and frames, and the pictures of every partner session both ways (built-in plug-in)"},
    {"snapshot", "local|partner FILE.png", 2, 2, false, &handlers::snapshot,
     "write the camera's preview or the first connected partner's picture as a 176 x 144 PNG file "
     "(built-in plug-in)"},
    {"send-file", "PATH [as NAME]|cancel", 1, 3, true, &handlers::sendFile,
     "the Send File button: the load dialog it opens chooses PATH (or is cancelled) and the file goes to the "
     "first connected partner, offered as NAME when given (a test of the partner's name handling)"},
    {"receive-file", "PATH|cancel", 1, 1, false, &handlers::receiveFile,
     "answer the save dialog of a received file that is open, or else the next one, with PATH (or cancel it)"},
    {"abort-file", "send|receive", 1, 1, true, &handlers::abortFile,
     "abort the file being sent or received with the first connected partner"},
    {"file", "[rate KBITS]", 0, 2, false, &handlers::file,
     "the file being sent and received with the first connected partner: name, bytes done of the size, rate "
     "and status; with rate, set the file-rate option (built-in plug-in)"},
    {"click", "X Y [right]", 2, 3, true, &handlers::click,
     "a press and release of the left (or right) button at frame pixel X Y of instance 1's editor"},
    {"key", "NAME", 1, 1, true, &handlers::key,
     "a key in instance 1's editor: Return, Escape, Tab, Backspace, Delete, Left, Right, Up, Down, Home, End "
     "or one letter"},
    {"type", "TEXT", 1, 1, true, &handlers::type, "the characters of TEXT typed into instance 1's editor"},
    {"screenshot", "FILE.png", 1, 1, true, &handlers::screenshot,
     "write instance 1's editor as drawn (on a window, the pixels it shows) as a PNG file"},
    {"editor", "", 0, 0, true, &handlers::editorState,
     "the page instance 1's editor shows and its invitation popup: editor: page N, popup none|\"TEXT\""},
    {"wait", "TEXT [SECONDS]", 1, 2, false, &handlers::wait,
     "wait for a status line holding TEXT posted after the previous wait's line (default 10 s)"},
    {"messages", "", 0, 0, false, &handlers::messages, "print the status lines, newest first"},
    {"sleep", "MS", 1, 1, false, &handlers::sleep, "pause the commands for MS milliseconds"},
    {"help", "", 0, 0, false, &handlers::help, "list the commands"},
    {"quit", "", 0, 0, false, &handlers::quit, "end the run"},
    {nullptr, nullptr, 0, 0, false, nullptr, nullptr},
};

}  // namespace

std::string commandUsage(const HostCommand& command) {
    std::string usage = command.name;
    if (*command.arguments) usage += std::string(" ") + command.arguments;
    return usage;
}

const HostCommand* hostCommands() { return kCommands; }

const HostCommand* findHostCommand(const std::string& name) {
    for (const HostCommand* c = kCommands; c->name; ++c)
        if (name == c->name) return c;
    return nullptr;
}

CommandResult runCommandLine(CommandContext& c, const std::string& line, std::string& error) {
    std::vector<std::string> words;
    if (!splitCommandWords(line, words, error)) return CommandResult::Failed;
    if (words.empty()) return CommandResult::Done;
    const HostCommand* command = findHostCommand(words[0]);
    if (!command) {
        error = "unknown command \"" + words[0] + "\" (help lists the commands)";
        return CommandResult::Failed;
    }
    const std::vector<std::string> args(words.begin() + 1, words.end());
    const int count = static_cast<int>(args.size());
    if (count < command->minArguments || count > command->maxArguments) {
        error = "usage: " + commandUsage(*command);
        return CommandResult::Failed;
    }
    CommandResult result = CommandResult::Done;
    if (command->onUiThread && c.uiLock) {
        std::lock_guard<std::mutex> guard(*c.uiLock);
        result = command->run(c, args, error);
    } else {
        result = command->run(c, args, error);
    }
    if (result == CommandResult::Failed) error = std::string(command->name) + ": " + error;
    return result;
}
