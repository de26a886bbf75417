#pragma once
// What --info prints: the plug-in's identity, flags, pins, programs,
// parameters and capability answers, asked through its dispatcher only.
#include <cstdio>
#include <string>

#include "vst/VstAbi.h"

// Capability strings --info asks the plug-in about.
extern const char* const kProbedCapabilities[];

// Prints to `out`; complaints about texts longer than hosts allow go to
// `out` as "warning:" lines. Returns the number of warnings.
int printEffectInfo(AEffect* effect, std::FILE* out);

// "HasEditor CanReplacing ..." for the record's flags.
std::string describeEffectFlags(VstInt32 flags);
// The four characters of a unique ID ('.' for unprintable ones).
std::string uniqueIdText(VstInt32 id);
const char* categoryName(VstIntPtr category);
