// The system millisecond counter: an unsigned 32-bit count that wraps around.
#pragma once

#include <cstdint>

// Milliseconds from a monotonic clock, modulo 2^32. Differences of two readings taken as
// uint32_t are right across a wrap.
uint32_t getTickCount();

// Returns once getTickCount() - since is at least length (both in ms, unsigned 32-bit
// differences), as a busy-wait on the counter would, but sleeping: on the system counter it
// sleeps until shortly before the moment the count reaches its goal and spins only the rest
// (at most about half a millisecond); with a test's counter it polls, yielding in between.
void waitForTickCount(uint32_t since, uint32_t length);

// Tests replace the counter with a clock of their own; null restores the system one.
using TickSource = uint32_t (*)();
void setTickSource(TickSource source);
