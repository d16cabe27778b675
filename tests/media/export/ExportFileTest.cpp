// Files of every container: frames decoded back exactly, enlarged pixels, the sharing
// settings of MP4, the sound of each container, repeatable bytes and refused words.
#include "ExportTestSupport.h"
#include "media/AviCapture.h"
#include "media/AviWriter.h"
#include "media/ExportFormats.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <memory>
#include <sched.h>
#include <sstream>
#include <sys/stat.h>

// libx265 keeps one block of its own (1,168 bytes) after every encoder is closed; the leak
// check is for this program's memory.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libx265.so\n";
}

namespace {

// Distinct 16-bit stereo sample frames, as bytes.
std::string knownPcm(size_t sampleFrames) {
    std::string pcm(sampleFrames * 4, '\0');
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<char>(((i * 13) ^ (i / 977)) & 0xFF);
    return pcm;
}

// An export through the writer as the main loop drives it: words, frames, optional sound.
struct FileExport {
    std::vector<uint8_t> frameBuffer = std::vector<uint8_t>(frameBytes);
    SoundHandle music = 7;
    std::unique_ptr<AviWriter> writer;
    std::vector<std::vector<uint8_t>> given;

    FileExport(const std::string& path, const std::string& words, bool sound = false) {
        fakesound::reset();
        setCaptureBufferSize(4000000);
        writer = std::make_unique<AviWriter>(nullptr, path.c_str(), frameWidth, frameHeight, sound,
                                             31, 44100, 16, optionsOf(words));
        writer->attachFrameBuffer(frameBuffer.data(), sound ? &music : nullptr);
    }
    void frames(int count) {
        for (int i = 0; i < count; ++i) {
            given.push_back(syntheticFrame(i));
            std::copy(given.back().begin(), given.back().end(), frameBuffer.begin());
            writer->nextFrame(0);
        }
    }
    void feed(const std::string& pcm) {
        for (size_t at = 0; at < pcm.size(); at += 4608) {
            std::string block = pcm.substr(at, 4608);
            fakesound::installedDsp(1, music, block.data(), static_cast<uint32_t>(block.size()),
                                    nullptr);
        }
    }
    void finish() { writer.reset(); }
};

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

} // namespace

TEST(ExportFile, LosslessContainersGiveBackEveryFrameExactly) {
    for (const auto& [name, codec] :
         std::vector<std::pair<std::string, std::string>>{{"lossless.mkv", "ffv1"},
                                                          {"lossless-utvideo.mkv", "utvideo"},
                                                          {"lossless.nut", "raw"},
                                                          {"lossless-out.avi", "utvideo"}}) {
        const std::string path = scratchPath(name);
        FileExport run(path, "codec=" + codec);
        run.frames(10);
        run.finish();
        EXPECT_EQ(decodedFrameMd5s(path), frameMd5s(run.given))
            << name << " (" << codec << "): every frame decodes to the frame handed in";
    }
}

TEST(ExportFile, ScaleMakesEveryPixelAUniformBlock) {
    for (const auto& [name, scale] :
         std::vector<std::pair<std::string, int>>{{"scale3.mkv", 3}, {"scale2.nut", 2}}) {
        const std::string path = scratchPath(name);
        FileExport run(path, "scale=" + std::to_string(scale));
        run.frames(3);
        run.finish();
        const std::string decoded =
            commandOutput("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt bgr24 -");
        const size_t w = frameWidth * scale, h = frameHeight * scale, frameBytes = w * h * 3;
        ASSERT_EQ(decoded.size(), 3 * frameBytes) << name << ": three frames of the larger size";
        for (size_t f = 0; f < 3; ++f) {
            const uint8_t* frame =
                reinterpret_cast<const uint8_t*>(decoded.data()) + f * frameBytes;
            bool uniform = true, sameAsGiven = true;
            for (size_t y = 0; y < h; ++y)
                for (size_t x = 0; x < w; ++x) {
                    const uint8_t* pixel = frame + (y * w + x) * 3;
                    const uint8_t* corner = frame + ((y - y % scale) * w + x - x % scale) * 3;
                    uniform = uniform && std::equal(pixel, pixel + 3, corner);
                    const uint8_t* source =
                        &run.given[f][((y / scale) * frameWidth + x / scale) * 3];
                    sameAsGiven = sameAsGiven && std::equal(pixel, pixel + 3, source);
                }
            EXPECT_TRUE(uniform) << name << " frame " << f << ": every block is one colour";
            EXPECT_TRUE(sameAsGiven) << name << " frame " << f << ": and that of its pixel";
        }
    }
}

