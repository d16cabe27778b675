// Start-up, set-up and shut-down in their fixed order, the catch-all and the exit routine.
#include "app/Application.h"

#include "app/CommandLine.h"
#include "app/MainLoop.h"
#include "app/Show.h"
#include "engine/DebugServer.h"
#include "engine/Exception.h"
#include "engine/MessageBox.h"
#include "engine/ProgramExit.h"
#include "engine/Timer.h"
#include "graphics/Handles.h"
#include "graphics/PlatformDisplay.h"
#include "media/FrameSink.h"
#include "storage/FileServer.h"
#include "storage/OTable.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

bool videoMode = false;
bool soundOn = true;
Display* display = nullptr;
Surface* surface = nullptr;
uint8_t* frameBuffer24 = nullptr;
FrameSink* aviWriter = nullptr;
float videoFrameRate = 31.0f;
int endTicks = -1;
Show* show = nullptr;
int startTicks = -1;

namespace {

void noMusicSetUp(bool) {}
void noMusicStart(const char*) {}
void noMusicSeek(int64_t) {}
void noMusicStop() {}

std::string savedCommandLine;
VideoSinkMaker videoSinkMaker = nullptr;
MusicPlayer music{noMusicSetUp, noMusicStart, noMusicSeek, noMusicStop, nullptr};
// The debug and file servers live until the process ends: the exit routine and a writer it
// deletes may still log and load through them, and both stay reachable for leak checks.
DebugServer* debugServer = nullptr;
std::unique_ptr<ExceptionServer> exceptionServer;
FileServer* fileServer = nullptr;

// Completes and deletes the writer; 0, or the exit code of a failure it has already shown.
int deleteWriter() {
    if (!videoMode || aviWriter == nullptr) return 0;
    const int status = aviWriter->finish();
    delete aviWriter;
    aviWriter = nullptr;
    return status;
}

void stopMusicIfOn() {
    if (soundOn) music.stop();
}

[[noreturn]] void serviceFailed(const char* text) {
    messageBox(text, "Fatal error!", MB_ICONERROR);
    throw ProgramExit(3);
}

} // namespace

bool explainFailure() {
    try {
        throw;
    } catch (const ProgramExit&) {
        return false;
    } catch (ExceptionSpace::Exception* e) {
        std::fprintf(stderr, "%s\n", e->getMessage().c_str());
        delete e;
    } catch (const ExceptionType& e) {
        std::fprintf(stderr, "%s\n", e.describe().c_str());
    } catch (int code) {
        std::fprintf(stderr, "error code %d\n", code);
    } catch (...) {
    }
    return true;
}

void setVideoSinkMaker(VideoSinkMaker maker) {
    videoSinkMaker = maker;
}

void setMusicPlayer(const MusicPlayer& player) {
    music = player;
}

const MusicPlayer& musicPlayer() {
    return music;
}

void readCommandLine(const std::string& commandLine) {
    savedCommandLine = commandLine;
    const RunOptions options = readRunOptions(commandLine);
    videoMode = options.videoMode;
    soundOn = options.soundOn;
    endTicks = options.end;
    startTicks = options.start;
    for (const std::string& line : options.notes)
        std::fprintf(stderr, "%s\n", line.c_str());
    setDisplayWindowed(options.windowed);
    if (options.scaleFit) setDisplayScaleMode(ScaleMode::Fit);
}

void createServers() {
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

void openPack(const std::string& packName) {
    installOutOfMemoryHandler();
    // The projection tables are built and released here, in the start-up's fixed order (their
    // allocations and log lines come at this point); nothing reads them.
    { OTable table(65535, 640, 480, 32, 45.0f); }
    fileServer->open(packName);
}

void prepareData(const std::string& packName) {
    openPack(packName);
    delete show;
    show = new Show;
    show->loadPictures();
}

void setUp() {
    storeDisplaySettings();

    display = new Display("");
    surface = new Surface();
    display->attachSurface(surface);
    if (soundOn) music.setUp(videoMode); // video mode only captures the music, never plays it
    if (!videoMode) {
        display->open();
    } else {
        frameBuffer24 = new uint8_t[640 * 480 * 3];
        display->open();
        hideDisplayWindow(getDisplayWindow());
        if (videoSinkMaker != nullptr)
            aviWriter = videoSinkMaker(readRunOptions(savedCommandLine).exportOptions,
                                       frameBuffer24, soundOn ? music.stream : nullptr);
    }
    // start= in playback: the music starts where the show does, after the skip.
    if (soundOn && (videoMode || startTicks <= 0)) music.start("data/velmorin(prv).mp3");
}

void tearDown() {
    stopMusicIfOn();
    if (display != nullptr) display->close();
    delete surface;
    surface = nullptr;
    delete display;
    display = nullptr;
    delete show;
    show = nullptr;
}

void startClock() {
    Timer* timer = Timer::instance();
    timer->start();
    if (!videoMode) {
        timer->update();
        timer->update();
    } else {
        timer->setTicks(0);
        timer->setTicks(0);
    }
}

void shutDown() {
    const int writerStatus = deleteWriter();
    display->close();
    Timer::instance()->stop();
    display->close();
    tearDown();
    // A writer that failed to complete its file has shown why; the run ends with its code.
    if (writerStatus != 0) throw ProgramExit(writerStatus);
}

const char* creditsText() {
    return "\n\ncreated by ~north of nowhere~\n\n\n"
           "kestrel\nvisuals\naudio\n\n"
           "lumen\nvisuals\naudio\n\n"
           "quartz\naudio\n\n"
           "orbit\naudio\n\n\n\n\n";
}

int onProcessExit() {
    deleteWriter();
    stopMusicIfOn();
    messageBox(creditsText(), "", MB_OK);
    return 0;
}

namespace {
void exitRoutine() {
    onProcessExit();
}
} // namespace

int demoMain(const std::string& commandLine) {
    std::atexit(exitRoutine);
    try {
        readCommandLine(commandLine);
        createServers();
        prepareData("_.dat");
        setUp();
        startClock();
        runMainLoop(*show);
        shutDown();
    } catch (const ProgramExit& end) {
        // Its box has been shown; the exit routine finishes the rest.
        return end.exitCode();
    } catch (...) {
        explainFailure();
        const int writerStatus = deleteWriter();
        if (display != nullptr) display->close();
        tearDown();
        if (writerStatus != 0) return writerStatus;
        messageBox("Sorry.", "", MB_ICONWARNING);
    }
    return 0;
}
