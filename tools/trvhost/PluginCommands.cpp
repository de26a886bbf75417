// Commands that act on the built-in plug-in the way its editor does: the
// instance switches, record offset compensation, the sync source, monitor
// mode, the remote locate, the audio settings, and a look at every partner
// session's audio streams and at the partner's transport.
#include <cmath>
#include <cstdio>
#include <string>

#include "platform/Clock.h"
#include "tools/trvhost/CommandHandlers.h"
#include "tools/trvhost/CommandWords.h"
#include "tools/trvhost/HostCallback.h"
#include "tools/trvhost/LineOutput.h"
#include "trvcore/audio/AudioReceiveStream.h"
#include "trvcore/audio/AudioSendStream.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/PartnerSession.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/session/SessionRef.h"
#include "trvcore/settings/Settings.h"

namespace handlers {

namespace {

constexpr double kMaxUpstreamKbits = 1e6;
constexpr int64_t kMaxCodecId = 65535;
// How long `transport` waits for the partner's answer, how often it looks,
// and how long an answer it already had may be taken as the new one.
constexpr uint32_t kPartnerWaitMs = 1000;
constexpr uint32_t kPartnerPollMs = 20;
constexpr uint32_t kPartnerSettleMs = 200;
// SyncInfo transport flags.
constexpr uint32_t kPartnerPlaying = 1u << 1;
constexpr uint32_t kPartnerCycle = 1u << 2;

bool haveController(const CommandContext& c, std::string& error) {
    if (c.controller) return true;
    error = "needs the built-in plug-in";
    return false;
}

// Instance K's plug-in from args[at] (1 when absent).
LinkPlugin* pluginArgument(const CommandContext& c, const Args& args, size_t at, int& k, std::string& error) {
    if (c.plugins.empty()) {
        error = "needs the built-in plug-in";
        return nullptr;
    }
    if (!instanceArgument(c, args, at, k, error)) return nullptr;
    if (k > static_cast<int>(c.plugins.size())) {
        error = "no instance " + std::to_string(k);
        return nullptr;
    }
    return c.plugins[static_cast<size_t>(k - 1)];
}

bool onOff(const std::string& word, bool& on, std::string& error) {
    if (word == "on" || word == "off") {
        on = word == "on";
        return true;
    }
    error = "wants on or off, not \"" + word + "\"";
    return false;
}

void printSettings(CommandContext& c) {
    const Settings& s = c.controller->settings();
    char text[128];
    std::snprintf(text, sizeof text, "upstream %g kbit/s, audio %g kbit/s, codec %d", s.upstreamRate(),
                  s.audioRate(), s.codec());
    c.out->line("settings", text);
}

const char* sendState(const AudioSendStream& s) {
    if (s.isRunning()) return "running";
    return s.enabled() ? "enabled" : "off";
}

}  // namespace

CommandResult switchCommand(CommandContext& c, const Args& args, std::string& error) {
    int k = 1;
    LinkPlugin* p = pluginArgument(c, args, 2, k, error);
    if (!p) return CommandResult::Failed;
    bool on = false;
    if (!onOff(args[1], on, error)) return CommandResult::Failed;
    const std::string& which = args[0];
    if (which == "send") p->setSend(on);
    else if (which == "receive") p->setReceive(on);
    else if (which == "thru") p->setThru(on);
    else if (which == "mute") p->setMuteOnPlay(on);
    else {
        error = "wants send, receive, thru or mute, not \"" + which + "\"";
        return CommandResult::Failed;
    }
    c.out->line("switch", which + (on ? " on" : " off") + " (instance " + std::to_string(k) + ")");
    return CommandResult::Done;
}

CommandResult offset(CommandContext& c, const Args& args, std::string& error) {
    int k = 1;
    LinkPlugin* p = pluginArgument(c, args, 1, k, error);
    if (!p) return CommandResult::Failed;
    bool on = false;
    if (!onOff(args[0], on, error)) return CommandResult::Failed;
    p->setCompensateRecordOffset(on);
    // The delay is the host's latency, whether it is compensated or not.
    const bool active = p->compensateRecordOffset();
    c.out->line("offset", std::string(active ? "on" : "off") + ", delay " + std::to_string(p->delayLength()) +
                              " frames");
    // The delay line exists only for a latency from 1 frame to under a second.
    if (on && !active) c.out->line("note", "a delay of that length cannot be compensated");
    return CommandResult::Done;
}

CommandResult sync(CommandContext& c, const Args& args, std::string& error) {
    int k = 1;
    LinkPlugin* p = pluginArgument(c, args, 1, k, error);
    if (!p) return CommandResult::Failed;
    bool on = false;
    if (!onOff(args[0], on, error)) return CommandResult::Failed;
    p->setSyncSource(on);
    c.out->line("sync", std::string(p->isSyncSource() ? "on" : "off") + " (instance " + std::to_string(k) + ")");
    return CommandResult::Done;
}

CommandResult monitor(CommandContext& c, const Args& args, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    bool on = false;
    if (!onOff(args[0], on, error)) return CommandResult::Failed;
    c.controller->settings().setMonitorMode(on);
    c.out->line("monitor", c.controller->settings().monitorMode() ? "on" : "off");
    return CommandResult::Done;
}

CommandResult locate(CommandContext& c, const Args&, std::string& error) {
    if (!c.plugin || !c.host) {
        error = "needs the built-in plug-in";
        return CommandResult::Failed;
    }
    SessionRef session = c.plugin->partnerRef();
    if (!session) {
        error = "no partner";
        return CommandResult::Failed;
    }
    const int64_t position = c.host->samplePosition();
    if (!session->sendRemoteLocate(static_cast<double>(position))) {
        error = "the partner's session is not connected";
        return CommandResult::Failed;
    }
    c.out->line("locate", "sent " + std::to_string(position));
    return CommandResult::Done;
}

void printPartnerTransport(CommandContext& c) {
    if (!c.plugin) return;
    SessionRef session = c.plugin->partnerRef();
    if (!session) return;
    // A change flag from before this request says nothing about its answer.
    session->takeTransportChanged();
    session->requestPartnerTransport();
    SyncInfoFields f;
    const uint32_t start = platform::tickCount();
    bool have = false;
    while (!(c.runOver && c.runOver())) {
        platform::sleepMilliseconds(kPartnerPollMs);
        const uint32_t spent = platform::tickCount() - start;
        const bool changed = session->takeTransportChanged();
        have = session->partnerTransport(f);
        if (have && (changed || spent >= kPartnerSettleMs)) break;
        if (spent >= kPartnerWaitMs) break;
    }
    if (!have) {
        c.out->line("transport", "partner no answer");
        return;
    }
    const double position = f.tempo > 0.0 ? f.ppqPosition * 60.0 / f.tempo * f.sampleRate : 0.0;
    const bool playing = (f.transportFlags & kPartnerPlaying) != 0;
    const std::string loop = (f.transportFlags & kPartnerCycle)
                                 ? formatDecimal(f.cycleStart) + "-" + formatDecimal(f.cycleEnd)
                                 : "off";
    c.out->line("transport", "partner " + std::to_string(std::llround(std::isfinite(position) ? position : 0.0)) +
                                 (playing ? " playing" : " stopped") + " tempo " + formatDecimal(f.tempo) +
                                 " loop " + loop + " rate " + formatDecimal(f.sampleRate));
}

CommandResult audio(CommandContext& c, const Args&, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    int shown = 0;
    for (int i = 0;; ++i) {
        SessionRef s = c.controller->sessionAt(i);
        if (!s) break;
        AudioSendStream& send = s->sendStream();
        AudioReceiveStream& receive = s->receiveStream();
        const PlayoutBuffer& playout = receive.playout();
        char text[512];
        std::snprintf(text, sizeof text,
                      "%s send %s at %d kbit/s, %u frames sent, %u blocks lost; receive %s, %lld frames decoded, "
                      "%u drop-outs, %d overflows, max latency %.0f ms",
                      s->partnerName(), sendState(send), send.bitrate(), send.framesSent(), send.droppedBlocks(),
                      receive.active() ? "active" : "off", static_cast<long long>(receive.decodedFrames()),
                      playout.underruns(), playout.overflowCount(), playout.maxLatency() * 1000.0);
        c.out->line("audio", text);
        ++shown;
    }
    if (!shown) c.out->line("audio", "no session");
    return CommandResult::Done;
}

CommandResult upstream(CommandContext& c, const Args& args, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    double kbits = 0.0;
    if (!parseDecimal(args[0], 0.0, kMaxUpstreamKbits, kbits)) {
        error = "wants KBITS, a number from 0 to 1000000";
        return CommandResult::Failed;
    }
    c.controller->settings().setUpstreamRate(kbits);
    printSettings(c);
    return CommandResult::Done;
}

CommandResult quality(CommandContext& c, const Args& args, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    double percent = 0.0;
    if (!parseDecimal(args[0], 0.0, 100.0, percent)) {
        error = "wants PERCENT from 0 to 100";
        return CommandResult::Failed;
    }
    c.controller->settings().setAudioQuality(static_cast<float>(percent / 100.0));
    printSettings(c);
    return CommandResult::Done;
}

CommandResult codec(CommandContext& c, const Args& args, std::string& error) {
    if (!haveController(c, error)) return CommandResult::Failed;
    int64_t id = 0;
    if (!parseWholeNumber(args[0], 0, kMaxCodecId, id)) {
        error = "wants a codec ID from 0 to 65535";
        return CommandResult::Failed;
    }
    Settings& s = c.controller->settings();
    const bool already = s.codec() == id;
    const bool accepted = already || s.setCodec(static_cast<int>(id));
    // As when the partner changes it: every send stream starts afresh, with
    // an encoder for the new codec or none.
    if (accepted && !already) {
        for (int i = 0;; ++i) {
            SessionRef session = c.controller->sessionAt(i);
            if (!session) break;
            session->sendStream().restart();
        }
    }
    c.out->line("codec", std::to_string(id) + (already ? " accepted (already in use)" : accepted ? " accepted" : " refused"));
    printSettings(c);
    return CommandResult::Done;
}

}  // namespace handlers