TEST(ExportFile, Mp4IsReadyToShare) {
    const std::string path = scratchPath("share.mp4");
    FileExport run(path, "", true);
    run.feed(knownPcm(40000));
    run.frames(31);
    run.finish();
    auto streams = probeStreams(path);
    EXPECT_EQ(streams["stream.0.codec_name"], "h264") << "H.264 by default";
    EXPECT_EQ(streams["stream.0.profile"], "High") << "High profile";
    EXPECT_EQ(streams["stream.0.pix_fmt"], "yuv420p") << "4:2:0";
    EXPECT_EQ(streams["stream.0.color_space"], "bt709") << "BT.709 matrix";
    EXPECT_EQ(streams["stream.0.color_primaries"], "bt709") << "BT.709 primaries";
    EXPECT_EQ(streams["stream.0.color_transfer"], "bt709") << "BT.709 transfer";
    EXPECT_EQ(streams["stream.0.color_range"], "tv") << "limited range";
    EXPECT_EQ(streams["stream.0.width"], "1280") << "enlarged twice by default";
    EXPECT_EQ(streams["stream.0.height"], "960") << "enlarged twice by default";
    EXPECT_EQ(streams["stream.0.r_frame_rate"], "31/1") << "31 frames per second";
    EXPECT_EQ(streams["stream.0.nb_read_frames"], "31") << "every frame is in the file";
    EXPECT_EQ(streams["stream.1.codec_name"], "aac") << "AAC sound";
    EXPECT_EQ(streams["stream.1.profile"], "LC") << "AAC-LC";
    EXPECT_EQ(streams["stream.1.sample_rate"], "48000") << "at 48 kHz";
    EXPECT_EQ(streams["stream.1.channels"], "2") << "in stereo";
    const double picture = std::atof(streams["stream.0.duration"].c_str());
    const double sound = std::atof(streams["stream.1.duration"].c_str());
    EXPECT_NEAR(sound, picture, 1.0 / 31) << "the sound lasts as long as the picture";

    const std::string bytes = fileBytes(path);
    EXPECT_LT(bytes.find("moov"), bytes.find("mdat")) << "faststart: the index comes first";
    const std::string keys = commandOutput(
        "ffprobe -v error -select_streams v -show_entries frame=key_frame -of csv=p=0 '" + path +
        "' | cut -c1 | tr -d '\\n'");
    ASSERT_EQ(keys.size(), 31u) << "one key flag per frame";
    EXPECT_EQ(keys[0], '1') << "the first frame is a key frame";
    size_t longest = 0;
    for (size_t at = 0, next; at < keys.size(); at = next) {
        next = keys.find('1', at + 1);
        if (next == std::string::npos) next = keys.size();
        longest = std::max(longest, next - at);
    }
    EXPECT_LE(longest, 15u) << "a key frame at least every 15 frames: " << keys;
}

TEST(ExportFile, MkvSoundIsTheCapturedSoundLosslessly) {
    const std::string path = scratchPath("sound.mkv");
    FileExport run(path, "codec=ffv1", true);
    const std::string pcm = knownPcm(40000);
    run.feed(pcm);
    run.frames(20);
    run.finish();
    auto streams = probeStreams(path);
    EXPECT_EQ(streams["stream.1.codec_name"], "flac") << "FLAC sound";
    EXPECT_EQ(streams["stream.1.sample_rate"], "44100") << "at 44,100 Hz";
    const std::string sound = decodedSound(path);
    ASSERT_EQ(sound.size(), static_cast<size_t>(20 * 44100 / 31 * 4)) << "20 frames' samples";
    EXPECT_TRUE(sound == pcm.substr(0, sound.size())) << "sample for sample the captured sound";
}

TEST(ExportFile, WebmHoldsVp9AndOpus) {
    const std::string path = scratchPath("web.webm");
    FileExport run(path, "scale=1", true);
    run.feed(knownPcm(20000));
    run.frames(8);
    run.finish();
    auto streams = probeStreams(path);
    EXPECT_EQ(streams["stream.0.codec_name"], "vp9") << "VP9 by default";
    EXPECT_EQ(streams["stream.0.width"], "640") << "scale=1 keeps the size";
    EXPECT_EQ(streams["stream.0.nb_read_frames"], "8") << "every frame is in the file";
    EXPECT_EQ(streams["stream.1.codec_name"], "opus") << "Opus sound";
    EXPECT_EQ(streams["stream.1.sample_rate"], "48000") << "at 48 kHz";
}

