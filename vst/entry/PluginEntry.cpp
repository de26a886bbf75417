// The plug-in library's exported entry: the only two names it exports.
// Hosts look up "VSTPluginMain" first and fall back to "main"; old 32-bit
// hosts know only "main". On Windows the module-definition file exports
// "main" as an alias; elsewhere a second function carries the assembler
// name "main".
#include "editor/EditorFactory.h"
#include "trvcore/plugin/PluginFactory.h"
#include "vst/VstAbi.h"

#if defined(_WIN32)
#  define TRV_ENTRY_EXPORT
#else
#  define TRV_ENTRY_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

TRV_ENTRY_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback host) {
    if (!host) return nullptr;
    editor::installLinkEditor();
    return createLinkPluginEffect(host);
}

#if !defined(_WIN32)
TRV_ENTRY_EXPORT AEffect* VSTCALLBACK trvPluginMainAlias(audioMasterCallback host) __asm__("main");

AEffect* VSTCALLBACK trvPluginMainAlias(audioMasterCallback host) {
    if (!host) return nullptr;
    editor::installLinkEditor();
    return createLinkPluginEffect(host);
}
#endif

}  // extern "C"
