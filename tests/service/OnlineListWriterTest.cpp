#include <gtest/gtest.h>

#include "ChunkedWire.h"
#include "OnlineListWriter.h"
#include "PluginParser.h"

using namespace tarvonet;
using tvntest::ListedUser;

namespace {

uint32_t ip(int last) { return 0xC0000200u | static_cast<uint32_t>(last); }

std::string prefix(const std::string& name, int last) { return OnlineListWriter::recordPrefix(name, ip(last)); }

}  // namespace

TEST(OnlineListWriter, WritesTheRecordsTheWayThePluginReadsThem) {
    OnlineListWriter writer;
    writer.add(prefix("anna", 1), 1 | 2, 58116);
    writer.add(prefix("ben", 2), 4 | 8, 40000);
    auto list = writer.finish();
    EXPECT_EQ(list->text,
              "PLXLIST\r\n"
              "PLXNAME:annaPLXIP:192.0.2.1PLXLINEPLXFLAGS3PLXSERIAL58116\r\n"
              "PLXNAME:benPLXIP:192.0.2.2PLXLINEPLXFLAGS12PLXSERIAL40000\r\n"
              "1004\r\nPLXEND");
    std::vector<ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(list->text, users), 2);
    EXPECT_EQ(users[0].connected + users[0].partner + users[0].doNotDisturb, 2);
    EXPECT_EQ(users[1].doNotDisturb + users[1].partnersOnly + users[1].partner, 2);
    EXPECT_EQ(users[1].port, 40000);
}

TEST(OnlineListWriter, EveryUserSurvivesChunkingIntoSmallPieces) {
    OnlineListWriter writer;
    for (int i = 1; i <= 300; ++i) writer.add(prefix("user number " + std::to_string(i), i), i % 16, 20000 + i);
    auto list = writer.finish();
    for (size_t piece : {size_t{97}, size_t{1000}, size_t{4093}}) {
        std::vector<ListedUser> users;
        ASSERT_EQ(tvntest::parseOnlineList(tvntest::chunkedWire(list, piece), users), 300) << piece;
        for (int i = 1; i <= 300; ++i) {
            const ListedUser& u = users[static_cast<size_t>(i - 1)];
            ASSERT_EQ(u.name, "user number " + std::to_string(i));
            ASSERT_EQ(u.port, 20000 + i) << "piece " << piece;
            ASSERT_EQ(u.partnersOnly, (i & 8) ? 1 : 0);
        }
    }
}

TEST(OnlineListWriter, PortHoldingTheEndCodeIsNeverLast) {
    OnlineListWriter writer;
    for (int i = 1; i <= 50; ++i) writer.add(prefix("u" + std::to_string(i), i), 0, 5000);
    writer.add(prefix("last", 99), 0, 41004);
    auto list = writer.finish();
    std::vector<ListedUser> users;
    ASSERT_EQ(tvntest::parseOnlineList(tvntest::chunkedWire(list, 150), users), 51);
    EXPECT_EQ(users.back().name, "u50");
    for (const ListedUser& u : users) EXPECT_EQ(u.port, u.name == "last" ? 41004 : 5000) << u.name;
}

TEST(OnlineListWriter, EmptyListAndAllRiskyPortsStayAsTheyAre) {
    std::vector<ListedUser> users;
    EXPECT_EQ(tvntest::parseOnlineList(OnlineListWriter().finish()->text, users), 0);
    OnlineListWriter writer;
    writer.add(prefix("a", 1), 0, 1004);
    writer.add(prefix("b", 2), 0, 10040);
    ASSERT_EQ(tvntest::parseOnlineList(writer.finish()->text, users), 2);
    EXPECT_EQ(users[0].name, "a");
}
