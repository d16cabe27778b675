// The video stream of the AVI files: layout, codecs, and frames decoded back exactly.
#include "ExportTestSupport.h"
#include "media/AviWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// Writes the frames through nextFrame from the attached buffer, as the main loop does.
void exportFrames(const std::string& path, const std::string& codec, int count,
                  std::vector<std::vector<uint8_t>>* given = nullptr) {
    std::vector<uint8_t> frameBuffer(frameBytes);
    AviWriter writer(nullptr, path.c_str(), frameWidth, frameHeight, false, 31, 44100, 16,
                     optionsOf("codec=" + codec));
    writer.attachFrameBuffer(frameBuffer.data(), nullptr);
    for (int i = 0; i < count; ++i) {
        const std::vector<uint8_t> frame = syntheticFrame(i);
        std::copy(frame.begin(), frame.end(), frameBuffer.begin()); // the attached block stays
        if (given != nullptr) given->push_back(frame);
        writer.nextFrame(i * 100 / count);
    }
}

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t le32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

} // namespace

TEST(AviFile, LosslessCodecsGiveBackEveryFrameExactly) {
    std::vector<std::string> expected;
    for (const char* codec : {"ffv1", "raw", "utvideo", "huffyuv"}) {
        const std::string path = scratchPath(std::string("lossless-") + codec + ".avi");
        std::vector<std::vector<uint8_t>> frames;
        exportFrames(path, codec, 12, &frames);
        if (expected.empty()) expected = frameMd5s(frames);
        ASSERT_EQ(expected.size(), 12u) << "ffmpeg hashes the 12 frames given";
        EXPECT_EQ(decodedFrameMd5s(path), expected)
            << codec << ": every decoded frame (bgr24) has the MD5 of the frame handed in";
    }
}

TEST(AviFile, VideoStreamIs640x480At31FpsWithoutSoundStream) {
    const std::string path = scratchPath("layout.avi");
    exportFrames(path, "ffv1", 40);
    auto streams = probeStreams(path);
    EXPECT_EQ(streams["stream.0.codec_type"], "video") << "stream 0 is the video";
    EXPECT_EQ(streams["stream.0.codec_name"], "ffv1") << "codec=ffv1 picks FFV1";
    EXPECT_EQ(streams["stream.0.width"], "640") << "frame width";
    EXPECT_EQ(streams["stream.0.height"], "480") << "frame height";
    EXPECT_EQ(streams["stream.0.r_frame_rate"], "31/1") << "31 frames per second";
    EXPECT_EQ(streams["stream.0.time_base"], "1/31") << "one tick per frame";
    EXPECT_EQ(streams["stream.0.nb_read_frames"], "40") << "every frame handed in is in the file";
    EXPECT_EQ(streams.count("stream.1.codec_type"), 0u) << "noaudio: no sound stream at all";
}

TEST(AviFile, RawFramesAreUncompressedBottomUpBitmaps) {
    const std::string path = scratchPath("raw-header.avi");
    std::vector<std::vector<uint8_t>> frames;
    exportFrames(path, "raw", 2, &frames);
    const std::string bytes = fileBytes(path);
    const size_t strf = bytes.find("strf");
    ASSERT_NE(strf, std::string::npos) << "the video stream has a format chunk";
    const size_t header = strf + 8;
    EXPECT_EQ(le32(bytes, header), 44u) << "bitmap header size field 44";
    EXPECT_EQ(le32(bytes, header + 4), 640u) << "bitmap width";
    EXPECT_EQ(static_cast<int32_t>(le32(bytes, header + 8)), 480) << "positive height: bottom-up";
    EXPECT_EQ(bytes[header + 14], 24) << "24 bits per pixel";
    EXPECT_EQ(le32(bytes, header + 16), 0u) << "compression 0: uncompressed RGB";
    EXPECT_EQ(le32(bytes, header + 20), 921600u) << "image size width x height x 3";

    // The first frame's data chunk holds the bottom row first.
    const size_t chunk = bytes.find("00dc", bytes.find("movi"));
    ASSERT_NE(chunk, std::string::npos) << "a raw frame chunk";
    ASSERT_EQ(le32(bytes, chunk + 4), frameBytes) << "the chunk holds one whole frame";
    EXPECT_EQ(0, std::memcmp(bytes.data() + chunk + 8, frames[0].data() + 479 * 1920, 1920))
        << "row 0 of the stored bitmap is the picture's bottom row";
}

TEST(AviFile, LossyCodecsWriteDecodableStreams) {
    std::vector<std::string> codecs = {"mjpeg"};
    for (const AviCodec& codec : availableAviCodecs())
        if (std::string(codec.name) == "h264") codecs.push_back("h264");
    for (const std::string& codec : codecs) {
        const std::string path = scratchPath("lossy-" + codec + ".avi");
        exportFrames(path, codec, 20);
        auto streams = probeStreams(path);
        EXPECT_EQ(streams["stream.0.codec_name"], codec) << "the chosen codec is in the file";
        EXPECT_EQ(streams["stream.0.nb_read_frames"], "20")
            << codec << ": every frame decodes, none is held back by the encoder";
        EXPECT_EQ(streams["stream.0.has_b_frames"], "0") << codec << ": no reordered frames";
    }
}
