// A run: start-up, the passes of the main loop, shut-down, the catch-all and the exit routine.
#include "app/Run.h"

#include "app/Application.h"
#include "app/MainLoop.h"
#include "app/Show.h"
#include "app/ShowClock.h"
#include "engine/DebugServer.h"
#include "engine/Exception.h"
#include "engine/MessageBox.h"
#include "engine/TickCount.h"
#include "graphics/Handles.h"
#include "graphics/PlatformDisplay.h"
#include "graphics/RowConverters.h"
#include "media/FrameSink.h"
#include "storage/FileServer.h"
#include "storage/OTable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// The debug and file servers live until the process ends: every run logs and loads through
// them, and a sink deleted at the end may still log; both stay reachable for leak checks.
DebugServer* debugServer = nullptr;
// Made once with the other two; the system requires it, nothing in the show reads it.
std::unique_ptr<ExceptionServer> exceptionServer;
// Serves the pack to every run of the process; each run opens its pack through it.
FileServer* fileServer = nullptr;

[[noreturn]] void serviceFailed(const char* text) {
    messageBox(text, "Fatal error!", MB_ICONERROR);
    throw Error::exit(3, text);
}

void noMusicSetUp(bool) {}
void noMusicStart(const char*) {}
void noMusicSeek(int64_t) {}
void noMusicStop() {}

constexpr uint32_t skipShowEvery = 100; // ms between black frames while frames are stepped
constexpr uint32_t pausedWaitMs = 15;   // between looks at the viewer's commands while paused
// How late a frame may come after its slot's end and still leave the next slot where it was
// (a frame slot's end minus 7 ms lies halfway between two refreshes of a 60 Hz display).
constexpr uint32_t slipMs = 7;

} // namespace

MusicPlayer silentMusic() {
    return {noMusicSetUp, noMusicStart, noMusicSeek, noMusicStop, nullptr};
}

void createServers() {
    if (fileServer != nullptr) return;
    debugServer = new (std::nothrow) DebugServer(11, 0);
    if (debugServer == nullptr)
        serviceFailed("Error - Couldn't initialize debug-server! Aborting...");
    exceptionServer.reset(new (std::nothrow) ExceptionServer(debugServer));
    if (exceptionServer == nullptr)
        serviceFailed("Error - Couldn't initialize exception-server! Aborting...");
    fileServer = new (std::nothrow) FileServer(debugServer, 200);
    if (fileServer == nullptr)
        serviceFailed("Error - Couldn't initialize file-server! Aborting...");
    setProcessDebugServer(debugServer);
    setProcessFileServer(fileServer);
}

// What the display shows while frames are stepped without being drawn: black, presented every
// skipShowEvery ms so that the window stays alive and answers its keys.
class Run::SkipScreen {
  public:
    SkipScreen(Display& display, Surface& surface) : display(display), surface(surface) {
        std::memset(black.getPixels(), 0, 640 * 480 * 4);
    }
    void refresh() {
        if (getTickCount() - lastShown < skipShowEvery) return;
        display.attachSurface(&black);
        display.present();
        display.attachSurface(&surface);
        lastShown = getTickCount();
    }

  private:
    Display& display;
    Surface& surface;
    Surface black;
    uint32_t lastShown = getTickCount() - skipShowEvery;
};

Run::Run(RunPlatform platform) : platform(std::move(platform)) {}

Run::~Run() {
    close();
}

bool Run::open(const std::string& commandLine, const std::string& packName) {
    if (phase != Phase::New) return false;
    try {
        start(commandLine, packName);
        return true;
    } catch (...) {
        fail();
        return false;
    }
}

