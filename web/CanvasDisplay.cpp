// The page's display: present hands the surface's 640 x 480 pixels (words 0x00RRGGBB) to the
// page's Module.showFrame, which puts them into the canvas; without a page (node) nothing is
// shown. The page enlarges the canvas itself, by whole multiples so the black rows stay crisp.
//
// The viewer's commands reach the run at its next pass, from the module's own queue
// (queueViewerCommand, the tests' webSeekTo) first, then from the page's controls. The
// controls reach the run through two hooks:
//   Module.takeCommands()    the viewer's commands since the last call, oldest first, as
//                            [kind, value] pairs; kind is one of "pause", "seekBy" (seconds),
//                            "seekTo" (a tick), "step" (+1 or -1 frames), "scene" (0 ... 8),
//                            "sceneBy" (+1 or -1), "save", "mute". Anything else is skipped.
//   Module.showTimeline(s)   what the timeline shows: {ticks, lengthTicks, ticksPerSecond,
//                            sceneStarts (nine ticks), scene (1 ... 9), paused, reveal}.
#include "graphics/Handles.h"
#include "graphics/PlatformDisplay.h"
#include "web/PageCommands.h"

#include <emscripten.h>

#include <array>
#include <utility>
#include <vector>

namespace {

std::vector<ViewerCommand>& queuedCommands() {
    static std::vector<ViewerCommand> queued;
    return queued;
}

// clang-format off
EM_JS(void, showFramePixels, (const uint8_t* pixels), {
    if (Module.showFrame) Module.showFrame(pixels);
});
EM_JS(int, pageAsksToQuit, (), {
    return Module.quitRequested ? (Module.quitRequested() ? 1 : 0) : 0;
});
// Moves up to `capacity` of the page's commands into `out` as (kind, value) pairs of ints, the
// kind as ViewerCommand's number, the value a whole number within +-10,000,000 (so that seconds
// in ticks stay within an int); the rest wait for the next call. The count moved.
EM_JS(int, pageTakesCommands, (int* out, int capacity), {
    if (!Module.takeCommands) return 0;
    if (!Module.pendingCommands || Module.pendingCommands.length === 0) {
        const taken = Module.takeCommands();
        Module.pendingCommands = Array.isArray(taken) ? taken.slice() : [];
    }
    const kinds = {pause: 0, seekBy: 1, seekTo: 2, step: 3, scene: 4, sceneBy: 5, save: 6, mute: 7};
    let count = 0;
    while (count < capacity && Module.pendingCommands.length > 0) {
        const command = Module.pendingCommands.shift();
        if (!Array.isArray(command) || !Object.prototype.hasOwnProperty.call(kinds, command[0]))
            continue;
        const value = Number(command[1] === undefined ? 0 : command[1]);
        if (!Number.isFinite(value)) continue;
        HEAP32[(out >> 2) + 2 * count] = kinds[command[0]];
        HEAP32[(out >> 2) + 2 * count + 1] = Math.max(-1e7, Math.min(1e7, Math.trunc(value)));
        count += 1;
    }
    return count;
});
EM_JS(void, timelineToPage, (int ticks, int lengthTicks, int ticksPerSecond, const int* sceneStarts,
                             int sceneCount, int scene, int paused, int reveal), {
    if (!Module.showTimeline) return;
    const starts = [];
    for (let i = 0; i < sceneCount; i++) starts.push(HEAP32[(sceneStarts >> 2) + i]);
    Module.showTimeline({ticks: ticks, lengthTicks: lengthTicks, ticksPerSecond: ticksPerSecond,
                         sceneStarts: starts, scene: scene, paused: paused !== 0,
                         reveal: reveal !== 0});
});
// clang-format on

// The kinds in the order of ViewerCommand::Kind, as pageTakesCommands numbers them.
constexpr std::array<ViewerCommand::Kind, 8> commandKinds{
    ViewerCommand::TogglePause, ViewerCommand::SeekBy,    ViewerCommand::SeekTo,
    ViewerCommand::StepFrame,   ViewerCommand::GoToScene, ViewerCommand::SceneBy,
    ViewerCommand::SaveFrame,   ViewerCommand::ToggleMute};

class CanvasDisplay : public DisplayDevice {
  public:
    using DisplayDevice::DisplayDevice;
    int open() override { return 1; }
    void close() override {}
    bool quitRequested() override { return pageAsksToQuit() != 0; }
    void attachSurface(Surface* s) override { surface = s; }
    int present() override {
        if (surface == nullptr) return 0;
        showFramePixels(surface->getPixels());
        return 1;
    }

    std::vector<ViewerCommand> takeCommands() override {
        std::vector<ViewerCommand> commands = std::exchange(queuedCommands(), {});
        std::array<int, 2 * 16> pairs{};
        // A page that queues without end cannot hold the run here: at most 256 per pass.
        for (int round = 0; round < 16; ++round) {
            const int count = pageTakesCommands(pairs.data(), static_cast<int>(pairs.size() / 2));
            for (int i = 0; i < count; ++i) {
                const int kind = pairs[2 * i];
                if (kind < 0 || kind >= static_cast<int>(commandKinds.size())) continue;
                commands.push_back({commandKinds[kind], pairs[2 * i + 1]});
            }
            if (count < static_cast<int>(pairs.size() / 2)) break;
        }
        return commands;
    }

    void showTimeline(const TimelineState& state) override {
        timelineToPage(state.ticks, state.lengthTicks, state.ticksPerSecond,
                       state.sceneStarts.data(), static_cast<int>(state.sceneStarts.size()),
                       state.scene, state.paused ? 1 : 0, state.reveal ? 1 : 0);
    }

  private:
    Surface* surface = nullptr; // not owned
};

} // namespace

void queueViewerCommand(const ViewerCommand& command) {
    queuedCommands().push_back(command);
}

DisplayDevice* createPlatformDisplay(const std::string& title) {
    return new CanvasDisplay(title);
}

void* getDisplayWindow() {
    return nullptr;
}

void hideDisplayWindow(void*) {}

void setDisplayWindowed(bool) {}

// The page always enlarges by whole multiples where the window allows (page.js).
void setDisplayScaleMode(ScaleMode) {}
