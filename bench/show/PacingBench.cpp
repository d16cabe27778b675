// The player's frame pacing over the real show in a 640 x 480 window: the CPU share of the
// process and how exactly each frame slot is kept (the time from the end of one slot to the
// end of the next, against 32 ms, or 25 ms inside scene 4), for the sleeping wait the program
// uses or for a busy-wait on the millisecond counter, as the baseline.
//
// usage: pacing_bench PACK SECONDS sleep|spin     (with DISPLAY set, e.g. under Xvfb)
#include "app/Application.h"
#include "app/MainLoop.h"
#include "engine/TickCount.h"
#include "engine/Timer.h"
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

Clock::time_point lastSlotEnd;
bool started = false;
std::vector<double> slotErrors; // ms, |slot taken - slot length|

uint32_t slotLength() {
    const int t = Timer::instance()->getTicks();
    return (27000 < t && t < 41000) ? 25 : 32;
}

// The baseline: reads the counter until the slot is over, never sleeping.
uint32_t spinLast = 0;
bool spinStarted = false;
void spinPace() {
    if (!spinStarted) {
        spinLast = getTickCount();
        spinStarted = true;
    }
    const uint32_t slot = slotLength();
    while (getTickCount() - spinLast < slot) {
    }
    spinLast = getTickCount();
}

bool spinning = false;

void measuredPace() {
    const uint32_t slot = slotLength();
    if (spinning)
        spinPace();
    else
        paceFrame();
    const Clock::time_point now = Clock::now();
    if (started) {
        const double taken = std::chrono::duration<double, std::milli>(now - lastSlotEnd).count();
        slotErrors.push_back(std::fabs(taken - slot));
    }
    started = true;
    lastSlotEnd = now;
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
    spinning = std::strcmp(argv[3], "spin") == 0;
    const int seconds = std::max(1, std::atoi(argv[2]));
    setDisplayPlatform(sdlDisplayPlatform());
    readCommandLine("windowed noaudio end=" + std::to_string(seconds * 71));
    createServers();
    prepareData(argv[1]);
    setUp();
    // The window has the focus, as it has when a viewer starts the show.
    SDL_Event focus{};
    focus.type = SDL_WINDOWEVENT;
    focus.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(getDisplayWindow()));
    focus.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&focus);

    startClock();
    setFramePacer(measuredPace);
    const double cpuBefore = cpuSeconds();
    const Clock::time_point wallBefore = Clock::now();
    runMainLoop(*show);
    const double cpu = cpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    shutDown();

    std::printf("%-5s %zu frames in %.1f s: CPU %.2f s = %.1f %% of one core; slot error "
                "median %.3f ms, 99th percentile %.3f ms, largest %.3f ms\n",
                argv[3], slotErrors.size() + 1, wall, cpu, 100.0 * cpu / wall,
                percentile(slotErrors, 0.5), percentile(slotErrors, 0.99),
                percentile(slotErrors, 1.0));
    return 0;
}
