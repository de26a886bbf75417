#include <gtest/gtest.h>

#include "ChunkedWire.h"
#include "OnlineListWriter.h"
#include "PluginParser.h"

using namespace tarvonet;
using tvntest::ListedUser;

namespace {

uint32_t ip(int last) { return 0x0A000000u | static_cast<uint32_t>(last); }

}  // namespace

TEST(OnlineListWriter, WritesTheRecordsTheWayThePluginReadsThem) {
    OnlineListWriter writer;
    writer.add(OnlineListWriter::recordPrefix("anna", ip(1)), 1 | 2, 58116);
    writer.add(OnlineListWriter::recordPrefix("ben", ip(2)), 4 | 8, 40000);
    auto reply = writer.finish();
    EXPECT_EQ(reply->text,
              "PLXLIST\r\n"
              "PLXNAME:annaPLXIP:10.0.0.1PLXLINEPLXFLAGS3PLXSERIAL58116\r\n"
              "PLXNAME:benPLXIP:10.0.0.2PLXLINEPLXFLAGS12PLXSERIAL40000\r\n"
              "1004\r\nPLXEND");

    std::vector<ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(reply->text + "\r\n0\r\n\r\n", users), 2);
    EXPECT_EQ(users[0].name, "anna");
    EXPECT_EQ(users[0].ip, "10.0.0.1");
    EXPECT_EQ(users[0].port, 58116);
    EXPECT_EQ(users[0].connected, 1);
    EXPECT_EQ(users[0].partner, 1);
    EXPECT_EQ(users[0].doNotDisturb, 0);
    EXPECT_EQ(users[1].partner, 0);
    EXPECT_EQ(users[1].doNotDisturb, 1);
    EXPECT_EQ(users[1].partnersOnly, 1);
    EXPECT_EQ(users[1].port, 40000);
}

TEST(OnlineListWriter, EmptyListIsStillAList) {
    OnlineListWriter writer;
    auto reply = writer.finish();
    EXPECT_EQ(reply->text, "PLXLIST\r\n1004\r\nPLXEND");
    std::vector<ListedUser> users;
    EXPECT_EQ(tvntest::parseOnlineList(reply->text, users), 0);
}

TEST(OnlineListWriter, EveryUserSurvivesChunkingIntoSmallPieces) {
    OnlineListWriter writer;
    for (int i = 1; i <= 300; ++i) {
        writer.add(OnlineListWriter::recordPrefix("user number " + std::to_string(i), ip(i)), i % 16,
                   static_cast<uint16_t>(20000 + i));
    }
    auto reply = writer.finish();
    for (size_t piece : {size_t{97}, size_t{1000}, size_t{4093}}) {
        std::vector<ListedUser> users;
        ASSERT_EQ(tvntest::parseOnlineList(tvntest::chunkedWire(reply, piece), users), 300) << piece;
        for (int i = 1; i <= 300; ++i) {
            const ListedUser& u = users[static_cast<size_t>(i - 1)];
            ASSERT_EQ(u.name, "user number " + std::to_string(i));
            ASSERT_EQ(u.port, 20000 + i) << "piece " << piece;
            ASSERT_EQ(u.connected, i & 1);
            ASSERT_EQ(u.partnersOnly, (i & 8) ? 1 : 0);
        }
    }
}

TEST(OnlineListWriter, LastPortHoldingTheEndCodeIsMovedForward) {
    OnlineListWriter writer;
    writer.add(OnlineListWriter::recordPrefix("a", ip(1)), 0, 30000);
    writer.add(OnlineListWriter::recordPrefix("b", ip(2)), 0, 41004);
    auto reply = writer.finish();
    std::vector<ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(reply->text, users), 2);
    EXPECT_EQ(users[0].name, "b");
    EXPECT_EQ(users[0].port, 41004);
    EXPECT_EQ(users[1].name, "a");
    EXPECT_EQ(users[1].port, 30000);
}

TEST(OnlineListWriter, MovingTheLastRecordKeepsCutPointsOnRecordBoundaries) {
    OnlineListWriter writer;
    for (int i = 1; i <= 50; ++i) writer.add(OnlineListWriter::recordPrefix("u" + std::to_string(i), ip(i)), 0, 5000);
    writer.add(OnlineListWriter::recordPrefix("last", ip(99)), 0, 11004);
    auto reply = writer.finish();
    std::vector<ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(tvntest::chunkedWire(reply, 150), users), 51);
    for (const ListedUser& u : users) EXPECT_EQ(u.port, u.name == "last" ? 11004 : 5000) << u.name;
}

TEST(OnlineListWriter, OnlyRiskyPortsLeaveTheOrderAlone) {
    OnlineListWriter writer;
    writer.add(OnlineListWriter::recordPrefix("a", ip(1)), 0, 1004);
    writer.add(OnlineListWriter::recordPrefix("b", ip(2)), 0, 10040);
    auto reply = writer.finish();
    std::vector<ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(reply->text, users), 2);
    EXPECT_EQ(users[0].name, "a");
    EXPECT_EQ(users[1].name, "b");
}
