// The entry routine with a test frame sink in video mode, in a child process on the generated
// pack: how a sink's failures and a ProgramExit end the run, with their exit codes, the
// "Sorry." box and the credits.
#include "app/Application.h"
#include "engine/ProgramExit.h"
#include "media/FrameSink.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace {

enum class Failure { None, ThrowAtFrame3, ExitAtFrame3, CannotFinish };
Failure failure = Failure::None;

// Counts frames, fails as told, and says on standard error what it did.
class TestSink : public FrameSink {
  public:
    void nextFrame(int) override {
        if (++frames < 3) return;
        if (failure == Failure::ThrowAtFrame3) throw std::runtime_error("sink broke");
        if (failure == Failure::ExitAtFrame3) {
            std::fputs("sink: cancelled\n", stderr);
            throw ProgramExit(0);
        }
    }
    int finish() override {
        std::fprintf(stderr, "sink: finished after %d frames\n", frames);
        if (failure != Failure::CannotFinish) return 0;
        std::fputs("Error!: the file could not be completed\n", stderr);
        return 1;
    }
    ~TestSink() override { std::fputs("sink: deleted\n", stderr); }

  private:
    int frames = 0;
};

FrameSink* makeTestSink(const ExportOptions&, uint8_t*, uint32_t*) {
    return new TestSink();
}

// The whole program for the command line with the test sink, as its main would run it.
[[noreturn]] void runProgram(Failure how, const char* commandLine) {
    if (chdir(DEMO_TEST_ASSETS) != 0) std::_Exit(90);
    failure = how;
    setVideoSinkMaker(makeTestSink);
    std::exit(demoMain(commandLine));
}

TEST(ApplicationDeathTest, AVideoRunCompletesItsSinkAndShowsTheCredits) {
    EXPECT_EXIT(runProgram(Failure::None, "video noaudio end=20"), testing::ExitedWithCode(0),
                "sink: finished after [0-9]+ frames\nsink: deleted\n(.|\n)*created by")
        << "the sink is completed and deleted before the credits";
}

TEST(ApplicationDeathTest, ASinkThatCannotCompleteItsFileEndsWithItsCodeAndTheCredits) {
    EXPECT_EXIT(runProgram(Failure::CannotFinish, "video noaudio end=20"),
                testing::ExitedWithCode(1),
                "could not be completed\nsink: deleted\n[^S]*created by ~north of nowhere~")
        << "exit code 1, no \"Sorry.\", the credits last";
}

TEST(ApplicationDeathTest, AProgramExitFromTheSinkEndsWithItsCodeAndTheExitRoutineCompletes) {
    EXPECT_EXIT(runProgram(Failure::ExitAtFrame3, "video noaudio end=20"),
                testing::ExitedWithCode(0),
                "sink: cancelled\nsink: finished after 3 frames\nsink: deleted\n[^S]*created by")
        << "the exit routine completes and deletes the sink, then shows the credits";
}

TEST(ApplicationDeathTest, AnyOtherFailureSaysSorryAndStillCompletesTheSink) {
    EXPECT_EXIT(runProgram(Failure::ThrowAtFrame3, "video noaudio end=20"),
                testing::ExitedWithCode(0),
                "sink: finished after 3 frames\nsink: deleted\nSorry.\n(.|\n)*created by")
        << "the catch-all completes the sink, says \"Sorry.\" and ends with code 0";
}

} // namespace
