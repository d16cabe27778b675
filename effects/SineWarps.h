// The three sine-warp effects: each frame they paint random target pixels from an image seen
// through moving sine and cosine waves, soften each target with the five-point blur, and step
// through an ordered list of images so the pictures dissolve into one another.
#pragma once

#include "effects/Effect.h"
#include "effects/SineWarpCommon.h"

#include <cstdint>

// Scenes 3 and 4: dovari7 back to dovari1, with a mix strength that changes over time.
struct SineWarpState {
    int warpIndex = 0;             // position in the image list
    int warpClock = 0;             // ticks since the last list step
    float warpPrevOdds = 100.0f;   // previous image used with odds 1 in trunc(odds)
    float warpCount = 0.0f;        // target pixels per call, rounded up
    float warpMixLevel = 10000.0f; // governs how strongly the source colour is mixed in
    float warpPhase = 0.0f;        // radians
    WaveMemos memos;               // this call's source coordinates
};
void sineWarp(SineWarpState& s, EffectContext& e, uint8_t* buffer, int width, int height);

// Scenes 4 and 5: dovari1 through a sharper, faster wave, mixed half and half.
struct SineSweepState {
    int sweepIndex = 0;
    int sweepClock = 0;
    float sweepPrevOdds = 100.0f;
    float sweepPhase = 0.0f;
    float sweepSpeed = 0.008f; // phase advance per tick
    WaveMemos memos;
};
void sineSweep(SineSweepState& s, EffectContext& e, uint8_t* buffer, int width, int height);

// Scenes 7 and 8: rozerid8 to rozerid12 into the target, with a wave that grows over time.
struct BreathingWarpState {
    int breathIndex = 0;
    float breathClock = 0.0f;
    float breathCount = 0.0f; // target pixels per call, rounded up
    float breathAmp = 25.0f;  // divisor of the wave size
    float breathPhase = 0.0f;
    WaveMemos memos;
};
void breathingWarp(BreathingWarpState& s, EffectContext& e, uint8_t* target,
                   const uint8_t* firstImage, int width, int height);

// The breathing warp's scale towards the top-left corner for a frame's tick delta.
float breathingScale(int dt);
