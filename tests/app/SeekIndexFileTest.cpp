// The seek index kept on disk: its key, the file written and read back, files refused (missing,
// cut short, damaged, foreign), and on the generated pack a clip's start, playback's start= and
// the viewer's seeks through the file with exactly the frames of a show stepped from its
// start; playback writing its complete index for later runs; the word that turns it off.
#include "app/SeekIndexFile.h"
#include "AppTestSupport.h"
#include "app/CommandLine.h"
#include "app/MainLoop.h"
#include "app/NativePlatform.h"
#include "app/Run.h"
#include "app/Show.h"
#include "app/ShowClock.h"
#include "graphics/Handles.h"
#include "graphics/RowConverters.h"
#include "media/ExportClip.h"
#include "media/FrameSink.h"
#include "storage/FileServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr FrameTarget noTarget{nullptr, 640 * 4};
const std::string pack = std::string(DEMO_TEST_ASSETS) + "/_.dat";

std::vector<uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The recorded digest of frame 3000 of the generated show (demo-render's line "3000 6870 ...").
std::string recordedDigestOfFrame3000() {
    std::ifstream file(std::string(DEMO_SOURCE_DIR) + "/tests/effects/generated-show.md5");
    int index = 0, ticks = 0;
    std::string digest;
    while (file >> index >> ticks >> digest)
        if (index == 3000) return digest;
    return "";
}

// A folder of its own for the test's cache, named by XDG_CACHE_HOME; emptied first.
std::string freshCache(const std::string& name) {
    const std::string folder = std::string(DEMO_BINARY_DIR) + "/seek-file-tests/" + name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    setenv("XDG_CACHE_HOME", folder.c_str(), 1);
    return folder;
}

// The generated pack's show, loaded and never stepped; loaded once.
const Show& preparedShow() {
    return ::preparedShow(pack);
}

// A show with the prepared show's buffers, not stepped.
std::unique_ptr<Show> copyOfPrepared() {
    auto show = std::make_unique<Show>();
    for (int number = 0; number < showBufferCount; ++number)
        std::memcpy(showBuffer(show->pictures, number), showBuffer(preparedShow().pictures, number),
                    bufferBytes);
    return show;
}

// Snapshots of the generated show at these frames (ascending), stepped on the video clock.
std::vector<ShowSnapshot> snapshotsAt(const std::vector<int64_t>& frames) {
    std::unique_ptr<Show> show = copyOfPrepared();
    SnapshotWriter writer;
    std::vector<ShowSnapshot> snapshots;
    int64_t frame = 0;
    for (const int64_t wanted : frames) {
        for (; frame < wanted; ++frame)
            show->step(videoFrameTime(frame), noTarget);
        snapshots.push_back(writer.take(*show, frame));
    }
    return snapshots;
}

// The key and file the native program uses for the generated pack in the current cache.
SeekFileKey packKey() {
    return seekFileKey(bytesOf(pack), preparedShow(), programBuildIdentity());
}
std::string packFile() {
    return seekFilePath(seekFileFolder("demo"), packKey());
}

// A frame sink that digests every frame of the clip and leaves out those before it.
class ClipSink : public FrameSink {
  public:
    ClipSink(const uint8_t* frame24, std::vector<std::string>& digests, int64_t leftOut)
        : frame24(frame24), digests(digests), leftOut(leftOut) {}
    void nextFrame(int) override {
        if (handed++ < leftOut) return;
        digests.push_back(md5Of(frame24));
    }
    bool skipsNextFrame() const override { return handed < leftOut; }
    int64_t framesLeftOut() const override { return leftOut; }

  private:
    const uint8_t* frame24;
    std::vector<std::string>& digests;
    int64_t leftOut;
    int64_t handed = 0;
};

// The clip start=6800 end=6900 (frames 2970 to 3013) of a video-mode run with the native
// seeker: the digests of its frames.
const char* const clipWords = "video noaudio start=6800 end=6900";
std::vector<std::string> clipDigests(const std::string& moreWords = "") {
    std::vector<std::string> digests;
    RunPlatform platform = nativeRunPlatform();
    platform.credits = false;
    platform.videoSink = [&digests](const ExportOptions& options, uint8_t* frame24, uint32_t*,
                                    const Show&) {
        return new ClipSink(frame24, digests, exportClip(options.start, options.end).firstFrame);
    };
    ::Run run(platform);
    if (run.open(std::string(clipWords) + " " + moreWords, pack)) runMainLoop(run);
    EXPECT_EQ(run.close(), 0) << "the clip's run ends normally";
    return digests;
}

// The frames of the clip stepped from the show's first frame, without any file: made once.
const std::vector<std::string>& steppedClip() {
    static const std::vector<std::string> digests = clipDigests("nocache");
    return digests;
}

int64_t clipFirstFrame() {
    return exportClip(6800, 6900).firstFrame;
}

} // namespace

