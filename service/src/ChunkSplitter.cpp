#include "ChunkSplitter.h"

#include <algorithm>
#include <cstring>

namespace tarvonet {

ChunkSplitter::ChunkSplitter(std::shared_ptr<const ChunkedText> body)
    : body_(std::move(body)), cuts_(&body_->cutPoints) {
    if (!std::is_sorted(cuts_->begin(), cuts_->end())) {
        sortedCopy_ = *cuts_;
        std::sort(sortedCopy_.begin(), sortedCopy_.end());
        cuts_ = &sortedCopy_;
    }
}

size_t ChunkSplitter::next(char* out, size_t max) {
    const std::string& text = body_->text;
    if (finished() || max == 0) return 0;
    size_t limit = pos_ + max;
    size_t end = text.size();
    if (limit < text.size()) {
        // The last cut point after pos_ and not beyond the limit.
        auto last = std::upper_bound(cuts_->begin(), cuts_->end(), limit);
        end = (last != cuts_->begin() && *(last - 1) > pos_) ? *(last - 1) : limit;
    }
    size_t length = end - pos_;
    std::memcpy(out, text.data() + pos_, length);
    pos_ = end;
    return length;
}

}  // namespace tarvonet
