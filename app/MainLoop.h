// The native main loop over a run, and the pieces of a frame every driver shares.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

class Run;
class Timer;

// Steps the run until it ends, waiting for each frame slot as the run asks (mostly asleep:
// waitForTickCount).
void runMainLoop(Run& run);

// The clock's readings for the frame about to be drawn.
FrameTime frameTime(Timer& timer);

// Blacks rows 0-7 and 472-479 and pixels 0-6 and 633-639 of every row of the surface.
void drawBorder(uint8_t* pixels);
