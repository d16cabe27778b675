// Moving a stream to a sample frame (start= in playback) and reading its position: the sound
// after a seek is the file's sound from that frame on (to libmpg123's rounding after a seek).
#include "media/SoundLibrary.h"
#include "tests/media/SoundTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

class SoundSeekTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(soundInit(-1, 44100, soundInitDecodeOnly), 0) << "decode-only initialises";
    }
    void TearDown() override { soundFree(); }

    // Seeks a fresh stream of the file to `frame`, plays it to its end and returns what the
    // DSP saw.
    std::vector<uint8_t> playFrom(const std::string& path, int64_t frame, int expectedResult) {
        SoundHandle stream = soundStreamCreateFile(path.c_str(), 0);
        EXPECT_NE(stream, 0u) << "the file makes a stream";
        CollectingDsp dsp;
        EXPECT_NE(soundChannelSetDsp(stream, CollectingDsp::callback, &dsp), 0u);
        EXPECT_EQ(soundChannelSetPosition(stream, frame), expectedResult)
            << "the seek to frame " << frame << " reports " << expectedResult;
        EXPECT_EQ(soundChannelGetPosition(stream), frame)
            << "before playing, the position is the frame sought";
        EXPECT_NE(soundStart(), 0);
        EXPECT_NE(soundStreamPlay(stream, 0, 0), 0) << "the stream plays from there";
        EXPECT_TRUE(waitUntilInactive(stream)) << "and ends by itself";
        soundStreamFree(stream);
        return dsp.collected();
    }

    ScratchDir dir;
};

TEST_F(SoundSeekTest, TheSoundAfterASeekIsTheFilesSoundFromThatFrame) {
    const std::string path = writeToneMp3(dir, "tone.mp3", 44100, 2, 3.0);
    const std::vector<uint8_t> whole = referenceDecode(path);
    ASSERT_GT(whole.size(), 44100u * 4 * 2) << "libmpg123 decodes over two seconds";
    const int64_t frames = static_cast<int64_t>(whole.size() / 4);
    // The start, inside the first MPEG frame, across a frame boundary, deep inside.
    for (int64_t frame : {int64_t{0}, int64_t{577}, int64_t{1152 * 7 + 3}, frames - 1000}) {
        const std::vector<uint8_t> seen = playFrom(path, frame, 1);
        ASSERT_EQ(seen.size(), whole.size() - static_cast<size_t>(frame) * 4)
            << "from frame " << frame << " the rest of the file arrives, no more, no less";
        SampleDifference d;
        EXPECT_TRUE(equalAfterASeek(seen, whole.data() + frame * 4, whole.size() - frame * 4, &d))
            << "from frame " << frame << " the sound is the file's own from that frame ("
            << d.differing << " of " << d.samples << " samples off, by at most " << d.largest
            << ")";
    }
}

TEST_F(SoundSeekTest, ResampledFilesSeekInOutputFrames) {
    const std::string path = writeToneMp3(dir, "mono.mp3", 22050, 1, 2.0);
    SoundHandle stream = soundStreamCreateFile(path.c_str(), 0);
    ASSERT_NE(stream, 0u);
    CollectingDsp whole;
    soundChannelSetDsp(stream, CollectingDsp::callback, &whole);
    ASSERT_NE(soundStart(), 0);
    ASSERT_NE(soundStreamPlay(stream, 0, 0), 0);
    ASSERT_TRUE(waitUntilInactive(stream));
    const size_t wholeBytes = whole.collected().size();
    soundStreamFree(stream);

    const std::vector<uint8_t> seen = playFrom(path, 44100, 1);
    const double missing = (static_cast<double>(wholeBytes) - seen.size()) / 4;
    EXPECT_NEAR(missing, 44100, 64) << "a seek to frame 44,100 of a 22,050 Hz file skips one "
                                       "second of the 44,100 Hz output";
}

TEST_F(SoundSeekTest, PastTheEndPlaysNothingAndTheNextPlayStartsAgain) {
    const std::string path = writeToneMp3(dir, "short.mp3", 44100, 2, 1.0);
    const std::vector<uint8_t> whole = referenceDecode(path);
    SoundHandle stream = soundStreamCreateFile(path.c_str(), 0);
    ASSERT_NE(stream, 0u);
    CollectingDsp dsp;
    soundChannelSetDsp(stream, CollectingDsp::callback, &dsp);
    soundChannelSetPosition(stream, 44100 * 600);
    ASSERT_NE(soundStart(), 0);
    ASSERT_NE(soundStreamPlay(stream, 0, 0), 0) << "a stream sought past its end still plays";
    ASSERT_TRUE(waitUntilInactive(stream)) << "and is over at once";
    EXPECT_TRUE(dsp.collected().empty()) << "past the end nothing is played, not the start";
    ASSERT_NE(soundStreamPlay(stream, 0, 0), 0);
    ASSERT_TRUE(waitUntilInactive(stream));
    EXPECT_EQ(dsp.collected().size(), whole.size())
        << "playing the ended stream again plays it from its start";
}

TEST_F(SoundSeekTest, UnknownStreamsAndNegativeFramesAreRefused) {
    EXPECT_EQ(soundChannelSetPosition(12345, 0), 0) << "no stream 12345";
    EXPECT_EQ(soundChannelGetPosition(12345), -1) << "no position of an unknown stream";
    const std::string path = writeToneMp3(dir, "tone.mp3", 44100, 2, 1.0);
    SoundHandle stream = soundStreamCreateFile(path.c_str(), 0);
    ASSERT_NE(stream, 0u);
    EXPECT_EQ(soundChannelSetPosition(stream, -1), 0) << "a negative frame is refused";
    EXPECT_EQ(soundChannelGetPosition(stream), 0) << "and the stream stays at its start";
}

} // namespace