void Run::start(const std::string& commandLine, const std::string& packName) {
    runOptions = readRunOptions(commandLine);
    for (const std::string& line : runOptions.notes)
        std::fprintf(stderr, "%s\n", line.c_str());
    setDisplayWindowed(runOptions.windowed);
    if (runOptions.scaleFit) setDisplayScaleMode(ScaleMode::Fit);
    createServers();
    installOutOfMemoryHandler();
    // The projection tables are built and released here, in the start-up's fixed order (their
    // allocations and log lines come at this point); nothing reads them.
    { OTable table(65535, 640, 480, 32, 45.0f); }
    fileServer->open(packName);
    loadShow();
    // Seeks of the viewer, start= and a clip's start: the seeker starts from the prepared show,
    // before it is stepped.
    const bool video = runOptions.videoMode;
    if (platform.showSeeker && (!video || runOptions.exportOptions.start > 0))
        seeker = platform.showSeeker(*theShow, {packName, video, runOptions.savedIndex});
    setUp();
    startClock();
    phase = Phase::Playing;
    if (!video && runOptions.start > 0) beginSkip();
    if (video) restoreClipStart();
}

// The show at its first frame, its pictures loaded from the pack. The show before it goes
// first: two shows' buffers are never held at once.
void Run::loadShow() {
    theShow.reset();
    theShow = std::make_unique<Show>();
    if (platform.keepDecodedPictures)
        theShow->loadPictures();
    else
        theShow->loadPicturesOneByOne();
}

// Video mode: the frames before the export's clip are stepped without being drawn; the state
// they lead to may be had at once from the seeker instead (the sink still gets every frame).
void Run::restoreClipStart() {
    if (seeker != nullptr && sink != nullptr && sink->framesLeftOut() > 0)
        restoredFrames = seeker->restoreNearest(*theShow, 0, sink->framesLeftOut());
    seeker.reset(); // nothing else is sought in video mode
}

void Run::setUp() {
    storeDisplaySettings();
    theDisplay = std::make_unique<Display>("");
    theSurface = std::make_unique<Surface>();
    theDisplay->attachSurface(theSurface.get());
    const bool video = runOptions.videoMode;
    if (runOptions.soundOn) {
        musicSetUp = true;
        platform.music.setUp(video); // video mode only captures the music, never plays it
    }
    if (!video) {
        theDisplay->open();
    } else {
        frameBuffer24.assign(640 * 480 * 3, 0);
        theDisplay->open();
        hideDisplayWindow(getDisplayWindow());
        if (platform.videoSink)
            sink.reset(platform.videoSink(runOptions.exportOptions, frameBuffer24.data(),
                                          runOptions.soundOn ? platform.music.stream : nullptr,
                                          *theShow));
    }
    // start= in playback: the music starts where the show does, after the skip.
    if (runOptions.soundOn && (video || runOptions.start <= 0))
        platform.music.start("data/velmorin(prv).mp3");
}

void Run::startClock() {
    clock.start();
    if (!runOptions.videoMode) {
        clock.update();
        clock.update();
    } else {
        clock.setTicks(0);
        clock.setTicks(0);
    }
}

FrameTime Run::frameTime() {
    return ::frameTime(clock);
}

// start= in playback: the frames before the start tick are stepped as fast as they can be on
// the export's frame clock (every frame depends on all before it) without being drawn; the
// display shows black and still answers its keys. Then the clock runs in real time from there.
void Run::beginSkip() {
    const int ticks = runOptions.start;
    std::fprintf(stderr, "start=%d: rendering the show up to tick %d without showing it\n", ticks,
                 ticks);
    std::fflush(stderr);
    // Sought first: finding the point may take the sound library a while (it reads the file's
    // frames up to there), and the clock must not run meanwhile.
    if (runOptions.soundOn) platform.music.seek(static_cast<int64_t>(ticks) * 1000 / 71);
    skipScreen = std::make_unique<SkipScreen>(*theDisplay, *theSurface);
    // Two steps as at the export's start: the first after a real-time step has no delta.
    clock.setTicks(0);
    clock.setTicks(0);
    // The skip steps frames 0 up to the first one drawn at or after the start tick, exclusive;
    // a state the seeker has at once saves stepping those before it.
    if (seeker != nullptr) {
        const int64_t from = seeker->restoreNearest(*theShow, 0, firstVideoFrameAt(ticks));
        if (from > 0) {
            skipFrames = from;
            clock.setTicks(videoFrameDrawnAt(from - 1));
            clock.setTicks(std::min(videoFrameDrawnAt(from), ticks));
            std::fprintf(stderr, "start=%d: from the show's state at video frame %lld\n", ticks,
                         static_cast<long long>(from));
        }
    }
    phase = Phase::Skipping;
}

