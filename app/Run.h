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
// Playback is watched as a viewer watches a video: before every pass the run takes the
// display's commands (pause, seeks, frame steps, saved frames, mute; see ViewerCommand) and
// tells the display what its timeline shows. A seek lands on video mode's frame grid: the
// frame shown after it is exactly the frame video mode draws there, and real time goes on
// from it. Video mode takes no commands.
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
    // Playback as a viewer drives it (a player without them ignores the viewer's keys): pause
    // holds the started music where it is, resume goes on with the next sample (or from where
    // a seek in between put it); setMuted silences it; positionMs is where it is heard, in ms
    // from its start, -1 when unknown.
    void (*pause)() = [] {};
    void (*resume)() = [] {};
    void (*setMuted)(bool muted) = [](bool) {};
    int64_t (*positionMs)() = [] { return int64_t{-1}; };
};
// A soundtrack that does nothing: the show runs silent.
MusicPlayer silentMusic();

// Makes video mode's frame sink over the run's 24-bit frame (the export's writer for the
// program, a hasher for the headless renderer, the page's hand-over): soundStream is null
// when sound is off; show is the run's show, whose frames the sink will get. A sink that
// cannot be made shows why and throws Error::exit. The run owns the result.
using VideoSinkMaker = std::function<FrameSink*(const ExportOptions& options, uint8_t* frame24,
                                                uint32_t* soundStream, const Show& show)>;

// Writes a 24-bit frame (640 x 480, blue green red, rows top first) as a picture file at
// path; false, with why, when it cannot.
using PictureWriter =
    std::function<bool(const std::string& path, const uint8_t* frame24, std::string& why)>;

// What the platform hands a run. Without a maker, video mode draws its frames and hands them
// nowhere; without a picture writer the viewer's saved frames are refused.
// Brings a show to any video frame sooner than stepping it from the first (from snapshots of
// the show made beside the run, or kept from an earlier run); the run steps the show itself
// without one.
class ShowSeeker {
  public:
    virtual ~ShowSeeker() = default;
    // Brings `show` to the state a video-mode run's show has right before stepping video
    // frame `frame`; `next` is the frame the show steps next now, or -1 when that is unknown.
    // False, the show untouched, when it has nothing to bring the show there from yet (the
    // run then steps the show itself).
    virtual bool bringBefore(Show& show, int64_t next, int64_t frame) = 0;
    // At once, without stepping: puts into `show` the saved state nearest at or before video
    // frame `frame` when one is had now that lies after `next` (the frame the show steps next,
    // at or before `frame`), and returns the frame the show then steps next; returns `next`
    // and leaves the show as it is when there is none. For start= and a clip's start, whose
    // frames the run then steps itself.
    virtual int64_t restoreNearest(Show& show, int64_t next, int64_t frame) {
        (void)show;
        (void)frame;
        return next;
    }
};
// What a seeker is made for.
struct ShowSeekerUse {
    std::string packName;   // the pack the show's pictures came from
    bool videoMode = false; // an export: only its clip's start is sought, with restoreNearest
    bool savedIndex = true; // snapshots kept between runs may be read and written (no nocache)
};
// Made once the show's pictures are prepared, from the show not yet stepped: in playback, and in
// video mode for a clip that does not start at the first frame.
using ShowSeekerMaker =
    std::function<std::unique_ptr<ShowSeeker>(const Show& prepared, const ShowSeekerUse& use)>;

struct RunPlatform {
    MusicPlayer music = silentMusic();
    VideoSinkMaker videoSink;
    PictureWriter savePicture;
    ShowSeekerMaker showSeeker;
    bool credits = true; // false: a headless tool's run ends without the credits box
    // false: the decoded pictures are let go once their buffers are prepared (nothing reads
    // them after; a browser page's memory is counted)
    bool keepDecodedPictures = true;
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
    Show* show() const { return theShow.get(); } // a seek back may replace it
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
    // Playback: whether the viewer has paused the show (step then returns Wait, a short
    // sleep, and the clock stands still).
    bool paused() const { return isPaused; }
    // Playback: the video frame the surface holds when it lies on video mode's frame grid
    // (after a seek or a frame step, or start='s skip); -1 before any frame and once real
    // time has drawn a frame of its own.
    int64_t frameOnGrid() const { return gridFrame; }

  private:
    enum class Phase { New, Skipping, Playing, Ended, Closed };
    class SkipScreen;

    void start(const std::string& commandLine, const std::string& packName);
    void setUp();
    void startClock();
    void beginSkip();
    void loadShow();
    void restoreClipStart();
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

    // The viewer (RunViewer.cpp). Takes the display's commands and carries them out, a run of
    // seeks as one; true when that drew a frame.
    bool takeViewerCommands();
    // Shows video frame `frame` exactly as video mode draws it, the music moved to its tick;
    // playing on in real time from there unless paused.
    void seekToFrame(int64_t frame);
    // Brings the run's show to the state a video-mode run's show has right before drawing
    // video frame `frame` (0 up to the last frame a seek reaches), and records that frame in
    // showFrame. The clock is left to the caller (setClockForFrame gives frame's readings);
    // the surface is not touched. Through the platform's seeker when there is one and it can;
    // else it steps the show on from showFrame, or from a new show with its pictures loaded
    // afresh when the frame lies behind.
    void moveShowToFrame(int64_t frame);
    // The clock's readings for video frame `frame`, exactly as video mode has them.
    void setClockForFrame(int64_t frame);
    // Real time goes on from the tick the clock stands at, counted from now.
    void followRealTime();
    void setPaused(bool pause);
    void saveFrame();
    void toggleMute();
    // Tells the display what the timeline shows; reveal: show it for a while (after a seek).
    void updateTimeline(bool reveal);
    // The last frame a seek lands on: the last one drawn before the show's end (or end=).
    int64_t lastSeekableFrame() const;
    // "tick N (frame K)<state>; music at M ms", the frame only when on the grid, the music
    // when known.
    std::string positionText(const std::string& state = "");

    RunPlatform platform;
    RunOptions runOptions;
    Phase phase = Phase::New;
    int status = 0;
    bool hasFailed = false;
    Timer clock; // the show's clock, advanced once per frame
    std::unique_ptr<Show> theShow;
    std::unique_ptr<ShowSeeker> seeker; // playback, when the platform gives one
    std::unique_ptr<Display> theDisplay;
    std::unique_ptr<Surface> theSurface;
    std::vector<uint8_t> frameBuffer24; // video mode: 640 x 480 x 3, blue green red, top first
    std::unique_ptr<FrameSink> sink;    // video mode
    std::unique_ptr<SkipScreen> skipScreen;
    bool musicSetUp = false;
    int64_t videoFrames = 0;    // frames handed to the sink so far (video mode)
    int64_t skipFrames = 0;     // frames stepped by start= so far (playback)
    int64_t restoredFrames = 0; // video mode: frames before the clip the seeker's restore holds
    long drawnFrames = 0;       // frames drawn and shown
    bool paced = false;         // playback: a frame has been shown, later ones wait for their slot
    uint32_t lastSlotEnd = 0;   // ms on the counter at which the last frame slot ended
    bool isPaused = false;      // playback: the viewer paused the show
    bool muted = false;         // playback: the viewer muted the music
    // Playback on video mode's frame grid: the frame the show stands right before (-1 once
    // real time has stepped it), and the frame on the surface (-1 when it is none of them).
    int64_t showFrame = 0;
    int64_t gridFrame = -1;
};

// The process's three servers, made once by the first run that opens: a failure shows its
// "Fatal error!" box and throws Error::exit(3).
void createServers();
