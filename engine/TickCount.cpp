// The millisecond counter over the monotonic clock.
#include "engine/TickCount.h"

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// How long before the goal the sleep ends; the rest is spun. Covers the usual lateness of a
// sleeping thread's wake-up (tens of microseconds, more on a busy machine).
constexpr std::chrono::microseconds spinAhead{400};

TickSource tickSource = nullptr;

int64_t wholeMilliseconds(Clock::time_point at) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
}

uint32_t systemTickCount() {
    return static_cast<uint32_t>(static_cast<uint64_t>(wholeMilliseconds(Clock::now())));
}

} // namespace

uint32_t getTickCount() {
    return tickSource != nullptr ? tickSource() : systemTickCount();
}

void setTickSource(TickSource source) {
    tickSource = source;
}

void waitForTickCount(uint32_t since, uint32_t length) {
    if (tickSource != nullptr) {
        while (getTickCount() - since < length)
            std::this_thread::yield();
        return;
    }
    // The count reaches since + length exactly when the clock enters that millisecond.
    const Clock::time_point now = Clock::now();
    const int64_t nowMs = wholeMilliseconds(now);
    const uint32_t elapsed = static_cast<uint32_t>(static_cast<uint64_t>(nowMs)) - since;
    if (elapsed >= length) return;
    const Clock::time_point goal{std::chrono::milliseconds(nowMs + (length - elapsed))};
    if (goal - spinAhead > now) std::this_thread::sleep_until(goal - spinAhead);
    while (Clock::now() < goal) {
    }
}
