#pragma once
// The command interface of a built-in run: commands from a script file or
// standard input, run one after the other on the calling thread while the
// audio thread keeps processing blocks. Every status line the controller
// posts is echoed as it appears ("status: <line>"), and the editor's idle
// calls are stood in for every 100 ms.
//
// The run ends at `quit`, at the end of the input, when the audio run is
// over (--seconds), or at the first command that fails.
#include <cstdio>

#include "tools/trvhost/HostOptions.h"
#include "vst/VstAbi.h"

class AudioRun;
class TestHost;

// Exit status of a command run.
enum CommandRunStatus { kCommandsDone = 0, kCommandsCannotStart = 1, kCommandFailed = 3 };

// `effect` must be the built-in plug-in's; `run` is already started.
int runCommands(AEffect* effect, TestHost& host, AudioRun& run, const HostOptions& options, std::FILE* out,
                std::FILE* err);
