// Video pacing: quality from the budget, frame rate from the measured bytes
// per picture, refusal once a second's budget is spent.
#include <gtest/gtest.h>

#include "trvcore/trvnetwork/VideoEncoderControl.h"
#include "trvcore/trvnetwork/VideoRateController.h"

namespace {

class FakeEncoder : public VideoEncoderControl {
public:
    double quality() const override { return quality_; }
    void setQuality(double q) override {
        quality_ = q;
        ++qualityChanges;
    }
    double frameRateFraction() const override { return fraction_; }
    void setFrameRateFraction(double f) override { fraction_ = f; }
    int qualityChanges = 0;

private:
    double quality_ = 0.0;
    double fraction_ = 1.0;
};

}  // namespace

TEST(PeerVideoRate, QualityStepsWithTheBudgetAndNoBudgetCodesNothing) {
    EXPECT_EQ(0.25, VideoRateController::qualityFor(100));
    EXPECT_EQ(0.5, VideoRateController::qualityFor(100.5));
    EXPECT_EQ(0.75, VideoRateController::qualityFor(750));
    EXPECT_EQ(1.0, VideoRateController::qualityFor(751));
    VideoRateController v;
    FakeEncoder e;
    EXPECT_FALSE(v.decide(0.0, 0.0, 1.0, &e));
    EXPECT_EQ(0, e.qualityChanges);
    v.decide(600, 0.0, 1.0, &e);
    v.decide(600, 0.0, 1.1, &e);
    EXPECT_EQ(0.75, e.quality());
    EXPECT_EQ(1, e.qualityChanges);  // set only when it changes
}

TEST(PeerVideoRate, FrameRateIsTheBudgetOverTheBytesAPictureTakes) {
    VideoRateController v;
    FakeEncoder e;
    // 100 kbit/s = 12500 bytes/s; 8000 bit/s sent at 1 frame/s = 1000 bytes
    // a picture: 12 frames a second fit.
    EXPECT_TRUE(v.decide(100, 8000.0, 10.0, &e));
    EXPECT_EQ(12, v.frameRate());
    EXPECT_DOUBLE_EQ(0.5, e.frameRateFraction());
    // Nothing measured: the full 24.
    VideoRateController fresh;
    EXPECT_TRUE(fresh.decide(100, 0.0, 10.0, &e));
    EXPECT_EQ(24, fresh.frameRate());
}

TEST(PeerVideoRate, BudgetBelowOnePictureASecondRefusesAndStartsOver) {
    VideoRateController v;
    // 10 kbit/s = 1250 bytes/s; pictures of 2000 bytes do not fit once.
    EXPECT_FALSE(v.decide(10, 16000.0, 10.0, nullptr));
    EXPECT_EQ(1, v.frameRate());
    EXPECT_EQ(0.0, v.frameBytesAverage());
}

TEST(PeerVideoRate, RefusesWhileThisSecondsBytesExceedTheBudgetUntilTheSecondTurns) {
    VideoRateController v;
    const double t = 10.0;
    EXPECT_TRUE(v.decide(8, 0.0, t, nullptr));  // 1000 bytes/s
    v.countVideoBytes(1001);
    EXPECT_FALSE(v.decide(8, 0.0, t + 0.1, nullptr));
    // Four 250 ms steps make a second and clear the count.
    for (int i = 1; i <= 4; ++i) v.decide(8, 0.0, t + 0.25 * i + 0.01, nullptr);
    EXPECT_EQ(0u, v.videoBytesThisSecond());
    EXPECT_TRUE(v.decide(8, 0.0, t + 1.3, nullptr));
}
