// The sound of the AVI files: the capture hook, per-frame sample counts, waiting and overflow.
#include "ExportTestSupport.h"
#include "media/AviWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace {

constexpr uint32_t blockBytes = 4608; // a typical decoded block: 1152 sample frames

// Distinct 16-bit stereo sample frames, as bytes.
std::string knownPcm(size_t sampleFrames) {
    std::string pcm(sampleFrames * 4, '\0');
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<char>((i * 7 + i / 4093) & 0xFF);
    return pcm;
}

// Hands the PCM to the installed DSP in blocks; checks every block comes back silenced.
bool feed(const std::string& pcm, std::chrono::microseconds pause = {}) {
    bool silenced = true;
    for (size_t at = 0; at < pcm.size(); at += blockBytes) {
        std::string block = pcm.substr(at, blockBytes);
        fakesound::installedDsp(1, fakesound::installedOn, block.data(),
                                static_cast<uint32_t>(block.size()), nullptr);
        silenced =
            silenced && std::all_of(block.begin(), block.end(), [](char c) { return c == 0; });
        if (pause.count() > 0) std::this_thread::sleep_for(pause);
    }
    return silenced;
}

struct SoundExport {
    std::vector<uint8_t> frameBuffer = std::vector<uint8_t>(frameBytes);
    SoundHandle music = 7;
    std::unique_ptr<AviWriter> writer;

    explicit SoundExport(const std::string& path, int64_t captureBytes = 4000000) {
        fakesound::reset();
        setCaptureBufferSize(captureBytes);
        writer = std::make_unique<AviWriter>(nullptr, path.c_str(), frameWidth, frameHeight, true,
                                             31, 44100, 16, optionsOf("codec=ffv1"));
        writer->attachFrameBuffer(frameBuffer.data(), &music);
    }
    void frames(int count) {
        for (int i = 0; i < count; ++i)
            writer->nextFrame(0);
    }
};

int64_t samplesFor(int frames) {
    return int64_t{frames} * 44100 / 31;
}

} // namespace

TEST(AviSound, CapturedPcmIsWrittenWithTheFramesShareOfSamples) {
    const std::string path = scratchPath("sound.avi");
    SoundExport run(path);
    ASSERT_NE(fakesound::installedDsp, nullptr) << "attachFrameBuffer installs the capture hook";
    EXPECT_EQ(fakesound::installedOn, 7u) << "on the stream whose handle it was given";
    const std::string pcm = knownPcm(60000);
    EXPECT_TRUE(feed(pcm)) << "every captured block is silenced, so nothing is heard";
    run.frames(40);
    EXPECT_EQ(run.writer->getSamplesWritten(), samplesFor(40)) << "40 frames' share of samples";
    run.writer.reset();

    auto streams = probeStreams(path);
    EXPECT_EQ(streams["stream.1.codec_name"], "pcm_s16le") << "sound is 16-bit PCM";
    EXPECT_EQ(streams["stream.1.sample_rate"], "44100") << "at 44,100 Hz";
    EXPECT_EQ(streams["stream.1.channels"], "2") << "in stereo";
    const std::string sound = decodedSound(path);
    ASSERT_EQ(sound.size(), static_cast<size_t>(samplesFor(40) * 4)) << "no sample lost or added";
    EXPECT_TRUE(sound == pcm.substr(0, sound.size())) << "the samples are the captured ones";
    const std::vector<int> sizes = soundChunkSizes(path);
    ASSERT_EQ(sizes.size(), 40u) << "one sound chunk per frame";
    EXPECT_EQ(sizes[0], 1422 * 4) << "frame 0 gets 1422 samples";
    EXPECT_EQ(sizes[1], 1423 * 4) << "frame 1 gets 1423 samples";
    EXPECT_EQ(sizes[2], 1422 * 4) << "frame 2 gets 1422 samples";
}

TEST(AviSound, ThirtyOneFramesHoldExactlyOneSecond) {
    const std::string path = scratchPath("one-second.avi");
    SoundExport run(path);
    feed(knownPcm(100000));
    run.frames(62);
    EXPECT_EQ(run.writer->getSamplesWritten(), 88200) << "62 frames at 31 fps: 2 s of sound";
}

TEST(AviSound, FramesWaitForSoundStillArrivingAndGetSilenceAfterTheEnd) {
    const std::string path = scratchPath("sound-wait.avi");
    SoundExport run(path);
    const std::string pcm = knownPcm(static_cast<size_t>(samplesFor(31)));
    fakesound::setActive(true);
    std::thread library([&pcm] {
        feed(pcm, std::chrono::microseconds(300)); // slower than the writer asks for it
        fakesound::setActive(false);               // the music has ended
    });
    run.frames(33);
    library.join();
    run.writer.reset();
    const std::string sound = decodedSound(path);
    ASSERT_EQ(sound.size(), static_cast<size_t>(samplesFor(33) * 4)) << "33 frames' samples";
    EXPECT_TRUE(sound.compare(0, pcm.size(), pcm) == 0)
        << "each frame waited for its sound instead of taking silence early";
    EXPECT_TRUE(std::all_of(sound.begin() + static_cast<long>(pcm.size()), sound.end(), [](char c) {
        return c == 0;
    })) << "frames after the music ended get their share as silence";
}

TEST(AviSound, FullCaptureBufferDropsTheRestAndSaysSoOnce) {
    ASSERT_TRUE(allocateCaptureBuffer(10000)) << "a small buffer";
    const std::string pcm = knownPcm(4000); // 16,000 bytes
    testing::internal::CaptureStderr();
    for (size_t at = 0; at < pcm.size(); at += blockBytes) {
        std::string block = pcm.substr(at, blockBytes);
        captureSound(1, 7, block.data(), static_cast<uint32_t>(block.size()), nullptr);
    }
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(capturePosition(), 10000) << "the capture stops at the buffer's end";
    EXPECT_NE(said.find("sound buffer full"), std::string::npos) << "the overflow is reported";
    EXPECT_EQ(said.find("sound buffer full"), said.rfind("sound buffer full")) << "only once";

    std::string tail(2000, 'x');
    readCapture(9000, reinterpret_cast<uint8_t*>(&tail[0]), 2000);
    EXPECT_EQ(tail.substr(0, 1000), pcm.substr(9000, 1000)) << "what fitted reads back";
    EXPECT_EQ(tail.substr(1000), std::string(1000, '\0')) << "past the end reads as silence";
}

TEST(AviSound, SoundPastTheCaptureBufferIsWrittenAsSilence) {
    const std::string path = scratchPath("sound-overflow.avi");
    SoundExport run(path, 10000); // 2,500 sample frames
    testing::internal::CaptureStderr();
    feed(knownPcm(20000));
    testing::internal::GetCapturedStderr();
    run.frames(4);
    run.writer.reset();
    const std::string sound = decodedSound(path);
    ASSERT_EQ(sound.size(), static_cast<size_t>(samplesFor(4) * 4)) << "4 frames' samples";
    EXPECT_EQ(sound.substr(0, 10000), knownPcm(2500)) << "the captured part";
    EXPECT_EQ(sound.substr(10000), std::string(sound.size() - 10000, '\0')) << "then silence";
}
