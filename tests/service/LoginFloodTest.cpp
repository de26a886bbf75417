// A flood of logins from a few addresses does not hold back anyone else's
// login, with password checks at their real cost.
#include <gtest/gtest.h>

#include <chrono>

#include "PluginParser.h"
#include "ServiceFixture.h"

using namespace tvntest;

namespace {

constexpr int kFloodAddresses = 8;
constexpr int kConnectionsPerAddress = 16;
constexpr int kLoginsPerConnection = 40;

class LoginFloodTest : public ServiceFixture {};

}  // namespace

TEST_F(LoginFloodTest, HonestLoginGetsThroughAFloodFromAFewAddressesLongBeforeThePluginGivesUp) {
    std::string hash;
    ASSERT_TRUE(tarvonet::hashPassword("pw-flood", tarvonet::HashCost::interactive(), hash));
    for (int a = 0; a < kFloodAddresses / 2; ++a) {
        ASSERT_EQ(accounts->addUser("flood" + std::to_string(a), hash, 16), tarvonet::StoreResult::Ok);
    }
    startService([](tarvonet::ServiceConfig& config) {
        config.dummyHashCost = tarvonet::HashCost::interactive();
        config.http.perAddressLimit = kConnectionsPerAddress;
    });
    // Every connection sends its logins at once; they are answered one after
    // the other. Half of the addresses log in to an account of their own,
    // the other half guess.
    std::vector<std::unique_ptr<RawConnection>> flood;
    for (int a = 0; a < kFloodAddresses; ++a) {
        std::string source = "127.0.1." + std::to_string(a + 1);
        for (int c = 0; c < kConnectionsPerAddress; ++c) {
            std::string burst;
            for (int k = 0; k < kLoginsPerConnection; ++k) {
                std::string guess = std::to_string(c) + "x" + std::to_string(k);
                burst += pluginPost(a % 2 == 0 ? "action=login&username=flood" + std::to_string(a / 2) +
                                                     "&password=pw-flood&counter=58116&extra=0"
                                               : "action=login&username=guess" + guess + "&password=" + guess +
                                                     "&counter=58116&extra=0");
            }
            flood.push_back(std::make_unique<RawConnection>());
            ASSERT_TRUE(flood.back()->open(source.c_str(), port));
            ASSERT_TRUE(flood.back()->send(burst));
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    auto start = std::chrono::steady_clock::now();
    std::string raw = login("anna", "127.0.0.2", 58116, 30000);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int flags = 0;
    EXPECT_TRUE(parseLogin(raw, flags)) << raw;
    // Before logins took turns by address, this took about as many password
    // checks as there were flood connections: 20 s and more.
    EXPECT_LT(seconds, 6.0);
}
