// The whole video mode: the show's start-up and main loop writing _.avi, checked against the
// headless renderer's digests and the sound library's own decode of the soundtrack.
#include "ExportTestSupport.h"
#include "media/SoundLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The default pack, generated once per test (tests may run side by side).
const std::string& testPack() {
    static const std::string pack = [] {
        const std::string dir = std::string(DEMO_BINARY_DIR) +
                                "/tests/media/export/scratch/assets-" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        commandOutput("'" MAKE_ASSETS "' --seconds 1 '" + dir + "' >/dev/null 2>&1");
        return dir + "/_.dat";
    }();
    return pack;
}

// A fresh working directory holding the default pack.
std::string showDirectory(const std::string& name) {
    const std::string dir = std::string(DEMO_BINARY_DIR) + "/tests/media/export/scratch/" + name;
    commandOutput("rm -rf '" + dir + "' && mkdir -p '" + dir + "' && ln -s '" + testPack() + "' '" +
                  dir + "/_.dat'");
    return dir;
}

// The last column of lines "index ticks md5" or of FFmpeg's framemd5 lines.
std::vector<std::string> lastColumn(const std::string& text) {
    std::vector<std::string> column;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t blank = line.find_last_of(" ,");
        column.push_back(line.substr(blank + 1));
    }
    return column;
}

int exportShow(const std::string& dir, const std::string& words) {
    int status = -1;
    // In the sanitizer build the whole program is checked for leaks too.
    commandOutput("cd '" + dir + "' && '" EXPORT_SHOW "' " + words + " </dev/null 2>export.log",
                  &status);
    return status;
}

// The soundtrack as the sound library decodes it, without an output device.
std::string libraryDecode(const std::string& path) {
    static std::mutex lock;
    static std::string collected;
    collected.clear();
    if (soundInit(-1, 44100, soundInitDecodeOnly) == 0) return "";
    const SoundHandle stream = soundStreamCreateFile(path.c_str(), 0);
    if (stream == 0) return "";
    soundChannelSetDsp(
        stream,
        [](SoundHandle, SoundHandle, void* block, uint32_t bytes, void*) {
            std::lock_guard<std::mutex> hold(lock);
            collected.append(static_cast<const char*>(block), bytes);
        },
        nullptr);
    soundStart();
    soundStreamPlay(stream, 0, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (soundChannelIsActive(stream) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    soundStop();
    soundStreamFree(stream);
    soundFree();
    std::lock_guard<std::mutex> hold(lock);
    return collected;
}

// The digests of the video frames of a written file, as bgr24, in order.
std::vector<std::string> writtenFrames(const std::string& path) {
    return lastColumn(
        commandOutput("ffmpeg -v error -i '" + path + "' -map 0:v -f framemd5 -pix_fmt bgr24 -"));
}

// Writes dir/velmorin.mp3 from an FFmpeg audio source ("sine=...", "anoisesrc=...") as 44.1 kHz
// stereo MP3 at the given bit rate; true when it was written.
bool writeSoundtrack(const std::string& dir, const std::string& source, const std::string& rate) {
    int status = -1;
    commandOutput("ffmpeg -v error -f lavfi -i '" + source +
                      "' -ac 2 -ar 44100 -c:a libmp3lame -b:a " + rate + " '" + dir +
                      "/velmorin.mp3'",
                  &status);
    return status == 0;
}

} // namespace

TEST(ExportShow, FramesOfTheFileAreTheRenderersFrames) {
    const std::string dir = showDirectory("show-frames");
    ASSERT_EQ(exportShow(dir, "video codec=ffv1 end=120 noaudio"), 0)
        << "the export ends normally with code 0";
    const std::vector<std::string> rendered = lastColumn(
        commandOutput("'" DEMO_RENDER "' --pack '" + testPack() + "' --end 120 2>/dev/null"));
    const std::vector<std::string> written = writtenFrames(dir + "/_.avi");
    ASSERT_GT(rendered.size(), 50u) << "demo-render hashed the frames up to tick 120";
    EXPECT_EQ(written, rendered) << "every frame in _.avi has the renderer's digest, in order";
    EXPECT_EQ(commandOutput(
                  "ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 '" +
                  dir + "/_.avi'"),
              "")
        << "noaudio: the file has no sound stream";
}

TEST(ExportShow, SoundOfTheFileIsTheSoundtracksOwnDecode) {
    const std::string dir = showDirectory("show-sound");
    ASSERT_TRUE(writeSoundtrack(dir, "sine=frequency=330:duration=4,volume=0.5", "128k"))
        << "a short soundtrack for the test";
    ASSERT_EQ(exportShow(dir, "video codec=ffv1 end=140"), 0) << "the export ends with code 0";

    const std::string written =
        commandOutput("ffmpeg -v error -i '" + dir + "/_.avi' -map 0:a -f s16le -");
    const std::string decoded = libraryDecode(dir + "/velmorin.mp3");
    const std::string frames = commandOutput("ffprobe -v error -count_frames -select_streams v "
                                             "-show_entries stream=nb_read_frames -of csv=p=0 '" +
                                             dir + "/_.avi'");
    const long frameCount = std::strtol(frames.c_str(), nullptr, 10);
    ASSERT_GT(frameCount, 50) << "frames were written";
    EXPECT_EQ(written.size(), static_cast<size_t>(frameCount * 44100 / 31 * 4))
        << "each frame brought its share of samples";
    ASSERT_GE(decoded.size(), written.size()) << "the 4-s soundtrack outlasts the export";
    EXPECT_TRUE(written == decoded.substr(0, written.size()))
        << "the file's samples are the soundtrack's, from its start";
}

namespace {

bool fileExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// demo-render's lines "index ticks md5" up to the given tick.
std::vector<std::vector<std::string>> renderedLines(const std::string& end) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream text(commandOutput("'" DEMO_RENDER "' --pack '" + testPack() + "' --end " +
                                          end + " 2>/dev/null"));
    std::string index, ticks, md5;
    while (text >> index >> ticks >> md5)
        lines.push_back({index, ticks, md5});
    return lines;
}

// Peak signal-to-noise ratio in dB of two equal-sized byte blocks.
double psnr(const std::string& a, const std::string& b) {
    double squares = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
        squares += d * d;
    }
    return squares == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * a.size() / squares);
}

} // namespace

