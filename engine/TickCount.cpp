// The millisecond counter over the monotonic clock.
#include "engine/TickCount.h"

#include <chrono>

namespace {

TickSource tickSource = nullptr;

uint32_t systemTickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

} // namespace

uint32_t getTickCount() {
    return tickSource != nullptr ? tickSource() : systemTickCount();
}

void setTickSource(TickSource source) {
    tickSource = source;
}
