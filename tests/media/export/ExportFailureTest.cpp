// A running export that fails or is cut short, and what it leaves behind: a closed pipe, a full
// disk with files that cannot be read without their end, ranges without a frame, places that
// cannot be written, a Cancel before the first frame and a Cancel whose last write fails.
#include "ExportTestSupport.h"
#include "media/AviWriter.h"
#include "media/ExportChapters.h"
#include "media/ExportClip.h"
#include "media/ExportFormats.h"
#include "media/ExportProgress.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

double seconds(int64_t frames) {
    return static_cast<double>(frames) / 31;
}

// Confirms a Cancel as Ctrl-C does when nobody is there to ask, and waits until it is.
void confirmCancel() {
    ExportProgress::requestCancel();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ExportProgress::cancelConfirmed() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Files of this process may grow to `bytes`: a write past that fails with "File too large", as
// on a full disk (and without a signal).
void limitFileSize(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) std::_Exit(95);
}

// Hands count synthetic frames to the exiting writer, as the main loop does.
void exportFrames(std::vector<uint8_t>& frameBuffer, int count) {
    for (int i = 0; i < count; ++i) {
        const std::vector<uint8_t> frame = syntheticFrame(i % 16);
        std::copy(frame.begin(), frame.end(), frameBuffer.begin());
        exitingWriter()->nextFrame(0);
    }
}

bool exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

} // namespace

TEST(ExportFailureDeathTest, AClosedPipeIsAWriteFailureWithOneBoxAndCode1) {
    auto exportIntoAClosedPipe = [] {
        int ends[2];
        if (pipe(ends) != 0 || dup2(ends[1], STDOUT_FILENO) < 0) std::_Exit(94);
        std::vector<uint8_t>& frameBuffer = startExitingWriter("-", "");
        close(ends[0]); // the reader goes away after the stream's header
        exportFrames(frameBuffer, 20);
        std::_Exit(97);
    };
    const std::string box =
        "Error!: Couldn't write to avi stream (standard output) - 'Broken pipe'";
    EXPECT_EXIT(endAsTheProgramDoes(exportIntoAClosedPipe), testing::ExitedWithCode(1),
                testing::Truly([&](const std::string& err) {
                    return occurrences(err, "Error!") == 1 && err.find(box) != std::string::npos;
                }))
        << "no SIGPIPE: one \"" << box << "\" box, then exit code 1";
}

TEST(ExportFailureDeathTest, AFullDiskRemovesAPartialMp4OrMovAndKeepsTheFramesOfTheOthers) {
    struct Case {
        std::string name, words;
        bool readableWithoutItsEnd;
    };
    // h264 at crf=0 gives large packets, so the limit is reached after few frames.
    for (const Case& c : std::vector<Case>{{"full.mp4", "codec=h264 crf=0 scale=1", false},
                                           {"full.mov", "codec=h264 crf=0 scale=1", false},
                                           {"full.mkv", "codec=ffv1", true},
                                           {"full.nut", "", true},
                                           {"full.avi", "codec=raw", true}}) {
        const std::string path = scratchPath(c.name);
        auto exportToAFullDisk = [&] {
            limitFileSize(3000000);
            std::vector<uint8_t>& frameBuffer = startExitingWriter(path, c.words);
            exportFrames(frameBuffer, 400);
            std::_Exit(97);
        };
        const std::string told = "Error!: Couldn't write to avi stream \\(" + path +
                                 "\\) - 'File too large'" +
                                 (c.readableWithoutItsEnd ? "" : ".*" + path + " is removed");
        EXPECT_EXIT(endAsTheProgramDoes(exportToAFullDisk), testing::ExitedWithCode(1), told)
            << c.name << ": the failure names the file and the reason, exit code 1";
        if (c.readableWithoutItsEnd) {
            EXPECT_GT(std::atoi(probeStreams(path)["stream.0.nb_read_frames"].c_str()), 0)
                << c.name << ": the frames written before the failure can be read";
        } else {
            EXPECT_FALSE(exists(path))
                << c.name << ": a file that cannot be read without its end is not left behind";
        }
    }
}

