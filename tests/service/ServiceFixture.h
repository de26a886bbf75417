#pragma once
// A whole service in this process on a free loopback port, over an
// in-memory account database:
//   anna (studio) and ben (limited) are partners; cleo stands alone;
//   pupil depends on master teacher. Every password is "pw-" + name.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "AccountStore.h"
#include "PasswordHasher.h"
#include "RawConnection.h"
#include "Service.h"
#include "TestSupport.h"

namespace tvntest {

class ServiceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tarvonet::initPasswordHashing());
        std::string error;
        accounts = tarvonet::AccountStore::open(":memory:", true, error);
        ASSERT_TRUE(accounts) << error;
        addUser("anna", 0);
        addUser("ben", 16);
        addUser("cleo", 16);
        addUser("teacher", 0);
        addUser("pupil", 16);
        ASSERT_EQ(accounts->addPartners("anna", "ben"), tarvonet::StoreResult::Ok);
        ASSERT_EQ(accounts->setMaster("pupil", "teacher"), tarvonet::StoreResult::Ok);
    }

    void TearDown() override {
        if (service) service->stop();
    }

    void startService(int64_t sessionTimeoutMs = 30000, unsigned perAddressLimit = 8, unsigned idleSeconds = 150) {
        startService([&](tarvonet::ServiceConfig& config) {
            config.limits.sessionTimeoutMs = sessionTimeoutMs;
            config.http.perAddressLimit = perAddressLimit;
            config.http.idleTimeoutSeconds = idleSeconds;
        });
    }

    // The settings above, changed by `adjust` before the start.
    void startService(const std::function<void(tarvonet::ServiceConfig&)>& adjust) {
        tarvonet::ServiceConfig config;
        config.http.port = 0;
        config.http.threads = 2;
        config.http.perAddressLimit = 8;
        config.contentFolder = TVN_DEFAULT_CONTENT;
        config.dummyHashCost = tarvonet::HashCost::minimal();
        config.housekeepingIntervalMs = 50;
        adjust(config);
        service = std::make_unique<tarvonet::Service>(*accounts, config, log);
        std::string error;
        ASSERT_TRUE(service->start(error)) << error;
        port = service->port();
    }

    void addUser(const std::string& name, int flags) {
        std::string hash;
        ASSERT_TRUE(tarvonet::hashPassword("pw-" + name, tarvonet::HashCost::minimal(), hash));
        ASSERT_EQ(accounts->addUser(name, hash, flags), tarvonet::StoreResult::Ok);
    }

    // Logs `name` in from `source` the way the plug-in does: on a connection
    // of its own, closed after the reply. Returns the raw reply.
    std::string login(const std::string& name, const char* source, int udpPort = 58116, int timeoutMs = 3000) {
        RawConnection c;
        EXPECT_TRUE(c.open(source, port));
        return c.post("action=login&username=" + name + "&password=pw-" + name + "&counter=" +
                          std::to_string(udpPort) + "&extra=0",
                      false, timeoutMs);
    }

    std::unique_ptr<tarvonet::AccountStore> accounts;
    MemoryLog log;
    std::unique_ptr<tarvonet::Service> service;
    uint16_t port = 0;
};

// The body of a raw reply, after its blank line.
inline std::string bodyOf(const std::string& raw) {
    size_t end = raw.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : raw.substr(end + 4);
}

inline std::string headerOf(const std::string& raw) {
    size_t end = raw.find("\r\n\r\n");
    return end == std::string::npos ? raw : raw.substr(0, end + 2);
}

}  // namespace tvntest
