#pragma once
// One run of the test host: instantiate the plug-in, take it through the
// start-up sequence a sequencer uses, optionally print its info and run
// audio through it, then shut it down. Everything goes through the AEffect
// record; the plug-in's classes are never touched, except by the command
// interface of the built-in plug-in (CommandRun), which drives its session
// controller the way the editor does.
#include <cstdio>

#include "tools/trvhost/HostOptions.h"
#include "vst/VstAbi.h"

// Exit status: 0 success, 1 the plug-in or a file failed, 3 a command
// failed. `builtIn` is the
// entry used when the options name no plug-in library (may be null, which
// then fails).
int runHostSession(const HostOptions& options, VstPluginMainProc builtIn, std::FILE* out, std::FILE* err);
