// Unit tests that create a controller also create its UDP link on the
// partners' port. Bind it to a loopback address of its own so it never
// takes the port from the peers of the end-to-end tests running alongside.
#include "platform/NetConfig.h"

namespace {
struct UnitTestNetwork {
    UnitTestNetwork() { platform::setLocalAddress("127.0.0.254"); }
} unitTestNetwork;
}  // namespace
