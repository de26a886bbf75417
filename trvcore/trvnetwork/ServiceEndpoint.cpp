#include "trvcore/trvnetwork/ServiceEndpoint.h"

#include <cstdio>
#include <string>

#include "platform/NetConfig.h"

#ifndef TRV_SERVICE_HOST
#define TRV_SERVICE_HOST "localhost"
#endif
#ifndef TRV_SERVICE_PORT
#define TRV_SERVICE_PORT 80
#endif

ServiceEndpoint currentServiceEndpoint() {
    ServiceEndpoint e;
    std::string host;
    uint16_t port = 0;
    if (platform::serviceOverride(host, port)) {
        std::snprintf(e.host, sizeof e.host, "%s", host.c_str());
        e.port = port;
    } else {
        std::snprintf(e.host, sizeof e.host, "%s", TRV_SERVICE_HOST);
        e.port = static_cast<uint16_t>(TRV_SERVICE_PORT);
    }
    return e;
}
