#pragma once
// What the plug-in's exported entry does: check the host, create one
// LinkPlugin instance and hand its AEffect record to the host.
#include "vst/VstAbi.h"

AEffect* createLinkPluginEffect(audioMasterCallback host);
