// The sound library with well-formed MP3s: what the DSP receives, end of stream, stopping.
#include "media/SoundLibrary.h"
#include "tests/media/SoundTestSupport.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

class SoundLibraryTest : public ::testing::Test {
  protected:
    void TearDown() override { soundFree(); }
    ScratchDir dir;
};

// Plays the file to its end with a collecting DSP; returns what the DSP saw.
std::vector<uint8_t> playThroughDsp(const std::string& path, CollectingDsp& dsp,
                                    SoundHandle* made = nullptr) {
    SoundHandle stream = soundStreamCreateFile(path.c_str(), 0);
    if (made != nullptr) *made = stream;
    EXPECT_NE(stream, 0u) << "a valid MP3 makes a stream: " << path;
    if (stream == 0) return {};
    EXPECT_NE(soundChannelSetDsp(stream, CollectingDsp::callback, &dsp), 0u)
        << "the DSP is installed on a live stream";
    EXPECT_NE(soundStart(), 0) << "output starts";
    EXPECT_NE(soundStreamPlay(stream, 0, 0), 0) << "the stream plays";
    EXPECT_TRUE(waitUntilInactive(stream)) << "the stream ends by itself";
    EXPECT_EQ(soundChannelIsActive(stream), 0) << "is-active is false after the end";
    return dsp.collected();
}

struct DecodeCase {
    const char* name;
    int rate;
    int channels;
    bool id3v2;
    size_t truncateTo; // 0 = whole file
};

