// The sound library with bad files: each is refused at stream creation or plays only the
// MPEG audio it holds; none crashes, hangs or plays the stray bytes as noise.
#include "media/SoundLibrary.h"
#include "tests/media/SoundTestSupport.h"
#include "tools/mp3encode/Mp3Encode.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SoundBadInputTest : public ::testing::Test {
  public:
    void SetUp() override { ASSERT_NE(soundInit(-1, 44100, soundInitDecodeOnly), 0); }
    void TearDown() override { soundFree(); }

    SoundHandle create(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file(name);
        writeBytes(path, bytes);
        return soundStreamCreateFile(path.c_str(), 0x20000);
    }

    ScratchDir dir;
};

std::vector<uint8_t> randomBytes(size_t count, uint32_t seed) {
    std::mt19937 engine(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(engine() >> 24);
    return bytes;
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A PCM WAV file: 16-bit stereo 44,100 Hz of a tone with noise in the right channel.
std::vector<uint8_t> wavFile() {
    std::vector<int16_t> samples = makeTone(44100, 2, 1.0, 440.0);
    std::mt19937 engine(7);
    for (size_t i = 1; i < samples.size(); i += 2)
        samples[i] = static_cast<int16_t>(static_cast<int>(engine() % 60001) - 30000);
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> out = {'R', 'I', 'F', 'F'};
    put32(out, 36 + dataBytes);
    for (char c : std::string("WAVEfmt "))
        out.push_back(static_cast<uint8_t>(c));
    put32(out, 16);
    put32(out, 1 | (2u << 16)); // PCM, 2 channels
    put32(out, 44100);
    put32(out, 176400);
    put32(out, 4 | (16u << 16)); // block align 4, 16 bits
    for (char c : std::string("data"))
        out.push_back(static_cast<uint8_t>(c));
    put32(out, dataBytes);
    for (int16_t s : samples) {
        out.push_back(static_cast<uint8_t>(s & 0xff));
        out.push_back(static_cast<uint8_t>((s >> 8) & 0xff));
    }
    return out;
}

TEST_F(SoundBadInputTest, FilesWithoutMpegAudioAreRefusedAtCreation) {
    EXPECT_EQ(soundStreamCreateFile(dir.file("missing.mp3").c_str(), 0), 0u) << "missing file";
    EXPECT_EQ(soundStreamCreateFile(nullptr, 0), 0u) << "no path at all";
    EXPECT_EQ(create("empty.mp3", {}), 0u) << "zero-length file";
    std::filesystem::create_directory(dir.file("folder.mp3"));
    EXPECT_EQ(soundStreamCreateFile(dir.file("folder.mp3").c_str(), 0), 0u) << "a directory";
    EXPECT_EQ(create("wave.mp3", wavFile()), 0u) << "a WAV file named .mp3";
    const std::string text = "This is not a sound file at all.\n";
    EXPECT_EQ(create("text.mp3", std::vector<uint8_t>(text.begin(), text.end())), 0u)
        << "a text file";
    std::vector<uint8_t> tagOnly = encodeMp3(makeTone(44100, 2, 0.1, 440.0), 44100, 2, 128, true);
    tagOnly.resize(10 + 75); // the ID3v2 tag and nothing after it
    EXPECT_EQ(create("tag-only.mp3", tagOnly), 0u) << "an ID3v2 tag without audio";
    std::vector<uint8_t> header = encodeMp3(makeTone(44100, 2, 1.0, 440.0), 44100, 2, 128, false);
    header.resize(100); // less than one frame
    EXPECT_EQ(create("stub.mp3", header), 0u) << "a file cut inside its first frame";
}

// Each refusal leaves its reason in soundErrorText: the file and the system's or libmpg123's
// words.
TEST_F(SoundBadInputTest, EachRefusalSaysWhichFileAndWhy) {
    const auto reasonFor = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        EXPECT_EQ(create(name, bytes), 0u) << name << " is refused";
        return std::string(soundErrorText());
    };
    const std::string missing = dir.file("missing.mp3");
    EXPECT_EQ(soundStreamCreateFile(missing.c_str(), 0), 0u);
    EXPECT_EQ(std::string(soundErrorText()), missing + ": No such file or directory");
    EXPECT_EQ(reasonFor("empty.mp3", {}), dir.file("empty.mp3") + ": the file is empty");
    std::filesystem::create_directory(dir.file("folder.mp3"));
    EXPECT_EQ(soundStreamCreateFile(dir.file("folder.mp3").c_str(), 0), 0u);
    EXPECT_EQ(std::string(soundErrorText()),
              dir.file("folder.mp3") + ": a directory, not a sound file");
    const std::string text = "This is not a sound file at all.\n";
    EXPECT_EQ(reasonFor("text.mp3", std::vector<uint8_t>(text.begin(), text.end())),
              dir.file("text.mp3") + ": libmpg123 found no MPEG audio frame in it");
    const std::string wave = reasonFor("wave.mp3", wavFile());
    EXPECT_EQ(wave.rfind(dir.file("wave.mp3") + ": libmpg123: ", 0), 0u)
        << "a WAV file: libmpg123's own words on what it looked for (" << wave << ")";

    writeToneMp3(dir, "good.mp3", 44100, 2, 0.5);
    EXPECT_NE(soundStreamCreateFile(dir.file("good.mp3").c_str(), 0), 0u);
    EXPECT_STREQ(soundErrorText(), "") << "a stream that opens leaves no reason";
}

TEST_F(SoundBadInputTest, RandomBytesAreRefusedRatherThanPlayedAsNoise) {
    for (uint32_t seed = 1; seed <= 20; ++seed)
        EXPECT_EQ(create("random.mp3", randomBytes(16384, seed)), 0u)
            << "random bytes (seed " << seed << ") hold no consistent MPEG frames";
}

// Plays the clean MP3 with junk before or after it; the DSP must see exactly the clean
// file's sound.
void expectOnlyTheCleanSound(SoundBadInputTest& test, bool junkFirst) {
    const std::vector<uint8_t> clean =
        encodeMp3(makeTone(44100, 2, 1.0, 440.0), 44100, 2, 128, false);
    writeBytes(test.dir.file("clean.mp3"), clean);
    const std::vector<uint8_t> junk = randomBytes(junkFirst ? 4096 : 65536, 99);
    std::vector<uint8_t> dirty = junkFirst ? junk : clean;
    dirty.insert(dirty.end(), junkFirst ? clean.begin() : junk.begin(),
                 junkFirst ? clean.end() : junk.end());
    SoundHandle stream = test.create("dirty.mp3", dirty);
    ASSERT_NE(stream, 0u) << "the MPEG audio in the file makes a stream";
    CollectingDsp dsp;
    ASSERT_NE(soundChannelSetDsp(stream, CollectingDsp::callback, &dsp), 0u);
    ASSERT_NE(soundStart(), 0);
    ASSERT_NE(soundStreamPlay(stream, 0, 0), 0);
    ASSERT_TRUE(waitUntilInactive(stream)) << "the stream ends";
    EXPECT_TRUE(dsp.collected() == referenceDecode(test.dir.file("clean.mp3")))
        << "exactly the clean file's sound is played, nothing decoded from the junk";
}

TEST_F(SoundBadInputTest, JunkAfterTheAudioIsNotPlayed) {
    expectOnlyTheCleanSound(*this, false);
}

TEST_F(SoundBadInputTest, JunkBeforeTheAudioIsSkipped) {
    expectOnlyTheCleanSound(*this, true);
}

// Silent MPEG-1 Layer III frames at 32 kHz (128 kbps, 576 bytes each), the first an Info
// frame claiming `claimed` frames; 32 kHz makes the library resample to 44,100 Hz.
std::vector<uint8_t> infoFramedSilence(uint32_t claimed, int frames) {
    const uint8_t header[4] = {0xFF, 0xFB, 0x98, 0x64};
    std::vector<uint8_t> out;
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> frame(576, 0);
        std::copy(header, header + 4, frame.begin());
        if (f == 0) {
            const uint8_t tag[12] = {'I',
                                     'n',
                                     'f',
                                     'o',
                                     0,
                                     0,
                                     0,
                                     1, // flags: frame count
                                     static_cast<uint8_t>(claimed >> 24),
                                     static_cast<uint8_t>(claimed >> 16),
                                     static_cast<uint8_t>(claimed >> 8),
                                     static_cast<uint8_t>(claimed)};
            std::copy(tag, tag + 12, frame.begin() + 4 + 32); // after the stereo side info
        }
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

TEST_F(SoundBadInputTest, AnInfoFrameClaimingAHugeLengthDoesNotStallTheStart) {
    const std::vector<uint8_t> lying = infoFramedSilence(0xFFFFFFFFu, 6); // 3,456 bytes
    writeBytes(dir.file("lying.mp3"), lying);
    // In a child with an alarm: a stalled start ends there (SIGALRM) instead of hanging.
    const pid_t child = fork();
    if (child == 0) {
        alarm(10);
        SoundHandle stream = soundStreamCreateFile(dir.file("lying.mp3").c_str(), 0);
        CollectingDsp dsp;
        if (stream == 0 || soundChannelSetDsp(stream, CollectingDsp::callback, &dsp) == 0 ||
            soundStart() == 0 || soundStreamPlay(stream, 0, 0) == 0 || !waitUntilInactive(stream))
            _exit(2);
        const bool played = !dsp.collected().empty();
        soundFree(); // joins the decoding thread
        _exit(played ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_FALSE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM)
        << "creating and playing the stream stalled for 10 s";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the frames after the Info frame play (status " << status << ")";

    // A true claim keeps its meaning: the decode equals libmpg123's own, gapless trimming and all.
    const std::vector<uint8_t> honest = infoFramedSilence(6, 6);
    SoundHandle stream = create("honest.mp3", honest);
    ASSERT_NE(stream, 0u);
    CollectingDsp dsp;
    ASSERT_NE(soundChannelSetDsp(stream, CollectingDsp::callback, &dsp), 0u);
    ASSERT_NE(soundStart(), 0);
    ASSERT_NE(soundStreamPlay(stream, 0, 0), 0);
    ASSERT_TRUE(waitUntilInactive(stream));
    EXPECT_TRUE(dsp.collected() == referenceDecode(dir.file("honest.mp3")))
        << "a file whose Info frame tells the truth decodes as libmpg123 decodes it";
}

} // namespace
