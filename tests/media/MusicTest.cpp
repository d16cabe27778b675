// The music steps: set-up, start and stop of the soundtrack over the sound library.
#include "media/Music.h"
#include "tests/media/SoundTestSupport.h"

#include <gtest/gtest.h>

namespace {

class MusicTest : public ::testing::Test {
  protected:
    void TearDown() override { stopMusic(); }
    ScratchDir dir;
};

// Runs the call and returns the integer it throws, -1 when it returns normally.
template <typename Call> int thrownInteger(Call call) {
    try {
        call();
    } catch (int code) {
        return code;
    }
    return -1;
}

TEST_F(MusicTest, StoppingBeforeSetUpIsHarmless) {
    stopMusic();
    stopMusic();
    EXPECT_EQ(musicStream, 0u) << "no stream exists without set-up";
}

TEST_F(MusicTest, MissingSoundtrackThrowsOne) {
    WorkingDirectory cwd(dir.path());
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    EXPECT_EQ(thrownInteger([] { setUpMusic(); }), 1) << "no velmorin.mp3 in the folder";
    EXPECT_EQ(musicStream, 0u);
    stopMusic();
    stopMusic();
}

TEST_F(MusicTest, NoAudioDeviceThrowsZero) {
    WorkingDirectory cwd(dir.path());
    writeToneMp3(dir, "velmorin.mp3", 44100, 2, 0.5);
    ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    EXPECT_EQ(thrownInteger([] { setUpMusic(); }), 0) << "the output cannot start";
    stopMusic();
}

TEST_F(MusicTest, SoundtrackPlaysAndStopsTwice) {
    WorkingDirectory cwd(dir.path());
    writeToneMp3(dir, "velmorin.mp3", 44100, 2, 2.0);
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ASSERT_EQ(thrownInteger([] { setUpMusic(); }), -1) << "set-up succeeds";
    ASSERT_NE(musicStream, 0u);
    ASSERT_EQ(thrownInteger([] { startMusic("data/velmorin(prv).mp3"); }), -1);
    const SoundHandle stream = musicStream;
    EXPECT_NE(soundChannelIsActive(stream), 0) << "the soundtrack plays after start";
    stopMusic();
    EXPECT_EQ(soundChannelIsActive(stream), 0) << "stopped";
    EXPECT_EQ(musicStream, 0u) << "the stream handle is cleared";
    stopMusic(); // the exit routine's second stop
}

// Video mode: no device needed, and the capture sees the whole soundtrack without waiting
// for real time.
TEST_F(MusicTest, CaptureOnlySetUpDecodesAheadWithoutADevice) {
    WorkingDirectory cwd(dir.path());
    writeToneMp3(dir, "velmorin.mp3", 44100, 2, 30.0);
    ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    ASSERT_EQ(thrownInteger([] { setUpMusic(true); }), -1) << "capture-only needs no device";
    CollectingDsp capture;
    ASSERT_NE(soundChannelSetDsp(musicStream, CollectingDsp::callback, &capture), 0u);
    ASSERT_EQ(thrownInteger([] { startMusic("data/velmorin(prv).mp3"); }), -1);
    ASSERT_TRUE(waitUntilInactive(musicStream)) << "the soundtrack reaches its end";
    EXPECT_TRUE(capture.collected() == referenceDecode(dir.file("velmorin.mp3")))
        << "the capture holds the whole soundtrack in order";
}

TEST_F(MusicTest, StartWithoutAStreamThrowsTwo) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ASSERT_NE(soundInit(-1, 44100, 16), 0);
    EXPECT_EQ(thrownInteger([] { startMusic(""); }), 2) << "no stream to play";
    soundFree();
}

} // namespace
