#pragma once
// Two peer links on loopback: the streams under test post through
// `local`'s connection, and `partner` records what arrives.
#include <algorithm>
#include <memory>
#include <vector>

#include "tests/unit/peerlink/LinkHarness.h"

namespace audiotest {

struct AudioLinkPair {
    AudioLinkPair() {
        PeerLinkOptions o;
        o.port = 0;  // any free port: tests run side by side
        o.bindAddress = "127.0.0.2";
        local.reset(new LinkHarness(o));
        o.bindAddress = "127.0.0.3";
        partner.reset(new LinkHarness(o));
        if (ok()) {
            local->connection->setPartnerAddress("127.0.0.3", partner->link->boundPort());
            partner->connection->setPartnerAddress("127.0.0.2", local->link->boundPort());
        }
    }
    bool ok() const { return local->link->hasSocket() && partner->link->hasSocket(); }

    // What the partner received of one kind, in arrival order.
    std::vector<std::vector<uint8_t>> received(MessageKind kind) {
        std::vector<std::vector<uint8_t>> out;
        for (auto& m : partner->messages())
            if (m.size() >= kMessageHeaderSize && m[kMessageKindAt] == static_cast<uint8_t>(kind))
                out.push_back(m);
        return out;
    }
    size_t count(MessageKind kind) { return received(kind).size(); }

    std::unique_ptr<LinkHarness> local;
    std::unique_ptr<LinkHarness> partner;
};

}  // namespace audiotest
