// The show's two clocks, written once: the video frame clock of video mode (and of every
// exact stepping: skips, seeks, renders) and the frame slots of real-time playback.
#pragma once

#include "app/SceneTable.h"
#include "effects/Effect.h"
#include "engine/Timer.h"

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

// The ticks at which video frame k is drawn: those after frame k - 1, and 0 for frame 0.
inline int videoFrameDrawnAt(int64_t frame) {
    return frame <= 0 ? 0 : videoFrameTicks(frame - 1);
}

// The clock readings for video frame k, as the video frame clock gives them: the clock has
// been set to the ticks of frame k - 1 and then of frame k, and the readings depend on those
// two settings alone (frame 0 follows the start's two settings to tick 0).
inline FrameTime videoFrameTime(int64_t frame) {
    Timer clock;
    clock.start();
    clock.setTicks(videoFrameDrawnAt(frame - 1));
    clock.setTicks(videoFrameDrawnAt(frame));
    return {clock.getTicks(), clock.getTickDelta(), clock.getTimeDelta()};
}

// The video frame shown at `ticks`: the last frame k whose time in the video, the ticks after
// it (k / 31 s), is at or before `ticks`. That is the frame a render lists at those ticks.
inline int64_t videoFrameAt(int ticks) {
    if (ticks <= 0) return 0;
    int64_t frame = static_cast<int64_t>(ticks) * 31 / 71;
    while (videoFrameTicks(frame + 1) <= ticks)
        ++frame;
    while (frame > 0 && videoFrameTicks(frame) > ticks)
        --frame;
    return frame;
}

// The number of frames of the whole show in video mode: the last one is drawn at or after the
// show's end tick, where the last scene hands on (27,902 frames).
inline int64_t videoFrameCount() {
    int64_t last = videoFrameAt(showEndTicks);
    while (videoFrameDrawnAt(last) < showEndTicks)
        ++last;
    return last + 1;
}

// The first video frame drawn at or after `ticks` (frame 0 for any tick up to 0).
inline int64_t firstVideoFrameAt(int ticks) {
    if (ticks <= 0) return 0;
    // A guess from the rate, then the exact answer from the frame clock itself.
    int64_t frame = static_cast<int64_t>(ticks * static_cast<double>(videoFrameRate) / 71.0);
    while (frame > 1 && videoFrameDrawnAt(frame - 1) >= ticks)
        --frame;
    while (videoFrameDrawnAt(frame) < ticks)
        ++frame;
    return frame;
}

// The tick where the scene (0 to 8) begins: the end tick of the one before, 0 for the first.
inline int sceneStartTicks(int scene) {
    return scene <= 0 ? 0 : sceneEndTicks[scene - 1];
}

// The first video frame the scene (0 to 8) draws: the frame on which the scene before reaches
// its end only hands on, still showing that scene's picture; the next one is the scene's own.
inline int64_t sceneFirstFrame(int scene) {
    return scene <= 0 ? 0 : firstVideoFrameAt(sceneStartTicks(scene)) + 1;
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
