// Commands that drive the audio run through the host alone: what the
// instances hear (play), what is kept of their output (record), the
// transport and its loop, and the input-to-output delay measured from
// clicks (latency), on the monotonic clock or on the song position. They
// work with any plug-in; `transport` adds the partner's transport with the
// built-in plug-in.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/trvhost/AudioRun.h"
#include "tools/trvhost/ClickTrain.h"
#include "tools/trvhost/CommandHandlers.h"
#include "tools/trvhost/HostOptions.h"
#include "tools/trvhost/CommandWords.h"
#include "tools/trvhost/HostCallback.h"
#include "tools/trvhost/LineOutput.h"
#include "tools/trvhost/RecordBuffer.h"
#include "tools/trvhost/WavFile.h"
#include "trvcore/codec/Mp3Encoder.h"
#include "trvcore/audio/PlayoutBuffer.h"

namespace handlers {

namespace {

// Audio kept in memory for one file played or recorded: the bound of the
// run's output file.
constexpr uint64_t kMaxAudioBytes = uint64_t(1) << 30;
constexpr uint64_t kMaxAudioFrames = kMaxAudioBytes / (2 * sizeof(float));
constexpr uint32_t kTransportWaitMs = 3000;
// Song positions and loop ends a command takes, in frames and quarter notes.
constexpr int64_t kMaxLocateFrames = int64_t(1) << 53;
constexpr double kMaxLoopQuarters = 1e9;
// The floor of the delay a click takes from one peer to the other: a
// payload decodes only when its whole MP3 frame is there, and the playout
// buffer holds this much before it plays.
constexpr int kMp3FrameFrames = 1152;
constexpr int kEncoderTestBitrate = 64000;

bool haveRun(const CommandContext& c, std::string& error) {
    if (c.run) return true;
    error = "needs an audio run";
    return false;
}

std::string instanceText(int k) { return "instance " + std::to_string(k); }

bool haveHost(const CommandContext& c, std::string& error) {
    if (c.host) return true;
    error = "needs the host";
    return false;
}

// Waits for a transport request to take effect; false with the reason.
bool waitForTransport(CommandContext& c, uint64_t serial, int64_t& position, std::string& error) {
    if (c.host->waitTransport(serial, kTransportWaitMs, position)) return true;
    error = "the audio thread did not take the change within " + std::to_string(kTransportWaitMs) + " ms";
    return false;
}

void printLocalTransport(CommandContext& c) {
    const TestHost::TransportState s = c.host->transportState();
    const std::string loop = s.loop ? formatDecimal(s.loopStart) + "-" + formatDecimal(s.loopEnd) : "off";
    c.out->line("transport", "local " + std::to_string(s.position) + (s.playing ? " playing" : " stopped") +
                                 " tempo " + formatDecimal(s.tempo) + " loop " + loop + " rate " +
                                 formatDecimal(s.sampleRate));
}

void printLatency(CommandContext& c, std::vector<double>& delays, long long floor) {
    const long long median = std::llround(clicks::median(delays));
    char text[160];
    std::snprintf(text, sizeof text, "%lld frames median over %zu clicks (floor %lld, difference %lld)", median,
                  delays.size(), floor, median - floor);
    c.out->line("latency", text);
}

// The MP3 encoder's latency at `rate`, as the send path's encoder has it;
// false when no MP3 encoder runs at that rate.
bool encoderLatency(int32_t rate, int& latency) {
    Mp3Encoder encoder;
    if (!encoder.open(nullptr, 2, rate, kEncoderTestBitrate)) return false;
    latency = encoder.latency();
    encoder.close();
    return true;
}

}  // namespace

int instanceCount(const CommandContext& c) {
    if (c.run) return c.run->instanceCount();
    return c.plugins.empty() ? 1 : static_cast<int>(c.plugins.size());
}

bool instanceArgument(const CommandContext& c, const Args& args, size_t at, int& k, std::string& error) {
    k = 1;
    if (args.size() <= at) return true;
    int64_t n = 0;
    if (!parseWholeNumber(args[at], 1, instanceCount(c), n)) {
        error = "no instance " + args[at];
        return false;
    }
    k = static_cast<int>(n);
    return true;
}

CommandResult play(CommandContext& c, const Args& args, std::string& error) {
    if (!haveRun(c, error)) return CommandResult::Failed;
    const std::string& what = args[0];
    const bool song = what == "clicks" && args.size() > 1 && args[1] == "song";
    if (args.size() > (song ? 3u : 2u)) {
        error = "wants FILE.wav|clicks [song]|stop [K]";
        return CommandResult::Failed;
    }
    int k = 1;
    if (!instanceArgument(c, args, song ? 2 : 1, k, error)) return CommandResult::Failed;
    std::unique_ptr<PlaySource> source;
    std::string text;
    if (song) {
        source = PlaySource::songClicks();
        text = "song clicks into " + instanceText(k);
    } else if (what == "stop") {
        source = PlaySource::silence();
        text = "silence into " + instanceText(k);
    } else if (what == "clicks") {
        source = PlaySource::clicks();
        text = "clicks into " + instanceText(k);
    } else {
        const AudioRunConfig& run = c.run->config();
        uint64_t maxFrames = static_cast<uint64_t>(run.totalFrames);
        if (maxFrames > kMaxAudioFrames) maxFrames = kMaxAudioFrames;
        std::vector<float> samples;
        if (!readWavStereo(what, run.sampleRate, static_cast<size_t>(maxFrames), samples, error))
            return CommandResult::Failed;
        source = PlaySource::fromSamples(std::move(samples));
        text = what + " into " + instanceText(k);
    }
    if (!c.run->setSource(k - 1, std::move(source), error)) return CommandResult::Failed;
    c.out->line("play", text);
    return CommandResult::Done;
}

namespace {
bool writeRecording(CommandContext& c, const RecordBuffer& r, std::string& error) {
    if (!r.writeWav(error)) return false;
    c.out->line("record", recordLine(r));
    const std::string note = recordNote(r);
    if (!note.empty()) c.out->line("note", note);
    return true;
}
}  // namespace

CommandResult record(CommandContext& c, const Args& args, std::string& error) {
    if (!haveRun(c, error)) return CommandResult::Failed;
    int k = 1;
    if (!instanceArgument(c, args, 1, k, error)) return CommandResult::Failed;
    const std::string& what = args[0];
    if (what == "stop") {
        std::unique_ptr<RecordBuffer> stopped;
        if (!c.run->stopRecording(k - 1, stopped, error)) return CommandResult::Failed;
        if (!stopped) {
            c.out->line("note", instanceText(k) + " is not recording");
            return CommandResult::Done;
        }
        return writeRecording(c, *stopped, error) ? CommandResult::Done : CommandResult::Failed;
    }
    // A file that cannot be written is an error now, not when the
    // recording ends.
    if (std::FILE* f = std::fopen(what.c_str(), "wb")) {
        std::fclose(f);
    } else {
        error = "cannot write " + what;
        return CommandResult::Failed;
    }
    std::unique_ptr<RecordBuffer> recording(new RecordBuffer(what, c.run->config().sampleRate, kMaxAudioFrames));
    std::unique_ptr<RecordBuffer> previous;
    if (!c.run->startRecording(k - 1, std::move(recording), previous, error)) return CommandResult::Failed;
    // Not "record: ", which is the line of a recording written.
    c.out->line("recording", instanceText(k) + " into " + what);
    // The recording it replaces ends where this one starts.
    if (previous && !writeRecording(c, *previous, error)) return CommandResult::Failed;
    return CommandResult::Done;
}

CommandResult transport(CommandContext& c, const Args& args, std::string& error) {
    if (!haveHost(c, error)) return CommandResult::Failed;
    if (args.empty()) {
        printLocalTransport(c);
        printPartnerTransport(c);
        return CommandResult::Done;
    }
    const std::string& what = args[0];
    int64_t position = 0;
    if (what == "locate") {
        int64_t frames = 0;
        if (args.size() != 2 || !parseWholeNumber(args[1], 0, kMaxLocateFrames, frames)) {
            error = "locate wants FRAMES, a whole number from 0";
            return CommandResult::Failed;
        }
        if (!waitForTransport(c, c.host->locate(frames), position, error)) return CommandResult::Failed;
        c.out->line("transport", "located at " + std::to_string(position));
        return CommandResult::Done;
    }
    if ((what != "play" && what != "stop") || args.size() != 1) {
        error = "wants play or stop, or locate FRAMES";
        return CommandResult::Failed;
    }
    const bool playing = what == "play";
    if (!waitForTransport(c, c.host->setPlaying(playing), position, error)) return CommandResult::Failed;
    c.out->line("transport", std::string(playing ? "playing" : "stopped") + " at " + std::to_string(position));
    return CommandResult::Done;
}

CommandResult loop(CommandContext& c, const Args& args, std::string& error) {
    if (!haveHost(c, error)) return CommandResult::Failed;
    const bool off = args.size() == 1 && args[0] == "off";
    double start = 0.0;
    double end = 0.0;
    if (!off && (args.size() != 2 || !parseDecimal(args[0], 0.0, kMaxLoopQuarters, start) ||
                 !parseDecimal(args[1], 0.0, kMaxLoopQuarters, end) || end <= start)) {
        error = "wants START END in quarter notes (0 <= START < END) or off";
        return CommandResult::Failed;
    }
    int64_t position = 0;
    if (!waitForTransport(c, c.host->setLoop(!off, start, end), position, error)) return CommandResult::Failed;
    const TestHost::TransportState s = c.host->transportState();
    if (!s.loop) {
        c.out->line("loop", "off");
        return CommandResult::Done;
    }
    c.out->line("loop", formatDecimal(s.loopStart) + "-" + formatDecimal(s.loopEnd) + " (frames " +
                            std::to_string(s.loopStartSamples) + "-" + std::to_string(s.loopEndSamples) + ")");
    return CommandResult::Done;
}

CommandResult smpte(CommandContext& c, const Args& args, std::string& error) {
    if (!haveHost(c, error)) return CommandResult::Failed;
    int64_t code = 0;
    if (!parseWholeNumber(args[0], 0, kMaxSmpteCode, code)) {
        error = "wants a frame-rate code from 0 to " + std::to_string(kMaxSmpteCode);
        return CommandResult::Failed;
    }
    int64_t position = 0;
    if (!waitForTransport(c, c.host->setSmpteFrameRate(static_cast<VstInt32>(code)), position, error))
        return CommandResult::Failed;
    c.out->line("smpte", std::to_string(code));
    return CommandResult::Done;
}

CommandResult latency(CommandContext& c, const Args& args, std::string& error) {
    if (!haveRun(c, error)) return CommandResult::Failed;
    const bool song = !args.empty() && args[0] == "song";
    if (args.size() > (song ? 2u : 1u)) {
        error = "wants [song] [K]";
        return CommandResult::Failed;
    }
    int k = 1;
    if (!instanceArgument(c, args, song ? 1 : 0, k, error)) return CommandResult::Failed;
    const AudioRunConfig& run = c.run->config();
    std::vector<int64_t> onsets;
    if (song) c.run->takeSongOnsets(k - 1, onsets);
    else c.run->takeOnsets(k - 1, onsets);
    if (onsets.empty()) {
        c.out->line("latency", "no clicks heard");
        return CommandResult::Done;
    }
    std::vector<double> delays;
    delays.reserve(onsets.size());
    if (song) {
        // Song clicks start at whole half seconds of song position: each
        // onset is taken from the nearest, early ones negative.
        const double half = static_cast<double>(run.sampleRate / 2);
        for (int64_t t : onsets) {
            const double frames = static_cast<double>(t) * run.sampleRate / 1e9;
            delays.push_back(frames - half * std::round(frames / half));
        }
        printLatency(c, delays, 0);
        // The largest deviation too: an aligned partner stays near 0 at
        // every click, not only in the median.
        double worst = 0.0;
        for (double d : delays) worst = std::max(worst, std::fabs(d));
        c.out->line("alignment", "max " + std::to_string(std::llround(worst)) + " frames over " +
                                     std::to_string(delays.size()) + " clicks");
        return CommandResult::Done;
    }
    for (int64_t t : onsets) delays.push_back(clicks::delayFrames(t, run.sampleRate));
    int encoder = 0;
    const bool haveEncoder = encoderLatency(run.sampleRate, encoder);
    const long long floor =
        static_cast<long long>(run.blockSize) + encoder + kMp3FrameFrames + PlayoutBuffer::kDelayFrames;
    printLatency(c, delays, floor);
    if (!haveEncoder)
        c.out->line("note", "no MP3 encoder runs at " + std::to_string(run.sampleRate) +
                                " Hz; the floor leaves the encoder out");
    return CommandResult::Done;
}

}  // namespace handlers
