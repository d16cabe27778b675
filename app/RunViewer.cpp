// Playback as a viewer watches it: pause, seeks on video mode's frame grid, frame steps, saved
// frames, mute and what the timeline shows.
#include "app/MainLoop.h"
#include "app/Run.h"
#include "app/Show.h"
#include "app/ShowClock.h"
#include "engine/TickCount.h"
#include "graphics/Handles.h"
#include "graphics/RowConverters.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void say(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

// The scene whose picture is shown: on video mode's grid (frame >= 0) the last scene whose
// first frame is at or before it (a frame on which a scene only hands on still shows the
// scene before); off the grid the scene that runs at `ticks`.
int sceneShown(int64_t frame, int ticks) {
    int scene = 0;
    if (frame >= 0) {
        while (scene + 1 < sceneCount && sceneFirstFrame(scene + 1) <= frame)
            ++scene;
        return scene;
    }
    while (scene + 1 < sceneCount && ticks >= sceneEndTicks[scene])
        ++scene;
    return scene;
}

// The frame a step of `by` frames from the picture at `ticks` lands on: from `frame` when the
// picture is that frame of the grid (-1 when it is none), else the first frame drawn after
// the tick or the last one drawn before it.
int64_t frameStep(int64_t frame, int ticks, int by) {
    if (frame >= 0) return frame + by;
    return by > 0 ? firstVideoFrameAt(ticks + 1) + (by - 1) : firstVideoFrameAt(ticks) + by;
}

} // namespace

bool Run::takeViewerCommands() {
    const std::vector<ViewerCommand> commands = theDisplay->takeCommands();
    if (theDisplay->quitRequested()) return false; // Escape came with them: no more seeking
    bool drew = false;
    int64_t target = -1; // the frame the seeks so far lead to
    const auto seekNow = [&] {
        if (target < 0) return;
        if (target != gridFrame) {
            seekToFrame(target);
            drew = true;
        } else {
            updateTimeline(true); // already there
        }
        target = -1;
    };
    const auto seekTo = [&](int64_t frame) {
        target = std::clamp<int64_t>(frame, 0, lastSeekableFrame());
    };
    for (const ViewerCommand& command : commands) {
        const int ticks = target >= 0 ? videoFrameDrawnAt(target) : clock.getTicks();
        switch (command.kind) {
        case ViewerCommand::SeekBy:
            seekTo(firstVideoFrameAt(ticks + command.value * showTicksPerSecond));
            break;
        case ViewerCommand::SeekTo:
            seekTo(firstVideoFrameAt(command.value));
            break;
        case ViewerCommand::GoToScene:
            if (command.value >= 0 && command.value < sceneCount)
                seekTo(sceneFirstFrame(command.value));
            break;
        case ViewerCommand::SceneBy: {
            const int scene = sceneShown(target >= 0 ? target : gridFrame, ticks) + command.value;
            if (scene < sceneCount) seekTo(sceneFirstFrame(std::max(scene, 0)));
            break;
        }
        case ViewerCommand::StepFrame:
            if (isPaused) seekTo(frameStep(target >= 0 ? target : gridFrame, ticks, command.value));
            break;
        case ViewerCommand::TogglePause:
            seekNow();
            setPaused(!isPaused);
            break;
        case ViewerCommand::SaveFrame:
            seekNow();
            saveFrame();
            break;
        case ViewerCommand::ToggleMute:
            toggleMute();
            break;
        }
    }
    seekNow();
    return drew;
}

void Run::seekToFrame(int64_t frame) {
    moveShowToFrame(frame);
    uint8_t* pixels = theSurface->getPixels();
    // For a frame that only hands on to the next scene: the picture the frames before it left.
    theShow->drawPicture({pixels, 640 * 4});
    setClockForFrame(frame);
    showFrame = frame + 1;
    gridFrame = frame;
    if (runOptions.soundOn)
        platform.music.seek(static_cast<int64_t>(clock.getTicks()) * 1000 / showTicksPerSecond);
    updateTimeline(true);
    drawFrame();
    if (!isPaused) followRealTime();
    say("at " + positionText(isPaused ? ", paused" : ""));
}

