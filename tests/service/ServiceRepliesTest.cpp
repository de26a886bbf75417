#include <gtest/gtest.h>

#include "PluginParser.h"
#include "ServiceReplies.h"

using namespace tarvonet;

TEST(ServiceReplies, LoginAcceptedCarriesTheAccountFlags) {
    int flags = -1;
    ASSERT_TRUE(tvntest::parseLogin(replies::loginAccepted(0).body, flags));
    EXPECT_EQ(flags, 0);
    ASSERT_TRUE(tvntest::parseLogin(replies::loginAccepted(16).body, flags));
    EXPECT_EQ(flags, 16);
}

TEST(ServiceReplies, NoRefusalReadsAsALoginSuccess) {
    int flags = 0;
    for (const Reply& r : {replies::loginRefused(), replies::loginMalformed(), replies::loginBusy(),
                           replies::loginUnavailable(), replies::unknownAction(), replies::notFound(),
                           replies::bodyTooLarge(), replies::methodNotAllowed(), replies::serviceUnavailable(),
                           replies::badRequest("x")}) {
        EXPECT_FALSE(tvntest::parseLogin(r.body, flags)) << r.body;
        EXPECT_NE(r.body.find("PLXSTART"), std::string::npos) << "the plug-in shows the text after PLXSTART";
        EXPECT_NE(r.body.find("PLXEND"), std::string::npos);
    }
}

TEST(ServiceReplies, FramingFollowsHowThePluginReadsEachAction) {
    EXPECT_EQ(replies::loginAccepted(16).framing, Framing::ContentLength);
    EXPECT_EQ(replies::loggedOut().framing, Framing::ContentLength);
    EXPECT_EQ(replies::invitationRegistered().framing, Framing::ContentLength);
    EXPECT_EQ(replies::inviteRefusedNotOnline().framing, Framing::ContentLength);
    EXPECT_EQ(replies::keepAliveAccepted().framing, Framing::Chunked);
    EXPECT_EQ(replies::sessionNotValid().framing, Framing::Chunked);
    EXPECT_EQ(replies::masterLoggedOut().framing, Framing::Chunked);
    EXPECT_EQ(replies::invitationWaiting(0x7F000001).framing, Framing::Chunked);
    EXPECT_EQ(replies::noInvitation().framing, Framing::Chunked);
}

TEST(ServiceReplies, ChunkedRepliesEndWithTheEndTag) {
    for (const Reply& r : {replies::keepAliveAccepted(), replies::sessionNotValid(), replies::masterLoggedOut(),
                           replies::invitationWaiting(0x7F000001), replies::noInvitation()}) {
        ASSERT_GE(r.body.size(), 6u);
        EXPECT_EQ(r.body.substr(r.body.size() - 6), "PLXEND") << r.body;
    }
}

TEST(ServiceReplies, KeepAliveCodesAreTellApart) {
    EXPECT_TRUE(tvntest::keepAliveAccepted(replies::keepAliveAccepted().body));
    EXPECT_FALSE(tvntest::keepAliveAccepted(replies::sessionNotValid().body));
    EXPECT_NE(replies::sessionNotValid().body.find("4006"), std::string::npos);
}

TEST(ServiceReplies, InvitationWaitingNamesTheInviter) {
    std::string ip;
    ASSERT_TRUE(tvntest::parseCheckInvitation(replies::invitationWaiting(0x0A000102).body, ip));
    EXPECT_EQ(ip, "10.0.1.2");
    EXPECT_FALSE(tvntest::parseCheckInvitation(replies::noInvitation().body, ip));
    EXPECT_FALSE(tvntest::parseCheckInvitation(replies::sessionNotValid().body, ip));
}

TEST(ServiceReplies, InviteRegisteredHoldsTheCodeWithItsBlank) {
    EXPECT_NE(replies::invitationRegistered().body.find("PLXSTART1020 "), std::string::npos);
    EXPECT_EQ(replies::inviteRefusedNotOnline().body.find("PLXSTART1020 "), std::string::npos);
    EXPECT_EQ(replies::inviteRefusedNotLoggedIn().body.find("PLXSTART1020 "), std::string::npos);
}

TEST(ServiceReplies, MasterLoggedOutIsNoList) {
    std::vector<tvntest::ListedUser> users;
    EXPECT_EQ(tvntest::parseOnlineList(replies::masterLoggedOut().body, users), -2);
    EXPECT_EQ(tvntest::parseOnlineList(replies::sessionNotValid().body, users), -1);
}

TEST(ServiceReplies, ErrorsCloseTheConnection) {
    for (const Reply& r : {replies::unknownAction(), replies::notFound(), replies::bodyTooLarge(),
                           replies::methodNotAllowed(), replies::badRequest("x")}) {
        EXPECT_TRUE(r.closeConnection) << r.body;
        EXPECT_GE(r.status, 400);
    }
}
