#pragma once
// A plug-in instance whose controller's UDP link holds the partners' port
// on a loopback address of its own (test processes run side by side, so
// the first address tried may be taken).
#include <string>

#include "platform/NetConfig.h"
#include "tests/unit/session/SessionTestSupport.h"
#include "trvcore/plugin/LinkPlugin.h"
#include "trvcore/session/SessionController.h"
#include "trvcore/trvnetwork/PeerLink.h"
#include "vst/AudioEffect.h"

namespace sessiontest {

inline LinkPlugin* pluginOf(AEffect* e) { return static_cast<LinkPlugin*>(static_cast<AudioEffect*>(e->object)); }

// Creates instances through `host` (its create and close) until one's link
// could bind, at most 20 times; `own` gets that instance's address.
// nullptr when none could.
template <class Host>
AEffect* createOnFreeAddress(Host& host, std::string& own) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        own = freeLoopbackAddress();
        platform::setLocalAddress(own);
        AEffect* e = host.create();
        if (!e) return nullptr;
        if (pluginOf(e)->controller()->peerLink()->hasSocket()) return e;
        host.close(e);
    }
    return nullptr;
}

}  // namespace sessiontest