TEST(ExportFailureDeathTest, ARangeWithoutAFrameIsRefusedBeforeAnyFile) {
    for (const char* name : {"empty.mkv", "empty.webm", "empty.nut", "empty.mp4", "empty.mov"})
        for (const char* words : {"end=0", "start=0 end=0"}) {
            const std::string path = scratchPath(name);
            EXPECT_EXIT(endAsTheProgramDoes([&] {
                            noUserAround();
                            AviWriter(nullptr, path.c_str(), frameWidth, frameHeight, false, 31,
                                      44100, 16, optionsOf(words));
                        }),
                        testing::ExitedWithCode(1), "Error!: end=0 leaves no frame to export")
                << name << " " << words << ": refused with an Error! box, exit code 1";
            EXPECT_FALSE(exists(path)) << name << " " << words << ": no file";
        }
}

TEST(ExportFailureDeathTest, ACancelBeforeTheClipsFirstFrameLeavesNoFile) {
    struct Case {
        std::string name, codec;
    };
    for (const Case& c : std::vector<Case>{
             {"skip.mkv", "utvideo"}, {"skip.mp4", "h264"}, {"skip-av1.mkv", "av1"}}) {
        if (!offered(c.name, c.codec)) continue;
        const std::string path = scratchPath(c.name);
        auto cancelWhileStepping = [&] {
            std::vector<uint8_t>& frameBuffer =
                startExitingWriter(path, "start=2000 scale=1 codec=" + c.codec);
            exportFrames(frameBuffer, 5); // frames before the clip: stepped, not written
            confirmCancel();
            exitingWriter()->nextFrame(0);
            std::_Exit(97);
        };
        EXPECT_EXIT(endAsTheProgramDoes(cancelWhileStepping), testing::ExitedWithCode(0),
                    "Cancelled before the first frame - " + path + " is not written")
            << c.name << " (" << c.codec << "): a confirmed Cancel ends with code 0 and says so";
        EXPECT_FALSE(exists(path)) << c.name << " (" << c.codec << "): no file without a frame";
    }
}

TEST(ExportFailureDeathTest, AnOutThatCannotBeWrittenIsNamedWithTheSystemsReason) {
    const std::string folder = scratchPath("a-folder.mkv");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0) << "a folder with a video file's name";
    const std::string regular = scratchPath("a-file.txt");
    std::ofstream(regular) << "not a folder";
    struct Case {
        std::string path, reason;
    };
    for (const Case& c : std::vector<Case>{{folder, "Is a directory"},
                                           {regular + "/x.mkv", "Not a directory"},
                                           {"/sys/x.mkv", ".+"}}) {
        EXPECT_EXIT(endAsTheProgramDoes([&] {
                        noUserAround();
                        AviWriter(nullptr, c.path.c_str(), frameWidth, frameHeight, false, 31,
                                  44100, 16, optionsOf(""));
                    }),
                    testing::ExitedWithCode(1),
                    "Error!: Couldn't [^\n]*\\(" + c.path + "\\) - '" + c.reason + "'")
            << c.path << ": the box names the file and the system's reason, exit code 1";
    }
    struct stat info {};
    EXPECT_TRUE(stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        << "the folder is left as it was";
    rmdir(folder.c_str());
}

