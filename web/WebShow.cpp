// The show driven from the page or from node one frame per call, through the program's own
// start-up, scenes and shut-down:
//
//   webOpen(commandLine)  the program's words ("video" for the fixed 31-frames-per-second
//                         schedule, "end=N", "start=N", sound-off words); reads "_.dat" from
//                         the module's file system. 1 when the show is ready, 0 after "Sorry."
//                         and the credits.
//   webFrame()            one frame of the main loop; 1 while the show goes on, 2 when the
//                         frame's slot has not come yet (playback), 0 once it has ended (the
//                         credits have then been shown).
//   webFinish()           ends the show now (Escape): shut-down and credits; harmless twice.
//
// In video mode every frame goes to the page's Module.onFrame24(frame24, index, ticks) with
// the 640 x 480 x 3 bytes demo-render digests.
#include "app/Application.h"
#include "app/MainLoop.h"
#include "app/Show.h"
#include "engine/Exception.h"
#include "engine/MessageBox.h"
#include "engine/ProgramExit.h"
#include "engine/TickCount.h"
#include "engine/Timer.h"
#include "graphics/Handles.h"
#include "graphics/RowConverters.h"
#include "media/FrameSink.h"
#include "media/Music.h"

#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// clang-format off
EM_JS(double, pageClockMs, (), {
    return Module.clockMs ? Module.clockMs() : performance.now();
});
EM_JS(void, frameToPage, (const uint8_t* frame24, int index, int ticks), {
    if (Module.onFrame24) Module.onFrame24(frame24, index, ticks);
});
EM_JS(void, skipEndedOnPage, (), {
    if (Module.skipEnded) Module.skipEnded();
});
// clang-format on

// The page's clock (the audio context's when music plays) as the millisecond counter.
uint32_t pageTickCount() {
    const double ms = pageClockMs();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms < 0 ? 0 : ms));
}

// Video mode's frame sink: hands each finished frame to the page.
class PageFrameSink : public FrameSink {
  public:
    explicit PageFrameSink(const uint8_t* frame24) : frame(frame24) {}
    void nextFrame(int) override {
        frameToPage(frame, index, videoTicks(static_cast<float>(index), 31.0f));
        ++index;
    }

  private:
    const uint8_t* frame; // not owned
    int index = 0;
};

FrameSink* makePageSink(const ExportOptions&, uint8_t* frameBuffer24, uint32_t*) {
    return new PageFrameSink(frameBuffer24);
}

enum class State { Closed, Skipping, Running, Ended };
State state = State::Closed;
long framesShown = 0;
bool paced = false;        // playback: a frame has been shown, later ones wait for their slot
uint32_t lastFrameEnd = 0; // ms on the page's clock when the last slot ended

// After a failure: what the program's catch-all does, then the credits.
void failed() {
    const bool sorry = explainFailure();
    if (videoMode && aviWriter != nullptr) {
        delete aviWriter;
        aviWriter = nullptr;
    }
    if (display != nullptr) display->close();
    tearDown();
    if (sorry) messageBox("Sorry.", "", MB_ICONWARNING);
    onProcessExit();
    state = State::Ended;
}

void end() {
    if (state != State::Running && state != State::Skipping) return;
    try {
        shutDown();
    } catch (...) {
        explainFailure();
    }
    onProcessExit();
    state = State::Ended;
}

int skipTo = -1;         // start=N in playback: the tick the skip renders up to
float skipFrames = 0.0f; // frames rendered by the skip so far

