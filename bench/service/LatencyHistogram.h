#pragma once
// Reply times in 50-microsecond buckets up to 10 s (anything longer lands
// in the last bucket), so percentiles of millions of requests cost a fixed
// amount of memory.
#include <cstdint>
#include <vector>

class LatencyHistogram {
public:
    static constexpr int64_t kBucketUs = 50;
    static constexpr int64_t kMaxUs = 10'000'000;

    LatencyHistogram();
    void record(int64_t micros);
    void merge(const LatencyHistogram& other);
    void clear();
    uint64_t count() const { return count_; }
    // Upper edge of the bucket holding the p-th fraction (0..1), in ms.
    double percentileMs(double p) const;
    double maxMs() const { return static_cast<double>(maxUs_) / 1000.0; }

private:
    std::vector<uint32_t> buckets_;
    uint64_t count_ = 0;
    int64_t maxUs_ = 0;
};
