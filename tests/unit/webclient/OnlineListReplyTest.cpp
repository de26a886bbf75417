// Parsing of the online-list reply, the login payload and the invitation
// reply, straight from bytes. Each reply sits in an allocation of exactly
// its size, so reading past its end is reading outside the allocation.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "trvcore/trvnetwork/ServiceReplies.h"

namespace sr = service_reply;

namespace {

struct Parsed {
    int result = 0;
    OnlineUser users[8];
};

Parsed parse(const std::string& reply, int max = 8) {
    std::unique_ptr<char[]> exact(new char[reply.size() + 1]);
    std::memcpy(exact.get(), reply.data(), reply.size());
    Parsed p;
    p.result = sr::parseOnlineList(exact.get(), reply.size(), p.users, max);
    return p;
}

std::string record(const std::string& name, const std::string& ip, const std::string& values = "") {
    return "PLXNAME:" + name + "PLXIP:" + ip + "PLXLINE" + values;
}

std::string list(const std::string& records, const std::string& tail = "1004\r\nPLXEND") {
    return "PLXLIST\r\n" + records + tail;
}

}  // namespace

TEST(OnlineListReply, RecordsCarryNameIpFlagBitsAndPort) {
    const Parsed p = parse(list(record("ann", "192.0.2.1", "PLXFLAGS13PLXSERIAL5000\r\n") +
                                record("bob", "192.0.2.2", "PLXFLAGS18\r\n9\r\nPLXSERIAL77\r\n")));
    ASSERT_EQ(p.result, 2);
    const OnlineUser& ann = p.users[0];
    EXPECT_STREQ(ann.name, "ann");
    EXPECT_STREQ(ann.ip, "192.0.2.1");
    EXPECT_EQ(ann.port, 5000);
    EXPECT_EQ((std::vector<int>{ann.connected, ann.partner, ann.doNotDisturb, ann.partnersOnly}),
              (std::vector<int>{1, 0, 1, 1}));
    const OnlineUser& bob = p.users[1];  // bit 4 ignored, chunk-size line skipped
    EXPECT_EQ(bob.port, 77);
    EXPECT_EQ((std::vector<int>{bob.connected, bob.partner, bob.doNotDisturb, bob.partnersOnly}),
              (std::vector<int>{0, 1, 0, 0}));
}

TEST(OnlineListReply, PortIsKeptAtItsDefaultUnlessSoundAndClosed) {
    const struct {
        std::string reply;
        uint16_t port;
    } cases[] = {
        {list(record("a", "203.0.113.1")), 58116},
        {list(record("a", "203.0.113.1", "PLXSERIAL6000\r\n"), "PLXEND"), 58116},  // no closing code
        {list(record("a", "203.0.113.1", "PLXSERIAL0\r\n")), 58116},
        {list(record("a", "203.0.113.1", "PLXSERIAL70000\r\n")), 58116},
        {list(record("a", "203.0.113.1", "PLXSERIAL-5\r\n")), 58116},
        {list(record("a", "203.0.113.1", "PLXSERIAL0000000005000\r\n")), 58116},  // 12 characters or more
        {list(record("a", "203.0.113.1", "PLXSERIAL11004\r\n")), 11004},           // holds the closing code
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.reply);
        ASSERT_EQ(p.result, 1) << c.reply;
        EXPECT_EQ(p.users[0].port, c.port) << c.reply;
    }
}

TEST(OnlineListReply, RecordWithoutValuesDoesNotTakeTheNextRecordsValues) {
    const Parsed p = parse(list(record("a", "203.0.113.1") + record("b", "203.0.113.2", "PLXFLAGS1PLXSERIAL6000\r\n")));
    ASSERT_EQ(p.result, 2);
    EXPECT_EQ(p.users[0].port, 58116);
    EXPECT_EQ(p.users[0].connected, 0);
    EXPECT_EQ(p.users[1].port, 6000);
}