Run::Step Run::step() {
    try {
        switch (phase) {
        case Phase::Skipping:
            return stepSkip();
        case Phase::Playing:
            return runOptions.videoMode ? stepVideo() : stepPlayback();
        default:
            return {Step::Ended};
        }
    } catch (...) {
        fail();
        return {Step::Ended};
    }
}

bool Run::over() {
    if (theDisplay->quitRequested() || theShow->finished() ||
        (runOptions.end >= 0 && clock.getTicks() >= runOptions.end)) {
        shutDown();
        return true;
    }
    return false;
}

Run::Step Run::stepSkip() {
    if (theDisplay->quitRequested()) {
        shutDown();
        return {Step::Ended};
    }
    const int target = runOptions.start;
    if (theShow->finished() || clock.getTicks() >= target) {
        finishSkip();
        return {Step::Stepped};
    }
    theShow->step(frameTime(), {nullptr, 640 * 4}); // every effect runs, nothing is drawn
    skipScreen->refresh();
    clock.setTicks(std::min(videoFrameTicks(skipFrames), target));
    ++skipFrames;
    return {Step::Stepped};
}

void Run::finishSkip() {
    skipScreen.reset();
    // What the skipped frames would have left on the surface, for a first frame that only
    // hands on to the next scene.
    theShow->drawPicture({theSurface->getPixels(), 640 * 4});
    drawBorder(theSurface->getPixels());
    if (runOptions.soundOn) platform.music.start("data/velmorin(prv).mp3");
    // From the tick reached on in real time, counted from now, when the music starts: as at
    // the show's start, two real-time steps, the first of which only takes the counter as its
    // reference.
    clock.setTicks(std::min(clock.getTicks(), runOptions.start));
    clock.update();
    clock.update();
    // The skip stepped frames 0 ... skipFrames - 1 of video mode's frames, the last on the
    // surface.
    showFrame = skipFrames;
    gridFrame = skipFrames - 1;
    phase = Phase::Playing;
}

Run::Step Run::stepPlayback() {
    const bool sought = takeViewerCommands();
    if (isPaused) {
        if (theDisplay->quitRequested()) {
            shutDown();
            return {Step::Ended};
        }
        if (sought) return {Step::Drawn};
        return {Step::Wait, getTickCount(), pausedWaitMs};
    }
    if (sought) return {Step::Drawn};
    if (paced) {
        // Each slot begins where the one before ended, so a frame that came a little late
        // (waiting up to slipMs for the display's next refresh) costs the next slot nothing. A
        // frame later than that begins the next slot slipMs before it was drawn: a display that
        // refreshes every 16.7 ms then shows a frame on every second refresh, each due halfway
        // between two refreshes, where a grid of 32 ms slots would drift against the refreshes
        // and show two frames on consecutive refreshes twice a second; faster displays keep the
        // grid. A stall (a page in the background) restarts the slots without a burst of frames.
        const uint32_t slot = frameSlotMs(clock.getTicks());
        const uint32_t now = getTickCount();
        if (now - lastSlotEnd < slot) return {Step::Wait, lastSlotEnd, slot};
        const uint32_t late = now - lastSlotEnd - slot;
        lastSlotEnd = late > slipMs ? now - slipMs : lastSlotEnd + slot;
        clock.update();
    }
    if (over()) return {Step::Ended};
    updateTimeline(false);
    drawFrame();
    showFrame = -1; // real time leaves video mode's frame grid
    gridFrame = -1;
    if (!paced) lastSlotEnd = getTickCount();
    paced = true;
    return {Step::Drawn};
}

