#include "LatencyHistogram.h"

#include <algorithm>

LatencyHistogram::LatencyHistogram() : buckets_(static_cast<size_t>(kMaxUs / kBucketUs) + 1, 0) {}

void LatencyHistogram::record(int64_t micros) {
    if (micros < 0) micros = 0;
    size_t bucket = static_cast<size_t>(std::min(micros, kMaxUs) / kBucketUs);
    ++buckets_[bucket];
    ++count_;
    maxUs_ = std::max(maxUs_, micros);
}

void LatencyHistogram::merge(const LatencyHistogram& other) {
    for (size_t i = 0; i < buckets_.size(); ++i) buckets_[i] += other.buckets_[i];
    count_ += other.count_;
    maxUs_ = std::max(maxUs_, other.maxUs_);
}

void LatencyHistogram::clear() {
    std::fill(buckets_.begin(), buckets_.end(), 0);
    count_ = 0;
    maxUs_ = 0;
}

double LatencyHistogram::percentileMs(double p) const {
    if (count_ == 0) return 0.0;
    uint64_t rank = static_cast<uint64_t>(p * static_cast<double>(count_));
    if (rank >= count_) rank = count_ - 1;
    uint64_t seen = 0;
    for (size_t i = 0; i < buckets_.size(); ++i) {
        seen += buckets_[i];
        if (seen > rank) return static_cast<double>((static_cast<int64_t>(i) + 1) * kBucketUs) / 1000.0;
    }
    return maxMs();
}
