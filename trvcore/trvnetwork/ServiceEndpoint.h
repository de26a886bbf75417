#pragma once
// Where the community web service is: the build's host name and port
// (TRV_SERVICE_HOST, TRV_SERVICE_PORT) unless the hosting program set an
// override through platform::setServiceOverride. Read at every connect, so
// an override set after start-up applies to the next request.
#include <cstddef>
#include <cstdint>

struct ServiceEndpoint {
    static constexpr size_t kHostBytes = 1024;
    char host[kHostBytes] = {};
    uint16_t port = 80;
};

ServiceEndpoint currentServiceEndpoint();
