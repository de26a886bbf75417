#include "trvcore/plugin/PluginFactory.h"

#include <atomic>
#include <new>

#include "trvcore/plugin/LinkPlugin.h"

namespace {
std::atomic<LinkEditorMaker> gEditorMaker{nullptr};
}  // namespace

void setLinkEditorMaker(LinkEditorMaker maker) { gEditorMaker.store(maker); }

AEffect* createLinkPluginEffect(audioMasterCallback host) {
    if (!host) return nullptr;
    if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    // Nothing may escape into the host: a failed allocation means no instance.
    try {
        LinkPlugin* plugin = new LinkPlugin(host);
        if (LinkEditorMaker make = gEditorMaker.load()) plugin->setEditor(make(plugin));
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