TEST(ExportFile, H265AndAv1WhereInstalled) {
    struct Case {
        std::string name, codec, probed;
    };
    for (const Case& c :
         std::vector<Case>{{"hevc.mp4", "h265", "hevc"}, {"av1.mkv", "av1", "av1"}}) {
        if (!offered(c.name, c.codec)) continue;
        const std::string path = scratchPath(c.name);
        FileExport run(path, "scale=1 codec=" + c.codec);
        run.frames(6);
        run.finish();
        auto streams = probeStreams(path);
        EXPECT_EQ(streams["stream.0.codec_name"], c.probed) << c.name << ": " << c.codec;
        EXPECT_EQ(streams["stream.0.nb_read_frames"], "6") << c.name << ": every frame decodes";
        if (c.codec == "h265") {
            EXPECT_EQ(streams["stream.0.codec_tag_string"], "hvc1")
                << c.name << ": tagged hvc1, which every player takes";
        }
    }
}

// The video packets of a file as ffprobe reads them, in file order.
struct ProbedPacket {
    long long pts = 0, dts = 0;
};
std::vector<ProbedPacket> probedPackets(const std::string& path) {
    std::istringstream lines(commandOutput(
        "ffprobe -v error -select_streams v -show_entries packet=pts,dts -of csv=p=0 '" + path +
        "'"));
    std::vector<ProbedPacket> packets;
    for (std::string line; std::getline(lines, line);) {
        ProbedPacket packet;
        if (std::sscanf(line.c_str(), "%lld,%lld", &packet.pts, &packet.dts) == 2)
            packets.push_back(packet);
    }
    return packets;
}

TEST(ExportFileDeathTest, H265ClipsOfOneTwoAndFourFramesHaveTheirOwnDecodingTimes) {
    if (!offered("short.mov", "h265")) GTEST_SKIP() << "no h265 encoder in this build";
    for (const int count : {1, 2, 4}) {
        const std::string path = scratchPath("short-" + std::to_string(count) + ".mov");
        // Memory handed out is filled with 0xde first: a value read before it is written
        // shows as such, rather than as the zero a fresh process mostly has.
        auto exportWithFilledMemory = [&] {
            mallopt(M_PERTURB, 0x21);
            FileExport run(path, "scale=1 codec=h265");
            run.frames(count);
            run.finish();
            std::_Exit(0);
        };
        EXPECT_EXIT(exportWithFilledMemory(), testing::ExitedWithCode(0),
                    testing::Truly([](const std::string& err) {
                        return err.find("pts") == std::string::npos;
                    }))
            << count << " frames: written without a word from the muxer about their times";
        EXPECT_EQ(probeStreams(path)["stream.0.nb_read_frames"], std::to_string(count))
            << count << " frames: every frame decodes";
        const std::vector<ProbedPacket> packets = probedPackets(path);
        ASSERT_EQ(packets.size(), static_cast<size_t>(count))
            << count << " frames: one packet each";
        for (size_t i = 0; i < packets.size(); ++i) {
            EXPECT_LE(packets[i].dts, packets[i].pts) << count << " frames, packet " << i;
            if (i > 0) {
                EXPECT_GT(packets[i].dts, packets[i - 1].dts) << count << " frames, packet " << i;
            }
            if (count <= 2) {
                EXPECT_EQ(packets[i].dts, packets[i].pts)
                    << count << " frames, packet " << i << ": decoded when it is shown";
            }
        }
    }
}

TEST(ExportFile, SameWordsAndFramesGiveTheSameBytes) {
    for (const auto& [name, codec] :
         std::vector<std::pair<std::string, std::string>>{{"again.mkv", "ffv1"},
                                                          {"again.avi", "utvideo"},
                                                          {"again-huffyuv.avi", "huffyuv"},
                                                          {"again.nut", "raw"},
                                                          {"again.mp4", "h264"}}) {
        std::string first;
        for (int run = 0; run < 2; ++run) {
            // The second export sees a machine of one core: the bytes must not depend on it.
            cpu_set_t cores;
            ASSERT_EQ(sched_getaffinity(0, sizeof cores, &cores), 0);
            if (run == 1) {
                cpu_set_t one;
                CPU_ZERO(&one);
                for (int core = 0; core < CPU_SETSIZE; ++core)
                    if (CPU_ISSET(core, &cores)) {
                        CPU_SET(core, &one);
                        break;
                    }
                ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
            }
            const std::string path = scratchPath(std::to_string(run) + name);
            FileExport file(path, "codec=" + codec, true);
            file.feed(knownPcm(20000));
            file.frames(12);
            file.finish();
            ASSERT_EQ(sched_setaffinity(0, sizeof cores, &cores), 0);
            if (run == 0)
                first = fileBytes(path);
            else
                EXPECT_TRUE(first == fileBytes(path) && !first.empty())
                    << name << " (" << codec
                    << "): the second export, on one core, equals the first";
        }
    }
}