TEST(SeekIndexFile, KeyChangesWithThePackItsPicturesAndTheBuild) {
    const std::string build = programBuildIdentity();
    EXPECT_EQ(build.rfind("build-id ", 0), 0u) << "the program's GNU build-id: " << build;
    EXPECT_GT(build.size(), std::string("build-id ").size() + 16) << "with its digits: " << build;
    EXPECT_EQ(programBuildIdentity(), build) << "the same for every call";

    const std::vector<uint8_t> packBytes = bytesOf(pack);
    ASSERT_FALSE(packBytes.empty()) << "the generated pack is read";
    const SeekFileKey key = seekFileKey(packBytes, preparedShow(), build);
    EXPECT_EQ(seekFileKey(packBytes, preparedShow(), build), key) << "the same inputs, one key";

    std::vector<uint8_t> otherPack = packBytes;
    otherPack[otherPack.size() / 2] ^= 1;
    EXPECT_NE(seekFileKey(otherPack, preparedShow(), build), key) << "a byte of the pack changed";
    EXPECT_NE(seekFileKey(packBytes, preparedShow(), build + "0"), key) << "another build";
    std::unique_ptr<Show> otherPictures = copyOfPrepared();
    otherPictures->pictures.imageBuffers[3][1000] ^= 1;
    EXPECT_NE(seekFileKey(packBytes, *otherPictures, build), key)
        << "pictures decoded otherwise from the same pack";

    const std::string cache = freshCache("key");
    EXPECT_EQ(seekFileFolder("demo"), cache + "/demo") << "under XDG_CACHE_HOME";
    EXPECT_EQ(seekFilePath(cache, key).size(), cache.size() + 1 + 32 + 5)
        << "32 hex digits of the key and .seek";
    EXPECT_NE(seekFilePath(cache, key),
              seekFilePath(cache, seekFileKey(otherPack, preparedShow(), build)))
        << "another pack has a file of its own";
    setenv("XDG_CACHE_HOME", "relative/folder", 1);
    const char* home = std::getenv("HOME");
    EXPECT_EQ(seekFileFolder("demo"), home != nullptr && home[0] == '/'
                                          ? std::string(home) + "/.cache/demo"
                                          : std::string())
        << "a relative XDG_CACHE_HOME is not taken; HOME's .cache is";
}

TEST(SeekIndexFile, GivesBackTheSnapshotsItWasWritten) {
    const std::string cache = freshCache("round-trip");
    const std::string path = cache + "/sub/folder/index.seek";
    const SeekFileKey key = packKey();
    const std::vector<ShowSnapshot> snapshots = snapshotsAt({0, 400, 900});
    std::string why;
    ASSERT_TRUE(writeSeekIndexFile(path, key, snapshots, why)) << why;
    EXPECT_EQ(fs::directory_iterator(cache + "/sub/folder")->path(), fs::path(path))
        << "its folder made, and no temporary file left beside it";

    std::unique_ptr<SeekIndexFile> file = SeekIndexFile::open(path, key, why);
    ASSERT_NE(file, nullptr) << why;
    EXPECT_EQ(file->frames(), (std::vector<int64_t>{0, 400, 900})) << "the snapshots' frames";
    EXPECT_EQ(file->bytes(), fs::file_size(path));
    EXPECT_EQ(file->nearestAtOrBefore(399), 0) << "frame 399 lies after snapshot 0";
    EXPECT_EQ(file->nearestAtOrBefore(400), 1) << "frame 400 is snapshot 1";
    EXPECT_EQ(file->nearestAtOrBefore(100000), 2) << "the last one for anything after it";
    EXPECT_EQ(file->nearestAtOrBefore(-1), -1) << "none before the first";
    EXPECT_THROW(file->read(3), std::out_of_range) << "no fourth snapshot";

    for (size_t i = 0; i < snapshots.size(); ++i) {
        const ShowSnapshot read = file->read(i);
        EXPECT_EQ(read.frame, snapshots[i].frame);
        EXPECT_EQ(0, std::memcmp(&read.state, &snapshots[i].state, sizeof(ShowState)))
            << "snapshot " << i << ": the state's bytes";
        auto fromFile = std::make_unique<Show>(), fromMemory = std::make_unique<Show>();
        restoreSnapshot(read, *fromFile);
        restoreSnapshot(snapshots[i], *fromMemory);
        for (int number = 0; number < showBufferCount; ++number)
            ASSERT_EQ(0, std::memcmp(showBuffer(fromFile->pictures, number),
                                     showBuffer(fromMemory->pictures, number), bufferBytes))
                << "snapshot " << i << ", buffer " << number;
        if (i > 0) {
            EXPECT_EQ(read.buffers[1], file->read(0).buffers[1])
                << "an image buffer that never changed is read once and shared";
        }
    }
}

