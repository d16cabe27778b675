// Which frames of the show an export writes: start= and end= on the show's video clock
// (app/ShowClock.h).
#pragma once

#include <cstdint>
#include <string>

struct ExportClip {
    int64_t firstFrame = 0; // the first frame written: the first whose ticks reach start=
    int64_t frameCount = 0; // frames the show hands over before it ends or reaches end=
    std::string problem;    // "" or why start= and end= cannot be met (also: no frame at all)
};
// startTicks, endTicks: -1 when the word is absent.
ExportClip exportClip(int startTicks, int endTicks);
