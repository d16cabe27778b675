// Runs as values, on the generated pack: a run's passes in video mode and in playback (the
// loop every driver shares), start= stepping unshown, and runs side by side or one after
// another in one process, each giving exactly the frames of a run alone.
#include "app/Run.h"
#include "app/MainLoop.h"
#include "app/Show.h"
#include "engine/TickCount.h"
#include "graphics/Handles.h"
#include "graphics/PlatformDisplay.h"
#include "graphics/RowConverters.h"
#include "media/FrameSink.h"

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

const std::string pack = std::string(DEMO_TEST_ASSETS) + "/_.dat";

// 64-bit FNV-1a over 8-byte words of a 24-bit frame: any change of a byte changes it, and it
// costs far less than an MD5.
uint64_t frameHash(const uint8_t* frame) {
    uint64_t hash = 14695981039346656037u;
    for (size_t i = 0; i < 640 * 480 * 3; i += 8) {
        uint64_t word;
        std::memcpy(&word, frame + i, 8);
        hash = (hash ^ word) * 1099511628211u;
    }
    return hash;
}

std::string md5Of(const uint8_t* frame) {
    uint8_t digest[16];
    av_md5_sum(digest, frame, 640 * 480 * 3);
    char hex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}

// A frame sink that keeps the hash of every frame handed to it; it leaves out the first
// `skipped` frames as an export's clip does.
class HashSink : public FrameSink {
  public:
    HashSink(const uint8_t* frame24, std::vector<uint64_t>& hashes, int64_t skipped)
        : frame24(frame24), hashes(hashes), skipped(skipped) {}
    void nextFrame(int) override {
        if (handed++ < skipped) return;
        hashes.push_back(frameHash(frame24));
    }
    bool skipsNextFrame() const override { return handed < skipped; }

  private:
    const uint8_t* frame24;
    std::vector<uint64_t>& hashes;
    int64_t skipped;
    int64_t handed = 0;
};

// A video-mode run of the generated show whose frames are hashed.
class HashedRun {
  public:
    explicit HashedRun(int64_t skipped = 0, const std::string& words = "") {
        RunPlatform platform;
        platform.credits = false;
        platform.videoSink = [this, skipped](const ExportOptions&, uint8_t* frame24, uint32_t*,
                                             const Show&) {
            return new HashSink(frame24, hashes, skipped);
        };
        run = std::make_unique<Run>(platform);
        opened = run->open("video noaudio " + words, pack);
    }
    // Steps until the next frame is handed on; its hash.
    uint64_t nextFrame() {
        const size_t before = hashes.size();
        while (hashes.size() == before)
            if (run->step().kind == ::Run::Step::Ended) return 0;
        return hashes.back();
    }
    Run& operator*() { return *run; }
    Run* operator->() { return run.get(); }

    bool opened = false;
    std::vector<uint64_t> hashes;

  private:
    std::unique_ptr<Run> run;
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

// The hashes of the first `count` frames of a run alone.
std::vector<uint64_t> framesAlone(int count) {
    HashedRun run;
    std::vector<uint64_t> hashes;
    for (int i = 0; i < count; ++i)
        hashes.push_back(run.nextFrame());
    return hashes;
}

// A display that counts frames and asks to quit after a set number of them; it counts apart
// the frames shown from a surface other than the one attached first (the run's), and those of
// them not all black.
struct DisplayLog {
    int presented = 0;
    int quitAfter = -1;
    int otherSurface = 0;
    int otherSurfaceLit = 0;
};
DisplayLog displayLog;

class TestDisplay : public DisplayDevice {
  public:
    using DisplayDevice::DisplayDevice;
    int open() override { return 1; }
    void close() override {}
    bool quitRequested() override {
        return displayLog.quitAfter >= 0 && displayLog.presented >= displayLog.quitAfter;
    }
    void attachSurface(Surface* attached) override {
        if (first == nullptr) first = attached;
        shown = attached;
    }
    int present() override {
        ++displayLog.presented;
        if (shown == nullptr || shown == first) return 1;
        ++displayLog.otherSurface;
        const uint8_t* pixels = shown->getPixels();
        for (int i = 0; i < 640 * 480 * 4; ++i)
            if (pixels[i] != 0) {
                ++displayLog.otherSurfaceLit;
                break;
            }
        return 1;
    }

  private:
    Surface* first = nullptr;
    Surface* shown = nullptr;
};

// The test display in place of the null one while it lives; a fresh log.
struct TestDisplayPlatform {
    TestDisplayPlatform() {
        displayLog = {};
        DisplayPlatform platform = nullDisplayPlatform();
        platform.createDisplay = [](const std::string& title) -> DisplayDevice* {
            return new TestDisplay(title);
        };
        setDisplayPlatform(platform);
    }
    ~TestDisplayPlatform() { setDisplayPlatform(nullDisplayPlatform()); }
};

// A millisecond counter the test moves by hand.
uint32_t fakeNow = 0;
uint32_t fakeCounter() {
    return fakeNow;
}

} // namespace

TEST(Runs, AVideoRunGivesTheRecordedFramesAndEndsAtEnd) {
    const std::map<int, std::string> recorded = recordedDigests();
    ASSERT_FALSE(recorded.empty()) << "the recorded digests of the generated show were read";
    HashedRun run(0, "end=2290");
    ASSERT_TRUE(run.opened) << "the run opens on the generated pack";
    int checked = 0;
    int frames = 0;
    for (;;) {
        const ::Run::Step step = run->step();
        if (step.kind == ::Run::Step::Ended) break;
        ASSERT_EQ(step.kind, ::Run::Step::Drawn) << "video mode draws every pass, never waits";
        const auto want = recorded.find(frames++);
        if (want == recorded.end()) continue;
        EXPECT_EQ(md5Of(run->frame24()), want->second)
            << "the recorded digest of frame " << frames - 1;
        ++checked;
    }
    EXPECT_EQ(checked, 2) << "frames 0 and 1,000 were checked against the recorded digests";
    EXPECT_EQ(frames, 1001) << "end=2290: frames 0 to 1,000; frame 1,001 would be drawn at 2,290";
    EXPECT_EQ(run->step().kind, ::Run::Step::Ended) << "an ended run stays ended";
    EXPECT_EQ(run->close(), 0) << "a normal end";
}

