// The system millisecond counter: an unsigned 32-bit count that wraps around.
#pragma once

#include <cstdint>

// Milliseconds from a monotonic clock, modulo 2^32. Differences of two readings taken as
// uint32_t are right across a wrap.
uint32_t getTickCount();

// Tests replace the counter with a clock of their own; null restores the system one.
using TickSource = uint32_t (*)();
void setTickSource(TickSource source);