TEST(ExportFailureDeathTest, ACancelWhoseLastWriteFailsFinishesWithStatus1AndOneBox) {
    const std::string path = scratchPath("cancel-full.avi");
    std::vector<uint8_t> frameBuffer(frameBytes);
    auto writeThreeFrames = [&](AviWriter& writer) {
        writer.attachFrameBuffer(frameBuffer.data(), nullptr);
        for (int i = 0; i < 3; ++i) {
            const std::vector<uint8_t> frame = syntheticFrame(i);
            std::copy(frame.begin(), frame.end(), frameBuffer.begin());
            writer.nextFrame(0);
        }
    };
    {
        AviWriter writer(nullptr, path.c_str(), frameWidth, frameHeight, false, 31, 44100, 16,
                         optionsOf("codec=raw"));
        writeThreeFrames(writer);
    }
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0) << "the same export, complete";
    const rlim_t complete = static_cast<rlim_t>(info.st_size);
    auto cancelOntoAFullDisk = [&] {
        noUserAround();
        limitFileSize(complete - 16); // every frame fits, the end of the index does not
        int first = -1, second = -1;
        {
            AviWriter writer(nullptr, path.c_str(), frameWidth, frameHeight, false, 31, 44100, 16,
                             optionsOf("codec=raw"));
            writeThreeFrames(writer);
            confirmCancel();
            try {
                writer.nextFrame(0);
            } catch (const Error& end) {
                if (!end.shown() || end.exitCode() != 0) std::_Exit(91);
            }
            first = writer.finish();
            second = writer.finish();
        } // the writer's destructor: no second box
        std::fprintf(stderr, "finish: %d then %d\n", first, second);
        std::_Exit(first);
    };
    EXPECT_EXIT(cancelOntoAFullDisk(), testing::ExitedWithCode(1),
                testing::Truly([&](const std::string& err) {
                    return occurrences(err, "Error!") == 1 &&
                           err.find("(" + path + ") - 'File too large'") != std::string::npos &&
                           err.find("finish: 1 then 1") != std::string::npos;
                }))
        << "after the Cancel, finish reports the failed write in one box and returns 1, "
           "also when asked again";
}

TEST(ExportFailureDeathTest, ACancelledExportsChaptersEndWithItsLastFrame) {
    // The clip's first scene hands on to scene 2 a little over a second in.
    const ExportClip clip = exportClip(12400, 12700);
    const std::vector<ExportChapter> wholeRange = exportChapters(clip);
    ASSERT_EQ(wholeRange.size(), 2u) << "scene 1 and scene 2 in the range";
    const int64_t sceneTwo = wholeRange[1].start;
    struct Case {
        std::string name;
        int64_t frames; // written before the Cancel
    };
    for (const std::string kind : {".mp4", ".mov"})
        for (const Case& c :
             std::vector<Case>{{"past-scene-2", sceneTwo + 8}, {"in-scene-1", 10}}) {
            const std::string path = scratchPath("cancel-" + c.name + kind);
            auto cancelInTheClip = [&] {
                std::vector<uint8_t>& frameBuffer =
                    startExitingWriter(path, "start=12400 end=12700 scale=1 codec=h264");
                while (exitingWriter()->skipsNextFrame()) // the frames before the clip
                    exitingWriter()->nextFrame(0);
                exportFrames(frameBuffer, static_cast<int>(c.frames));
                confirmCancel();
                exitingWriter()->nextFrame(0);
                std::_Exit(97);
            };
            EXPECT_EXIT(endAsTheProgramDoes(cancelInTheClip), testing::ExitedWithCode(0), "")
                << path << ": a confirmed Cancel ends with code 0";
            const std::vector<ProbedChapter> chapters = probedChapters(path);
            const size_t reached = c.frames > sceneTwo ? 2 : 1;
            ASSERT_EQ(chapters.size(), reached) << path << ": the scenes the frames reached";
            EXPECT_EQ(chapters[0].title, "Scene 1") << path;
            EXPECT_NEAR(chapters[0].start, 0, 1e-3) << path << ": scene 1 from the start";
            if (reached == 2) {
                EXPECT_EQ(chapters[1].title, "Scene 2") << path;
                EXPECT_NEAR(chapters[0].end, seconds(sceneTwo), 1e-3) << path;
                EXPECT_NEAR(chapters[1].start, seconds(sceneTwo), 1e-3) << path;
            }
            EXPECT_NEAR(chapters.back().end, seconds(c.frames), 1e-3)
                << path << ": the last chapter ends with the last frame written";
            const double length = std::atof(
                commandOutput("ffprobe -v error -show_entries format=duration -of csv=p=0 '" +
                              path + "'")
                    .c_str());
            EXPECT_NEAR(length, seconds(c.frames), 1e-3)
                << path << ": the file is as long as its frames, not as the range asked for";
        }
}