TEST(Runs, TwoInterleavedRunsGiveTheFramesOfOneAlone) {
    const std::vector<uint64_t> alone = framesAlone(1000);
    HashedRun first, second;
    for (size_t i = 0; i < alone.size(); ++i) {
        ASSERT_EQ(first.nextFrame(), alone[i]) << "first of two runs, frame " << i;
        ASSERT_EQ(second.nextFrame(), alone[i]) << "second of two runs, frame " << i;
    }
}

TEST(Runs, ARunAfterAnotherAndAClipMadeMidwayGiveTheFramesOfOneAlone) {
    const std::vector<uint64_t> alone = framesAlone(400);
    EXPECT_EQ(framesAlone(400), alone) << "a second run in the process gives the same frames";
    HashedRun running;
    for (size_t i = 0; i < alone.size(); ++i) {
        if (i == 100) {
            // An export's clip made, stepped and dropped while another run goes on: the frames
            // before it are stepped undrawn, its first is the picture they left.
            HashedRun clip(250);
            for (size_t j = 250; j < 300; ++j)
                ASSERT_EQ(clip.nextFrame(), alone[j]) << "a clip from frame 250, frame " << j;
        }
        ASSERT_EQ(running.nextFrame(), alone[i]) << "the running run, frame " << i;
    }
}

TEST(Runs, QuitRequestEndsTheRunBeforeTheNextScene) {
    TestDisplayPlatform platform;
    displayLog.quitAfter = 3;
    HashedRun run;
    ASSERT_TRUE(run.opened);
    runMainLoop(*run);
    EXPECT_EQ(displayLog.presented, 3) << "three frames, then the quit request";
    EXPECT_EQ(run.hashes.size(), 3u) << "each handed on";
    EXPECT_EQ(run->close(), 0) << "a quit is a normal end";
}

TEST(Runs, PlaybackDrawsOneFramePerSlotAndWaitsForTheRest) {
    TestDisplayPlatform platform;
    fakeNow = 1000;
    setTickSource(fakeCounter);
    RunPlatform pieces;
    pieces.credits = false;
    ::Run run(pieces);
    ASSERT_TRUE(run.open("noaudio", pack));
    EXPECT_EQ(run.step().kind, ::Run::Step::Drawn) << "the first frame at once";
    fakeNow += 10;
    const ::Run::Step wait = run.step();
    ASSERT_EQ(wait.kind, ::Run::Step::Wait) << "10 ms into the slot the next frame is not due";
    EXPECT_EQ(wait.since, 1000u) << "the slot began when the first frame was shown";
    EXPECT_EQ(wait.length, 32u) << "a 32 ms slot";
    fakeNow += 21;
    EXPECT_EQ(run.step().kind, ::Run::Step::Wait) << "still 1 ms to go";
    fakeNow += 1;
    EXPECT_EQ(run.step().kind, ::Run::Step::Drawn) << "drawn once the slot is over";
    EXPECT_EQ(run.ticks(), 2) << "the clock advanced by the slot's 32 ms (2.27 ticks)";
    EXPECT_EQ(displayLog.presented, 2) << "two frames shown";
    setTickSource(nullptr);
    EXPECT_EQ(run.close(), 0);
}

TEST(Runs, StartStepsUnshownThroughTheExportsFramesThenPlaysInRealTime) {
    TestDisplayPlatform platform;
    RunPlatform pieces;
    pieces.credits = false;
    ::Run skipped(pieces);
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(skipped.open("noaudio start=700", pack));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("start=700"), std::string::npos) << "one line says so: " << said;
    EXPECT_TRUE(skipped.skipping());
    int stepped = 0;
    while (skipped.skipping()) {
        ASSERT_EQ(skipped.step().kind, ::Run::Step::Stepped) << "no frame is drawn while skipping";
        ++stepped;
    }
    EXPECT_EQ(stepped, 308) << "frames 0 to 306 bring the clock to tick 700, as the export's "
                               "frames do; then one pass hands over to playback";
    EXPECT_EQ(displayLog.presented, displayLog.otherSurface) << "no frame of the show is shown";
    EXPECT_GE(displayLog.otherSurface, 1) << "the screen is kept alive with a black picture";
    EXPECT_EQ(displayLog.otherSurfaceLit, 0) << "and that picture is all black";
    EXPECT_GE(skipped.ticks(), 700) << "the clock stands at the start tick";
    EXPECT_LE(skipped.ticks(), 702) << "right at it";

    // The export up to the same tick has drawn the same frames: its last one is the picture
    // the skip leaves on the surface, for a first frame that only hands on.
    HashedRun exported(0, "end=700");
    runMainLoop(*exported);
    ASSERT_EQ(exported.hashes.size(), 307u) << "the export drew frames 0 to 306";
    std::vector<uint8_t> left(640 * 480 * 3);
    convertRowTo24(reinterpret_cast<const uint32_t*>(skipped.surface()->getPixels()), left.data(),
                   640 * 480);
    EXPECT_EQ(frameHash(left.data()), exported.hashes.back())
        << "the skip steps through exactly the export's frames";
    EXPECT_EQ(skipped.step().kind, ::Run::Step::Drawn) << "then playback draws at once";
    EXPECT_EQ(skipped.close(), 0);
}
