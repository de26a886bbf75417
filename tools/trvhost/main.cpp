// trvhost: a command-line VST 2 host for the plug-in.
#include <cstdio>
#include <string>

#include "editor/EditorFactory.h"
#include "tools/trvhost/HostOptions.h"
#include "tools/trvhost/HostSession.h"
#include "trvcore/plugin/PluginFactory.h"

int main(int argc, char** argv) {
    HostOptions options;
    std::string error;
    if (!parseHostOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "trvhost: %s\n\n%s", error.c_str(), hostUsage());
        return 2;
    }
    if (options.help) {
        std::fputs(hostUsage(), stdout);
        return 0;
    }
    // The built-in plug-in is the plug-in as shipped: with its editor.
    editor::installLinkEditor();
    return runHostSession(options, &createLinkPluginEffect, stdout, stderr);
}