TEST(SeekIndexFile, RefusesMissingCutDamagedAndForeignFilesSayingWhy) {
    const std::string cache = freshCache("refused");
    const std::string path = cache + "/index.seek";
    const SeekFileKey key = packKey();
    std::string why;
    ASSERT_TRUE(writeSeekIndexFile(path, key, snapshotsAt({0, 300}), why)) << why;
    const std::vector<uint8_t> good = bytesOf(path);
    const size_t size = good.size();
    // The table lies at the end, the header at the start, the buffers from byte 128 on.
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string reason;
    };
    auto flipped = [&](size_t at) {
        std::vector<uint8_t> bytes = good;
        bytes[at] ^= 0x10;
        return bytes;
    };
    std::vector<uint8_t> cut(good.begin(), good.end() - 1);
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    std::vector<uint8_t> shortHeader(good.begin(), good.begin() + 100);
    std::vector<uint8_t> otherMagic = flipped(0);
    std::vector<uint8_t> text(300, 'x');
    for (const Case& c :
         std::vector<Case>{{"cut by a byte", cut, "cut short: " + std::to_string(size - 1)},
                           {"a byte longer", longer, "longer than written"},
                           {"shorter than a header", shortHeader, "cut short: 100 bytes"},
                           {"another kind of file", otherMagic, "not a seek index file"},
                           {"text", text, "not a seek index file"},
                           {"a header byte damaged", flipped(70), "its header does not match"},
                           {"a table byte damaged", flipped(size - 20), "its table does not match"},
                           {"empty", {}, "cut short: 0 bytes"}}) {
        writeBytes(path, c.bytes);
        why.clear();
        EXPECT_EQ(SeekIndexFile::open(path, key, why), nullptr) << c.name << ": refused";
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
    }
    writeBytes(path, good);
    SeekFileKey otherKey = key;
    otherKey[31] ^= 1;
    EXPECT_EQ(SeekIndexFile::open(path, otherKey, why), nullptr) << "another key's file";
    EXPECT_NE(why.find("another pack or build"), std::string::npos) << why;
    EXPECT_EQ(SeekIndexFile::open(cache + "/none.seek", key, why), nullptr) << "no file";
    EXPECT_EQ(why, "there is none yet");
    fs::create_directories(cache + "/folder.seek");
    EXPECT_EQ(SeekIndexFile::open(cache + "/folder.seek", key, why), nullptr) << "a folder";

    // A damaged buffer is found when the snapshot that holds it is read.
    writeBytes(path, flipped(128 + 10));
    std::unique_ptr<SeekIndexFile> file = SeekIndexFile::open(path, key, why);
    ASSERT_NE(file, nullptr) << "header and table are whole: " << why;
    EXPECT_THROW(file->read(0), std::runtime_error) << "the first buffer does not match its sum";
    // Unchecked, a damaged buffer is still never unpacked past its end.
    file = SeekIndexFile::open(path, key, why, false);
    ASSERT_NE(file, nullptr) << why;
    auto show = std::make_unique<Show>();
    try {
        restoreSnapshot(file->read(0), *show);
    } catch (const std::exception&) {
    }
}

