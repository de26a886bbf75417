#include "tools/trvhost/HostSession.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/NetConfig.h"
#include "tools/trvhost/AudioRun.h"
#include "tools/trvhost/CommandRun.h"
#include "tools/trvhost/EffectInfo.h"
#include "tools/trvhost/HostCallback.h"
#include "tools/trvhost/HostCamera.h"
#include "tools/trvhost/HostEvents.h"
#include "tools/trvhost/LineOutput.h"
#include "tools/trvhost/LossyPeerSocket.h"
#include "tools/trvhost/MidiInput.h"
#include "tools/trvhost/PluginLoader.h"
#include "tools/trvhost/WavFile.h"

namespace {

constexpr size_t kMaxOutputBytes = size_t(1) << 30;
constexpr long kMaxChunkFileBytes = 64L << 20;
constexpr VstIntPtr kMaxChunkBytes = VstIntPtr(1) << 30;
constexpr uint32_t kWaitSliceMs = 100;
// A command run without --seconds keeps its audio going until the commands end.
constexpr double kOpenEndedSeconds = 366.0 * 86400.0;

VstIntPtr dispatch(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

bool readFile(const std::string& path, std::vector<char>& bytes, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot read " + path;
        return false;
    }
    bytes.clear();
    char buffer[65536];
    size_t got = 0;
    bool ok = true;
    while ((got = std::fread(buffer, 1, sizeof(buffer), f)) > 0) {
        if (bytes.size() + got > static_cast<size_t>(kMaxChunkFileBytes)) {
            error = path + " is larger than 64 MiB";
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    if (ok && std::ferror(f)) {
        error = "cannot read " + path;
        ok = false;
    }
    std::fclose(f);
    return ok;
}

bool writeFile(const std::string& path, const void* data, size_t size, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !ok) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

double decibels(float peak) { return peak > 0.0f ? 20.0 * std::log10(static_cast<double>(peak)) : -INFINITY; }

void printDecibels(char* text, size_t size, const float* peak) {
    std::snprintf(text, size, "%.1f/%.1f", decibels(peak[0]), decibels(peak[1]));
}

// Writes the recordings still running when the run ended.
int writeRecordings(AudioRun& run, std::FILE* out, std::FILE* err) {
    int status = 0;
    for (auto& [instance, recording] : run.takeRecordings()) {
        std::string error;
        if (!recording->writeWav(error)) {
            std::fprintf(err, "trvhost: instance %d: %s\n", instance + 1, error.c_str());
            status = 1;
            continue;
        }
        std::fprintf(out, "record: %s\n", recordLine(*recording).c_str());
        const std::string note = recordNote(*recording);
        if (!note.empty()) std::fprintf(out, "note: %s\n", note.c_str());
    }
    return status;
}

// The notes about MIDI that went missing, and the --midi-out file.
int writeMidi(const AudioRun& run, TestHost& host, const HostEventPump& pump, const HostOptions& o,
              const std::vector<HostEvent>& midiOut, std::FILE* out, std::FILE* err) {
    const AudioRunStats& s = run.stats();
    if (s.midiInDropped)
        std::fprintf(out, "note: %llu --midi-in events did not fit their block and were not sent\n",
                     static_cast<unsigned long long>(s.midiInDropped));
    if (host.events().lost())
        std::fprintf(out, "note: %llu MIDI events and time codes of the plug-in were lost (the ring was full)\n",
                     static_cast<unsigned long long>(host.events().lost()));
    if (host.midiOffThread())
        std::fprintf(out, "note: %llu MIDI events came from another thread than the audio thread, not kept\n",
                     static_cast<unsigned long long>(host.midiOffThread()));
    if (o.midiOutPath.empty()) return 0;
    if (pump.notKept())
        std::fprintf(out, "note: %llu MIDI events past the first %zu were not kept\n",
                     static_cast<unsigned long long>(pump.notKept()), HostEventPump::kMaxKept);
    std::string error;
    if (!writeMidiOut(o.midiOutPath, midiOut, error)) {
        std::fprintf(err, "trvhost: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(out, "midi-out: %s, %zu events\n", o.midiOutPath.c_str(), midiOut.size());
    return 0;
}

// The audio run of the instances. Returns the exit status.
int runAudio(const std::vector<AEffect*>& effects, TestHost& host, const HostOptions& o, std::FILE* out,
             std::FILE* err) {
    for (AEffect* effect : effects) {
        if (!(effect->flags & effFlagsCanReplacing)) {
            std::fprintf(err, "trvhost: the plug-in does not support processReplacing\n");
            return 1;
        }
    }
    AudioRunConfig config;
    const double seconds = o.seconds > 0.0 ? o.seconds : kOpenEndedSeconds;
    config.totalFrames = static_cast<int64_t>(std::llround(seconds * o.sampleRate));
    config.blockSize = o.blockSize;
    config.sampleRate = o.sampleRate;
    config.paced = !o.fast;
    const bool writing = !o.outputPath.empty();
    if (writing && static_cast<uint64_t>(config.totalFrames) * 2 * sizeof(float) > kMaxOutputBytes) {
        std::fprintf(err, "trvhost: the run is too long to keep its output (at most 1 GiB of audio)\n");
        return 1;
    }
    std::vector<float> input;
    if (!o.inputPath.empty()) {
        std::string error;
        if (!readWavStereo(o.inputPath, o.sampleRate, static_cast<size_t>(config.totalFrames), input, error)) {
            std::fprintf(err, "trvhost: %s\n", error.c_str());
            return 1;
        }
    }
    std::vector<MidiInEvent> midiIn;
    if (!o.midiInPath.empty()) {
        std::string error;
        if (!readMidiIn(o.midiInPath, midiIn, error)) {
            std::fprintf(err, "trvhost: %s\n", error.c_str());
            return 1;
        }
    }
    std::vector<float> output;
    AudioRun run(effects, host, config, o.inputPath.empty() ? nullptr : &input, writing ? &output : nullptr,
                 &midiIn);
    if (!run.prepare()) {
        std::fprintf(err, "trvhost: out of memory for the run\n");
        return 1;
    }
    // Standard output of the run: the commands' lines and the time codes and
    // transport changes the audio thread reports through the host's ring.
    LineOutput lines(out);
    std::vector<HostEvent> midiOut;
    HostEventPump pump(host.events(), lines, o.midiOutPath.empty() ? nullptr : &midiOut);
    if (!pump.start()) {
        std::fprintf(err, "trvhost: cannot start the MIDI thread\n");
        return 1;
    }
    for (AEffect* effect : effects) dispatch(effect, effMainsChanged, 0, 1);
    int status = 0;
    if (!run.start()) {
        std::fprintf(err, "trvhost: cannot start the audio thread\n");
        status = 1;
    } else {
        if (o.commandMode()) {
            status = runCommands(effects, host, run, o, lines, err);
            run.requestStop();
        }
        while (!run.waitFinished(kWaitSliceMs)) {
        }
    }
    pump.stop();
    std::fflush(out);
    const int recorded = writeRecordings(run, out, err);
    if (status == 0) status = recorded;
    const int midi = writeMidi(run, host, pump, o, midiOut, out, err);
    if (status == 0) status = midi;
    const AudioRunStats& s = run.stats();
    std::fprintf(out,
                 "run: %llu blocks, %llu frames at %d Hz, %llu late, transport at %lld, "
                 "peak %.1f/%.1f dBFS, %llu non-finite samples\n",
                 static_cast<unsigned long long>(s.blocks), static_cast<unsigned long long>(s.frames),
                 o.sampleRate, static_cast<unsigned long long>(s.lateBlocks),
                 static_cast<long long>(host.samplePosition()), decibels(s.peak[0]), decibels(s.peak[1]),
                 static_cast<unsigned long long>(s.nonFiniteSamples));
    if (s.instances.size() > 1) {
        for (size_t k = 0; k < s.instances.size(); ++k) {
            char peak[64];
            printDecibels(peak, sizeof peak, s.instances[k].peak);
            std::fprintf(out, "instance %zu: peak %s dBFS, %llu non-finite samples\n", k + 1, peak,
                         static_cast<unsigned long long>(s.instances[k].nonFiniteSamples));
        }
    }
    std::fprintf(out, "host: %llu time requests, %llu events from the plug-in (%llu MIDI), %llu refused, "
                      "wants MIDI %s\n",
                 static_cast<unsigned long long>(host.callCount(audioMasterGetTime)),
                 static_cast<unsigned long long>(host.eventsReceived()),
                 static_cast<unsigned long long>(host.midiEventsReceived()),
                 static_cast<unsigned long long>(host.eventCallsRefused()), host.wantsMidi() ? "yes" : "no");
    if (writing && status == 0) {
        // The frames that ran: a run ended early (quit, the end of the
        // commands) is not padded out to --seconds.
        size_t frames = output.size() / 2;
        if (s.frames < frames) frames = static_cast<size_t>(s.frames);
        std::string error;
        if (!writeWavStereoFloat(o.outputPath, o.sampleRate, output.data(), frames, error)) {
            std::fprintf(err, "trvhost: %s\n", error.c_str());
            status = 1;
        }
    }
    return status;
}

// The part between the instances' effOpen and their suspend: instance 1
// gets --info and --chunk-in and gives --chunk-out. Returns the exit status.
int drive(const std::vector<AEffect*>& effects, TestHost& host, const HostOptions& o, std::FILE* out,
          std::FILE* err) {
    AEffect* first = effects.front();
    int status = 0;
    const bool chunks = (first->flags & effFlagsProgramChunks) != 0;
    if (!o.chunkInPath.empty()) {
        std::vector<char> bytes;
        std::string error;
        if (!readFile(o.chunkInPath, bytes, error)) {
            std::fprintf(err, "trvhost: %s\n", error.c_str());
            return 1;
        }
        if (!chunks) std::fprintf(err, "trvhost: warning: the plug-in does not declare ProgramChunks\n");
        if (bytes.empty()) {
            std::fprintf(err, "trvhost: %s is empty\n", o.chunkInPath.c_str());
            return 1;
        }
        const VstIntPtr r = dispatch(first, effSetChunk, 0, static_cast<VstIntPtr>(bytes.size()), bytes.data());
        std::fprintf(out, "setChunk: %zu bytes, answer %ld\n", bytes.size(), static_cast<long>(r));
    }

    if (o.seconds > 0.0 || o.commandMode()) status = runAudio(effects, host, o, out, err);

    if (!o.chunkOutPath.empty()) {
        if (!chunks) std::fprintf(err, "trvhost: warning: the plug-in does not declare ProgramChunks\n");
        void* data = nullptr;
        const VstIntPtr size = dispatch(first, effGetChunk, 0, 0, &data);
        std::string error;
        if (size <= 0 || size > kMaxChunkBytes || !data) {
            std::fprintf(err, "trvhost: the plug-in gave no bank chunk (answer %ld)\n", static_cast<long>(size));
            status = 1;
        } else if (!writeFile(o.chunkOutPath, data, static_cast<size_t>(size), error)) {
            std::fprintf(err, "trvhost: %s\n", error.c_str());
            status = 1;
        } else {
            std::fprintf(out, "getChunk: %ld bytes\n", static_cast<long>(size));
        }
    }
    return status;
}

// Makes one instance from the entry and takes it through effOpen and its
// rate and block size; null after a message when the entry fails.
AEffect* makeInstance(VstPluginMainProc entry, TestHost& host, const HostOptions& o, bool first, std::FILE* out,
                      std::FILE* err) {
    AEffect* effect = entry(&TestHost::callback);
    if (!effect) {
        std::fprintf(err, "trvhost: the plug-in returned no effect\n");
        return nullptr;
    }
    if (effect->magic != kEffectMagic || !effect->dispatcher) {
        std::fprintf(err, "trvhost: the plug-in's record has no VST magic\n");
        return nullptr;
    }
    host.adopt(effect);
    dispatch(effect, effOpen);
    dispatch(effect, effGetVstVersion);
    if (first && o.info) printEffectInfo(effect, out);
    dispatch(effect, effSetSampleRate, 0, 0, nullptr, static_cast<float>(o.sampleRate));
    dispatch(effect, effSetBlockSize, 0, o.blockSize);
    return effect;
}

}  // namespace

int runHostSession(const HostOptions& o, VstPluginMainProc builtIn, std::FILE* out, std::FILE* err) {
    PluginLoader loader;
    VstPluginMainProc entry = builtIn;
    if (!o.builtIn()) {
        if (!loader.load(o.pluginPath)) {
            std::fprintf(err, "trvhost: %s\n", loader.error().c_str());
            return 1;
        }
        entry = loader.entry();
        std::fprintf(out, "plug-in: %s (entry %s)\n", o.pluginPath.c_str(), loader.entryName());
    } else {
        if (!entry) {
            std::fprintf(err, "trvhost: no built-in plug-in\n");
            return 1;
        }
        // Process-wide settings the plug-in reads when it starts.
        if (!o.localAddress.empty()) platform::setLocalAddress(o.localAddress);
        if (!o.serviceHost.empty()) platform::setServiceOverride(o.serviceHost, o.servicePort);
        LossyPeerSocket::install(o.peerLossPercent, o.peerLossSeed);
        installHostCamera(o.camera);
    }

    TestHost::Config config;
    config.sampleRate = o.sampleRate;
    config.blockSize = o.blockSize;
    config.inputLatency = o.inputLatency;
    config.outputLatency = o.outputLatency;
    config.tempo = o.tempo;
    config.playing = o.play;
    config.loop = o.loop;
    config.loopStart = o.loopStart;
    config.loopEnd = o.loopEnd;
    config.smpteFrameRate = o.smpteFrameRate;
    config.keepMidi = !o.midiOutPath.empty();
    config.chaseTimeCode = o.chaseTimeCode;
    TestHost host(config);
    host.install();

    std::vector<AEffect*> effects;
    int status = 0;
    for (int k = 0; k < o.instances; ++k) {
        AEffect* effect = makeInstance(entry, host, o, k == 0, out, err);
        if (!effect) {
            status = 1;
            break;
        }
        effects.push_back(effect);
    }
    if (status == 0) status = drive(effects, host, o, out, err);

    for (AEffect* effect : effects) dispatch(effect, effMainsChanged, 0, 0);
    bool reservedIntact = true;
    for (AEffect* effect : effects) reservedIntact = reservedIntact && host.reservedFieldIntact(effect);
    for (AEffect* effect : effects) dispatch(effect, effClose);
    if (!reservedIntact) {
        std::fprintf(err, "trvhost: the plug-in overwrote the host's reserved field resvd1\n");
        return 1;
    }
    return status;
}
