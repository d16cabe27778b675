// The main loop: one frame per pass, paced in real time or written as a video frame.
#pragma once

#include "effects/Effect.h"

#include <cstdint>

class Show;
class Timer;

extern float videoFrameCount; // frames written in video mode so far

// Steps show one frame per pass until it is over, the display asks to quit, or end= is reached.
// In playback with start=, first skips to the start (skipToStart), then plays from there.
void runMainLoop(Show& show);

// The clock's readings for the frame about to be drawn.
FrameTime frameTime(Timer& timer);

// start=: steps the show through the frames before `ticks` as fast as it can on the export's
// frame clock (every frame depends on all before it) without drawing or showing them: the
// display shows black and still answers its keys. Then it sets the clock to `ticks`, starts the
// music at the same point and lets the clock run in real time from there. One line on standard
// error says so.
void skipToStart(Show& show, int ticks);

// What waits for the end of each frame slot in playback: paceFrame, unless a benchmark or a
// test puts its own in its place (null restores paceFrame).
using FramePacer = void (*)();
void setFramePacer(FramePacer pacer);

// Blacks rows 0-7 and 472-479 and pixels 0-6 and 633-639 of every row of the surface.
void drawBorder(uint8_t* pixels);
// Normal mode: waits, mostly asleep, for the end of the 32 ms frame slot (25 ms inside
// scene 4), the slot measured on the millisecond counter from the end of the previous one.
void paceFrame();

// The ticks after video frame count, and the progress in percent for those ticks.
int videoTicks(float frameCount, float frameRate);
int videoProgress(int ticks);
