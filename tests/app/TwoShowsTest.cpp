// Shows as values: shows made side by side in one process, stepped interleaved frame by frame,
// each give exactly the frames of a show run alone, on the generated pack.
#include "app/MainLoop.h"
#include "app/Show.h"
#include "engine/Timer.h"
#include "graphics/RowConverters.h"
#include "storage/FileServer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/md5.h>
}

namespace {

constexpr int frameCount = 2000;

// The generated pack becomes the process's pack, once.
void openGeneratedPack() {
    static FileServer server(nullptr, 200);
    static const bool opened = [] {
        server.open(std::string(DEMO_TEST_ASSETS) + "/_.dat");
        setProcessFileServer(&server);
        return true;
    }();
    (void)opened;
}

// One show with its own video clock and surface, producing the frames video mode writes: the
// show's picture with the border, as 24-bit rows, at 31 frames per second of show time.
class ShowRun {
  public:
    ShowRun() {
        show->loadPictures();
        timer.start();
        timer.setTicks(0);
        timer.setTicks(0);
    }

    // Steps one frame and returns a 64-bit hash of the 24-bit frame (FNV-1a over 8-byte words:
    // any change of a byte changes it, and it costs far less than an MD5).
    uint64_t nextFrame() {
        show->step(frameTime(timer), {surface.data(), 640 * 4});
        drawBorder(surface.data());
        convertRowTo24(reinterpret_cast<const uint32_t*>(surface.data()), frame24.data(),
                       640 * 480);
        timer.setTicks(videoTicks(frames, 31.0f));
        frames = static_cast<float>(frames + 1.0);
        uint64_t hash = 14695981039346656037u;
        for (size_t i = 0; i < frame24.size(); i += 8) {
            uint64_t word;
            std::memcpy(&word, frame24.data() + i, 8);
            hash = (hash ^ word) * 1099511628211u;
        }
        return hash;
    }

    // The MD5 of the last frame in lowercase hex, as demo-render prints it.
    std::string lastFrameMd5() const {
        uint8_t digest[16];
        av_md5_sum(digest, frame24.data(), static_cast<int>(frame24.size()));
        char hex[33];
        for (int i = 0; i < 16; ++i)
            std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
        return hex;
    }

  private:
    std::unique_ptr<Show> show = std::make_unique<Show>();
    Timer timer;
    float frames = 0.0f;
    std::vector<uint8_t> surface = std::vector<uint8_t>(640 * 480 * 4);
    std::vector<uint8_t> frame24 = std::vector<uint8_t>(640 * 480 * 3);
};

// The recorded digests of the generated show, by frame index.
std::map<int, std::string> recordedDigests() {
    std::map<int, std::string> digests;
    std::ifstream file(std::string(DEMO_SOURCE_DIR) + "/tests/effects/generated-show.md5");
    int index = 0, ticks = 0;
    std::string digest;
    while (file >> index >> ticks >> digest)
        digests[index] = digest;
    return digests;
}

} // namespace

TEST(Shows, TwoInterleavedShowsGiveTheFramesOfOneAlone) {
    openGeneratedPack();
    const std::map<int, std::string> recorded = recordedDigests();
    ASSERT_FALSE(recorded.empty()) << "the recorded digests of the generated show were read";
    std::vector<uint64_t> alone;
    int checked = 0;
    {
        ShowRun run;
        for (int i = 0; i < frameCount; ++i) {
            alone.push_back(run.nextFrame());
            const auto want = recorded.find(i);
            if (want == recorded.end()) continue;
            EXPECT_EQ(run.lastFrameMd5(), want->second)
                << "a show alone gives the recorded digest of frame " << i;
            ++checked;
        }
    }
    EXPECT_GE(checked, 2) << "frames 0 and 1,000 were checked against the recorded digests";

    ShowRun first, second;
    for (int i = 0; i < frameCount; ++i) {
        const uint64_t a = first.nextFrame();
        const uint64_t b = second.nextFrame();
        ASSERT_EQ(a, alone[static_cast<size_t>(i)]) << "first of two shows, frame " << i;
        ASSERT_EQ(b, alone[static_cast<size_t>(i)]) << "second of two shows, frame " << i;
    }
}

TEST(Shows, AShowMadeMidwayDoesNotDisturbOneRunning) {
    // A show made, stepped and dropped while another runs (as an exporter does) leaves the
    // running one's frames as they were.
    openGeneratedPack();
    std::vector<uint64_t> alone;
    {
        ShowRun run;
        for (int i = 0; i < 300; ++i)
            alone.push_back(run.nextFrame());
    }
    ShowRun running;
    for (int i = 0; i < 300; ++i) {
        if (i == 100) {
            ShowRun visitor;
            for (int j = 0; j < 50; ++j)
                EXPECT_EQ(visitor.nextFrame(), alone[static_cast<size_t>(j)])
                    << "a show made midway starts from the beginning, frame " << j;
        }
        ASSERT_EQ(running.nextFrame(), alone[static_cast<size_t>(i)])
            << "running show, frame " << i;
    }
}
