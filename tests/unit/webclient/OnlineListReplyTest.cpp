// Parsing of the online-list reply, the login payload and the invitation
// reply, straight from bytes. Every reply sits in a buffer of exactly its
// size, so a read past the end would be a read outside the allocation.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "trvcore/trvnetwork/OnlineUser.h"
#include "trvcore/trvnetwork/ServiceReplies.h"

namespace sr = service_reply;

namespace {

struct Parsed {
    int result;
    OnlineUser users[8];
};

std::unique_ptr<Parsed> parse(const std::string& reply, int max = 8) {
    std::unique_ptr<char[]> exact(new char[reply.size() ? reply.size() : 1]);
    std::memcpy(exact.get(), reply.data(), reply.size());
    auto p = std::make_unique<Parsed>();
    p->result = sr::parseOnlineList(exact.get(), reply.size(), p->users, max);
    return p;
}

std::string record(const std::string& name, const std::string& ip, const std::string& values = "") {
    return "PLXNAME:" + name + "PLXIP:" + ip + "PLXLINE" + values;
}

std::string list(const std::string& records, const std::string& tail = "1004\r\nPLXEND") {
    return "PLXLIST\r\n" + records + tail;
}

}  // namespace

TEST(OnlineListReply, RecordsCarryNameIpFlagsAndPort) {
    const auto p = parse(list(record("ann", "10.0.0.1", "PLXFLAGS13PLXSERIAL5000\r\n") +
                              record("bob", "10.0.0.2", "PLXFLAGS0PLXSERIAL5001\r\n")));
    ASSERT_EQ(p->result, 2);
    const OnlineUser& ann = p->users[0];
    EXPECT_STREQ(ann.name, "ann");
    EXPECT_STREQ(ann.ip, "10.0.0.1");
    EXPECT_EQ(ann.port, 5000);
    EXPECT_EQ(ann.connected, 1);
    EXPECT_EQ(ann.partner, 0);
    EXPECT_EQ(ann.doNotDisturb, 1);
    EXPECT_EQ(ann.partnersOnly, 1);
    EXPECT_EQ(ann.id, -1);
    EXPECT_EQ(p->users[1].port, 5001);
    EXPECT_EQ(p->users[1].partner, 0);
}

TEST(OnlineListReply, FlagBitsAboveTheFourthAreIgnored) {
    const auto p = parse(list(record("ann", "10.0.0.1", "PLXFLAGS18PLXSERIAL5000\r\n")));
    ASSERT_EQ(p->result, 1);
    EXPECT_EQ(p->users[0].partner, 1);
    EXPECT_EQ(p->users[0].connected + p->users[0].doNotDisturb + p->users[0].partnersOnly, 0);
}

TEST(OnlineListReply, ChunkSizeLinesBetweenElementsAreIgnored) {
    const auto p = parse("PLXLIST\r\n1f\r\n" + record("ann", "10.0.0.1", "PLXFLAGS1\r\n9\r\nPLXSERIAL77\r\n") +
                         "5\r\n1004\r\nPLXEND\r\n0\r\n\r\n");
    ASSERT_EQ(p->result, 1);
    EXPECT_EQ(p->users[0].connected, 1);
    EXPECT_EQ(p->users[0].port, 77);
}

TEST(OnlineListReply, MissingValuesLeaveTheDefaults) {
    const auto p = parse(list(record("ann", "10.0.0.1")));
    ASSERT_EQ(p->result, 1);
    EXPECT_EQ(p->users[0].port, OnlineUser::kDefaultPort);
    EXPECT_EQ(p->users[0].partner, 1);
    EXPECT_EQ(p->users[0].connected, 0);
}

TEST(OnlineListReply, RecordWithoutValuesDoesNotTakeTheNextRecordsValues) {
    const auto p = parse(list(record("ann", "10.0.0.1") + record("bob", "10.0.0.2", "PLXFLAGS1PLXSERIAL6000\r\n")));
    ASSERT_EQ(p->result, 2);
    EXPECT_EQ(p->users[0].port, OnlineUser::kDefaultPort);
    EXPECT_EQ(p->users[0].connected, 0);
    EXPECT_EQ(p->users[1].port, 6000);
    EXPECT_EQ(p->users[1].connected, 1);
}

