// The player's frame pacing over the real show in a 640 x 480 window: the CPU share of the
// process and how exactly each frame slot is kept (the time from the end of one slot to the
// end of the next, against 32 ms, or 25 ms inside scene 4) and how far the frames fall behind
// the slots' fixed grid (each frame against the first plus the slots before it), for the
// sleeping wait the program uses or for a busy-wait on the millisecond counter, as the
// baseline.
//
// usage: pacing_bench PACK SECONDS sleep|spin     (with DISPLAY set, e.g. under Xvfb)
#include "app/Run.h"
#include "app/ShowClock.h"
#include "engine/TickCount.h"
#include "graphics/PlatformDisplay.h"
#include "graphics/SdlDisplay.h"

#include <SDL.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The baseline: reads the counter until the slot is over, never sleeping.
void spinUntil(uint32_t since, uint32_t length) {
    while (getTickCount() - since < length) {
    }
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(share * values.size()));
    return values[at];
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[3], "sleep") != 0 && std::strcmp(argv[3], "spin") != 0)) {
        std::fprintf(stderr, "usage: %s PACK SECONDS sleep|spin\n", argv[0]);
        return 1;
    }
    const bool spinning = std::strcmp(argv[3], "spin") == 0;
    const int seconds = std::max(1, std::atoi(argv[2]));
    setDisplayPlatform(sdlDisplayPlatform());
    RunPlatform platform;
    platform.credits = false;
    Run run(platform);
    if (!run.open("windowed noaudio end=" + std::to_string(seconds * 71), argv[1])) return 1;
    // The window has the focus, as it has when a viewer starts the show.
    SDL_Event focus{};
    focus.type = SDL_WINDOWEVENT;
    focus.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(getDisplayWindow()));
    focus.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&focus);

    // The slot each frame took: from the moment one frame's drawing began to the next's.
    std::vector<double> slotErrors; // ms, |slot taken - slot length|
    double gridTime = 0;            // ms from the first frame to the end of the last slot
    double gridLag = 0;             // ms, the most a frame came after its slot's end
    Clock::time_point firstDrawn, lastDrawn;
    bool drawn = false;
    const double cpuBefore = cpuSeconds();
    const Clock::time_point wallBefore = Clock::now();
    for (;;) {
        const uint32_t slot = frameSlotMs(run.ticks()); // of the frame drawn last
        const Clock::time_point before = Clock::now();
        const Run::Step step = run.step();
        if (step.kind == Run::Step::Ended) break;
        if (step.kind == Run::Step::Wait) {
            if (spinning)
                spinUntil(step.since, step.length);
            else
                waitForTickCount(step.since, step.length);
            continue;
        }
        if (step.kind != Run::Step::Drawn) continue;
        if (drawn) {
            const double taken =
                std::chrono::duration<double, std::milli>(before - lastDrawn).count();
            slotErrors.push_back(std::fabs(taken - slot));
            gridTime += slot;
            const double sinceFirst =
                std::chrono::duration<double, std::milli>(before - firstDrawn).count();
            gridLag = std::max(gridLag, sinceFirst - gridTime);
        } else {
            firstDrawn = before;
        }
        drawn = true;
        lastDrawn = before;
    }
    const double cpu = cpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    run.close();
    std::printf("%-5s %zu frames in %.1f s: CPU %.2f s = %.1f %% of one core; slot error "
                "median %.3f ms, 99th percentile %.3f ms, largest %.3f ms; behind the grid at "
                "most %.3f ms\n",
                argv[3], slotErrors.size() + 1, wall, cpu, 100.0 * cpu / wall,
                percentile(slotErrors, 0.5), percentile(slotErrors, 0.99),
                percentile(slotErrors, 1.0), gridLag);
    return 0;
}
