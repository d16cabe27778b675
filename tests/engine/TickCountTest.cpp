// The millisecond counter's wait for the end of a frame slot: never early, across the wrap,
// on the system counter and on a test's counter.
#include "engine/TickCount.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

uint32_t fakeNow = 0;
int fakeReads = 0;

// A counter that moves on by one millisecond every third reading.
uint32_t slowFakeClock() {
    if (++fakeReads % 3 == 0) ++fakeNow;
    return fakeNow;
}

TEST(WaitForTickCount, OnTheSystemCounterItEndsWhenTheSlotHasPassedNeverBefore) {
    for (uint32_t length : {0u, 1u, 2u, 7u, 25u, 32u}) {
        const uint32_t since = getTickCount();
        const auto began = std::chrono::steady_clock::now();
        waitForTickCount(since, length);
        const uint32_t after = getTickCount();
        const double waited =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began)
                .count();
        EXPECT_GE(after - since, length) << "the counter has moved on by " << length << " ms";
        EXPECT_GT(waited, length - 1.0) << "and at least " << length << " - 1 ms have passed";
    }
}

TEST(WaitForTickCount, ASlotAlreadyOverReturnsAtOnce) {
    const uint32_t now = getTickCount();
    waitForTickCount(now - 100, 32);
    EXPECT_LT(getTickCount() - now, 5u) << "a slot that ended 68 ms ago does not wait";
}

TEST(WaitForTickCount, OnATestCounterItPollsAcrossTheWrap) {
    fakeNow = 0xFFFFFFF0u;
    fakeReads = 0;
    setTickSource(slowFakeClock);
    waitForTickCount(0xFFFFFFF0u, 32);
    const uint32_t reached = fakeNow;
    setTickSource(nullptr);
    EXPECT_EQ(reached, 0x10u) << "the wait ends when the wrapped counter is 32 ms on, exactly";
}

} // namespace