TEST(ExportShow, StandardOutputCarriesNutFramesIntoFfmpeg) {
    const std::string dir = showDirectory("show-pipe");
    int status = -1;
    const std::vector<std::string> piped = lastColumn(commandOutput(
        "cd '" + dir +
            "' && '" EXPORT_SHOW
            "' video out=- end=120 noaudio </dev/null 2>export.log | ffmpeg -v error -f nut -i - "
            "-map 0:v -f framemd5 -pix_fmt bgr24 -",
        &status));
    EXPECT_EQ(status, 0) << "ffmpeg read the whole stream";
    const std::vector<std::string> rendered = lastColumn(
        commandOutput("'" DEMO_RENDER "' --pack '" + testPack() + "' --end 120 2>/dev/null"));
    ASSERT_GT(rendered.size(), 50u) << "demo-render hashed the frames up to tick 120";
    EXPECT_EQ(piped, rendered) << "every frame through the pipe has the renderer's digest";
    EXPECT_NE(
        commandOutput("cat '" + dir + "/export.log'").find("Wrote standard output: 54 frames"),
        std::string::npos)
        << "the summary goes to standard error, away from the stream";
    EXPECT_EQ(commandOutput("cat '" + dir + "/export.log'").find("Sanitizer"), std::string::npos)
        << "no sanitizer report from the program";
}

