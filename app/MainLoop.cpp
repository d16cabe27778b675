// The main loop and frame pacing.
#include "app/MainLoop.h"

#include "app/Application.h"
#include "app/Show.h"
#include "engine/TickCount.h"
#include "engine/Timer.h"
#include "graphics/Handles.h"
#include "graphics/RowConverters.h"
#include "media/FrameSink.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

float videoFrameCount = 0.0f;

namespace {
uint32_t lastFrameCount = 0;
bool pacingStarted = false;
FramePacer framePacer = nullptr;
constexpr uint32_t skipShowEvery = 100; // ms between black frames while start= skips

// What the display shows while frames are stepped without being drawn: black, presented every
// skipShowEvery ms so that the window stays alive and answers its keys.
class SkipScreen {
  public:
    SkipScreen() { std::memset(black.getPixels(), 0, 640 * 480 * 4); }
    void refresh() {
        if (getTickCount() - lastShown < skipShowEvery) return;
        display->attachSurface(&black);
        display->present();
        display->attachSurface(surface);
        lastShown = getTickCount();
    }

  private:
    Surface black;
    uint32_t lastShown = getTickCount() - skipShowEvery;
};
} // namespace

void setFramePacer(FramePacer pacer) {
    framePacer = pacer;
}

void drawBorder(uint8_t* pixels) {
    constexpr int rowBytes = 640 * 4;
    std::memset(pixels, 0, 8 * rowBytes);
    std::memset(pixels + 472 * rowBytes, 0, 8 * rowBytes);
    for (int y = 0; y < 480; ++y) {
        uint8_t* row = pixels + y * rowBytes;
        std::memset(row, 0, 7 * 4);
        std::memset(row + 633 * 4, 0, 7 * 4);
    }
}

void paceFrame() {
    if (!pacingStarted) {
        lastFrameCount = getTickCount();
        pacingStarted = true;
    }
    const int t = Timer::instance()->getTicks();
    const uint32_t slot = (27000 < t && t < 41000) ? 25 : 32;
    waitForTickCount(lastFrameCount, slot);
    lastFrameCount = getTickCount();
}

int videoTicks(float frameCount, float frameRate) {
    return static_cast<int>(71.0 / static_cast<double>(frameRate) *
                            static_cast<double>(frameCount));
}

int videoProgress(int ticks) {
    return static_cast<int>(ticks * static_cast<double>(1.5649452e-5f) * 100.0);
}

FrameTime frameTime(Timer& timer) {
    return {timer.getTicks(), timer.getTickDelta(), timer.getTimeDelta()};
}

void skipToStart(Show& show, int ticks) {
    if (ticks <= 0) return;
    std::fprintf(stderr, "start=%d: rendering the show up to tick %d without showing it\n", ticks,
                 ticks);
    std::fflush(stderr);
    // Sought first: finding the point may take the sound library a while (it reads the file's
    // frames up to there), and the clock must not run meanwhile.
    if (soundOn) musicPlayer().seek(static_cast<int64_t>(ticks) * 1000 / 71);
    SkipScreen screen;
    Timer* timer = Timer::instance();
    // Two steps as at the export's start: the first after a real-time step has no delta.
    timer->setTicks(0);
    timer->setTicks(0);
    float frames = 0.0f;
    while (!show.finished() && timer->getTicks() < ticks) {
        if (display->quitRequested()) return;
        show.step(frameTime(*timer), {nullptr, 640 * 4}); // every effect runs, nothing drawn
        screen.refresh();
        timer->setTicks(std::min(videoTicks(frames, videoFrameRate), ticks));
        frames = static_cast<float>(frames + 1.0);
    }
    // What the skipped frames would have left on the surface, for a first frame that only
    // hands on to the next scene.
    show.drawPicture({surface->getPixels(), 640 * 4});
    drawBorder(surface->getPixels());
    if (soundOn) musicPlayer().start("data/velmorin(prv).mp3");
    // From the tick reached on in real time, counted from now, when the music starts: as at
    // the show's start, two real-time steps, the first of which only takes the counter as its
    // reference.
    timer->setTicks(std::min(timer->getTicks(), ticks));
    timer->update();
    timer->update();
}

namespace {
// Video mode after a frame: the sink takes it, and the clock moves on to the next frame.
void nextVideoFrame(Timer& timer) {
    const int ticks = videoTicks(videoFrameCount, videoFrameRate);
    const int progress = videoProgress(ticks);
    if (aviWriter != nullptr) aviWriter->nextFrame(progress);
    timer.setTicks(ticks);
    videoFrameCount = static_cast<float>(videoFrameCount + 1.0);
}
} // namespace

void runMainLoop(Show& show) {
    Timer* timer = Timer::instance();
    if (!videoMode && startTicks > 0) skipToStart(show, startTicks);
    std::unique_ptr<SkipScreen> skipScreen; // while the export skips to its clip
    for (;;) {
        if (display->quitRequested()) break;
        if (show.finished()) break;
        if (endTicks >= 0 && timer->getTicks() >= endTicks) break;
        if (videoMode && aviWriter != nullptr && aviWriter->skipsNextFrame()) {
            // A frame before the export's clip: every effect runs, nothing is drawn.
            show.step(frameTime(*timer), {nullptr, 640 * 4});
            if (skipScreen == nullptr) skipScreen = std::make_unique<SkipScreen>();
            skipScreen->refresh();
            nextVideoFrame(*timer);
            continue;
        }
        if (skipScreen != nullptr) {
            // What the skipped frames would have left on the surface, for a first frame that
            // only hands on to the next scene.
            show.drawPicture({surface->getPixels(), 640 * 4});
            skipScreen.reset();
        }
        show.step(frameTime(*timer), {surface->getPixels(), 640 * 4});
        drawBorder(surface->getPixels());
        display->present();
        if (!videoMode) {
            if (framePacer != nullptr)
                framePacer();
            else
                paceFrame();
            timer->update();
            continue;
        }
        // The surface's 640 x 480 rows have no padding, nor have the frame's: one long row.
        convertRowTo24(reinterpret_cast<const uint32_t*>(surface->getPixels()), frameBuffer24,
                       640 * 480);
        nextVideoFrame(*timer);
    }
}
