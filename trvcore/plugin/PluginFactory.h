#pragma once
// What the plug-in's exported entry does: check the host, create one
// LinkPlugin instance and hand its AEffect record to the host.
#include "vst/VstAbi.h"

AEffect* createLinkPluginEffect(audioMasterCallback host);

class LinkPlugin;
// The instance behind a record made by createLinkPluginEffect, for programs
// linked with the plug-in core (the test host's built-in mode); null for
// anything else.
LinkPlugin* linkPluginOf(AEffect* effect);

class AEffEditor;
// The editor each new instance gets, made by the layer above the core (the
// plug-in library and the test host install it); none by default.
using LinkEditorMaker = AEffEditor* (*)(LinkPlugin* plugin);
void setLinkEditorMaker(LinkEditorMaker maker);
