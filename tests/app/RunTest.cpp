// Runs as values, on the generated pack: a run's passes in video mode and in playback (the
// loop every driver shares), start= stepping unshown, runs side by side or one after another
// in one process, each giving exactly the frames of a run alone, and playback as a viewer
// drives it: seeks on video mode's frame grid, frame steps, saved frames, pause and resume.
#include "app/Run.h"
#include "AppTestSupport.h"
#include "app/MainLoop.h"
#include "app/Show.h"
#include "app/ShowClock.h"
#include "engine/TickCount.h"
#include "graphics/Handles.h"
#include "graphics/PlatformDisplay.h"
#include "graphics/RowConverters.h"
#include "media/FrameSink.h"
#include "storage/OImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

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
    explicit HashedRun(int64_t skipped = 0, const std::string& words = "",
                       bool keepDecodedPictures = true) {
        RunPlatform platform;
        platform.credits = false;
        platform.keepDecodedPictures = keepDecodedPictures;
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
// The viewer's commands the display hands the run at its next look, and the timeline it was
// told last.
struct DisplayLog {
    int presented = 0;
    int quitAfter = -1;
    int otherSurface = 0;
    int otherSurfaceLit = 0;
    std::vector<ViewerCommand> commands;
    TimelineState timeline;
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

    std::vector<ViewerCommand> takeCommands() override {
        std::vector<ViewerCommand> taken;
        taken.swap(displayLog.commands);
        return taken;
    }
    void showTimeline(const TimelineState& state) override { displayLog.timeline = state; }

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

TEST(Runs, DecodedPicturesLetGoLeaveTheFramesAsTheyAre) {
    const std::vector<uint64_t> alone = framesAlone(300);
    HashedRun kept, released(0, "", false);
    ASSERT_TRUE(kept.opened && released.opened);
    for (int i = 0; i < imageCount; ++i) {
        EXPECT_NE(kept->show()->pictures.images[i], nullptr) << "kept by default: picture " << i;
        EXPECT_EQ(released->show()->pictures.images[i], nullptr) << "let go: picture " << i;
    }
    for (size_t i = 0; i < alone.size(); ++i)
        ASSERT_EQ(released.nextFrame(), alone[i]) << "frame " << i;
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

    // A frame a little late (waiting for a display's refresh) does not move the slots after it.
    fakeNow += 32 + 5; // the slot ended at 1064; the frame comes at 1069
    EXPECT_EQ(run.step().kind, ::Run::Step::Drawn) << "the late frame";
    const ::Run::Step next = run.step();
    ASSERT_EQ(next.kind, ::Run::Step::Wait);
    EXPECT_EQ(next.since, 1064u) << "the next slot began where the late frame's slot ended";
    EXPECT_EQ(next.length, 32u);
    fakeNow = 1096;
    EXPECT_EQ(run.step().kind, ::Run::Step::Drawn) << "due 32 ms after 1064, not after 1069";

    // A stall: the slot after the frame that ends it begins 7 ms before that frame, with no
    // burst of frames to catch up.
    fakeNow = 1096 + 500;
    EXPECT_EQ(run.step().kind, ::Run::Step::Drawn) << "the frame after the stall";
    const ::Run::Step afterStall = run.step();
    ASSERT_EQ(afterStall.kind, ::Run::Step::Wait) << "then the next waits";
    EXPECT_EQ(afterStall.since, 1589u) << "the slots begin again 7 ms before the stall ended";
    EXPECT_EQ(displayLog.presented, 5) << "five frames shown";
    setTickSource(nullptr);
    EXPECT_EQ(run.close(), 0);
}

// Playback driven by a display's refreshes (a browser's callbacks, with a whole-millisecond
// clock): the frames drawn over 10 s at `perSecond` callbacks a second, in callbacks since
// the first frame. `jitter`: the clock read at each callback lags by 0 to 3 ms, as an audio
// clock that moves in blocks of samples does.
static std::vector<int> framesAtCallbacks(int perSecond, bool jitter) {
    TestDisplayPlatform platform;
    fakeNow = 5000;
    setTickSource(fakeCounter);
    RunPlatform pieces;
    pieces.credits = false;
    std::vector<int> drawnAt;
    {
        ::Run run(pieces);
        EXPECT_TRUE(run.open("noaudio end=1500", pack)); // slots of 32 ms throughout
        for (int callback = 0; callback < 10 * perSecond; ++callback) {
            const uint32_t lag = jitter ? static_cast<uint32_t>(callback * 5 % 4) : 0;
            fakeNow = 5000 + static_cast<uint32_t>(callback * 1000.0 / perSecond) - lag;
            if (run.step().kind == ::Run::Step::Drawn) drawnAt.push_back(callback);
        }
        EXPECT_EQ(run.close(), 0);
    }
    setTickSource(nullptr);
    return drawnAt;
}

// At 60 refreshes a second a frame is shown on every second one, steadily: 30 a second. (A
// grid of 32 ms slots drifts against the refreshes and shows 31.25 with two frames on
// consecutive refreshes twice a second; slots counted from each frame's reading of a clock
// that lags a little wait for a third refresh now and then.)
TEST(Runs, PlaybackAtSixtyRefreshesASecondShowsEverySecondOne) {
    const std::vector<int> drawnAt = framesAtCallbacks(60, true);
    ASSERT_GE(drawnAt.size(), 299u) << "30 frames a second over 10 s";
    ASSERT_LE(drawnAt.size(), 300u);
    // The first slot counts from the first frame's own reading of the clock.
    for (size_t i = 2; i < drawnAt.size(); ++i)
        ASSERT_EQ(drawnAt[i] - drawnAt[i - 1], 2)
            << "frame " << i << " two refreshes after the last";
}

// Faster displays keep the slots' grid: the program's 31.25 frames a second, each within a
// refresh of its slot's end.
TEST(Runs, PlaybackAtFasterRefreshesKeepsEverySlot) {
    const int perSecond = 144;
    const std::vector<int> drawnAt = framesAtCallbacks(perSecond, false);
    EXPECT_GE(drawnAt.size(), 312u) << "31.25 frames a second over 10 s";
    EXPECT_LE(drawnAt.size(), 313u) << "and no more than a frame per slot";
    for (size_t i = 0; i < drawnAt.size(); ++i) {
        const double late = drawnAt[i] * 1000.0 / perSecond - 32.0 * static_cast<double>(i);
        ASSERT_GE(late, -1.0) << "frame " << i << " before its slot ended";
        ASSERT_LT(late, 1000.0 / perSecond + 1.0) << "frame " << i << " within a refresh of it";
    }
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

namespace {

uint64_t surfaceHash(::Run& run) {
    std::vector<uint8_t> frame(640 * 480 * 3);
    convertRowTo24(reinterpret_cast<const uint32_t*>(run.surface()->getPixels()), frame.data(),
                   640 * 480);
    return frameHash(frame.data());
}

// The frame a seek landed on is the first one drawn at or after the tick asked for.
::testing::AssertionResult firstFrameAtOrAfter(int64_t frame, int ticks) {
    if (videoFrameDrawnAt(frame) >= ticks && (frame == 0 || videoFrameDrawnAt(frame - 1) < ticks))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "frame " << frame << " (drawn at " << videoFrameDrawnAt(frame)
           << ") is not the first frame drawn at or after tick " << ticks;
}

// A soundtrack that notes what the run asks of it.
std::vector<std::string> musicCalls;
MusicPlayer notedMusic() {
    MusicPlayer music = silentMusic();
    music.seek = [](int64_t ms) { musicCalls.push_back("seek " + std::to_string(ms)); };
    music.pause = [] { musicCalls.push_back("pause"); };
    music.resume = [] { musicCalls.push_back("resume"); };
    return music;
}

// A playback run on the test display and the fake counter, with frames saved to a note.
struct ViewedRun {
    explicit ViewedRun(const std::string& words, MusicPlayer music = silentMusic(),
                       ShowSeekerMaker seeker = {}) {
        fakeNow = 1000;
        setTickSource(fakeCounter);
        RunPlatform pieces;
        pieces.credits = false;
        pieces.music = music;
        pieces.showSeeker = std::move(seeker);
        pieces.savePicture = [this](const std::string& path, const uint8_t* frame24, std::string&) {
            savedName = path;
            savedHash = frameHash(frame24);
            return true;
        };
        run = std::make_unique<::Run>(pieces);
        opened = run->open(words, pack);
    }
    ~ViewedRun() {
        run->close();
        setTickSource(nullptr);
    }
    // One pass with these commands waiting.
    ::Run::Step step(std::vector<ViewerCommand> commands = {}) {
        displayLog.commands = std::move(commands);
        return run->step();
    }

    TestDisplayPlatform platform;
    std::unique_ptr<::Run> run;
    bool opened = false;
    std::string savedName;
    uint64_t savedHash = 0;
};

// A seeker with nothing to seek from yet (a page whose index has not sent its first
// snapshot): it declines every seek, noting what it was asked (the frame the show steps next,
// the frame sought).
class DecliningSeeker : public ShowSeeker {
  public:
    explicit DecliningSeeker(std::vector<std::pair<int64_t, int64_t>>& asked) : asked(asked) {}
    bool bringBefore(Show&, int64_t next, int64_t frame) override {
        asked.emplace_back(next, frame);
        return false;
    }

  private:
    std::vector<std::pair<int64_t, int64_t>>& asked;
};

} // namespace

TEST(Viewer, SeeksASeekerDeclinesAreSteppedByTheRunItself) {
    const std::vector<uint64_t> video = framesAlone(600);
    std::vector<std::pair<int64_t, int64_t>> asked;
    ViewedRun viewed("noaudio", silentMusic(), [&asked](const Show&, const ShowSeekerUse&) {
        return std::make_unique<DecliningSeeker>(asked);
    });
    ASSERT_TRUE(viewed.opened);
    ::Run& run = *viewed.run;
    ASSERT_EQ(viewed.step().kind, ::Run::Step::Drawn) << "the first frame, in real time";
    ASSERT_EQ(viewed.step({{ViewerCommand::SeekTo, 1200}}).kind, ::Run::Step::Drawn);
    const int64_t ahead = run.frameOnGrid();
    EXPECT_TRUE(firstFrameAtOrAfter(ahead, 1200));
    ASSERT_EQ(asked.size(), 1u) << "the seeker was asked first";
    EXPECT_EQ(asked[0], std::make_pair(int64_t{-1}, ahead)) << "off the grid, for that frame";
    ASSERT_LT(ahead, 600);
    EXPECT_EQ(surfaceHash(run), video[ahead]) << "then the run stepped there itself";

    ASSERT_EQ(viewed.step({{ViewerCommand::SeekTo, 300}}).kind, ::Run::Step::Drawn);
    const int64_t back = run.frameOnGrid();
    EXPECT_TRUE(firstFrameAtOrAfter(back, 300));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], std::make_pair(ahead + 1, back)) << "from the frame after the last";
    EXPECT_EQ(surfaceHash(run), video[back]) << "back, from a new show of its own";
}

TEST(Viewer, SeeksAndFrameStepsShowExactlyVideoModesFramesOnItsGrid) {
    const std::vector<uint64_t> video = framesAlone(5462); // into scene 1
    ViewedRun viewed("noaudio");
    ASSERT_TRUE(viewed.opened);
    ::Run& run = *viewed.run;
    ASSERT_EQ(viewed.step().kind, ::Run::Step::Drawn) << "the first frame, in real time";
    EXPECT_EQ(run.frameOnGrid(), -1) << "a real-time frame is none of the grid's";

    // Forward from the show's start, by stepping it on.
    const int presented = displayLog.presented;
    ASSERT_EQ(viewed.step({{ViewerCommand::SeekTo, 701}}).kind, ::Run::Step::Drawn)
        << "a seek shows its frame at once";
    const int64_t landed = run.frameOnGrid();
    EXPECT_TRUE(firstFrameAtOrAfter(landed, 701));
    EXPECT_EQ(run.ticks(), videoFrameDrawnAt(landed)) << "the clock reads the frame's tick";
    ASSERT_LT(landed, 330);
    EXPECT_EQ(surfaceHash(run), video[landed]) << "the frame shown is video mode's frame";
    EXPECT_EQ(displayLog.presented, presented + 1) << "and it was presented";
    EXPECT_TRUE(displayLog.timeline.reveal) << "the timeline shows after a seek";
    EXPECT_EQ(displayLog.timeline.ticks, run.ticks()) << "at the new position";

    // Back, from a new show: three seeks of a second in one batch are one seek of three.
    ASSERT_EQ(viewed
                  .step({{ViewerCommand::SeekBy, -1},
                         {ViewerCommand::SeekBy, -1},
                         {ViewerCommand::SeekBy, -1}})
                  .kind,
              ::Run::Step::Drawn);
    EXPECT_EQ(displayLog.presented, presented + 2) << "one frame for the three seeks";
    const int64_t back = run.frameOnGrid();
    EXPECT_TRUE(firstFrameAtOrAfter(back, videoFrameDrawnAt(landed) - 3 * 71));
    EXPECT_EQ(surfaceHash(run), video[back]) << "a seek back shows video mode's frame too";

    // Frame steps: none while playing; paused, exactly one video frame each way.
    fakeNow += 40;
    viewed.step({{ViewerCommand::StepFrame, 1}});
    EXPECT_EQ(run.frameOnGrid(), -1) << "while playing, a frame step is ignored and real "
                                        "time went on";
    ASSERT_EQ(viewed.step({{ViewerCommand::TogglePause, 0}}).kind, ::Run::Step::Wait);
    ASSERT_TRUE(run.paused());
    const int shownTicks = run.ticks();
    viewed.step({{ViewerCommand::StepFrame, 1}});
    const int64_t stepped = run.frameOnGrid();
    EXPECT_TRUE(firstFrameAtOrAfter(stepped, shownTicks + 1))
        << "from a picture off the grid, the first frame drawn after it";
    EXPECT_EQ(surfaceHash(run), video[stepped]);
    viewed.step({{ViewerCommand::StepFrame, 1}});
    EXPECT_EQ(run.frameOnGrid(), stepped + 1) << "then the next frame";
    EXPECT_EQ(surfaceHash(run), video[stepped + 1]);
    viewed.step({{ViewerCommand::StepFrame, -1}});
    EXPECT_EQ(run.frameOnGrid(), stepped) << "and back one";
    EXPECT_EQ(surfaceHash(run), video[stepped]);
    EXPECT_TRUE(run.paused()) << "frame steps keep the show paused";

    // The frame saved is the frame shown, exactly as video mode hands it on.
    viewed.step({{ViewerCommand::SaveFrame, 0}});
    char name[32];
    std::snprintf(name, sizeof name, "tick-%05d.png", run.ticks());
    EXPECT_EQ(viewed.savedName, name) << "named with its tick";
    EXPECT_EQ(viewed.savedHash, video[stepped]) << "the frame, border and all";

    // A frame on which a scene only hands on to the next shows the picture before it.
    viewed.step({{ViewerCommand::SeekTo, 12500}});
    const int64_t handOn = run.frameOnGrid();
    EXPECT_TRUE(firstFrameAtOrAfter(handOn, 12500));
    ASSERT_LT(handOn + 1, static_cast<int64_t>(video.size()));
    EXPECT_EQ(surfaceHash(run), video[handOn]) << "scene 0's end, as video mode shows it";
    EXPECT_EQ(displayLog.timeline.scene, 1) << "the hand-on frame still shows scene 0 (1st)";
    viewed.step({{ViewerCommand::SceneBy, 1}});
    EXPECT_EQ(run.frameOnGrid(), handOn + 1) << "Page Down from it: scene 1's first frame";

    // Scenes: the first frame a scene draws is the one after the frame on which the scene
    // before hands on; Page Up from there is the scene before's start.
    viewed.step({{ViewerCommand::GoToScene, 1}});
    const int64_t scene1 = run.frameOnGrid();
    EXPECT_EQ(scene1, handOn + 1) << "scene 1's first frame";
    EXPECT_EQ(surfaceHash(run), video[scene1]);
    EXPECT_EQ(run.show()->sceneIndex, 1) << "scene 1 drew the frame shown";
    EXPECT_EQ(displayLog.timeline.scene, 2) << "the timeline counts scenes from 1";
    viewed.step({{ViewerCommand::SceneBy, -1}});
    EXPECT_EQ(run.frameOnGrid(), 0) << "Page Up: the start of scene 0";
    EXPECT_EQ(surfaceHash(run), video[0]);
}

TEST(Viewer, PauseHoldsTheClockAndTheMusicAndResumeGoesOnWithoutAJump) {
    musicCalls.clear();
    ViewedRun viewed("end=800", notedMusic());
    ASSERT_TRUE(viewed.opened);
    ::Run& run = *viewed.run;
    ASSERT_EQ(viewed.step().kind, ::Run::Step::Drawn);
    fakeNow += 32;
    ASSERT_EQ(viewed.step().kind, ::Run::Step::Drawn);
    const int before = run.ticks();

    const ::Run::Step paused = viewed.step({{ViewerCommand::TogglePause, 0}});
    ASSERT_EQ(paused.kind, ::Run::Step::Wait) << "paused, the run only waits";
    EXPECT_LE(paused.length, 20u) << "for a short while, to look at the commands again";
    EXPECT_EQ(musicCalls.back(), "pause") << "the music is held with the picture";
    EXPECT_TRUE(displayLog.timeline.paused) << "the timeline shows the pause";
    const int presented = displayLog.presented;
    for (int i = 0; i < 10; ++i) {
        fakeNow += 1000;
        EXPECT_EQ(viewed.step().kind, ::Run::Step::Wait) << "second " << i << " of the pause";
    }
    EXPECT_EQ(run.ticks(), before) << "the clock stands still while paused";
    EXPECT_EQ(displayLog.presented, presented) << "and no frame is drawn";

    // A seek while paused shows its frame and stays paused, the music moved to its tick.
    ASSERT_EQ(viewed.step({{ViewerCommand::SeekBy, 5}}).kind, ::Run::Step::Drawn);
    EXPECT_TRUE(firstFrameAtOrAfter(run.frameOnGrid(), before + 355))
        << "5 s on from the picture's tick";
    EXPECT_EQ(musicCalls.back(), "seek " + std::to_string(run.ticks() * 1000 / 71));
    EXPECT_TRUE(run.paused());
    EXPECT_EQ(viewed.step().kind, ::Run::Step::Wait);

    // Resume: the music goes on, and the next frame is one slot on, not ten seconds.
    const int held = run.ticks();
    EXPECT_EQ(viewed.step({{ViewerCommand::TogglePause, 0}}).kind, ::Run::Step::Wait)
        << "after resuming, the next frame waits for its slot";
    EXPECT_FALSE(run.paused());
    EXPECT_EQ(musicCalls.back(), "resume");
    EXPECT_EQ(run.ticks(), held) << "the clock goes on from where it stood";
    fakeNow += 32;
    ASSERT_EQ(viewed.step().kind, ::Run::Step::Drawn);
    EXPECT_GE(run.ticks(), held + 2) << "one 32 ms slot later";
    EXPECT_LE(run.ticks(), held + 3) << "without a jump";

    // Seeks stop at the last frame before end=; Escape while paused ends the run.
    viewed.step({{ViewerCommand::SeekTo, 60000}, {ViewerCommand::TogglePause, 0}});
    EXPECT_TRUE(firstFrameAtOrAfter(run.frameOnGrid() + 1, 800))
        << "the last frame drawn before end=800";
    displayLog.quitAfter = displayLog.presented;
    EXPECT_EQ(viewed.step().kind, ::Run::Step::Ended) << "a quit request ends a paused run";
}
