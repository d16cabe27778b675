// One run of the program: everything a run of the show owns, from its command line to its exit
// status, in one object that any loop drives one pass at a time.
//
//     Run run(platform);                 // the platform pieces: soundtrack, video sink
//     if (run.open(commandLine)) {       // start-up in its fixed order
//         for (;;) {
//             const Run::Step step = run.step();
//             if (step.kind == Run::Step::Ended) break;
//             if (step.kind == Run::Step::Wait) waitForTickCount(step.since, step.length);
//         }
//     }
//     return run.close();                // shut-down, the credits; the exit status
//
// The native program waits between steps, the page returns to the browser, a headless render
// never waits (video mode never asks it to). A failure anywhere is handled inside the run (the
// reason on standard error, "Sorry." or the failure's own box): open then answers false, step
// Ended, and close returns the status.
//
// Several runs may be made one after another in one process; each gives the frames of a run
// alone. They share only the process's servers (the debug, exception and file servers) and
// the platform's registries (display platform, message boxes, settings).
#pragma once

#include "app/CommandLine.h"
#include "engine/Error.h"
#include "engine/Timer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Display;
class Surface;
class FrameSink;
class Show;
struct FrameTime;

// The soundtrack as a run drives it.
struct MusicPlayer {
    // Prepares the stream; captureOnly (video mode) decodes without playing. Throws an Error.
    void (*setUp)(bool captureOnly);
    // Starts playing (throws an Error); name is not used.
    void (*start)(const char* name);
    // Moves the music to `ms` milliseconds from its start, before or after start.
    void (*seek)(int64_t ms);
    // Stops and releases everything; harmless when repeated or when nothing was set up.
    void (*stop)();
    // The stream handle setUp creates, handed to the video sink for its sound capture.
    uint32_t* stream;
};
// A soundtrack that does nothing: the show runs silent.
MusicPlayer silentMusic();

// Makes video mode's frame sink over the run's 24-bit frame (the export's writer for the
// program, a hasher for the headless renderer, the page's hand-over): soundStream is null
// when sound is off; show is the run's show, whose frames the sink will get. A sink that
// cannot be made shows why and throws Error::exit. The run owns the result.
using VideoSinkMaker = std::function<FrameSink*(const ExportOptions& options, uint8_t* frame24,
                                                uint32_t* soundStream, const Show& show)>;

// What the platform hands a run. Without a maker, video mode draws its frames and hands them
// nowhere.
struct RunPlatform {
    MusicPlayer music = silentMusic();
    VideoSinkMaker videoSink;
    bool credits = true; // false: a headless tool's run ends without the credits box
};

class Run {
  public:
    // What one pass did.
    struct Step {
        enum Kind {
            Drawn,   // a frame of the show was drawn and shown (and, in video mode, handed on)
            Stepped, // a frame was stepped without being shown (start=, an export's clip)
            Wait,    // the next frame is not due: come back once the millisecond counter is
                     // `length` past `since` (playback)
            Ended,   // the run is over; close it
        } kind;
        uint32_t since = 0;  // ms on the counter (Wait)
        uint32_t length = 0; // ms (Wait)
    };

    explicit Run(RunPlatform platform = {});
    ~Run(); // closes the run (with its credits) when close has not run
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // The start-up: the command line, the servers, the pack (packName) and the pictures, the
    // display and surface, the music, in video mode the 24-bit frame and the sink, the clock.
    // False when it failed (the run has then ended; close it).
    bool open(const std::string& commandLine, const std::string& packName = "_.dat");
    // One pass of the main loop.
    Step step();
    // Ends the run: the shut-down when the show has not ended yet (Escape on the page, a
    // driver that stops), the sink completed and deleted, the music stopped, the credits.
    // Returns the exit status: 0 for a normal end, "Sorry.", Escape, a confirmed Cancel or a
    // declined question; 1 after a fatal engine or export failure; 3 when a service could not
    // be made. Harmless when repeated (no second credits, the same status).
    int close();

    // What the run is made of, for drivers, tools and tests.
    const RunOptions& options() const { return runOptions; }
    Show* show() const { return theShow.get(); }
    Surface* surface() const { return theSurface.get(); }
    Display* display() const { return theDisplay.get(); }
    const uint8_t* frame24() const {
        return frameBuffer24.empty() ? nullptr : frameBuffer24.data();
    }
    int ticks() { return clock.getTicks(); }
    long framesDrawn() const { return drawnFrames; }
    bool skipping() const { return phase == Phase::Skipping; }
    bool ended() const { return phase == Phase::Ended || phase == Phase::Closed; }
    // Whether the run ended in a failure (whatever its exit status).
    bool failed() const { return hasFailed; }

  private:
    enum class Phase { New, Skipping, Playing, Ended, Closed };
    class SkipScreen;

    void start(const std::string& commandLine, const std::string& packName);
    void setUp();
    void startClock();
    void beginSkip();
    Step stepSkip();
    Step stepPlayback();
    Step stepVideo();
    void finishSkip();
    bool over();
    void drawFrame();
    void nextVideoFrame();
    FrameTime frameTime();
    // After the last frame: the sink, the display, the clock, the music, the handles.
    void shutDown();
    // After a failure: what the catch-all does.
    void fail();
    // Completes and deletes the sink; 0, or the exit code of a failure it has already shown.
    int finishSink();
    void tearDown();
    void keepWorstStatus(int code);

    RunPlatform platform;
    RunOptions runOptions;
    Phase phase = Phase::New;
    int status = 0;
    bool hasFailed = false;
    Timer clock; // the show's clock, advanced once per frame
    std::unique_ptr<Show> theShow;
    std::unique_ptr<Display> theDisplay;
    std::unique_ptr<Surface> theSurface;
    std::vector<uint8_t> frameBuffer24; // video mode: 640 x 480 x 3, blue green red, top first
    std::unique_ptr<FrameSink> sink;    // video mode
    std::unique_ptr<SkipScreen> skipScreen;
    bool musicSetUp = false;
    int64_t videoFrames = 0;  // frames handed to the sink so far (video mode)
    int64_t skipFrames = 0;   // frames stepped by start= so far (playback)
    long drawnFrames = 0;     // frames drawn and shown
    bool paced = false;       // playback: a frame has been shown, later ones wait for their slot
    uint32_t lastSlotEnd = 0; // ms on the counter when the last frame slot ended
};

// The process's three servers, made once by the first run that opens: a failure shows its
// "Fatal error!" box and throws Error::exit(3).
void createServers();
