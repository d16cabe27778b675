// The ways an export ends the process: failures (code 1), the low-memory question and a
// confirmed Cancel (code 0, with a complete file), and a cancelled codec chooser.
#include "ExportTestSupport.h"
#include "media/AviWriter.h"
#include "media/ExportProgress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// A failed allocation must come back as null (the low-memory question), also under ASan and
// ThreadSanitizer.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
extern "C" const char* __tsan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

long fileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

} // namespace

TEST(AviExitDeathTest, FileThatCannotBeOpenedEndsWithCode1AndTheReason) {
    EXPECT_EXIT(endAsTheProgramDoes([] {
                    noUserAround();
                    AviWriter(nullptr, "/no/such/dir/_.avi", frameWidth, frameHeight, false, 31,
                              44100, 16, optionsOf("codec=ffv1"));
                }),
                testing::ExitedWithCode(1),
                "Error!: Couldn't open avi file! \\(/no/such/dir/_.avi\\) - 'No such file or "
                "directory'")
        << "fail names the file, shows the system's reason and exits 1";
}

TEST(AviExitDeathTest, WriteFailureIsReportedOnceWithTheFileAndTheReason) {
    const std::string path = scratchPath("full.avi");
    ASSERT_EQ(symlink("/dev/full", path.c_str()), 0) << "the file is a link to a full disk";
    auto exportToAFullDisk = [&] {
        startExitingWriter(path, "codec=raw");
        for (int i = 0; i < 100; ++i) // the first frame fills the output buffer and fails
            exitingWriter()->nextFrame(i);
        std::_Exit(97);
    };
    const std::string box =
        "Error!: Couldn't write to avi stream (" + path + ") - 'No space left on device'";
    EXPECT_EXIT(endAsTheProgramDoes(exportToAFullDisk), testing::ExitedWithCode(1),
                testing::Truly([&](const std::string& err) {
                    return occurrences(err, "Error!") == 1 && err.find(box) != std::string::npos;
                }))
        << "one \"" << box << "\" box, then exit code 1";
    std::remove(path.c_str());
}

TEST(AviExitDeathTest, UnknownCodecNameEndsWithCode1) {
    const std::string path = scratchPath("unknown-codec.avi");
    EXPECT_EXIT(endAsTheProgramDoes([&] {
                    noUserAround();
                    AviWriter(nullptr, path.c_str(), frameWidth, frameHeight, false, 31, 44100, 16,
                              optionsOf("codec=divx"));
                }),
                testing::ExitedWithCode(1), "Unknown video codec 'divx'.*ffv1")
        << "a codec word naming no codec is refused with the list of names";
}

TEST(AviExitDeathTest, LowMemoryQuestionAnsweredNoEndsWithCode0) {
    const std::string path = scratchPath("low-memory.avi");
    setCaptureBufferSize(int64_t{1} << 60);
    EXPECT_EXIT(endAsTheProgramDoes([&] {
                    noUserAround();
                    AviWriter(nullptr, path.c_str(), frameWidth, frameHeight, true, 31, 44100, 16,
                              optionsOf("codec=ffv1"));
                }),
                testing::ExitedWithCode(0), "Oups. Low memory detected!: Your system doesn't")
        << "a capture buffer that cannot be had asks, and No ends the run with code 0";
    setCaptureBufferSize(0);
}

TEST(AviExitDeathTest, ConfirmedCancelEndsWithCode0AndLeavesACompleteFile) {
    const std::string path = scratchPath("cancelled.avi");
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 5; ++i)
        frames.push_back(syntheticFrame(i));
    auto exportThenInterrupt = [&] {
        std::vector<uint8_t>& frameBuffer = startExitingWriter(path, "codec=ffv1");
        for (const auto& frame : frames) {
            std::copy(frame.begin(), frame.end(), frameBuffer.begin());
            exitingWriter()->nextFrame(10);
        }
        std::raise(SIGINT); // Ctrl-C: with nobody to ask, Cancel is confirmed at once
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!ExportProgress::cancelConfirmed() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        exitingWriter()->nextFrame(20); // ends the program between two frames
    };
    EXPECT_EXIT(endAsTheProgramDoes(exportThenInterrupt), testing::ExitedWithCode(0), "Really\\?")
        << "a confirmed Cancel ends the process with code 0 at the next frame";
    EXPECT_EQ(probeStreams(path)["stream.0.nb_read_frames"], "5")
        << "the file is complete and holds every frame written before the Cancel";
    EXPECT_EQ(decodedFrameMd5s(path), frameMd5s(frames)) << "and those frames are intact";
}

// The chooser's prompt on a terminal: answering 0 (Cancel) fails before any frame is written.
TEST(AviExitDeathTest, CancelledChooserEndsWithCode1BeforeAnyFrame) {
    const std::string path = scratchPath("chooser-cancel.avi");
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0) << "a pseudo-terminal for the prompt";
    if (child == 0) {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        endAsTheProgramDoes([&] {
            AviWriter writer(nullptr, path.c_str(), frameWidth, frameHeight, false, 31, 44100, 16,
                             optionsOf(""));
        });
    }
    std::string seen;
    bool answered = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{terminal, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char chunk[512];
        const ssize_t got = read(terminal, chunk, sizeof chunk);
        if (got <= 0) break; // the child has gone
        seen.append(chunk, static_cast<size_t>(got));
        if (!answered && seen.find("Choice [") != std::string::npos) {
            EXPECT_EQ(fileSize(path), -1) << "nothing is on disk while the codec is chosen";
            ASSERT_EQ(write(terminal, "0\n", 2), 2) << "answer Cancel";
            answered = true;
        }
    }
    close(terminal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child) << "the child ends";
    EXPECT_TRUE(answered) << "the prompt was shown: " << seen;
    EXPECT_NE(seen.find("ffv1"), std::string::npos) << "the prompt lists the codecs";
    EXPECT_NE(seen.find("Error!: avi dialog was aborted!"), std::string::npos)
        << "the Error! box says the dialog was aborted: " << seen;
    ASSERT_TRUE(WIFEXITED(status)) << "a normal exit, not a crash";
    EXPECT_EQ(WEXITSTATUS(status), 1) << "exit code 1";
    EXPECT_EQ(fileSize(path), -1) << "no file (not even an empty one) is left behind";
}