TEST(SeekIndexFile, KeepsTheNewestFilesOfAFolder) {
    const std::string cache = freshCache("pruned");
    const auto now = fs::file_time_type::clock::now();
    for (int i = 0; i < 6; ++i) {
        const std::string name = cache + "/" + std::to_string(i) + ".seek";
        writeBytes(name, {1, 2, 3});
        fs::last_write_time(name, now - std::chrono::hours(10 - i)); // 5 the newest
    }
    writeBytes(cache + "/other.txt", {1});
    writeBytes(cache + "/a.seek.part-12", {1}); // a write that never ended, two days ago
    fs::last_write_time(cache + "/a.seek.part-12", now - std::chrono::hours(48));
    writeBytes(cache + "/b.seek.part-13", {1}); // one that may still be going on
    pruneSeekIndexFiles(cache, 3, cache + "/0.seek");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(cache))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"0.seek", "4.seek", "5.seek", "b.seek.part-13",
                                              "other.txt"}))
        << "the spared file and the two newest of the others, a recent temporary file; other "
           "files untouched";
}

TEST(SeekIndexFile, NocacheTurnsItOffInBothModes) {
    EXPECT_TRUE(readRunOptions("").savedIndex) << "used by default";
    EXPECT_FALSE(readRunOptions("windowed NoCache").savedIndex) << "a word in any case";
    EXPECT_FALSE(readRunOptions("video nocache out=a.mkv").savedIndex) << "in video mode";
    EXPECT_TRUE(readRunOptions("nocaches").savedIndex) << "a whole word only";
}

TEST(SavedIndexOnGeneratedPack, AClipStartsFromTheFileWithTheFramesOfTheSteppedShow) {
    freshCache("clip");
    ASSERT_EQ(clipFirstFrame(), 2970) << "the clip's first frame";
    const std::vector<std::string>& stepped = steppedClip();
    ASSERT_EQ(stepped.size(), 44u) << "frames 2970 to 3013";
    EXPECT_EQ(stepped[3000 - 2970], recordedDigestOfFrame3000())
        << "stepped, the clip has demo-render's frame 3000";

    std::string why;
    ASSERT_TRUE(writeSeekIndexFile(packFile(), packKey(), snapshotsAt({0, 1000, 2900}), why))
        << why;
    EXPECT_EQ(clipDigests(), stepped) << "from the file's snapshot of frame 2900: the same frames";

    // The file is read: a snapshot of frame 2000 filed as frame 2900 gives other frames.
    std::vector<ShowSnapshot> misfiled = snapshotsAt({0, 2000});
    misfiled[1].frame = 2900;
    ASSERT_TRUE(writeSeekIndexFile(packFile(), packKey(), misfiled, why)) << why;
    EXPECT_NE(clipDigests()[0], stepped[0]) << "the clip starts from the file's state";
    EXPECT_EQ(clipDigests("nocache"), stepped) << "nocache leaves the file alone";
}

TEST(SavedIndexOnGeneratedPack, ADamagedOrForeignFileIsSaidAndTheFramesStayExact) {
    freshCache("damaged");
    const std::vector<std::string>& stepped = steppedClip();
    std::string why;
    ASSERT_TRUE(writeSeekIndexFile(packFile(), packKey(), snapshotsAt({0, 2900}), why)) << why;
    std::vector<uint8_t> bytes = bytesOf(packFile());
    // The table (a few dozen buffers' and two snapshots' entries) is shorter than 1,300 bytes;
    // the last snapshot's state lies right before it.
    bytes[bytes.size() - 1300] ^= 1;
    writeBytes(packFile(), bytes);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(clipDigests(), stepped) << "a damaged snapshot is not used: stepped instead";
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("seek index on disk not used"), std::string::npos) << said;
    EXPECT_NE(said.find("does not match its checksum"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(packFile())) << "and the damaged file is removed";

    // A file of another pack or build under this one's name.
    SeekFileKey other = packKey();
    other[0] ^= 1;
    ASSERT_TRUE(writeSeekIndexFile(packFile(), other, snapshotsAt({0, 2900}), why)) << why;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(clipDigests(), stepped) << "a foreign file is not used";
    said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("made for another pack or build"), std::string::npos) << said;
}

