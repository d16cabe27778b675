// The show driven from the page or from node one frame per call, through the program's own
// start-up, scenes and shut-down:
//
//   webOpen(commandLine)  the program's words ("video" for the fixed 31-frames-per-second
//                         schedule, "end=N", sound-off words); reads "_.dat" from the module's
//                         file system. 1 when the show is ready, 0 after "Sorry." and credits.
//   webFrame()            one frame of the main loop; 1 while the show goes on, 2 when the
//                         frame's slot has not come yet (playback), 0 once it has ended (the
//                         credits have then been shown).
//   webFinish()           ends the show now (Escape): shut-down and credits; harmless twice.
//
// In video mode every frame goes to the page's Module.onFrame24(frame24, index, ticks) with
// the 640 x 480 x 3 bytes demo-render digests.
#include "app/Application.h"
#include "app/MainLoop.h"
#include "app/Scenes.h"
#include "engine/Exception.h"
#include "engine/MessageBox.h"
#include "engine/TickCount.h"
#include "engine/Timer.h"
#include "graphics/Handles.h"
#include "media/FrameSink.h"

#include <emscripten.h>

#include <cstdio>
#include <string>

namespace {

// clang-format off
EM_JS(double, pageClockMs, (), {
    return Module.clockMs ? Module.clockMs() : performance.now();
});
EM_JS(void, frameToPage, (const uint8_t* frame24, int index, int ticks), {
    if (Module.onFrame24) Module.onFrame24(frame24, index, ticks);
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

FrameSink* makePageSink(const std::string&, uint8_t* frameBuffer24, uint32_t*) {
    return new PageFrameSink(frameBuffer24);
}

enum class State { Closed, Running, Ended };
State state = State::Closed;
long framesShown = 0;
bool paced = false;        // playback: a frame has been shown, later ones wait for their slot
uint32_t lastFrameEnd = 0; // ms on the page's clock when the last slot ended

void reportFailure() {
    try {
        throw;
    } catch (ExceptionSpace::Exception* e) {
        std::fprintf(stderr, "%s\n", e->getMessage().c_str());
        delete e;
    } catch (const ExceptionType& e) {
        std::fprintf(stderr, "%s\n", e.describe().c_str());
    } catch (int code) {
        std::fprintf(stderr, "error code %d\n", code);
    } catch (...) {
    }
}

// After a failure: what the program's catch-all does, then the credits.
void failed() {
    reportFailure();
    if (videoMode && aviWriter != nullptr) {
        delete aviWriter;
        aviWriter = nullptr;
    }
    if (display != nullptr) display->close();
    tearDown();
    messageBox("Sorry.", "", MB_ICONWARNING);
    onProcessExit();
    state = State::Ended;
}

void end() {
    if (state != State::Running) return;
    try {
        shutDown();
    } catch (...) {
        reportFailure();
    }
    onProcessExit();
    state = State::Ended;
}

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int webOpen(const char* commandLine) {
    if (state != State::Closed) return 0;
    try {
        setTickSource(pageTickCount);
        setVideoSinkMaker(makePageSink);
        readCommandLine(commandLine);
        createServers();
        prepareData("_.dat");
        setUp();
        startClock();
        state = State::Running;
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
    if (state != State::Running) return 0;
    Timer* timer = Timer::instance();
    try {
        if (!videoMode && paced) {
            const int t = timer->getTicks();
            const uint32_t slot = (27000 < t && t < 41000) ? 25 : 32;
            const uint32_t now = getTickCount();
            if (now - lastFrameEnd < slot) return 2;
            lastFrameEnd = now;
            timer->update();
        }
        if (display->quitRequested() || sceneIndex < 0 || sceneIndex > 8 ||
            (endTicks >= 0 && timer->getTicks() >= endTicks)) {
            end();
            return 0;
        }
        sceneIndex = runScene(sceneIndex);
        drawBorder(surface->getPixels());
        display->present();
        ++framesShown;
        if (!videoMode) {
            if (!paced) lastFrameEnd = getTickCount();
            paced = true;
            return 1;
        }
        copyTo24(surface->getPixels(), frameBuffer24);
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
    return sceneIndex;
}
}