void Run::drawFrame() {
    theShow->step(frameTime(), {theSurface->getPixels(), 640 * 4});
    drawBorder(theSurface->getPixels());
    theDisplay->present();
    ++drawnFrames;
}

Run::Step Run::stepVideo() {
    if (over()) return {Step::Ended};
    if (sink != nullptr && sink->skipsNextFrame()) {
        // A frame before the export's clip: every effect runs, nothing is drawn (a frame the
        // restored state already holds is not stepped again).
        if (videoFrames >= restoredFrames) theShow->step(frameTime(), {nullptr, 640 * 4});
        if (skipScreen == nullptr)
            skipScreen = std::make_unique<SkipScreen>(*theDisplay, *theSurface);
        skipScreen->refresh();
        nextVideoFrame();
        return {Step::Stepped};
    }
    if (skipScreen != nullptr) {
        // What the skipped frames would have left on the surface, for a first frame that only
        // hands on to the next scene.
        theShow->drawPicture({theSurface->getPixels(), 640 * 4});
        skipScreen.reset();
    }
    drawFrame();
    // The surface's 640 x 480 rows have no padding, nor have the frame's: one long row.
    convertRowTo24(reinterpret_cast<const uint32_t*>(theSurface->getPixels()), frameBuffer24.data(),
                   640 * 480);
    nextVideoFrame();
    return {Step::Drawn};
}

// Video mode after a frame: the sink takes it, and the clock moves on to the next frame.
void Run::nextVideoFrame() {
    const int ticks = videoFrameTicks(videoFrames);
    if (sink != nullptr) sink->nextFrame(videoProgress(ticks));
    clock.setTicks(ticks);
    ++videoFrames;
}

int Run::finishSink() {
    if (sink == nullptr) return 0;
    const int result = sink->finish();
    sink.reset();
    return result;
}

void Run::keepWorstStatus(int code) {
    if (code != 0 && status == 0) status = code;
}

void Run::tearDown() {
    if (musicSetUp) platform.music.stop();
    if (theDisplay != nullptr) theDisplay->close();
    skipScreen.reset();
    seeker.reset();
    theSurface.reset();
    theDisplay.reset();
    theShow.reset();
    frameBuffer24.clear();
}

void Run::shutDown() {
    const int sinkStatus = finishSink();
    theDisplay->close();
    clock.stop();
    theDisplay->close();
    tearDown();
    // A sink that failed to complete its file has shown why; the run ends with its code.
    keepWorstStatus(sinkStatus);
    phase = Phase::Ended;
}

void Run::fail() {
    hasFailed = true;
    const Error error = currentError();
    if (!error.shown()) std::fprintf(stderr, "%s\n", error.explanation().c_str());
    const int sinkStatus = finishSink();
    if (theDisplay != nullptr) theDisplay->close();
    tearDown();
    // A sink that failed to complete its file has shown its own box; a failure that was shown
    // needs no "Sorry.".
    if (sinkStatus != 0)
        keepWorstStatus(sinkStatus);
    else if (error.shown())
        keepWorstStatus(error.exitCode());
    else
        messageBox("Sorry.", "", MB_ICONWARNING);
    phase = Phase::Ended;
}

int Run::close() {
    if (phase == Phase::Closed) return status;
    if (phase == Phase::New) { // never opened: nothing to end, nothing to show
        phase = Phase::Closed;
        return status;
    }
    if (phase == Phase::Playing || phase == Phase::Skipping) {
        try {
            shutDown();
        } catch (...) {
            fail();
        }
    }
    // The exit routine: whatever is left of the sink, the music, the credits.
    keepWorstStatus(finishSink());
    if (musicSetUp) platform.music.stop();
    musicSetUp = false;
    if (platform.credits) messageBox(creditsText(), "", MB_OK);
    phase = Phase::Closed;
    return status;
}
