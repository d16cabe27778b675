// The program's spine: start-up, set-up, shut-down, the catch-all and the exit routine.
#pragma once

#include <cstdint>
#include <string>

class Display;
class Surface;
class FrameSink;
class Show;

extern bool videoMode;         // off-line export instead of real-time playback
extern bool soundOn;           // the music is loaded and played
extern Display* display;       // owned; made by setUp, deleted by tearDown
extern Surface* surface;       // owned; the 640 x 480, 32-bit picture the display shows
extern uint8_t* frameBuffer24; // video mode: 640 x 480 x 3 bytes, blue green red, top row first
extern FrameSink* aviWriter;   // video mode: owned; deleted by whichever shut-down path is first
extern float videoFrameRate;   // frames per second of the export
extern int endTicks;           // end=N: the loop leaves once the clock reaches N; -1 = never
extern Show* show;             // owned; made by prepareData, deleted by tearDown
extern int startTicks;         // start=N: playback begins at tick N (0 to 63899); -1 = at 0

// Makes video mode's frame sink over the 24-bit frame buffer: by default the AVI writer. A
// headless tool puts its own in its place. soundStream is null when sound is off.
using VideoSinkMaker = FrameSink* (*)(const std::string& commandLine, uint8_t* frameBuffer24,
                                      uint32_t* soundStream);
void setVideoSinkMaker(VideoSinkMaker maker);

// Reads video mode, sound and the extra words (end=, start=, windowed, scale=fit) from the
// command line.
void readCommandLine(const std::string& commandLine);
// Creates the debug, exception and file servers; a failure shows its box and exits with 3.
void createServers();
// Out-of-memory handler, projection tables, the pack.
void openPack(const std::string& packName);
// openPack, then the show with its sixteen pictures.
void prepareData(const std::string& packName);
void setUp();
void tearDown();
// Starts the clock and makes the two steps before the first frame.
void startClock();
// After the main loop: the writer, the display, the clock, the music, the handles.
void shutDown();

// The exit routine: deletes the writer if it still exists, stops the music, shows the credits.
int onProcessExit();
const char* creditsText();

// The whole program for a command line; returns 0.
int demoMain(const std::string& commandLine);
