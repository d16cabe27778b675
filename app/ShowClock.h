// The show's two clocks, written once: the video frame clock of video mode (and of every
// exact stepping: skips, seeks, renders) and the frame slots of real-time playback.
#pragma once

#include "app/SceneTable.h"

#include <cstdint>

// Ticks per second of the show's clock.
constexpr int showTicksPerSecond = 71;

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

// The tick video frame k is drawn at: 0 for frames 0 and 1, the ticks after frame k - 1 for
// later ones.
inline int videoFrameDrawTicks(int64_t frame) {
    return frame <= 1 ? 0 : videoFrameTicks(frame - 1);
}

// The first video frame drawn at or after `ticks` (frame 0 for any tick up to 0).
inline int64_t firstVideoFrameAt(int ticks) {
    if (ticks <= 0) return 0;
    // A guess from the rate, then the exact answer from the frame clock itself.
    int64_t frame = static_cast<int64_t>(ticks * static_cast<double>(videoFrameRate) / 71.0);
    while (frame > 1 && videoFrameDrawTicks(frame - 1) >= ticks)
        --frame;
    while (videoFrameDrawTicks(frame) < ticks)
        ++frame;
    return frame;
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
