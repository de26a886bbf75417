#pragma once
// Hands out a chunked reply's body piece by piece, each piece ending at one
// of the reply's cut points (or at the end of the body).
#include <cstddef>
#include <string>
#include <vector>

namespace tarvonet {

class ChunkSplitter {
public:
    ChunkSplitter(std::string body, std::vector<size_t> cutPoints);

    bool finished() const { return pos_ >= body_.size(); }
    size_t position() const { return pos_; }
    // Copies the longest next piece of at most `max` bytes that ends on a
    // cut point or at the end into `out`; returns its length. When no cut
    // point fits, a piece of `max` bytes is cut anyway rather than stalling.
    // Returns 0 only when finished or `max` is 0.
    size_t next(char* out, size_t max);

private:
    std::string body_;
    std::vector<size_t> cuts_;  // sorted, within (0, body size)
    size_t pos_ = 0;
    size_t cutIndex_ = 0;  // first cut point beyond pos_
};

}  // namespace tarvonet
