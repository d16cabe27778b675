// The music steps: set-up, start and stop of the soundtrack over the sound library.
#include "media/Music.h"
#include "engine/Error.h"
#include "tests/media/SoundTestSupport.h"
#include "tools/mp3encode/Mp3Encode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

namespace {

class MusicTest : public ::testing::Test {
  protected:
    void TearDown() override { stopMusic(); }
    ScratchDir dir;
};

// Runs the call and returns the explanation of the Error it throws, "" when it returns
// normally. The Error is one nobody has shown: the caller ends in "Sorry." and exit code 0.
template <typename Call> std::string thrownExplanation(Call call) {
    try {
        call();
    } catch (const Error& error) {
        EXPECT_FALSE(error.shown()) << "left to the catch-all's \"Sorry.\"";
        EXPECT_EQ(error.exitCode(), 0) << "the run still ends with exit code 0";
        return error.explanation();
    }
    return "";
}

const std::string withoutSound = " - run with noaudio to play the show without sound";

TEST_F(MusicTest, StoppingBeforeSetUpIsHarmless) {
    stopMusic();
    stopMusic();
    EXPECT_EQ(musicStream, 0u) << "no stream exists without set-up";
}

TEST_F(MusicTest, MissingSoundtrackNamesTheFileAndTheSystemsReason) {
    WorkingDirectory cwd(dir.path());
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    EXPECT_EQ(thrownExplanation([] { setUpMusic(); }),
              "Couldn't load the soundtrack: velmorin.mp3: No such file or directory" +
                  withoutSound)
        << "no velmorin.mp3 in the folder";
    EXPECT_EQ(musicStream, 0u);
    stopMusic();
    stopMusic();
}

TEST_F(MusicTest, DamagedSoundtrackNamesTheFileAndLibmpg123sReason) {
    WorkingDirectory cwd(dir.path());
    const std::string junk = "Not a single MPEG audio frame in these bytes.\n";
    writeBytes(dir.file("velmorin.mp3"), std::vector<uint8_t>(junk.begin(), junk.end()));
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    EXPECT_EQ(thrownExplanation([] { setUpMusic(); }),
              "Couldn't load the soundtrack: velmorin.mp3: libmpg123 found no MPEG audio frame "
              "in it" +
                  withoutSound);
    stopMusic();
}

TEST_F(MusicTest, NoAudioDeviceNamesTheDeviceSdlsReasonAndNoaudio) {
    WorkingDirectory cwd(dir.path());
    writeToneMp3(dir, "velmorin.mp3", 44100, 2, 0.5);
    ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
    const std::string explanation = thrownExplanation([] { setUpMusic(); });
    EXPECT_EQ(explanation.rfind("Couldn't open the sound device: SDL could not start audio for "
                                "the default output device (",
                                0),
              0u)
        << "says the sound device could not be opened: " << explanation;
    EXPECT_NE(explanation.find("no-such-driver"), std::string::npos)
        << "SDL's own words name the driver it could not use: " << explanation;
    EXPECT_EQ(explanation.substr(explanation.size() - withoutSound.size()), withoutSound)
        << "and names the word that plays the show without sound: " << explanation;
    stopMusic();
}

// SDL's disk driver starts but cannot open its device when its output file cannot be made.
TEST_F(MusicTest, ADeviceThatCannotOpenNamesTheDriverSdlsReasonAndNoaudio) {
    WorkingDirectory cwd(dir.path());
    writeToneMp3(dir, "velmorin.mp3", 44100, 2, 0.5);
    const std::string output = dir.file("no-such-folder/out.raw");
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv file("SDL_DISKAUDIOFILE", output.c_str());
    EXPECT_EQ(thrownExplanation([] { setUpMusic(); }),
              "Couldn't open the sound device: SDL's \"disk\" driver could not open the default "
              "output device (Couldn't open " +
                  output + ")" + withoutSound);
    EXPECT_EQ(musicStream, 0u) << "no stream without a device";
    stopMusic();
}

TEST_F(MusicTest, SoundtrackPlaysAndStopsTwice) {
    WorkingDirectory cwd(dir.path());
    writeToneMp3(dir, "velmorin.mp3", 44100, 2, 2.0);
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ASSERT_EQ(thrownExplanation([] { setUpMusic(); }), "") << "set-up succeeds";
    ASSERT_NE(musicStream, 0u);
    ASSERT_EQ(thrownExplanation([] { startMusic("data/velmorin(prv).mp3"); }), "");
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
    ASSERT_EQ(thrownExplanation([] { setUpMusic(true); }), "") << "capture-only needs no device";
    CollectingDsp capture;
    ASSERT_NE(soundChannelSetDsp(musicStream, CollectingDsp::callback, &capture), 0u);
    ASSERT_EQ(thrownExplanation([] { startMusic("data/velmorin(prv).mp3"); }), "");
    ASSERT_TRUE(waitUntilInactive(musicStream)) << "the soundtrack reaches its end";
    EXPECT_TRUE(capture.collected() == referenceDecode(dir.file("velmorin.mp3")))
        << "the capture holds the whole soundtrack in order";
}

// Paused, nothing is taken from the stream; resumed, it goes on with the very next sample, or
// from where a seek in between put it: what the stream hands out is the soundtrack without a
// gap or a repeat up to the seek, and from the seek's sample on.
TEST_F(MusicTest, PauseHoldsTheSoundtrackAndResumeGoesOnAtTheNextSampleOrTheSoughtOne) {
    WorkingDirectory cwd(dir.path());
    writeToneMp3(dir, "velmorin.mp3", 44100, 2, 3.0);
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ASSERT_EQ(thrownExplanation([] { setUpMusic(); }), "");
    CollectingDsp heard;
    ASSERT_NE(soundChannelSetDsp(musicStream, CollectingDsp::callback, &heard), 0u);
    ASSERT_EQ(thrownExplanation([] { startMusic("data/velmorin(prv).mp3"); }), "");
    const auto playFor = [&](size_t bytes) {
        for (int i = 0; i < 500 && heard.collected().size() < bytes; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };

    playFor(44100 / 4 * 4);
    pauseMusic();
    const size_t atPause = heard.collected().size();
    const int64_t position = musicPositionMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(heard.collected().size(), atPause) << "nothing is taken while paused";
    EXPECT_EQ(musicPositionMs(), position) << "the position stands still";
    resumeMusic();
    playFor(atPause + 44100 / 4 * 4);
    EXPECT_GT(heard.collected().size(), atPause) << "resumed, the music goes on";

    pauseMusic();
    const size_t beforeSeek = heard.collected().size();
    seekMusic(2000);
    resumeMusic();
    ASSERT_TRUE(waitUntilInactive(musicStream)) << "the soundtrack reaches its end";
    const std::vector<uint8_t> reference = referenceDecode(dir.file("velmorin.mp3"));
    const size_t sought = 2000 * 44100 / 1000 * 4;
    ASSERT_LT(sought, reference.size());
    const std::vector<uint8_t> collected = heard.collected();
    ASSERT_GE(collected.size(), beforeSeek);
    EXPECT_TRUE(std::equal(reference.begin(), reference.begin() + beforeSeek, collected.begin()))
        << "the soundtrack without a gap or a repeat across the first pause";
    const std::vector<uint8_t> afterSeek(collected.begin() + beforeSeek, collected.end());
    SampleDifference d;
    EXPECT_TRUE(
        equalAfterASeek(afterSeek, reference.data() + sought, reference.size() - sought, &d))
        << "then the soundtrack from 2 s (" << d.differing << " of " << d.samples
        << " samples off, by at most " << d.largest << ")";
}

TEST_F(MusicTest, StartWithoutAStreamSaysThereIsNone) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ASSERT_NE(soundInit(-1, 44100, 16), 0);
    EXPECT_EQ(thrownExplanation([] { startMusic(""); }),
              "Couldn't play the soundtrack: there is no stream 0")
        << "no stream to play";
    soundFree();
}

} // namespace
