// Which frames of the show an export writes: the show's clock in video mode, start= and end=.
#pragma once

#include "app/SceneTable.h"

#include <cstdint>
#include <string>

// The show ends at this tick (71 ticks per second); the frame drawn at or after it is its last.
constexpr int kShowEndTicks = sceneEndTicks[sceneCount - 1];

// The ticks after video frame k at 31 frames per second, as the main loop sets its clock:
// the double of 71 / 31 (the rate as a float) times k, truncated. demo-render prints them.
int videoFrameTicks(int64_t frame);

struct ExportClip {
    int64_t firstFrame = 0; // the first frame written: the first whose ticks reach start=
    int64_t frameCount = 0; // frames the show hands over before it ends or reaches end=
    std::string problem;    // "" or why start= cannot be met
};
// startTicks, endTicks: -1 when the word is absent.
ExportClip exportClip(int startTicks, int endTicks);
