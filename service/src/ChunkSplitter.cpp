#include "ChunkSplitter.h"

#include <algorithm>
#include <cstring>

namespace tarvonet {

ChunkSplitter::ChunkSplitter(std::string body, std::vector<size_t> cutPoints)
    : body_(std::move(body)), cuts_(std::move(cutPoints)) {
    std::sort(cuts_.begin(), cuts_.end());
    cuts_.erase(std::remove_if(cuts_.begin(), cuts_.end(),
                               [this](size_t c) { return c == 0 || c >= body_.size(); }),
                cuts_.end());
    cuts_.erase(std::unique(cuts_.begin(), cuts_.end()), cuts_.end());
}

size_t ChunkSplitter::next(char* out, size_t max) {
    if (finished() || max == 0) return 0;
    size_t limit = pos_ + max;
    size_t end;
    if (limit >= body_.size()) {
        end = body_.size();
    } else {
        while (cutIndex_ < cuts_.size() && cuts_[cutIndex_] <= pos_) ++cutIndex_;
        // Last cut point not beyond the limit.
        auto it = std::upper_bound(cuts_.begin() + static_cast<std::ptrdiff_t>(cutIndex_), cuts_.end(), limit);
        if (it == cuts_.begin() + static_cast<std::ptrdiff_t>(cutIndex_)) {
            end = limit;
        } else {
            end = *(it - 1);
        }
    }
    size_t length = end - pos_;
    std::memcpy(out, body_.data() + pos_, length);
    pos_ = end;
    return length;
}

}  // namespace tarvonet
