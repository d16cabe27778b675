// start=TICKS in playback, in process on the generated pack with a long soundtrack and SDL's
// dummy audio driver: the skip reaches the tick, the first shown frame is at that tick, and
// the music is heard from the same point and keeps in step with the clock as far as the output
// takes the sound in real time.
#include "app/Run.h"
#include "engine/TickCount.h"
#include "media/Music.h"
#include "tests/media/SoundTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#ifndef START_TICKS
#define START_TICKS 41000
#endif

namespace {

struct Moment {
    int ticks = -1;
    int64_t musicMs = -1;
    int64_t takenFrames = -1; // sample frames the output has taken from the music so far
    std::chrono::steady_clock::time_point at;
};

// The music's sound as the output takes it, counted on the output's thread: the output's own
// clock, which SDL's dummy driver, starved of processor time on a busy machine, lets fall
// behind the wall clock (a real device would drop sound instead).
std::atomic<int64_t> takenFrames{0};
void countTaken(SoundHandle, SoundHandle, void*, uint32_t lengthBytes, void*) {
    takenFrames += lengthBytes / 4;
}
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

TEST(Start, PlaysFromTheTickWithTheMusicAtTheSamePoint) {
    ScopedEnv noScreen("SDL_VIDEODRIVER", "dummy");
    ScopedEnv silentOutput("SDL_AUDIODRIVER", "dummy");
    ScratchDir dir;
    std::filesystem::copy_file(std::string(DEMO_TEST_ASSETS) + "/_.dat", dir.file("_.dat"));
    // Ten minutes of a quiet 8 kHz tone (resampled to 44.1 kHz on playing): long enough.
    writeToneMp3(dir, "velmorin.mp3", 8000, 1, 600.0);
    WorkingDirectory inside(dir.path());
    RunPlatform platform;
    platform.music = {setUpMusic, startMusic, seekMusic, stopMusic, &musicStream};
    platform.credits = false;

    const int start = START_TICKS;
    const auto began = std::chrono::steady_clock::now();
    const double cpuBefore = cpuSeconds();
    ::Run run(platform);
    ASSERT_TRUE(run.open("start=" + std::to_string(start) + " end=" + std::to_string(start + 100)));
    ASSERT_EQ(run.options().start, start) << "start= is read as a tick count";
    ASSERT_NE(soundChannelSetDsp(musicStream, countTaken, nullptr), 0u) << "the output is watched";
    // The clock and the music at each shown frame.
    Moment firstFrame, lastFrame;
    int pacedFrames = 0;
    for (;;) {
        const ::Run::Step step = run.step();
        if (step.kind == ::Run::Step::Ended) break;
        if (step.kind == ::Run::Step::Wait) waitForTickCount(step.since, step.length);
        if (step.kind != ::Run::Step::Drawn) continue;
        const Moment now{run.ticks(), musicPositionMs(), takenFrames.load(),
                         std::chrono::steady_clock::now()};
        if (pacedFrames++ == 0) firstFrame = now;
        lastFrame = now;
    }
    const int endedAt = lastFrame.ticks;
    EXPECT_EQ(run.close(), 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double cpu = cpuSeconds() - cpuBefore;

    ASSERT_GT(pacedFrames, 0) << "frames were shown after the skip";
    EXPECT_GE(firstFrame.ticks, start) << "the first shown frame is at the start tick";
    EXPECT_LE(firstFrame.ticks, start + 3) << "right at it";
    const double startMs = start * 1000.0 / 71.0;
    EXPECT_NEAR(static_cast<double>(firstFrame.musicMs), startMs, 30.0)
        << "the music at the first shown frame is at the start tick's time";
    EXPECT_GE(endedAt, start + 97) << "the show played on to end=";
    EXPECT_GT(lastFrame.musicMs, firstFrame.musicMs) << "the music plays on";
    // The music's position goes with the sound the output took, to a block (46 ms, 2,048
    // sample frames, and as much again for the moment the position is read within a block).
    const double takenMs = (lastFrame.takenFrames - firstFrame.takenFrames) * 1000.0 / 44100.0;
    EXPECT_NEAR(static_cast<double>(lastFrame.musicMs - firstFrame.musicMs), takenMs, 93.0)
        << "the music's position moves on with the sound the output takes";
    // Music and clock stay together, but for what the output took less than real time: SDL's
    // dummy driver, short of processor time, takes sound late and never catches up. Loosely, as
    // the output takes 46 ms blocks.
    const double wallMs =
        std::chrono::duration<double, std::milli>(lastFrame.at - firstFrame.at).count();
    const double outputLagMs = std::max(0.0, wallMs - takenMs);
    EXPECT_NEAR(static_cast<double>(lastFrame.musicMs), lastFrame.ticks * 1000.0 / 71.0,
                250.0 + outputLagMs)
        << "music and clock still together at the last frame (the output fell " << outputLagMs
        << " ms behind real time)";
#ifndef DEMO_SLOW_BUILD
    // Counted in CPU time, which a machine busy with other work does not stretch as it
    // stretches the wall-clock time.
    EXPECT_LT(cpu, 15.0) << "skip and play end within 15 s of work";
#endif
    std::printf("start=%d end=%d took %.1f s (%.1f s of CPU); first frame at tick %d, music "
                "%lld ms (%.1f ms wanted); the output %.0f ms behind real time\n",
                start, start + 100, seconds, cpu, firstFrame.ticks,
                static_cast<long long>(firstFrame.musicMs), startMs, outputLagMs);
}