TEST(ExportShow, Mp4AtScaleTwoIsCloseToTheEnlargedFrames) {
    const std::string dir = showDirectory("show-mp4");
    ASSERT_EQ(exportShow(dir, "video out=show.mp4 end=500 noaudio"), 0) << "exported with code 0";
    commandOutput("'" DEMO_RENDER "' --pack '" + testPack() + "' --end 500 --dump '" + dir +
                  "' --at 90,150,210 >/dev/null 2>&1");
    for (const int frame : {90, 150, 210}) {
        const std::string index = std::to_string(frame);
        const std::string decoded =
            commandOutput("ffmpeg -v error -i '" + dir + "/show.mp4' -vf 'select=eq(n\\," + index +
                          ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
        const std::string enlarged =
            commandOutput("ffmpeg -v error -i '" + dir + "/frame" + index +
                          ".ppm' -vf scale=iw*2:ih*2:flags=neighbor -f rawvideo -pix_fmt rgb24 -");
        ASSERT_EQ(decoded.size(), size_t{1280 * 960 * 3}) << "frame " << frame << " at 1280 x 960";
        ASSERT_EQ(enlarged.size(), decoded.size()) << "the rendered frame, enlarged twice";
        EXPECT_GE(psnr(decoded, enlarged), 40.0) << "frame " << frame << ": PSNR of at least 40 dB";
    }
}

TEST(ExportShow, ClipStartsAtTheFirstFrameReachingStartWithTheSoundOfThatInstant) {
    const std::string dir = showDirectory("show-clip");
    // A clip inside the show (the whole way to a later scene is the same code, only slower).
    // Noise: every stretch of it is unlike every other, so a shifted sound cannot match.
    ASSERT_TRUE(writeSoundtrack(dir, "anoisesrc=d=40:c=pink:seed=7:a=0.3", "48k"))
        << "a soundtrack reaching past the clip";
    ASSERT_EQ(exportShow(dir, "video out=clip.mkv start=2000 end=2300"), 0)
        << "the clip is exported with code 0";

    std::vector<std::string> expected;
    long firstFrame = -1;
    for (const auto& line : renderedLines("2300"))
        if (std::stol(line[1]) >= 2000) {
            if (firstFrame < 0) firstFrame = std::stol(line[0]);
            expected.push_back(line[2]);
        }
    const std::vector<std::string> written = writtenFrames(dir + "/clip.mkv");
    ASSERT_GT(expected.size(), 100u) << "demo-render has the frames from tick 2,000 on";
    EXPECT_EQ(written, expected)
        << "the clip's frames are demo-render's from the first whose tick reaches 2,000";

    const std::string sound =
        commandOutput("ffmpeg -v error -i '" + dir + "/clip.mkv' -map 0:a -f s16le -");
    const size_t pictureSamples =
        (firstFrame + written.size()) * 44100 / 31 - firstFrame * 44100 / 31;
    EXPECT_EQ(sound.size(), pictureSamples * 4) << "the sound lasts exactly as long as the picture";
    const std::string decoded = libraryDecode(dir + "/velmorin.mp3");
    const size_t from = static_cast<size_t>(firstFrame) * 44100 / 31 * 4;
    ASSERT_GE(decoded.size(), from + sound.size()) << "the soundtrack outlasts the clip";
    EXPECT_TRUE(sound == decoded.substr(from, sound.size()))
        << "the clip's sound is the soundtrack's from sample " << from / 4 << " on";
}

TEST(ExportShow, ClipStartingOnASceneChangeShowsThePictureTheSkippedFramesLeft) {
    // The first frame past tick 12,500 (demo-render's 12,502) only hands scene 0 on to scene 1
    // and draws nothing: it shows the picture of the frames before it, which were stepped
    // without being drawn.
    const std::string dir = showDirectory("show-clip-scene-change");
    ASSERT_EQ(exportShow(dir, "video out=clip.nut start=12501 end=12600 noaudio"), 0)
        << "the clip is exported with code 0";
    std::vector<std::string> expected;
    for (const auto& line : renderedLines("12600"))
        if (std::stol(line[1]) >= 12501) expected.push_back(line[2]);
    const std::vector<std::string> written = writtenFrames(dir + "/clip.nut");
    ASSERT_GT(expected.size(), 40u) << "demo-render has the frames from tick 12,501 on";
    EXPECT_EQ(written, expected) << "the clip's frames, its first included, are demo-render's";
}

TEST(ExportShow, ClipsThatCannotBeMetEndWithCode1AndNoFile) {
    const std::string dir = showDirectory("show-bad-clip");
    for (const std::string words : {"start=500 end=400", "start=63900", "start=x", "end=0"}) {
        EXPECT_EQ(exportShow(dir, "video out=bad.mkv noaudio " + words), 1)
            << words << ": exit code 1";
        const std::string said = "Error!: " + words.substr(0, words.find('=') + 1);
        EXPECT_NE(commandOutput("cat '" + dir + "/export.log'").find(said), std::string::npos)
            << words << ": an Error! box says what is wrong with the word";
        EXPECT_FALSE(fileExists(dir + "/bad.mkv")) << words << ": no file";
    }
}

TEST(ExportShow, AReaderThatStopsEndsTheExportWithOneMessageCode1AndTheCredits) {
    const std::string dir = showDirectory("show-closed-pipe");
    const std::string status = commandOutput(
        "cd '" + dir +
        "' && bash -c \"'" EXPORT_SHOW
        "' video out=- end=300 noaudio </dev/null 2>export.log | head -c 1000 >/dev/null; "
        "echo \\${PIPESTATUS[0]}\"");
    const std::string log = commandOutput("cat '" + dir + "/export.log'");
    EXPECT_EQ(status, "1\n") << "the export ends with code 1, not by SIGPIPE (141): " << log;
    EXPECT_EQ(occurrences(log, "Error!"), 1u) << "one box: " << log;
    EXPECT_NE(log.find("(standard output) - 'Broken pipe'"), std::string::npos)
        << "it names the output and the broken pipe: " << log;
    EXPECT_NE(log.find("created by"), std::string::npos) << "the credits follow: " << log;
}

TEST(ExportShow, ClipsCarryTheScenesTheyShowAsChaptersAndListThem) {
    const std::string dir = showDirectory("show-chapters");
    // The clip's first frame is the first whose tick reaches 12,400; scene 2 begins on the frame
    // after the first whose tick passes 12,500 (that one only hands scene 1 on).
    const auto lines = renderedLines("12700");
    long firstFrame = -1, sceneTwo = -1;
    for (const auto& line : lines) {
        if (firstFrame < 0 && std::stol(line[1]) >= 12400) firstFrame = std::stol(line[0]);
        if (sceneTwo < 0 && std::stol(line[1]) > 12500) sceneTwo = std::stol(line[0]) + 1;
    }
    ASSERT_GT(firstFrame, 0) << "demo-render reached tick 12,400";
    ASSERT_GT(sceneTwo, firstFrame) << "and scene 2";
    const long written = static_cast<long>(lines.size()) - firstFrame;
    const double sceneTwoStarts = static_cast<double>(sceneTwo - firstFrame) / 31;

    for (const std::string file : {"clip.mkv", "clip.mp4", "clip.avi"}) {
        const std::string codec = file == "clip.mkv"   ? "ffv1"
                                  : file == "clip.mp4" ? "h264"
                                                       : "utvideo";
        ASSERT_EQ(exportShow(dir, "video out=" + file +
                                      " start=12400 end=12700 noaudio scale=1 codec=" + codec),
                  0)
            << file << ": exported with code 0";
        const std::string log = commandOutput("cat '" + dir + "/export.log'");
        const size_t summary =
            log.find("Wrote " + file + ": " + std::to_string(written) + " frames");
        ASSERT_NE(summary, std::string::npos) << file << ": the summary: " << log;
        EXPECT_NE(log.find("\n0:00 Scene 1\n0:01 Scene 2\n", summary), std::string::npos)
            << file << ": the list follows the summary: " << log;

        if (file == "clip.mkv") {
            std::vector<std::string> expected;
            for (const auto& line : lines)
                if (std::stol(line[0]) >= firstFrame) expected.push_back(line[2]);
            EXPECT_EQ(writtenFrames(dir + "/" + file), expected)
                << file << ": the frames are demo-render's, chapters or not";
        }
        const std::vector<ProbedChapter> chapters = probedChapters(dir + "/" + file);
        if (file == "clip.avi") {
            EXPECT_TRUE(chapters.empty()) << "AVI holds no chapters";
            continue;
        }
        ASSERT_EQ(chapters.size(), 2u) << file << ": the scene the clip starts in and scene 2";
        EXPECT_EQ(chapters[0].title, "Scene 1") << file << ": the first chapter's title";
        EXPECT_EQ(chapters[1].title, "Scene 2") << file << ": the second chapter's title";
        EXPECT_NEAR(chapters[0].start, 0.0, 1e-3) << file << ": scene 1 from the clip's start";
        EXPECT_NEAR(chapters[1].start, sceneTwoStarts, 1e-3)
            << file << ": scene 2 from its first frame in the clip";
        EXPECT_NEAR(chapters[0].end, sceneTwoStarts, 1e-3) << file << ": scene 1 ends there";
        EXPECT_NEAR(chapters[1].end, static_cast<double>(written) / 31, 1e-3)
            << file << ": scene 2 ends with the file";
    }
}
