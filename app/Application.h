// The program's spine: start-up, set-up, shut-down, the catch-all and the exit routine.
#pragma once

#include <cstdint>
#include <string>

class Display;
class Surface;
class FrameSink;
class Show;
struct ExportOptions;

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

// What the show takes from the platform is chosen by the program's main before demoMain:
// the display (graphics/PlatformDisplay.h), the message-box dialog (engine/MessageBox.h), the
// soundtrack and video mode's frame sink (below). Without a choice the show runs silent and
// headless, and video mode renders its frames without handing them on.

// Makes video mode's frame sink over the 24-bit frame buffer (the AVI writer for the program,
// a hasher for the headless renderer) with the export's options read from the command line.
// soundStream is null when sound is off. A sink that cannot be made shows why and throws.
using VideoSinkMaker = FrameSink* (*)(const ExportOptions& options, uint8_t* frameBuffer24,
                                      uint32_t* soundStream);
void setVideoSinkMaker(VideoSinkMaker maker);

// The soundtrack as the start-up and the exit routine drive it.
struct MusicPlayer {
    // Prepares the stream; captureOnly (video mode) decodes without playing. Throws the
    // integer 0 (no sound output) or 1 (no soundtrack).
    void (*setUp)(bool captureOnly);
    // Starts playing (throws the integer 2); name is not used.
    void (*start)(const char* name);
    // Moves the music to `ms` milliseconds from its start, before or after start.
    void (*seek)(int64_t ms);
    // Stops and releases everything; harmless when repeated or when nothing was set up.
    void (*stop)();
    // The stream handle setUp creates, handed to the video sink for its sound capture.
    uint32_t* stream;
};
void setMusicPlayer(const MusicPlayer& player);
// The soundtrack installed with setMusicPlayer (by default one that does nothing).
const MusicPlayer& musicPlayer();

// Reads video mode, sound and the extra words (end=, start=, windowed, scale=fit) from the
// command line.
void readCommandLine(const std::string& commandLine);
// Creates the debug, exception and file servers; a failure shows its box and throws
// ProgramExit with code 3.
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
// Inside a catch block: tells on standard error why the run failed, where the failure says
// so. False for a failure whose box has already been shown (a ProgramExit), which needs no
// "Sorry.".
bool explainFailure();
const char* creditsText();

// The whole program for a command line. Returns the exit code: 0 for a normal end, "Sorry.",
// Escape or a closed window, a confirmed Cancel or a declined question; 1 after a fatal engine
// or export error; 3 when a service could not be created. The exit routine, registered here,
// runs when the process ends after main returns that code.
int demoMain(const std::string& commandLine);