TEST(OnlineListReply, OverlongNameOrIpEndsTheListKeepingTheRecordsBefore) {
    EXPECT_EQ(parse(list(record("a", "203.0.113.1") + record(std::string(127, 'n'), "203.0.113.2") + record("c", "203.0.113.3")))
                  .result,
              1);
    EXPECT_EQ(parse(list(record(std::string(126, 'n'), "203.0.113.2"))).result, 1);
    EXPECT_EQ(parse(list(record("a", "203.0.113.1") + record("b", "192.0.2.2.3.4.5.6.7"))).result, 1);
}

TEST(OnlineListReply, MalformedOrTruncatedListsAreErrors) {
    for (const std::string& reply : {
             list(record("a", "203.0.113.1") + "PLXNAME:b 203.0.113.2PLXLINE"),  // no PLXIP:
             list(record("a", "203.0.113.1") + "PLXNAME:bPLXIP:203.0.113.2"),    // no PLXLINE
             std::string("PLXLISTPLXNAME:aPLXEND PLXIP:198.51.100.4PLXLINE"),   // tags after the end
             "PLXLIST" + record("a", "203.0.113.1", "PLXFLAGS1PLXSERIAL5000\r\n1004"),  // no end tag
             std::string("PLXLISTPLXNAME:aPLXIP:10.0."),
         })
        EXPECT_EQ(parse(reply).result, sr::kListError) << reply;
}

TEST(OnlineListReply, ReplyWithoutListIsMasterLoggedOutOrAbsent) {
    EXPECT_EQ(parse("PLXSTART4007 Master account logged out.\r\nPLXEND").result, sr::kListMasterLoggedOut);
    for (const char* reply : {"PLXSTART4006\r\nPLXEND", "", "PLXLIS"}) EXPECT_EQ(parse(reply).result, sr::kListAbsent);
    EXPECT_EQ(parse(list("")).result, 0);
}

TEST(OnlineListReply, AtMostMaxRecordsAreRead) {
    std::string records;
    for (int i = 0; i < 6; ++i) records += record("u" + std::to_string(i), "192.0.2." + std::to_string(i));
    EXPECT_EQ(parse(list(records), 4).result, 4);
}

TEST(LoginPayload, PayloadLiesBetweenTheTagsAndEndsWithTheFlags) {
    const std::string reply = "xxPLXSTART1001 hi PLXFLAGS 9PLXENDyy";
    size_t begin = 0, end = 0;
    ASSERT_EQ(sr::findPayload(reply.data(), reply.size(), begin, end), sr::Payload::Found);
    EXPECT_EQ(reply.substr(begin, end - begin), "1001 hi PLXFLAGS 9");
    EXPECT_EQ(sr::loginFlags(reply.data() + begin, end - begin, 16), 9);
    EXPECT_EQ(sr::loginFlags(reply.data() + begin, 7, 16), 16);
    EXPECT_EQ(sr::findPayload(reply.data(), 12, begin, end), sr::Payload::NoEnd);
    EXPECT_EQ(sr::findPayload(reply.data(), 9, begin, end), sr::Payload::NoStart);
}

TEST(InvitationReply, OnlyADottedQuadIsAnInviter) {
    char ip[OnlineUser::kIpBytes];
    const std::string ok = "PLXSTART1022 198.51.100.4\r\nPLXEND";
    EXPECT_TRUE(sr::parseInviter(ok.data(), ok.size(), ip));
    EXPECT_STREQ(ip, "198.51.100.4");
    for (const std::string& reply : {std::string("PLXSTART1022 198.51.100.4").substr(0, 19),
                                     std::string("PLXSTART1022 1234567"), std::string("PLXSTART1022 999.1.1.1"),
                                     std::string("PLXSTART1022 198.51.100.4.5.6.7.8.9.10.11.12"),
                                     std::string("PLXSTART1022\r\n198.51.100.4")}) {
        EXPECT_FALSE(sr::parseInviter(reply.data(), reply.size(), ip)) << reply;
        EXPECT_STREQ(ip, "");
    }
}
