#include <gtest/gtest.h>

#include "ChunkSplitter.h"

using namespace tarvonet;

namespace {

std::shared_ptr<const ChunkedText> text(std::string body, std::vector<size_t> cuts) {
    return std::make_shared<ChunkedText>(ChunkedText{std::move(body), std::move(cuts)});
}

std::vector<std::string> drain(ChunkSplitter& splitter, size_t max) {
    std::vector<std::string> pieces;
    std::string buffer(max, '\0');
    while (!splitter.finished()) {
        size_t n = splitter.next(&buffer[0], max);
        if (n == 0) break;
        pieces.push_back(buffer.substr(0, n));
    }
    return pieces;
}

}  // namespace

TEST(ChunkSplitter, WholeBodyInOnePieceWhenItFits) {
    ChunkSplitter splitter(text("abcdefgh", {2, 5}));
    auto pieces = drain(splitter, 100);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0], "abcdefgh");
}

TEST(ChunkSplitter, PiecesEndOnTheLastCutPointThatFits) {
    ChunkSplitter splitter(text("0123456789", {3, 6, 8}));
    auto pieces = drain(splitter, 7);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], "012345");
    EXPECT_EQ(pieces[1], "6789");
}

TEST(ChunkSplitter, CutsAnywhereRatherThanStallWhenNoCutPointFits) {
    ChunkSplitter splitter(text("0123456789", {8}));
    auto pieces = drain(splitter, 4);
    ASSERT_GE(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], "0123");
    std::string joined;
    for (auto& p : pieces) joined += p;
    EXPECT_EQ(joined, "0123456789");
}

TEST(ChunkSplitter, IgnoresUnsortedDuplicateAndOutOfRangeCutPoints) {
    ChunkSplitter splitter(text("0123456789", {50, 6, 0, 3, 6, 10}));
    auto pieces = drain(splitter, 5);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], "012");
    EXPECT_EQ(pieces[1], "345");
    EXPECT_EQ(pieces[2], "6789");
}

TEST(ChunkSplitter, EmptyBodyIsFinishedAtOnce) {
    ChunkSplitter splitter(text("", {}));
    EXPECT_TRUE(splitter.finished());
    char c;
    EXPECT_EQ(splitter.next(&c, 1), 0u);
}