// start=: steps the show up to the start tick on the export's frame clock (every frame depends
// on all before it) without drawing, as the player's skip does, but about 30 ms of work per
// call so the page stays responsive. Then the music starts from there and the clock runs on in
// real time. 2 while skipping or just done, 0 when the show ended on the way.
int skipSome() {
    Timer* timer = Timer::instance();
    const double begin = emscripten_get_now();
    while (!show->finished() && timer->getTicks() < skipTo) {
        if (display->quitRequested()) {
            end();
            return 0;
        }
        show->step(frameTime(*timer), {nullptr, 640 * 4}); // every effect runs, nothing drawn
        timer->setTicks(std::min(videoTicks(skipFrames, videoFrameRate), skipTo));
        skipFrames = static_cast<float>(skipFrames + 1.0);
        if (emscripten_get_now() - begin > 30.0) return 2;
    }
    // What the skipped frames would have left on the surface, for a first frame that only
    // hands on to the next scene.
    show->drawPicture({surface->getPixels(), 640 * 4});
    drawBorder(surface->getPixels());
    if (soundOn) {
        seekMusic(static_cast<int64_t>(skipTo) * 1000 / 71);
        startMusic("data/velmorin(prv).mp3");
    }
    skipEndedOnPage();
    // From the start tick on in real time: as at the show's start, two real-time steps, the
    // first only takes the counter.
    timer->setTicks(std::min(timer->getTicks(), skipTo));
    timer->update();
    timer->update();
    state = State::Running;
    return 2;
}

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int webOpen(const char* commandLine) {
    if (state != State::Closed) return 0;
    try {
        setTickSource(pageTickCount);
        setVideoSinkMaker(makePageSink);
        setMusicPlayer({setUpMusic, startMusic, seekMusic, stopMusic, &musicStream});
        readCommandLine(commandLine);
        createServers();
        prepareData("_.dat");
        setUp();
        startClock();
        state = State::Running;
        if (!videoMode && startTicks > 0) {
            skipTo = startTicks;
            // Two steps as at the export's start: the first after a real-time step has no delta.
            Timer::instance()->setTicks(0);
            Timer::instance()->setTicks(0);
            state = State::Skipping;
        }
        return 1;
    } catch (...) {
        failed();
        return 0;
    }
}

// One pass of the main loop's body. In playback the browser calls it once per display refresh
// and it returns 2 without drawing until the frame slot since the previous frame has passed:
// 32 ms, 25 ms between ticks 27,000 and 41,000 (as the program's paceFrame waits).
EMSCRIPTEN_KEEPALIVE int webFrame() {
    if (state != State::Running && state != State::Skipping) return 0;
    Timer* timer = Timer::instance();
    try {
        if (state == State::Skipping) return skipSome();
        if (!videoMode && paced) {
            const int t = timer->getTicks();
            const uint32_t slot = (27000 < t && t < 41000) ? 25 : 32;
            const uint32_t now = getTickCount();
            if (now - lastFrameEnd < slot) return 2;
            lastFrameEnd = now;
            timer->update();
        }
        if (display->quitRequested() || show->finished() ||
            (endTicks >= 0 && timer->getTicks() >= endTicks)) {
            end();
            return 0;
        }
        show->step(frameTime(*timer), {surface->getPixels(), 640 * 4});
        drawBorder(surface->getPixels());
        display->present();
        ++framesShown;
        if (!videoMode) {
            if (!paced) lastFrameEnd = getTickCount();
            paced = true;
            return 1;
        }
        // The surface's 640 x 480 rows have no padding, nor have the frame's: one long row.
        convertRowTo24(reinterpret_cast<const uint32_t*>(surface->getPixels()), frameBuffer24,
                       640 * 480);
        const int ticks = videoTicks(videoFrameCount, videoFrameRate);
        if (aviWriter != nullptr) aviWriter->nextFrame(videoProgress(ticks));
        timer->setTicks(ticks);
        videoFrameCount = static_cast<float>(videoFrameCount + 1.0);
        return 1;
    } catch (...) {
        failed();
        return 0;
    }
}

EMSCRIPTEN_KEEPALIVE void webFinish() {
    end();
}

// The 32-bit surface the canvas shows and the 24-bit frame of video mode (null before webOpen).
EMSCRIPTEN_KEEPALIVE const uint8_t* webPixels() {
    return surface != nullptr ? surface->getPixels() : nullptr;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* webFrame24() {
    return frameBuffer24;
}
EMSCRIPTEN_KEEPALIVE int webTicks() {
    return Timer::instance()->getTicks();
}
EMSCRIPTEN_KEEPALIVE long webFrameIndex() {
    return framesShown;
}
EMSCRIPTEN_KEEPALIVE int webScene() {
    return show != nullptr ? show->sceneIndex : -1;
}
}