TEST(OnlineListReply, LastRecordsPortWithoutAClosingCodeStaysDefault) {
    const auto p = parse(list(record("ann", "10.0.0.1", "PLXFLAGS1PLXSERIAL6000\r\n"), "PLXEND"));
    ASSERT_EQ(p->result, 1);
    EXPECT_EQ(p->users[0].port, OnlineUser::kDefaultPort);
    EXPECT_EQ(p->users[0].connected, 1);
}

TEST(OnlineListReply, PortsOutsideOneTo65535StayDefault) {
    for (const char* port : {"0", "70000", "-5", "abc"}) {
        const auto p = parse(list(record("ann", "10.0.0.1", std::string("PLXFLAGS0PLXSERIAL") + port + "\r\n")));
        ASSERT_EQ(p->result, 1) << port;
        EXPECT_EQ(p->users[0].port, OnlineUser::kDefaultPort) << port;
    }
}

TEST(OnlineListReply, LastRecordsPortContainingTheClosingCodeIsReadWhole) {
    const auto p = parse(list(record("ann", "10.0.0.1", "PLXFLAGS0PLXSERIAL11004\r\n")));
    ASSERT_EQ(p->result, 1);
    EXPECT_EQ(p->users[0].port, 11004);
}

TEST(OnlineListReply, ValuesOfTwelveCharactersOrMoreAreIgnored) {
    const auto p = parse(list(record("ann", "10.0.0.1", "PLXFLAGS00000000001 PLXSERIAL0000000005000\r\n")));
    ASSERT_EQ(p->result, 1);
    EXPECT_EQ(p->users[0].connected, 0);
    EXPECT_EQ(p->users[0].port, OnlineUser::kDefaultPort);
}

TEST(OnlineListReply, NameOf127CharactersEndsTheListKeepingTheRecordsBefore) {
    const auto p = parse(list(record("ann", "10.0.0.1") + record(std::string(127, 'n'), "10.0.0.2") +
                              record("cid", "10.0.0.3")));
    ASSERT_EQ(p->result, 1);
    EXPECT_STREQ(p->users[0].name, "ann");
}

TEST(OnlineListReply, NameOf126CharactersIsKept) {
    const std::string name(126, 'n');
    const auto p = parse(list(record(name, "10.0.0.2")));
    ASSERT_EQ(p->result, 1);
    EXPECT_EQ(p->users[0].name, name);
}

TEST(OnlineListReply, IpLongerThan16CharactersEndsTheList) {
    const auto p = parse(list(record("ann", "10.0.0.1") + record("bob", "10.0.0.2.3.4.5.6.7")));
    EXPECT_EQ(p->result, 1);
}

TEST(OnlineListReply, RecordWithoutIpOrLineTagIsAnError) {
    EXPECT_EQ(parse(list(record("ann", "10.0.0.1") + "PLXNAME:bob 10.0.0.2PLXLINE"))->result, sr::kListError);
    EXPECT_EQ(parse(list(record("ann", "10.0.0.1") + "PLXNAME:bobPLXIP:10.0.0.2"))->result, sr::kListError);
}

TEST(OnlineListReply, TagsAfterTheEndTagDoNotCount) {
    EXPECT_EQ(parse(list(record("ann", "10.0.0.1")) + record("bob", "10.0.0.2"))->result, 1);
    EXPECT_EQ(parse("PLXLISTPLXNAME:annPLXEND PLXIP:1.2.3.4PLXLINE")->result, sr::kListError);
}

