#include <gtest/gtest.h>

#include "ChunkSplitter.h"

using namespace tarvonet;

namespace {

std::vector<std::string> pieces(std::string body, std::vector<size_t> cuts, size_t max) {
    ChunkSplitter splitter(std::make_shared<ChunkedText>(ChunkedText{std::move(body), std::move(cuts)}));
    std::vector<std::string> out;
    std::string buffer(max, '\0');
    while (size_t n = splitter.next(&buffer[0], max)) out.push_back(buffer.substr(0, n));
    return out;
}

}  // namespace

TEST(ChunkSplitter, PiecesEndOnTheLastCutPointThatFits) {
    EXPECT_EQ(pieces("0123456789", {3, 6, 8}, 7), (std::vector<std::string>{"012345", "6789"}));
    EXPECT_EQ(pieces("0123456789", {3, 6}, 100), (std::vector<std::string>{"0123456789"}));
    EXPECT_EQ(pieces("0123456789", {6, 3, 50}, 5), (std::vector<std::string>{"012", "345", "6789"}))
        << "unsorted and out-of-range cut points";
}

TEST(ChunkSplitter, CutsAnywhereRatherThanStallWhenNoCutPointFits) {
    EXPECT_EQ(pieces("0123456789", {8}, 4), (std::vector<std::string>{"0123", "4567", "89"}));
    EXPECT_TRUE(pieces("", {}, 4).empty());
}
