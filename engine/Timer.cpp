// The show clock. Conversions follow one rule: ticks = ms * 0.001f * tickRate evaluated in
// double and stored as float; ms = ticks / tickRate * 1000 in double; integers truncate.
#include "engine/Timer.h"

#include "engine/Error.h"
#include "engine/Exception.h"
#include "engine/TickCount.h"

#include <new>

namespace {

Timer* timerInstance = nullptr;
bool timerCreated = false;

// The single-precision 0.001 (0.0010000000474974513), widened where it multiplies.
constexpr double msToSeconds = static_cast<double>(0.001f);

float msToTicks(double ms, float tickRate) {
    return static_cast<float>(ms * msToSeconds * static_cast<double>(tickRate));
}

double ticksToMs(double ticks, float tickRate) {
    return ticks / static_cast<double>(tickRate) * 1000.0;
}

} // namespace

Timer* Timer::instance() {
    if (!timerCreated) {
        timerInstance = new (std::nothrow) Timer();
        timerCreated = true;
    }
    return timerInstance;
}

Timer::Timer() = default;

Timer::~Timer() = default;

void Timer::start() {
    const uint32_t c = getTickCount();
    lastCount = c;
    startCount = c;
    running = true;
    wholeTicks = 0;
    elapsedTicks = 0.0f;
    elapsedMs = 0;
    deltaMs = 0;
}

void Timer::stop() {
    running = false;
}

void Timer::update() {
    if (!isRunning())
        throw Error(timerNotStartedMessage, "Timer::update was called while the timer was stopped");
    const uint32_t c1 = getTickCount();
    elapsedMs = static_cast<int32_t>(c1 - startCount);
    const uint32_t c2 = getTickCount();
    const uint32_t d = c2 - lastCount;
    deltaMs = static_cast<int32_t>(d);
    elapsedTicks = msToTicks(elapsedMs, tickRate);
    deltaTicks = msToTicks(d, tickRate);
    lastCount = getTickCount();
}

void Timer::setTicks(int ticks) {
    const float f = static_cast<float>(ticks);
    elapsedTicks = f;
    elapsedMs = static_cast<int32_t>(ticksToMs(f, tickRate));
    deltaMs = static_cast<int32_t>(static_cast<uint32_t>(elapsedMs) - lastCount);
    deltaTicks = f - static_cast<float>(wholeTicks);
    wholeTicks = static_cast<int32_t>(f);
    const double u = getTickCount();
    // The difference may leave 0...2^32 when the counter is young; wrap it like the counter.
    startCount = static_cast<uint32_t>(static_cast<int64_t>(u - ticksToMs(f, tickRate)));
    lastCount = static_cast<uint32_t>(static_cast<int64_t>(ticksToMs(wholeTicks, tickRate)));
}

void Timer::setTime(int ms) {
    elapsedTicks = msToTicks(ms, tickRate);
    deltaMs = static_cast<int32_t>(static_cast<uint32_t>(ms) - lastCount);
    elapsedMs = ms;
    lastCount = static_cast<uint32_t>(ms);
    startCount = getTickCount() - static_cast<uint32_t>(ms);
    wholeTicks = static_cast<int32_t>(msToTicks(elapsedMs, tickRate));
}

int Timer::getTicks() {
    return static_cast<int>(elapsedTicks);
}

int Timer::getTickDelta() {
    return static_cast<int>(deltaTicks);
}

int Timer::getTime() {
    return elapsedMs;
}

int Timer::getTimeDelta() {
    return deltaMs;
}

bool Timer::isRunning() {
    return running;
}

bool Timer::isTickDue() {
    const uint32_t elapsed = getTickCount() - startCount;
    const int n = static_cast<int>(static_cast<double>(elapsed) * msToSeconds *
                                   static_cast<double>(tickRate));
    return static_cast<double>(n) > static_cast<double>(elapsedTicks);
}
