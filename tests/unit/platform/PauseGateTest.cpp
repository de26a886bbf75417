// The pause gate between a stream's workers and its reconfiguration:
// closed, no worker is inside until it opens; a worker stuck inside only
// delays the closer by the bound it gave.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/Check.h"
#include "platform/PauseGate.h"

TEST(PauseGate, WhileClosedNoWorkerIsInsideAndAStuckOneOnlyDelaysTheCloser) {
    platform::PauseGate gate;
    std::atomic<int> inside{0};
    std::atomic<bool> stop{false}, intruded{false}, closed{false};
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w)
        workers.emplace_back([&] {
            while (!stop) {
                if (platform::PauseGate::Pass pass{gate}) {
                    ++inside;
                    if (closed) intruded = true;
                    std::this_thread::yield();
                    --inside;
                }
            }
        });
    for (int round = 0; round < 2000; ++round) {
        ASSERT_TRUE(gate.close(3000));
        closed = true;
        EXPECT_EQ(inside.load(), 0);
        std::this_thread::yield();
        closed = false;
        gate.open();
    }
    stop = true;
    for (std::thread& t : workers) t.join();
    EXPECT_FALSE(intruded.load());

    ASSERT_TRUE(gate.enter());  // a worker that never leaves
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(gate.close(100));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(90));
    EXPECT_FALSE(gate.enter()) << "still closed after giving up";
    gate.leave();
    gate.open();
    EXPECT_TRUE(gate.enter());
    gate.leave();
}

TEST(Check, AFailureIsCountedEveryTimeAndToldOnce) {
    const unsigned before = platform::checkFailures();
    testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(TRV_CHECK(i < 0, "the host refused"));
    EXPECT_TRUE(TRV_CHECK(true, "never told"));
    const std::string told = testing::internal::GetCapturedStderr();
    EXPECT_EQ(platform::checkFailures() - before, 3u);
    EXPECT_NE(told.find("the host refused"), std::string::npos);
    EXPECT_EQ(told.find("the host refused"), told.rfind("the host refused")) << told;
}