class DecodeOnlyTest : public SoundLibraryTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeOnlyTest, DspReceivesTheWholeDecodeInOrder) {
    const DecodeCase& c = GetParam();
    std::string path = writeToneMp3(dir, "in.mp3", c.rate, c.channels, 3.0, c.id3v2);
    if (c.truncateTo != 0) {
        std::vector<uint8_t> bytes = readBytes(path);
        ASSERT_GT(bytes.size(), c.truncateTo) << "the truncation cuts into the file";
        bytes.resize(c.truncateTo);
        path = dir.file("truncated.mp3");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    const std::vector<uint8_t> reference = referenceDecode(path);
    ASSERT_GT(reference.size(), 44100u * 4) << "libmpg123 decodes over a second of sound";

    // No device at all: decode-only must not need one.
    ScopedEnv noDevice("SDL_AUDIODRIVER", "no-such-driver");
    ASSERT_NE(soundInit(-1, 44100, 16 | soundInitDecodeOnly), 0)
        << "decode-only initialisation needs no audio device";
    CollectingDsp dsp;
    const std::vector<uint8_t> seen = playThroughDsp(path, dsp);
    EXPECT_EQ(dsp.oddBlocks, 0u) << "every block holds whole 4-byte sample frames";
    EXPECT_GT(dsp.blocks, 1u) << "the sound arrives in several blocks";
    ASSERT_EQ(seen.size(), reference.size()) << "the DSP gets every decoded byte, once";
    EXPECT_TRUE(seen == reference) << "the DSP's bytes equal libmpg123's decode, in order";
}

INSTANTIATE_TEST_SUITE_P(Files, DecodeOnlyTest,
                         ::testing::Values(DecodeCase{"Stereo44100", 44100, 2, false, 0},
                                           DecodeCase{"Mono22050", 22050, 1, false, 0},
                                           DecodeCase{"Id3v2Tagged", 44100, 2, true, 0},
                                           DecodeCase{"Truncated", 44100, 2, false, 30001}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SoundLibraryTest, GeneratedSoundtrackDecodesAsLibmpg123DecodesIt) {
    const std::string command =
        std::string(MAKE_ASSETS) + " --seconds 20 '" + dir.path() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << "make-assets writes the soundtrack";
    const std::string path = dir.file("velmorin.mp3");
    const std::vector<uint8_t> reference = referenceDecode(path);
    ASSERT_GT(reference.size(), 44100u * 4 * 19) << "libmpg123 decodes 20 s of sound";
    ASSERT_NE(soundInit(-1, 44100, soundInitDecodeOnly), 0);
    CollectingDsp dsp;
    const std::vector<uint8_t> seen = playThroughDsp(path, dsp);
    ASSERT_EQ(seen.size(), reference.size()) << "every sample frame, no more, no fewer";
    EXPECT_TRUE(seen == reference)
        << "the show's soundtrack decodes sample for sample as libmpg123's defaults decode it";
}

// The library built by tools/build-mpg123.sh has one decoder, the plain C one, so the samples
// do not depend on the processor (the system's library picks an assembly one at run time).
TEST_F(SoundLibraryTest, TheLinkedLibmpg123HasOnlyTheDecoderEveryMachineRunsAlike) {
#ifndef DEMO_MPG123_STRICT
    GTEST_SKIP() << "built on the system's libmpg123 (no build-deps/mpg123)";
#else
    std::vector<std::string> decoders;
    for (const char** name = mpg123_decoders(); *name != nullptr; ++name)
        decoders.push_back(*name);
    EXPECT_EQ(decoders, std::vector<std::string>{"generic"})
        << "the linked libmpg123 is the one built from source, with no decoder to choose";
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    ASSERT_NE(handle, nullptr) << "a handle with the default decoder";
    EXPECT_STREQ(mpg123_current_decoder(handle), "generic") << "the default is that decoder";
    mpg123_delete(handle);
#endif
}

TEST_F(SoundLibraryTest, MonoIsDuplicatedIntoBothChannels) {
    const std::string path = writeToneMp3(dir, "mono.mp3", 22050, 1, 1.0);
    ASSERT_NE(soundInit(-1, 44100, soundInitDecodeOnly), 0);
    CollectingDsp dsp;
    const std::vector<uint8_t> seen = playThroughDsp(path, dsp);
    ASSERT_GT(seen.size(), 44100u * 4 * 9 / 10) << "22,050 Hz is resampled to 44,100 Hz";
    size_t differing = 0;
    for (size_t i = 0; i + 3 < seen.size(); i += 4)
        if (seen[i] != seen[i + 2] || seen[i + 1] != seen[i + 3]) ++differing;
    EXPECT_EQ(differing, 0u) << "left and right samples are equal for a mono file";
}

TEST_F(SoundLibraryTest, PlayingAgainAfterTheEndRepeatsTheSameSound) {
    const std::string path = writeToneMp3(dir, "again.mp3", 44100, 2, 1.0);
    ASSERT_NE(soundInit(-1, 44100, soundInitDecodeOnly), 0);
    CollectingDsp dsp;
    SoundHandle stream = 0;
    const std::vector<uint8_t> first = playThroughDsp(path, dsp, &stream);
    ASSERT_NE(soundStreamPlay(stream, 0, 0), 0) << "an ended stream plays again";
    ASSERT_TRUE(waitUntilInactive(stream));
    const std::vector<uint8_t> both = dsp.collected();
    ASSERT_EQ(both.size(), first.size() * 2) << "the second play delivers the file once more";
    EXPECT_TRUE(std::equal(first.begin(), first.end(), both.begin() + first.size()))
        << "the second play starts again from the first sample";
}

// Output mode on SDL's dummy driver: paced by the device, same bytes, then inactive.
TEST_F(SoundLibraryTest, DeviceModeDeliversTheDecodeAndGoesInactiveAtTheEnd) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    const std::string path = writeToneMp3(dir, "short.mp3", 44100, 2, 0.5);
    ASSERT_NE(soundInit(-1, 44100, 16), 0) << "the dummy driver opens as the default output";
    CollectingDsp dsp;
    const std::vector<uint8_t> seen = playThroughDsp(path, dsp);
    EXPECT_TRUE(seen == referenceDecode(path)) << "the device path hands the DSP every byte";
    EXPECT_EQ(dsp.oddBlocks, 0u) << "every block holds whole sample frames";
}

// The disk driver writes what the device plays: a DSP that zeroes blocks leaves silence,
// and without zeroing the file holds the decoded sound.
TEST_F(SoundLibraryTest, WhatTheDspLeavesIsWhatIsHeard) {
    const std::string path = writeToneMp3(dir, "heard.mp3", 44100, 2, 1.0);
    const std::vector<uint8_t> reference = referenceDecode(path);
    ScopedEnv driver("SDL_AUDIODRIVER", "disk");
    ScopedEnv shortDelay("SDL_DISKAUDIODELAY", "1"); // ms per block instead of real time
    for (bool zero : {false, true}) {
        const std::string outPath = dir.file(zero ? "zeroed.raw" : "plain.raw");
        ScopedEnv file("SDL_DISKAUDIOFILE", outPath.c_str());
        ASSERT_NE(soundInit(-1, 44100, 16), 0) << "the disk driver opens";
        CollectingDsp dsp;
        dsp.zero = zero;
        const std::vector<uint8_t> seen = playThroughDsp(path, dsp);
        soundFree();
        const std::vector<uint8_t> heard = readBytes(outPath);
        ASSERT_GE(heard.size(), reference.size()) << "the device wrote the whole stream";
        if (zero) {
            EXPECT_TRUE(std::all_of(heard.begin(), heard.end(), [](uint8_t b) { return b == 0; }))
                << "a DSP that zeroes every block leaves complete silence";
        } else {
            // The paused device writes silence before the stream starts: skip it.
            auto sound = [](const std::vector<uint8_t>& v) {
                return std::find_if(v.begin(), v.end(), [](uint8_t b) { return b != 0; });
            };
            auto start = sound(heard);
            auto referenceStart = sound(reference);
            const auto length = reference.end() - referenceStart;
            ASSERT_GE(heard.end() - start, length) << "the whole sound reached the device";
            EXPECT_TRUE(std::equal(referenceStart, reference.end(), start))
                << "the device plays the decoded sound unchanged";
        }
        EXPECT_TRUE(seen == reference) << "the DSP saw the decode before it was heard";
    }
}

TEST_F(SoundLibraryTest, StopEndsPlayingAndTheDspIsNotCalledAfterwards) {
    const std::string path = writeToneMp3(dir, "long.mp3", 44100, 2, 5.0);
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    ASSERT_NE(soundInit(-1, 44100, 16), 0);
    SoundHandle stream = soundStreamCreateFile(path.c_str(), 0);
    ASSERT_NE(stream, 0u);
    CollectingDsp dsp;
    ASSERT_NE(soundChannelSetDsp(stream, CollectingDsp::callback, &dsp), 0u);
    ASSERT_NE(soundStart(), 0);
    ASSERT_NE(soundStreamPlay(stream, 0, 0), 0);
    EXPECT_NE(soundChannelIsActive(stream), 0) << "the stream is active while it plays";
    EXPECT_NE(soundStop(), 0) << "stop succeeds while initialised";
    EXPECT_EQ(soundChannelIsActive(stream), 0) << "a stopped stream is inactive";
    const uint32_t blocksAtStop = dsp.blocks;
    EXPECT_NE(soundStop(), 0) << "a second stop is harmless";
    EXPECT_EQ(soundStreamFree(stream), 1) << "the stream is freed once";
    EXPECT_EQ(soundStreamFree(stream), 0) << "freeing it again does nothing";
    EXPECT_EQ(soundChannelIsActive(stream), 0) << "a freed stream is inactive";
    EXPECT_EQ(dsp.blocks, blocksAtStop) << "no block reaches the DSP after stop returned";
    EXPECT_EQ(soundFree(), 1);
    EXPECT_EQ(soundFree(), 0) << "a second free does nothing";
    EXPECT_EQ(soundStop(), 0) << "stop after free does nothing";
}

TEST_F(SoundLibraryTest, StoppingAndFreeingBeforeAnythingStartedIsHarmless) {
    EXPECT_EQ(soundStop(), 0) << "stop before initialisation";
    EXPECT_EQ(soundStreamFree(1), 0) << "free of a stream that never existed";
    EXPECT_EQ(soundFree(), 0) << "free before initialisation";
    EXPECT_EQ(soundChannelIsActive(1), 0);
    EXPECT_EQ(soundStreamPlay(1, 0, 0), 0) << "play without a library";
    EXPECT_EQ(soundStart(), 0) << "start without a library";
    ASSERT_NE(soundInit(-1, 44100, soundInitDecodeOnly), 0);
    EXPECT_EQ(soundInit(-1, 44100, soundInitDecodeOnly), 0) << "a second init is refused";
    EXPECT_EQ(soundStreamPlay(12345, 0, 0), 0) << "play of an unknown stream fails";
    EXPECT_EQ(soundChannelSetDsp(12345, CollectingDsp::callback, nullptr), 0u);
    EXPECT_EQ(soundStop(), 1) << "stop with nothing playing";
    EXPECT_EQ(soundFree(), 1);
}

// A refused set-up names the device or the setting and, where SDL had a word, gives it.
TEST_F(SoundLibraryTest, RefusedSetUpSaysWhy) {
    ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
    EXPECT_EQ(soundInit(99, 44100, 16), 0) << "there is no 99th output device";
    EXPECT_EQ(std::string(soundErrorText())
                  .rfind("there is no output device 99 (SDL's \"dummy\" "
                         "driver lists ",
                         0),
              0u)
        << soundErrorText();
    EXPECT_EQ(soundInit(-1, 1000, 16), 0);
    EXPECT_STREQ(soundErrorText(), "1000 Hz is outside the 8000 to 192000 Hz an output can run at");
    ASSERT_NE(soundInit(-1, 44100, 16), 0) << "the dummy driver's default device opens";
    EXPECT_STREQ(soundErrorText(), "") << "no reason after a success";
    EXPECT_EQ(soundInit(-1, 44100, 16), 0);
    EXPECT_STREQ(soundErrorText(), "the sound library is initialised already");
    EXPECT_EQ(soundStreamPlay(12345, 0, 0), 0);
    EXPECT_STREQ(soundErrorText(), "there is no stream 12345");
}

TEST_F(SoundLibraryTest, FreeingWhileDecodingAheadStopsTheWorker) {
    const std::string path = writeToneMp3(dir, "free.mp3", 44100, 2, 20.0);
    ASSERT_NE(soundInit(-1, 44100, soundInitDecodeOnly), 0);
    SoundHandle stream = soundStreamCreateFile(path.c_str(), 0);
    ASSERT_NE(stream, 0u);
    CollectingDsp dsp;
    ASSERT_NE(soundChannelSetDsp(stream, CollectingDsp::callback, &dsp), 0u);
    ASSERT_NE(soundStart(), 0);
    ASSERT_NE(soundStreamPlay(stream, 0, 0), 0);
    EXPECT_EQ(soundFree(), 1) << "free while the worker runs returns after joining it";
    const uint32_t blocks = dsp.blocks;
    EXPECT_EQ(soundChannelIsActive(stream), 0) << "nothing plays after free";
    EXPECT_EQ(dsp.blocks, blocks) << "the DSP is not called after free returned";
}

} // namespace