TEST(ExportFileDeathTest, RefusedWordsEndWithCode1AndLeaveNoFile) {
    struct Case {
        std::string name, words, said;
    };
    for (const Case& c : std::vector<Case>{
             {"a.xyz", "", "Unknown kind of video file '.xyz'"},
             {"/no/such/dir/a.mp4", "",
              "Couldn't open mp4 file! \\(/no/such/dir/a.mp4\\) - 'No such file or directory'"},
             {"raw.mp4", "codec=raw", "A .mp4 file cannot hold 'raw'"},
             {"scale0.mkv", "scale=0", "scale=0 is not 1, 2, 3 or 4"},
             {"scale5.mkv", "scale=5", "scale=5 is not 1, 2, 3 or 4"},
             {"scalex.mkv", "scale=x", "scale=x is not 1, 2, 3 or 4"},
             {"crf.mp4", "crf=99", "crf=99 is not a whole number from 0 to 63"}}) {
        const std::string path = c.name[0] == '/' ? c.name : scratchPath(c.name);
        EXPECT_EXIT(endAsTheProgramDoes([&] {
                        noUserAround();
                        AviWriter(nullptr, path.c_str(), frameWidth, frameHeight, false, 31, 44100,
                                  16, optionsOf(c.words));
                    }),
                    testing::ExitedWithCode(1), "Error!: .*" + c.said)
            << c.name << " " << c.words << ": an Error! box that says why, exit code 1";
        EXPECT_FALSE(exists(path)) << c.name << " " << c.words << ": no file is left behind";
    }
}

TEST(ExportFile, H264AtCrfZeroGivesBackEveryFrameExactly) {
    for (const char* name : {"lossless-h264.mp4", "lossless-h264.mkv", "lossless-h264.avi"}) {
        const std::string path = scratchPath(name);
        FileExport run(path, "codec=h264 crf=0 scale=1");
        run.frames(6);
        run.finish();
        EXPECT_EQ(decodedFrameMd5s(path), frameMd5s(run.given))
            << name << ": crf=0 is lossless, every frame decodes to the frame handed in";
    }
}

TEST(ExportFile, EachLossyCodecTakesTheEndsOfItsOwnCrfRange) {
    struct Case {
        std::string name, codec;
        int crf;
    };
    for (const Case& c : std::vector<Case>{{"crf51.mp4", "h264", 51},
                                           {"crf0.webm", "vp9", 0},
                                           {"crf63.webm", "vp9", 63},
                                           {"crf0.mov", "h265", 0},
                                           {"crf51.mov", "h265", 51},
                                           {"crf1.mkv", "av1", 1},
                                           {"crf63.mkv", "av1", 63}}) {
        if (!offered(c.name, c.codec)) continue;
        const std::string path = scratchPath(c.name);
        FileExport run(path, "scale=1 codec=" + c.codec + " crf=" + std::to_string(c.crf));
        // Six frames: two-frame exports through x265 now and then start with a decoding time
        // far below zero, which .mov refuses ("pts/dts pair unsupported").
        run.frames(6);
        run.finish();
        EXPECT_EQ(probeStreams(path)["stream.0.nb_read_frames"], "6")
            << c.codec << " crf=" << c.crf << " is taken and every frame is in " << c.name;
    }
}

TEST(ExportFileDeathTest, CrfOutsideTheChosenEncodersRangeIsRefusedBeforeAnyFile) {
    struct Case {
        std::string name, codec, crf, said;
    };
    for (const Case& c : std::vector<Case>{
             {"h264-52.mp4", "h264", "52",
              "crf=52 is outside h264's range - h264 takes crf= from 0"},
             {"h264-63.avi", "h264", "63", "h264 takes crf= from 0 \\(lossless\\) to 51"},
             {"h265-52.mp4", "h265", "52", "h265 takes crf= from 0 to 51"},
             {"av1-0.webm", "av1", "0",
              "crf=0 is outside av1's range - av1 takes crf= from 1 to 63"},
             {"utvideo.mkv", "utvideo", "20", "utvideo has no crf= .*h264"},
             {"raw.nut", "raw", "20", "raw has no crf= .*no codec with a crf="}}) {
        if (!offered(c.name, c.codec)) continue;
        const std::string path = scratchPath(c.name);
        EXPECT_EXIT(endAsTheProgramDoes([&] {
                        noUserAround();
                        AviWriter(nullptr, path.c_str(), frameWidth, frameHeight, false, 31, 44100,
                                  16, optionsOf("codec=" + c.codec + " crf=" + c.crf));
                    }),
                    testing::ExitedWithCode(1), "Error!: .*" + c.said)
            << c.name << " crf=" << c.crf << ": an Error! box with the codec's range, exit code 1";
        EXPECT_FALSE(exists(path)) << c.name << " crf=" << c.crf << ": no file is left behind";
    }
}
