// Commands that drive the audio run through the host alone: what the
// instances hear (play), what is kept of their output (record), the
// transport, and the input-to-output delay measured from clicks (latency).
// They work with any plug-in.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/trvhost/AudioRun.h"
#include "tools/trvhost/ClickTrain.h"
#include "tools/trvhost/CommandHandlers.h"
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
    int k = 1;
    if (!instanceArgument(c, args, 1, k, error)) return CommandResult::Failed;
    const std::string& what = args[0];
    std::unique_ptr<PlaySource> source;
    std::string text;
    if (what == "stop") {
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
    if (!c.host) {
        error = "needs the host";
        return CommandResult::Failed;
    }
    const std::string& what = args[0];
    if (what != "play" && what != "stop") {
        error = "wants play or stop";
        return CommandResult::Failed;
    }
    const bool playing = what == "play";
    const uint64_t serial = c.host->setPlaying(playing);
    int64_t position = 0;
    if (!c.host->waitTransport(serial, kTransportWaitMs, position)) {
        error = "the audio thread did not take the change within " + std::to_string(kTransportWaitMs) + " ms";
        return CommandResult::Failed;
    }
    c.out->line("transport", std::string(playing ? "playing" : "stopped") + " at " + std::to_string(position));
    return CommandResult::Done;
}

CommandResult latency(CommandContext& c, const Args& args, std::string& error) {
    if (!haveRun(c, error)) return CommandResult::Failed;
    int k = 1;
    if (!instanceArgument(c, args, 0, k, error)) return CommandResult::Failed;
    std::vector<int64_t> onsets;
    c.run->takeOnsets(k - 1, onsets);
    if (onsets.empty()) {
        c.out->line("latency", "no clicks heard");
        return CommandResult::Done;
    }
    const AudioRunConfig& run = c.run->config();
    std::vector<double> delays;
    delays.reserve(onsets.size());
    for (int64_t t : onsets) delays.push_back(clicks::delayFrames(t, run.sampleRate));
    const long long median = std::llround(clicks::median(delays));
    int encoder = 0;
    const bool haveEncoder = encoderLatency(run.sampleRate, encoder);
    const long long floor =
        static_cast<long long>(run.blockSize) + encoder + kMp3FrameFrames + PlayoutBuffer::kDelayFrames;
    char text[160];
    std::snprintf(text, sizeof text, "%lld frames median over %zu clicks (floor %lld, difference %lld)", median,
                  onsets.size(), floor, median - floor);
    c.out->line("latency", text);
    if (!haveEncoder)
        c.out->line("note", "no MP3 encoder runs at " + std::to_string(run.sampleRate) +
                                " Hz; the floor leaves the encoder out");
    return CommandResult::Done;
}

}  // namespace handlers
