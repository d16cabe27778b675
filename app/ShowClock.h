// The show's two clocks, written once: the video frame clock of video mode (and of every
// exact stepping: skips, seeks, renders) and the frame slots of real-time playback.
#pragma once

#include "app/SceneTable.h"

#include <cstdint>

// Frames per second of video mode, a single-precision value as the frame count is.
constexpr float videoFrameRate = 31.0f;

// The show ends at this tick (71 ticks per second); the frame drawn at or after it is its last.
constexpr int showEndTicks = sceneEndTicks[sceneCount - 1];

// The ticks after video frame k: trunc(71 / rate x k) in double precision from the float rate
// and the float frame count. Frames 0 and 1 are both drawn at tick 0, frame k >= 1 at the ticks
// after frame k - 1.
inline int videoFrameTicks(int64_t frame) {
    return static_cast<int>(71.0 / static_cast<double>(videoFrameRate) *
                            static_cast<double>(static_cast<float>(frame)));
}

// The share of the show's 63,900 ticks that `ticks` reaches, in whole percent (the float
// nearest 1/63,900, slightly below it, in double precision).
inline int videoProgress(int ticks) {
    return static_cast<int>(ticks * static_cast<double>(1.5649452e-5f) * 100.0);
}

// Real-time playback: the length of the frame slot that begins with a frame drawn at `ticks`,
// in ms: 25 in the middle of scene 4 (27,000 < t < 41,000), else 32.
inline uint32_t frameSlotMs(int ticks) {
    return (27000 < ticks && ticks < 41000) ? 25u : 32u;
}
