// The show clock on a counter the test controls: tick conversions, setTicks steps, wrap-around.
#include "engine/Timer.h"

#include "engine/Error.h"
#include "engine/TickCount.h"

#include <gtest/gtest.h>

#include <string>

namespace {

uint32_t fakeNow = 0; // the counter reading the timer sees, in ms

uint32_t fakeClock() {
    return fakeNow;
}

class TimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fakeNow = 5000;
        setTickSource(fakeClock);
    }
    void TearDown() override { setTickSource(nullptr); }

    // Starts the timer, lets ms pass and updates.
    void runFor(uint32_t ms) {
        timer.start();
        fakeNow += ms;
        timer.update();
    }

    Timer timer;
};

TEST_F(TimerTest, StartReadsZero) {
    fakeNow += 123;
    timer.start();
    EXPECT_TRUE(timer.isRunning());
    EXPECT_EQ(timer.getTicks(), 0);
    EXPECT_EQ(timer.getTime(), 0);
    EXPECT_EQ(timer.getTimeDelta(), 0);
}

TEST_F(TimerTest, MillisecondsToTicksRoundThroughFloat) {
    runFor(1000);
    EXPECT_EQ(timer.getTicks(), 71) << "1000 ms are 71 ticks";
    EXPECT_EQ(timer.getTime(), 1000);
    runFor(500);
    EXPECT_EQ(timer.getTicks(), 35) << "500 ms are 35.5 ticks, truncated";
    runFor(152169);
    EXPECT_EQ(timer.getTicks(), 10804) << "10,803.9995 is stored as the float 10,804.0";
    EXPECT_EQ(timer.getTickDelta(), 10804) << "the delta uses the same conversion";
    EXPECT_EQ(timer.getTimeDelta(), 152169);
    runFor(134507);
    EXPECT_EQ(timer.getTicks(), 9549) << "9,549.997 stays below 9,550 as a float";
}

TEST_F(TimerTest, TickDeltaTruncates) {
    timer.start();
    fakeNow += 27;
    timer.update();
    EXPECT_EQ(timer.getTickDelta(), 1) << "27 ms are 1.9 ticks, read as 1";
    fakeNow += 10;
    timer.update();
    EXPECT_EQ(timer.getTickDelta(), 0) << "a frame shorter than a tick reads as 0";
    EXPECT_EQ(timer.getTicks(), 2) << "37 ms are 2.6 ticks";
}

TEST_F(TimerTest, CounterWrapAround) {
    fakeNow = 0xFFFFFF00u;
    timer.start();
    fakeNow += 1000; // wraps past 2^32
    timer.update();
    EXPECT_EQ(timer.getTime(), 1000) << "elapsed time across the counter's wrap";
    EXPECT_EQ(timer.getTicks(), 71);
    EXPECT_EQ(timer.getTimeDelta(), 1000) << "delta across the wrap";
}

TEST_F(TimerTest, SetTicksSequence) {
    timer.start();
    timer.setTicks(0);
    EXPECT_EQ(timer.getTimeDelta(), -5000)
        << "the first setTicks after start subtracts the counter reading start kept";
    timer.setTicks(0);
    EXPECT_EQ(timer.getTimeDelta(), 0) << "the second setTicks(0) gives a time delta of 0";
    EXPECT_EQ(timer.getTickDelta(), 0) << "and a tick delta of 0";

    timer.setTicks(71);
    EXPECT_EQ(timer.getTicks(), 71);
    EXPECT_EQ(timer.getTime(), 1000) << "71 ticks are 1000 ms";
    EXPECT_EQ(timer.getTickDelta(), 71);
    EXPECT_EQ(timer.getTimeDelta(), 1000);

    fakeNow += 500;
    timer.update();
    EXPECT_EQ(timer.getTime(), 1500) << "update continues in real time from the set position";
    EXPECT_EQ(timer.getTicks(), 106);

    timer.setTicks(1);
    EXPECT_EQ(timer.getTime(), 14) << "1 tick is 14.08 ms, truncated";
}

TEST_F(TimerTest, SetTimeAndTickDue) {
    timer.start();
    timer.setTime(1000);
    EXPECT_EQ(timer.getTicks(), 71);
    EXPECT_EQ(timer.getTime(), 1000);

    timer.start();
    fakeNow += 75;
    timer.update(); // 5.325 ticks recorded
    EXPECT_FALSE(timer.isTickDue()) << "no new tick right after an update";
    fakeNow += 9; // 84 ms: 5.96 ticks
    EXPECT_FALSE(timer.isTickDue()) << "5 whole ticks do not exceed 5.325";
    fakeNow += 1; // 85 ms: 6.035 ticks
    EXPECT_TRUE(timer.isTickDue()) << "the 6th whole tick has begun";
}

TEST_F(TimerTest, UpdateWhenStoppedThrows) {
    auto expectNotStarted = [this](const char* when) {
        try {
            timer.update();
            ADD_FAILURE() << "update must throw " << when;
        } catch (const Error& e) {
            EXPECT_EQ(e.text(), "An attempt was made to use the timer before it was started!")
                << when << ": the timer's own message is what the user sees";
            EXPECT_NE(e.reason().find("stopped"), std::string::npos)
                << when << ": the reason says the timer was stopped (" << e.reason() << ")";
            EXPECT_FALSE(e.shown()) << when << ": nobody has shown it yet";
        }
    };
    expectNotStarted("before start");

    runFor(1000);
    timer.stop();
    EXPECT_FALSE(timer.isRunning());
    fakeNow += 1000;
    expectNotStarted("after stop");
    EXPECT_EQ(timer.getTicks(), 71) << "the failed update changes nothing";
    EXPECT_EQ(timer.getTime(), 1000);
}

TEST(TimerInstance, IsOneObject) {
    Timer* first = Timer::instance();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Timer::instance(), first) << "later calls return the same timer";
}

} // namespace