TEST(OnlineListReply, ListWithoutEndTagWasCutShortAndIsAnError) {
    EXPECT_EQ(parse("PLXLIST" + record("ann", "10.0.0.1", "PLXFLAGS1PLXSERIAL5000\r\n1004"))->result,
              sr::kListError);
    EXPECT_EQ(parse("PLXLISTPLXNAME:annPLXIP:10.0.")->result, sr::kListError);
}

TEST(OnlineListReply, EmptyListIsZeroRecords) { EXPECT_EQ(parse(list(""))->result, 0); }

TEST(OnlineListReply, NoListIsMasterLoggedOutOrAbsent) {
    EXPECT_EQ(parse("PLXSTART4007 Master account logged out.\r\nPLXEND")->result, sr::kListMasterLoggedOut);
    EXPECT_EQ(parse("PLXSTART4006\r\nPLXEND")->result, sr::kListAbsent);
    EXPECT_EQ(parse("")->result, sr::kListAbsent);
    EXPECT_EQ(parse("PLXLIS")->result, sr::kListAbsent);
}

TEST(OnlineListReply, AtMostMaxRecordsAreRead) {
    std::string records;
    for (int i = 0; i < 6; ++i) records += record("u" + std::to_string(i), "10.0.0." + std::to_string(i));
    const auto p = parse(list(records), 4);
    EXPECT_EQ(p->result, 4);
    EXPECT_STREQ(p->users[3].name, "u3");
}

TEST(OnlineListReply, ZeroByteInsideANameCutsTheName) {
    const auto p = parse(list(record(std::string("an\0n", 4), "10.0.0.1")));
    ASSERT_EQ(p->result, 1);
    EXPECT_STREQ(p->users[0].name, "an");
}

TEST(LoginPayload, PayloadLiesBetweenTheTags) {
    const std::string reply = "xxPLXSTART1001 hiPLXENDyy";
    size_t begin = 0, end = 0;
    ASSERT_EQ(sr::findPayload(reply.data(), reply.size(), begin, end), sr::Payload::Found);
    EXPECT_EQ(reply.substr(begin, end - begin), "1001 hi");
    EXPECT_EQ(sr::findPayload(reply.data(), 10, begin, end), sr::Payload::NoEnd);
    EXPECT_EQ(sr::findPayload(reply.data(), 9, begin, end), sr::Payload::NoStart);
}

TEST(LoginPayload, FlagsAreTheLastItem) {
    const std::string payload = "1001 ok PLXFLAGS 9";
    EXPECT_EQ(sr::loginFlags(payload.data(), payload.size(), 16), 9);
    const std::string none = "1001 ok";
    EXPECT_EQ(sr::loginFlags(none.data(), none.size(), 16), 16);
    const std::string empty = "1001PLXFLAGS";
    EXPECT_EQ(sr::loginFlags(empty.data(), empty.size(), 16), 0);
}

TEST(InvitationReply, AddressEndsAtTheFirstOtherCharacterOrTheReplyEnd) {
    char ip[OnlineUser::kIpBytes];
    const std::string ok = "PLXSTART1022 1.2.3.4\r\nPLXEND";
    EXPECT_TRUE(sr::parseInviter(ok.data(), ok.size(), ip));
    EXPECT_STREQ(ip, "1.2.3.4");
    const std::string cut = "PLXSTART1022 1.2.3.4";
    EXPECT_FALSE(sr::parseInviter(cut.data(), cut.size() - 1, ip)) << "1.2.3. is no address";
}

TEST(InvitationReply, DigitsAndDotsThatAreNoDottedQuadAreNoInvitation) {
    char ip[OnlineUser::kIpBytes];
    for (const char* text : {"PLXSTART1022 1234567", "PLXSTART1022 1.2.3.4.5.6.7.8.9.10.11.12", "PLXSTART1022 999.1.1.1",
                             "PLXSTART1022 10.0.0", "PLXSTART1022", "PLXSTART1022\r\n1.2.3.4"}) {
        const std::string reply = text;
        EXPECT_FALSE(sr::parseInviter(reply.data(), reply.size(), ip)) << text;
        EXPECT_STREQ(ip, "") << text;
    }
}
