// The show driven from the page or from node, one browser callback at a time, through the
// program's run (app/Run.h). The page keeps the run's address and hands it to every call:
//
//   webOpen(commandLine)  the program's words ("video" for the fixed 31-frames-per-second
//                         schedule, "end=N", "start=N", sound-off words); reads "_.dat" from
//                         the module's file system. The run, or 0 after "Sorry." and the
//                         credits.
//   webFrame(run)         one callback's passes: 1 when a frame was drawn, 2 when none was (its
//                         slot has not come yet, or start= is still stepping), 0 once the run
//                         has ended (the credits have then been shown).
//   webFinish(run)        ends the run now (Escape): shut-down and credits; harmless twice.
//   webRelease(run)       frees the run (after webFinish or the end).
//   webSeekTo(run, tick)  the viewer's seek to a tick, carried out at the run's next pass as
//                         a seek from the page's controls is: on video mode's frame grid.
//   webFrameOnGrid(run)   the video frame the canvas shows when it lies on that grid (after a
//                         seek), else -1.
//
// Seeks in playback restore the show from the seek index a worker builds beside it (WebSeek.cpp).
//
// In video mode every frame goes to the page's Module.onFrame24(frame24, index, ticks) with
// the 640 x 480 x 3 bytes demo-render digests.
#include "app/Run.h"
#include "app/Show.h"
#include "app/ShowClock.h"
#include "engine/TickCount.h"
#include "graphics/Handles.h"
#include "media/FrameSink.h"
#include "web/PageCommands.h"
#include "web/WebMusic.h"
#include "web/WebSeek.h"

#include <emscripten.h>

#include <cstdint>
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

// The page's clock (the audio context's when music plays) as the millisecond counter. Cutting
// it to whole milliseconds delays no frame: the frame slots lie on a grid of whole
// milliseconds, and the count reaches a slot's end exactly when the clock does.
uint32_t pageTickCount() {
    const double ms = pageClockMs();
    return static_cast<uint32_t>(static_cast<uint64_t>(ms < 0 ? 0 : ms));
}

// Video mode's frame sink: hands each finished frame to the page.
class PageFrameSink : public FrameSink {
  public:
    explicit PageFrameSink(const uint8_t* frame24) : frame(frame24) {}
    void nextFrame(int) override {
        frameToPage(frame, index, videoFrameTicks(index));
        ++index;
    }

  private:
    const uint8_t* frame; // not owned
    int index = 0;
};

// Frames stepped without being shown (start=) take at most this long per callback, so that
// the page stays responsive.
constexpr double stepBudgetMs = 30.0;

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE Run* webOpen(const char* commandLine) {
    setTickSource(pageTickCount);
    RunPlatform platform;
    platform.music = pageMusic();
    platform.videoSink = [](const ExportOptions&, uint8_t* frame24, uint32_t*, const Show&) {
        return new PageFrameSink(frame24);
    };
    platform.showSeeker = makePageSeeker;
    platform.keepDecodedPictures = false;
    Run* run = new Run(platform);
    if (run->open(commandLine)) return run;
    run->close();
    delete run;
    return nullptr;
}

EMSCRIPTEN_KEEPALIVE int webFrame(Run* run) {
    if (run == nullptr || run->ended()) return 0;
    const double begin = emscripten_get_now();
    for (;;) {
        const Run::Step step = run->step();
        switch (step.kind) {
        case Run::Step::Drawn:
            return 1;
        case Run::Step::Wait:
            return 2;
        case Run::Step::Ended:
            run->close();
            return 0;
        case Run::Step::Stepped:
            if (emscripten_get_now() - begin > stepBudgetMs) return 2;
            break;
        }
    }
}

EMSCRIPTEN_KEEPALIVE void webFinish(Run* run) {
    if (run != nullptr) run->close();
}

EMSCRIPTEN_KEEPALIVE void webRelease(Run* run) {
    delete run;
}

// The 32-bit surface the canvas shows and the 24-bit frame of video mode (null once ended).
EMSCRIPTEN_KEEPALIVE const uint8_t* webPixels(Run* run) {
    return run != nullptr && run->surface() != nullptr ? run->surface()->getPixels() : nullptr;
}
EMSCRIPTEN_KEEPALIVE const uint8_t* webFrame24(Run* run) {
    return run != nullptr ? run->frame24() : nullptr;
}
EMSCRIPTEN_KEEPALIVE int webTicks(Run* run) {
    return run != nullptr ? run->ticks() : 0;
}
EMSCRIPTEN_KEEPALIVE long webFrameIndex(Run* run) {
    return run != nullptr ? run->framesDrawn() : 0;
}
EMSCRIPTEN_KEEPALIVE int webScene(Run* run) {
    return run != nullptr && run->show() != nullptr ? run->show()->sceneIndex : -1;
}
EMSCRIPTEN_KEEPALIVE void webSeekTo(Run* run, int ticks) {
    if (run != nullptr && !run->ended()) queueViewerCommand({ViewerCommand::SeekTo, ticks});
}
EMSCRIPTEN_KEEPALIVE int webFrameOnGrid(Run* run) {
    return run != nullptr ? static_cast<int>(run->frameOnGrid()) : -1;
}
// 1 while start= steps the frames before the start tick.
EMSCRIPTEN_KEEPALIVE int webSkipping(Run* run) {
    return run != nullptr && run->skipping() ? 1 : 0;
}
}
