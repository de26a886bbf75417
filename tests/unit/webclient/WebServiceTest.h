#pragma once
// Fixture for tests that talk to a FakeService: points the process's
// web-service override at it for the test's duration.
#include <gtest/gtest.h>

#include <string>

#include "platform/NetConfig.h"
#include "unit/webclient/FakeService.h"

class WebServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.listening());
        platform::setServiceOverride(serviceHost(), service.port());
    }
    void TearDown() override { platform::setServiceOverride("", 0); }
    virtual const char* serviceHost() const { return "127.0.0.1"; }

    // A client ready for fast tests: no read delay, short receive time-out.
    template <class Client>
    static void quick(Client& c, uint32_t receiveTimeoutMs = 3000) {
        c.setReadDelay(0);
        c.setReceiveTimeout(receiveTimeoutMs);
    }

    // The bytes the client sends for a form POST of `body` to the service.
    std::string servicePost(const std::string& body) const {
        return std::string("POST  /sys/interface/trv/index.php4 HTTP/1.1\r\n") + "Host: " + serviceHost() +
               "\r\n" + "User-Agent: TRV\r\n" + "Content-type: application/x-www-form-urlencoded\r\n" +
               "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body + "\r\n";
    }

    FakeService service;
};
