// The main loop: one frame per pass, paced in real time or written as a video frame.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

class Show;
class Timer;

extern float videoFrameCount; // frames written in video mode so far

// Steps show one frame per pass until it is over, the display asks to quit, or end= is reached.
void runMainLoop(Show& show);

// The clock's readings for the frame about to be drawn.
FrameTime frameTime(Timer& timer);

// Blacks rows 0-7 and 472-479 and pixels 0-6 and 633-639 of every row of the surface.
void drawBorder(uint8_t* pixels);
// Normal mode: busy-waits for the end of the 32 ms frame slot (25 ms inside scene 4).
void paceFrame();

// The ticks after video frame count, and the progress in percent for those ticks.
int videoTicks(float frameCount, float frameRate);
int videoProgress(int ticks);