TEST(SavedIndexOnGeneratedPack, PlaybackStartsFromTheFileAtTheStepsFrame) {
    freshCache("playback");
    std::string why;
    ASSERT_TRUE(writeSeekIndexFile(packFile(), packKey(), snapshotsAt({0, 2950}), why)) << why;
    RunPlatform platform = nativeRunPlatform();
    platform.credits = false;
    ::Run run(platform);
    // start=6870: the skip steps frames up to 3000, the one whose ticks reach 6870.
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(run.open("windowed noaudio start=6870", pack));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("start=6870: from the show's state at video frame 2950"), std::string::npos)
        << said;
    int passes = 0;
    while (run.skipping()) {
        ASSERT_EQ(run.step().kind, ::Run::Step::Stepped) << "nothing drawn while skipping";
        ++passes;
    }
    EXPECT_EQ(passes, 3001 - 2950 + 1) << "frames 2950 to 3000 stepped, then the hand-over";
    EXPECT_EQ(run.frameOnGrid(), 3000) << "the skip leaves frame 3000 on the surface";
    std::vector<uint8_t> frame(640 * 480 * 3);
    convertRowTo24(reinterpret_cast<const uint32_t*>(run.surface()->getPixels()), frame.data(),
                   640 * 480);
    EXPECT_EQ(md5Of(frame.data()), recordedDigestOfFrame3000())
        << "demo-render's frame 3000, as when every frame before it is stepped";
    run.close();
}

// Frame `frame` as the native seeker of playback brings the show to it and the run draws it.
std::string soughtFrameDigest(int64_t frame) {
    const RunPlatform platform = nativeRunPlatform();
    std::unique_ptr<ShowSeeker> seeker = platform.showSeeker(preparedShow(), {pack, false, true});
    auto show = std::make_unique<Show>();
    seeker->bringBefore(*show, -1, frame);
    std::vector<uint8_t> surface(640 * 480 * 4), frame24(640 * 480 * 3);
    show->step(videoFrameTime(frame), {surface.data(), 640 * 4});
    drawBorder(surface.data());
    convertRowTo24(reinterpret_cast<const uint32_t*>(surface.data()), frame24.data(), 640 * 480);
    return md5Of(frame24.data());
}

TEST(SavedIndexOnGeneratedPack, ViewerSeeksBeyondTheIndexMadeSoFarGoThroughTheFile) {
    freshCache("viewer");
    std::string why;
    ASSERT_TRUE(writeSeekIndexFile(packFile(), packKey(), snapshotsAt({0, 2900}), why)) << why;
    EXPECT_EQ(soughtFrameDigest(3000), recordedDigestOfFrame3000())
        << "a seek to frame 3000 gives demo-render's frame";
    // The file is what the seek started from: the index beside the run, just begun, has not
    // reached frame 2000, and a snapshot of frame 2000 filed as 2900 gives another frame.
    std::vector<ShowSnapshot> misfiled = snapshotsAt({0, 2000});
    misfiled[1].frame = 2900;
    ASSERT_TRUE(writeSeekIndexFile(packFile(), packKey(), misfiled, why)) << why;
    EXPECT_NE(soughtFrameDigest(3000), recordedDigestOfFrame3000())
        << "the seek starts from the file's snapshot";
}

TEST(SavedIndexOnGeneratedPack, PlaybackKeepsItsCompleteIndexForLaterRuns) {
    const std::string cache = freshCache("kept");
    RunPlatform platform = nativeRunPlatform();
    platform.credits = false;
    ::testing::internal::CaptureStderr();
    {
        ::Run run(platform);
        ASSERT_TRUE(run.open("windowed noaudio", pack));
        // The index is built beside the run, then written; the run need not step meanwhile.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
        while (!fs::exists(packFile()) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        run.close();
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("there is none yet"), std::string::npos) << "none at first: " << said;
    EXPECT_NE(said.find("seek index kept on disk for later runs: " + packFile()), std::string::npos)
        << said;
    std::string why;
    std::unique_ptr<SeekIndexFile> file = SeekIndexFile::open(packFile(), packKey(), why);
    ASSERT_NE(file, nullptr) << "the written file opens: " << why;
    EXPECT_EQ(file->frames().front(), 0) << "from the show's first frame";
    EXPECT_GT(file->frames().back(), videoFrameCount() - 1000) << "to near its last";
    EXPECT_GT(file->frames().size(), 20u) << "a snapshot every 60 ms of stepping";
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(cache))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1u) << "one file, nothing temporary left";
}
