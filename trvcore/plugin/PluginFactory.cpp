#include "trvcore/plugin/PluginFactory.h"

#include <new>

#include "trvcore/plugin/LinkPlugin.h"

AEffect* createLinkPluginEffect(audioMasterCallback host) {
    if (!host) return nullptr;
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    // Nothing may escape into the host: a failed allocation means no instance.
    try {
        LinkPlugin* plugin = new LinkPlugin(host);
        return plugin->getAeffect();
    } catch (...) {
        return nullptr;
    }
}

LinkPlugin* linkPluginOf(AEffect* effect) {
    if (!effect || effect->magic != kEffectMagic || !effect->object) return nullptr;
    auto* base = static_cast<AudioEffect*>(effect->object);
    if (base->getAeffect() != effect) return nullptr;
    return dynamic_cast<LinkPlugin*>(base);
}
