// Administration changes made while users are logged in reach the running
// server's online lists and keep-alives within a couple of seconds.
#include <gtest/gtest.h>

#include "PluginParser.h"
#include "ServiceFixture.h"

using namespace tvntest;

namespace {

// Changes show within about a second; this leaves room for a busy machine.
constexpr int kReachMs = 3000;

class ServerAccountChangesTest : public ServiceFixture {
protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        startService();
        login("anna", "127.0.0.2");
        login("cleo", "127.0.0.4");
        ASSERT_TRUE(anna.open("127.0.0.2", port));
        ASSERT_TRUE(cleo.open("127.0.0.4", port));
    }
    // The partner bit `viewer` sees on `name`: 0 or 1, -1 if not listed.
    static int partnerBit(RawConnection& viewer, const std::string& name) {
        std::vector<ListedUser> users;
        parseOnlineList(viewer.post("action=onlinelist", true), users);
        for (const ListedUser& u : users) {
            if (u.name == name) return u.partner;
        }
        return -1;
    }
    RawConnection anna;
    RawConnection cleo;
};

}  // namespace

TEST_F(ServerAccountChangesTest, PairAddedAndRemovedWhileBothAreOnlineFlipsBothPartnerBits) {
    ASSERT_EQ(partnerBit(anna, "cleo"), 0);
    ASSERT_EQ(accounts->addPartners("cleo", "anna"), tarvonet::StoreResult::Ok);
    EXPECT_TRUE(waitUntil([&] { return partnerBit(anna, "cleo") == 1; }, kReachMs));
    EXPECT_TRUE(waitUntil([&] { return partnerBit(cleo, "anna") == 1; }, kReachMs));
    ASSERT_EQ(accounts->removePartners("anna", "cleo"), tarvonet::StoreResult::Ok);
    EXPECT_TRUE(waitUntil([&] { return partnerBit(anna, "cleo") == 0; }, kReachMs));
    EXPECT_TRUE(waitUntil([&] { return partnerBit(cleo, "anna") == 0; }, kReachMs));
    EXPECT_TRUE(log.contains("account changes reached 2 sessions"));
}

TEST_F(ServerAccountChangesTest, MasterSetWhileOnlineHoldsBackTheListUntilCleared) {
    ASSERT_EQ(accounts->setMaster("cleo", "teacher"), tarvonet::StoreResult::Ok);
    std::vector<ListedUser> users;
    EXPECT_TRUE(waitUntil([&] { return parseOnlineList(cleo.post("action=onlinelist", true), users) == -2; },
                          kReachMs));
    ASSERT_EQ(accounts->clearMaster("cleo"), tarvonet::StoreResult::Ok);
    EXPECT_TRUE(waitUntil([&] { return parseOnlineList(cleo.post("action=onlinelist", true), users) == 1; },
                          kReachMs));
}

TEST_F(ServerAccountChangesTest, DeletedUsersKeepAliveIsRefusedAndOthersNoLongerListHim) {
    ASSERT_EQ(accounts->deleteUser("cleo"), tarvonet::StoreResult::Ok);
    std::string reply;
    EXPECT_TRUE(waitUntil(
        [&] {
            reply = cleo.post("action=keepalive&flags=0", true);
            return !keepAliveAccepted(reply);
        },
        kReachMs));
    EXPECT_NE(reply.find("PLXSTART4006 "), std::string::npos) << reply;
    EXPECT_EQ(partnerBit(anna, "cleo"), -1);
    EXPECT_TRUE(log.contains("session of \"cleo\" at 127.0.0.4 ended: the account was deleted"));
    EXPECT_TRUE(keepAliveAccepted(anna.post("action=keepalive&flags=0", true)));
}
