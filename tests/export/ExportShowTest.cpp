// The whole video mode: the show's start-up and main loop writing _.avi, checked against the
// headless renderer's digests and the sound library's own decode of the soundtrack.
#include "media/SoundLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
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

std::string output(const std::string& command, int* status = nullptr) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return text;
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        text.append(chunk, got);
    const int result = pclose(pipe);
    if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return text;
}

// The default pack, generated once per test (tests may run side by side).
const std::string& testPack() {
    static const std::string pack = [] {
        const std::string dir = std::string(DEMO_BINARY_DIR) + "/tests/export/scratch/assets-" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        output("'" MAKE_ASSETS "' --seconds 1 '" + dir + "' >/dev/null 2>&1");
        return dir + "/_.dat";
    }();
    return pack;
}

// A fresh working directory holding the default pack.
std::string showDirectory(const std::string& name) {
    const std::string dir = std::string(DEMO_BINARY_DIR) + "/tests/export/scratch/" + name;
    output("rm -rf '" + dir + "' && mkdir -p '" + dir + "' && ln -s '" + testPack() + "' '" + dir +
           "/_.dat'");
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
    output("cd '" + dir + "' && '" EXPORT_SHOW "' " + words + " </dev/null 2>export.log", &status);
    return status;
}

// The soundtrack as the sound library decodes it, without an output device.
std::string libraryDecode(const std::string& path) {
    static std::mutex lock;
    static std::string collected;
    collected.clear();
    if (soundInit(-1, 44100, kSoundInitDecodeOnly) == 0) return "";
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

} // namespace

TEST(ExportShow, FramesOfTheFileAreTheRenderersFrames) {
    const std::string dir = showDirectory("show-frames");
    ASSERT_EQ(exportShow(dir, "video codec=ffv1 end=120 noaudio"), 0)
        << "the export ends normally with code 0";
    const std::vector<std::string> rendered =
        lastColumn(output("'" DEMO_RENDER "' --pack '" + testPack() + "' --end 120 2>/dev/null"));
    const std::vector<std::string> written = lastColumn(
        output("ffmpeg -v error -i '" + dir + "/_.avi' -map 0:v -f framemd5 -pix_fmt bgr24 -"));
    ASSERT_GT(rendered.size(), 50u) << "demo-render hashed the frames up to tick 120";
    EXPECT_EQ(written, rendered) << "every frame in _.avi has the renderer's digest, in order";
    EXPECT_EQ(output("ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 '" +
                     dir + "/_.avi'"),
              "")
        << "noaudio: the file has no sound stream";
}

TEST(ExportShow, SoundOfTheFileIsTheSoundtracksOwnDecode) {
    const std::string dir = showDirectory("show-sound");
    int status = -1;
    output("ffmpeg -v error -f lavfi -i 'sine=frequency=330:duration=4,volume=0.5' -ac 2 -ar "
           "44100 -c:a libmp3lame -b:a 128k '" +
               dir + "/velmorin.mp3'",
           &status);
    ASSERT_EQ(status, 0) << "a short soundtrack for the test";
    ASSERT_EQ(exportShow(dir, "video codec=ffv1 end=140"), 0) << "the export ends with code 0";

    const std::string written =
        output("ffmpeg -v error -i '" + dir + "/_.avi' -map 0:a -f s16le -");
    const std::string decoded = libraryDecode(dir + "/velmorin.mp3");
    const std::string frames = output("ffprobe -v error -count_frames -select_streams v "
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
