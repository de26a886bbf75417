#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/trvhost/HostTestSupport.h"
#include "tools/trvhost/MidiInput.h"
#include "trvcore/midi/MidiEventBlock.h"

using namespace hosttest;

TEST(MidiInput, ReadsEventsSortedAndRefusesWhatIsNoEvent) {
    const std::string path = tempPath("in.midi");
    writeText(path, "# a comment\n\n  500 90 3c 64\n\t20 80 3C 0\n500 B0 07 7F\n");
    std::vector<MidiInEvent> events;
    std::string error;
    ASSERT_TRUE(readMidiIn(path, events, error)) << error;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].position, 20);
    EXPECT_EQ(events[1].position, 500);
    EXPECT_EQ(events[1].bytes[0], 0x90);
    EXPECT_EQ(events[1].bytes[1], 0x3C);
    EXPECT_EQ(events[2].bytes[0], 0xB0);

    for (const char* bad : {"1 90 3C\n", "1 90 3C 64 5\n", "-1 90 3C 64\n", "1 G0 3C 64\n", "1 190 3C 64\n",
                            "x 90 3C 64\n", "99999999999999999 90 3C 64\n"}) {
        writeText(path, std::string("0 90 3C 64\n") + bad);
        EXPECT_FALSE(readMidiIn(path, events, error)) << bad;
        EXPECT_NE(error.find("line 2: "), std::string::npos) << error;
    }
    writeText(path, "0 90 3C 64" + std::string(300, ' ') + "\n");
    EXPECT_FALSE(readMidiIn(path, events, error));
    EXPECT_FALSE(readMidiIn(tempPath("missing.midi"), events, error));
}

TEST(MidiInput, ABlockTakesTheEventsOfItsPositionsUpToItsRoom) {
    std::vector<MidiInEvent> events(5);
    const int64_t positions[5] = {99, 100, 355, 355, 356};
    for (int i = 0; i < 5; ++i) {
        events[static_cast<size_t>(i)].position = positions[i];
        events[static_cast<size_t>(i)].bytes[1] = static_cast<uint8_t>(i);
    }
    MidiEventBlock block(2);
    EXPECT_EQ(collectMidiIn(events, 100, 256, block), 1);  // 100, 355 and 355: one too many
    ASSERT_EQ(block.count(), 2);
    EXPECT_EQ(block.at(0).deltaFrames, 0);
    EXPECT_EQ(block.at(1).deltaFrames, 255);
    EXPECT_EQ(block.at(1).midiData[1], 2);
}
