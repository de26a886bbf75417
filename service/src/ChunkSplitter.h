#pragma once
// Hands out a chunked reply's body piece by piece, each piece ending at one
// of the body's cut points (or at the end of the body).
#include <cstddef>
#include <memory>
#include <vector>

#include "Reply.h"

namespace tarvonet {

class ChunkSplitter {
public:
    explicit ChunkSplitter(std::shared_ptr<const ChunkedText> body);

    bool finished() const { return pos_ >= body_->text.size(); }
    size_t position() const { return pos_; }
    // Copies the longest next piece of at most `max` bytes that ends on a
    // cut point or at the end into `out`; returns its length. When no cut
    // point fits, a piece of `max` bytes is cut anyway rather than stalling.
    // Returns 0 only when finished or `max` is 0.
    size_t next(char* out, size_t max);

private:
    std::shared_ptr<const ChunkedText> body_;
    std::vector<size_t> sortedCopy_;     // only if the given cut points were unsorted
    const std::vector<size_t>* cuts_;    // ascending
    size_t pos_ = 0;
};

}  // namespace tarvonet