void Run::moveShowToFrame(int64_t frame) {
    if (seeker != nullptr && seeker->bringBefore(*theShow, showFrame, frame)) {
        showFrame = frame;
        return;
    }
    if (showFrame < 0 || frame < showFrame) {
        loadShow();
        showFrame = 0;
    }
    for (; showFrame < frame; ++showFrame) {
        setClockForFrame(showFrame);
        theShow->step(frameTime(), {nullptr, 640 * 4}); // every effect runs, nothing is drawn
    }
}

void Run::setClockForFrame(int64_t frame) {
    // After the ticks of the frame before, the ticks of this one: every reading a frame takes
    // from the clock follows from those two.
    clock.setTicks(videoFrameDrawnAt(frame - 1));
    clock.setTicks(videoFrameDrawnAt(frame));
}

// From the first whole millisecond at which the clock reads the tick it stands at, counted
// from now; then, as at the show's start, two real-time steps, the first of which only takes
// the counter as its reference. The next frame is due one slot from now.
void Run::followRealTime() {
    const int64_t ticks = clock.getTicks();
    clock.setTime(static_cast<int>((ticks * 1000 + showTicksPerSecond - 1) / showTicksPerSecond));
    clock.update();
    clock.update();
    lastSlotEnd = getTickCount();
    paced = true;
}

void Run::setPaused(bool pause) {
    if (pause == isPaused) return;
    isPaused = pause;
    if (pause) {
        if (runOptions.soundOn) platform.music.pause();
        say("paused at " + positionText());
    } else {
        say("playing from " + positionText());
        if (runOptions.soundOn) platform.music.resume();
        followRealTime();
    }
    updateTimeline(false);
}

void Run::saveFrame() {
    if (drawnFrames == 0 && gridFrame < 0) return; // nothing shown yet
    char name[32];
    std::snprintf(name, sizeof name, "tick-%05d.png", clock.getTicks());
    if (!platform.savePicture) {
        say(std::string(name) + " not saved: this player writes no pictures");
        return;
    }
    // The frame as video mode hands it on: the surface's 640 x 480 rows as one long row.
    std::vector<uint8_t> frame(640 * 480 * 3);
    convertRowTo24(reinterpret_cast<const uint32_t*>(theSurface->getPixels()), frame.data(),
                   640 * 480);
    std::string why;
    if (platform.savePicture(name, frame.data(), why))
        say(std::string("saved ") + name + ": " + positionText());
    else
        say(std::string("could not save ") + name + ": " + why);
}

void Run::toggleMute() {
    if (!runOptions.soundOn) {
        say("nothing to mute: the show runs without sound");
        return;
    }
    muted = !muted;
    platform.music.setMuted(muted);
    say(muted ? "sound muted" : "sound on");
}

void Run::updateTimeline(bool reveal) {
    static_assert(sceneCount == std::tuple_size<decltype(TimelineState::sceneStarts)>::value,
                  "a mark for every scene");
    TimelineState timeline;
    timeline.ticks = clock.getTicks();
    timeline.lengthTicks = showEndTicks;
    timeline.ticksPerSecond = showTicksPerSecond;
    for (int scene = 0; scene < sceneCount; ++scene)
        timeline.sceneStarts[scene] = sceneStartTicks(scene);
    timeline.scene = sceneShown(gridFrame, timeline.ticks) + 1;
    timeline.paused = isPaused;
    timeline.reveal = reveal;
    theDisplay->showTimeline(timeline);
}

int64_t Run::lastSeekableFrame() const {
    const int limit = runOptions.end >= 0 ? std::min(runOptions.end, showEndTicks) : showEndTicks;
    return std::max<int64_t>(firstVideoFrameAt(limit) - 1, 0);
}

std::string Run::positionText(const std::string& state) {
    std::string text = "tick " + std::to_string(clock.getTicks());
    if (gridFrame >= 0) text += " (frame " + std::to_string(gridFrame) + ")";
    text += state;
    const int64_t music = runOptions.soundOn ? platform.music.positionMs() : -1;
    if (music >= 0) text += "; music at " + std::to_string(music) + " ms";
    return text;
}
