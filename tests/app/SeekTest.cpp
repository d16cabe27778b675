// Snapshots and seeking: the video frame clock's readings and grid, saving and restoring a
// show (its canvases, its compressed buffers, the buffers shared between snapshots), snapshots
// as bytes and the store they are kept in, and on the generated pack, the index's builder step
// by step, shows restored from snapshots and seeks through the index against one show stepped
// from its start without stopping.
#include "AppTestSupport.h"
#include "app/MainLoop.h"
#include "app/Run.h"
#include "app/SeekIndex.h"
#include "app/SeekIndexBuilder.h"
#include "app/ShowClock.h"
#include "app/ShowSnapshot.h"
#include "storage/FileServer.h"
#include "storage/OImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr FrameTarget noTarget{nullptr, 640 * 4};

// 64-bit FNV-1a over 8-byte words of the picture rows of the effect buffer, which every frame
// shows (line-doubled, under the border): any change of a byte changes it.
uint64_t pictureHash(const uint8_t* effectBuffer) {
    uint64_t hash = 14695981039346656037u;
    for (int i = 0; i < pictureWidth * pictureHeight * 4; i += 8) {
        uint64_t word;
        std::memcpy(&word, effectBuffer + i, 8);
        hash = (hash ^ word) * 1099511628211u;
    }
    return hash;
}

void fillNoise(uint8_t* bytes, size_t count, uint32_t seed) {
    std::mt19937 draws(seed);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(draws());
}

// ---- the video frame clock ----

TEST(VideoFrameClock, ReadingsOfAFrameAreThoseOfTheClockSteppedFromTheStart) {
    // The clock as video mode steps it: started, set to 0 twice, then after frame k to the
    // ticks after frame k.
    Timer clock;
    clock.start();
    clock.setTicks(0);
    clock.setTicks(0);
    for (int64_t frame = 0; frame < videoFrameCount(); ++frame) {
        if (frame < 2000 || frame > 27800 || frame % 97 == 0) {
            const FrameTime expected = frameTime(clock);
            const FrameTime time = videoFrameTime(frame);
            ASSERT_EQ(time.ticks, expected.ticks) << "ticks of frame " << frame;
            ASSERT_EQ(time.tickDelta, expected.tickDelta) << "tick delta of frame " << frame;
            ASSERT_EQ(time.timeDelta, expected.timeDelta) << "ms delta of frame " << frame;
        }
        clock.setTicks(videoFrameTicks(frame));
    }
}

TEST(VideoFrameClock, GridPutsEachTickOnTheLastFrameAtOrBeforeIt) {
    for (int ticks = 0; ticks <= showEndTicks + 2; ++ticks) {
        const int64_t frame = videoFrameAt(ticks);
        ASSERT_LE(videoFrameTicks(frame), ticks)
            << "frame " << frame << " is not after tick " << ticks;
        ASSERT_GT(videoFrameTicks(frame + 1), ticks)
            << "frame " << frame + 1 << " is at or before tick " << ticks;
    }
    EXPECT_EQ(videoFrameAt(-5), 0) << "ticks before the start are on the first frame";
    EXPECT_EQ(videoFrameAt(71), 31) << "one second into the show is frame 31";
}

TEST(VideoFrameClock, ShowHasTheFramesOfAFullRender) {
    EXPECT_EQ(videoFrameCount(), 27902) << "a full video-mode run writes 27,902 frames";
    EXPECT_GE(videoFrameDrawnAt(videoFrameCount() - 1), showEndTicks)
        << "the last frame is drawn at the show's end tick";
    EXPECT_LT(videoFrameDrawnAt(videoFrameCount() - 2), showEndTicks)
        << "the frame before the last is drawn before the end tick";
    EXPECT_EQ(videoFrameDrawnAt(0), 0);
    EXPECT_EQ(videoFrameDrawnAt(1), 0) << "the first two frames are both drawn at tick 0";
    EXPECT_EQ(videoFrameDrawnAt(2), 2);
}

// ---- state and buffers ----

TEST(ShowState, CanvasesAreSavedAsBufferNumbersAndPointIntoTheRestoredShow) {
    auto first = std::make_unique<Show>();
    first->sceneIndex = 7;
    first->sceneState.canvas7 = first->pictures.imageBuffers[rozerid1];
    first->sceneState.canvas8 = first->pictures.imageBuffers[dovari1];
    first->sceneState.warpMix = 0.25f;
    first->effects.breathingWarp.breathPhase = 1.5f;
    first->random.nextRandom();
    const ShowState state = saveState(*first);
    EXPECT_EQ(state.canvas7, 1 + rozerid1) << "canvas7 as the rozerid1 buffer's number";
    EXPECT_EQ(state.canvas8, 1 + dovari1) << "canvas8 as the dovari1 buffer's number";
    EXPECT_EQ(state.scene.canvas7, nullptr) << "no address of the saved show is kept";

    auto second = std::make_unique<Show>();
    restoreState(state, *second);
    EXPECT_EQ(second->sceneState.canvas7, second->pictures.imageBuffers[rozerid1])
        << "canvas7 points into the show restored to";
    EXPECT_EQ(second->sceneState.canvas8, second->pictures.imageBuffers[dovari1]);
    EXPECT_EQ(second->sceneIndex, 7);
    EXPECT_EQ(second->sceneState.warpMix, 0.25f);
    EXPECT_EQ(second->effects.breathingWarp.breathPhase, 1.5f);
    EXPECT_EQ(second->random.nextRandom(), first->random.nextRandom())
        << "the random sequence goes on where the saved one was";
}

TEST(ShowState, StateThatNamesNoBufferIsRefused) {
    auto show = std::make_unique<Show>();
    uint8_t elsewhere[16] = {};
    show->sceneState.canvas7 = elsewhere;
    EXPECT_THROW(saveState(*show), std::logic_error) << "a canvas outside the show's buffers";

    ShowState state;
    state.canvas8 = showBufferCount;
    EXPECT_THROW(restoreState(state, *show), std::invalid_argument) << "canvas number too large";
    state.canvas8 = -2;
    EXPECT_THROW(restoreState(state, *show), std::invalid_argument) << "canvas number negative";
    state.canvas8 = -1;
    state.sceneIndex = sceneCount + 1;
    EXPECT_THROW(restoreState(state, *show), std::invalid_argument) << "scene index past the end";
}

TEST(PackedBuffer, GivesBackEveryByteWhateverTheRowsHold) {
    std::vector<uint8_t> buffer(bufferBytes, 0), back(bufferBytes, 0xAA);
    // Noise in the picture rows only, then in every row, then a single byte past row 241.
    fillNoise(buffer.data(), 242 * 2560, 1);
    const PackedBuffer pictureOnly(buffer.data());
    pictureOnly.unpack(back.data());
    EXPECT_TRUE(back == buffer) << "picture rows back, the rows after them zero";

    std::vector<uint8_t> oneByte(buffer);
    oneByte[300 * 2560 + 17] = 5;
    PackedBuffer(oneByte.data()).unpack(back.data());
    EXPECT_TRUE(back == oneByte) << "a byte after the picture rows is kept";

    fillNoise(buffer.data(), bufferBytes, 2);
    const PackedBuffer everywhere(buffer.data());
    everywhere.unpack(back.data());
    EXPECT_TRUE(back == buffer) << "noise in all 480 rows back";
    EXPECT_EQ(pictureOnly.storedRows(), 242) << "zero rows after the picture are not stored";
    EXPECT_EQ(everywhere.storedRows(), 480) << "rows that are not all zero are";

    // A smooth picture: neighbouring pixels alike, as in the show's images.
    for (int i = 0; i < 242 * 640; ++i)
        for (int c = 0; c < 3; ++c)
            buffer[i * 4 + c] = static_cast<uint8_t>((i % 640) / 3 + c * (i / 640));
    for (int i = 0; i < 242 * 640; ++i)
        buffer[i * 4 + 3] = 0;
    std::fill(buffer.begin() + 242 * 2560, buffer.end(), 0);
    const PackedBuffer smooth(buffer.data());
    smooth.unpack(back.data());
    EXPECT_TRUE(back == buffer) << "smooth picture back";
    EXPECT_LT(smooth.bytes(), 20000u) << "a smooth picture compresses well";

    // Whether a buffer holds what was stored: every byte counts, in the stored rows and after.
    EXPECT_TRUE(smooth.holds(buffer.data())) << "the buffer it was made from";
    std::vector<uint8_t> changed(buffer);
    changed[241 * 2560 + 2559] ^= 1;
    EXPECT_FALSE(smooth.holds(changed.data())) << "the last byte of the stored rows changed";
    changed = buffer;
    changed[479 * 2560] = 1;
    EXPECT_FALSE(smooth.holds(changed.data())) << "a byte after the stored rows set";
    EXPECT_FALSE(everywhere.holds(back.data())) << "another buffer altogether";
}

TEST(SnapshotWriter, StoresOnlyTheBuffersChangedSinceItsLastSnapshot) {
    for (const bool keepCopies : {true, false}) {
        SCOPED_TRACE(keepCopies ? "comparing with copies" : "comparing by unpacking");
        auto show = std::make_unique<Show>();
        for (int number = 0; number < showBufferCount; ++number)
            fillNoise(showBuffer(show->pictures, number), 242 * 2560, 10 + number);
        SnapshotWriter writer(keepCopies);
        const ShowSnapshot first = writer.take(*show, 0);
        EXPECT_EQ(writer.storedBuffers(), showBufferCount) << "the first snapshot stores all";
        const size_t firstBytes = writer.storedBytes();

        show->pictures.workBuffer[400 * 2560] = 1; // one byte, past the picture rows
        show->pictures.imageBuffers[dovari1][0] ^= 0xFF;
        const ShowSnapshot second = writer.take(*show, 10);
        EXPECT_EQ(writer.storedBuffers(), showBufferCount + 2) << "two buffers changed";
        EXPECT_EQ(writer.sharedBuffers(), showBufferCount - 2);
        EXPECT_GT(writer.storedBytes(), firstBytes);
        for (int number = 0; number < showBufferCount; ++number) {
            const bool changed = number == showBufferCount - 1 || number == 1 + dovari1;
            EXPECT_EQ(first.buffers[number] != second.buffers[number], changed)
                << "buffer " << number << (changed ? " stored anew" : " shared");
        }

        // A byte changed and changed back between two snapshots: nothing to store.
        show->pictures.effectBuffer[5] ^= 0x40;
        show->pictures.effectBuffer[5] ^= 0x40;
        const ShowSnapshot third = writer.take(*show, 20);
        for (int number = 0; number < showBufferCount; ++number)
            EXPECT_EQ(third.buffers[number], second.buffers[number])
                << "nothing changed: buffer " << number << " shared";

        // Each snapshot restores its own bytes.
        auto restored = std::make_unique<Show>();
        restoreSnapshot(first, *restored);
        EXPECT_EQ(restored->pictures.workBuffer[400 * 2560], 0)
            << "the first snapshot's work buffer";
        restoreSnapshot(second, *restored);
        EXPECT_EQ(restored->pictures.workBuffer[400 * 2560], 1) << "the second snapshot's";
        EXPECT_EQ(0, std::memcmp(restored->pictures.imageBuffers[dovari1],
                                 show->pictures.imageBuffers[dovari1], bufferBytes));
    }
}

TEST(SnapshotStore, KeepsSnapshotsInFrameOrderAndFindsTheNearestBefore) {
    auto show = std::make_unique<Show>();
    SnapshotWriter writer;
    SnapshotStore store;
    EXPECT_EQ(store.nearest(5), nullptr) << "nothing to seek from yet";
    for (const int64_t frame : {0, 10, 20}) {
        show->pictures.effectBuffer[frame] = 1; // one buffer changes between snapshots
        store.add(writer.take(*show, frame));
    }
    EXPECT_EQ(store.storedBytes(), writer.storedBytes() + 3 * sizeof(ShowSnapshot))
        << "each shared buffer counted once, as the writer stored it";
    const std::pair<int64_t, int64_t> nearest[] = {{-3, 0},  {0, 0},   {9, 0},    {10, 10},
                                                   {19, 10}, {20, 20}, {5000, 20}};
    for (const auto& [frame, found] : nearest)
        EXPECT_EQ(store.nearest(frame)->frame, found) << "the snapshot nearest before " << frame;

    ShowSnapshot again = writer.take(*show, 20);
    EXPECT_THROW(store.add(again), std::invalid_argument) << "a frame already kept";
    again.frame = 30;
    again.buffers[4] = nullptr;
    EXPECT_THROW(store.add(again), std::invalid_argument) << "a snapshot missing a buffer";
    EXPECT_EQ(store.frames(), (std::vector<int64_t>{0, 10, 20})) << "neither was kept";
}

TEST(SnapshotBytes, CarryASnapshotWithItsSharedBuffersOnce) {
    auto show = std::make_unique<Show>();
    for (int number = 0; number < showBufferCount; ++number)
        fillNoise(showBuffer(show->pictures, number), 242 * 2560, 30 + number);
    show->sceneIndex = 6;
    show->sceneState.canvas7 = show->pictures.imageBuffers[3];
    show->effects.noiseBloom.bloomCount = 777;
    for (int i = 0; i < 5; ++i)
        show->random.nextRandom();
    SnapshotWriter writer;
    const ShowSnapshot first = writer.take(*show, 100);
    show->pictures.effectBuffer[1234] ^= 0x55;
    show->effects.pixelCrawl.crawlBlendOn = true;
    const ShowSnapshot second = writer.take(*show, 140);

    const std::vector<uint8_t> firstBytes = encodeSnapshot(first, nullptr);
    const std::vector<uint8_t> secondBytes = encodeSnapshot(second, &first);
    EXPECT_LT(secondBytes.size() * 4, firstBytes.size())
        << "one changed buffer of 18 travels with the second";

    const ShowSnapshot firstBack = decodeSnapshot(firstBytes.data(), firstBytes.size(), nullptr);
    const ShowSnapshot secondBack =
        decodeSnapshot(secondBytes.data(), secondBytes.size(), &firstBack);
    EXPECT_EQ(firstBack.frame, 100);
    EXPECT_EQ(secondBack.frame, 140);
    for (int number = 0; number < showBufferCount; ++number)
        EXPECT_EQ(secondBack.buffers[number] == firstBack.buffers[number], number != 0)
            << "buffer " << number << (number != 0 ? " kept once, shared" : " sent anew");

    auto restored = std::make_unique<Show>();
    auto expected = std::make_unique<Show>();
    for (const auto& [sent, back] :
         {std::pair(&first, &firstBack), std::pair(&second, &secondBack)}) {
        restoreSnapshot(*sent, *expected);
        restoreSnapshot(*back, *restored);
        for (int number = 0; number < showBufferCount; ++number)
            ASSERT_EQ(0, std::memcmp(showBuffer(restored->pictures, number),
                                     showBuffer(expected->pictures, number), bufferBytes))
                << "buffer " << number << " of the snapshot of frame " << sent->frame;
        EXPECT_EQ(restored->sceneIndex, 6);
        EXPECT_EQ(restored->sceneState.canvas7, restored->pictures.imageBuffers[3])
            << "the canvas points into the restored show";
        EXPECT_EQ(restored->effects.noiseBloom.bloomCount, 777);
        EXPECT_EQ(restored->effects.pixelCrawl.crawlBlendOn, sent == &second);
        EXPECT_EQ(restored->random.nextRandom(), expected->random.nextRandom())
            << "the random sequence goes on where it was";
    }
}

TEST(SnapshotBytes, DamagedOrMisplacedBytesAreRefused) {
    auto show = std::make_unique<Show>();
    fillNoise(show->pictures.effectBuffer, 242 * 2560, 7);
    SnapshotWriter writer;
    const ShowSnapshot first = writer.take(*show, 0);
    show->pictures.effectBuffer[0] ^= 1;
    const ShowSnapshot second = writer.take(*show, 31);
    const std::vector<uint8_t> good = encodeSnapshot(first, nullptr);
    const std::vector<uint8_t> shared = encodeSnapshot(second, &first);
    const auto refused = [](const std::vector<uint8_t>& bytes, const ShowSnapshot* previous) {
        try {
            decodeSnapshot(bytes.data(), bytes.size(), previous);
        } catch (const std::invalid_argument&) {
            return true;
        }
        return false;
    };

    for (const size_t cut :
         {size_t{0}, size_t{3}, size_t{16}, sizeof(ShowState), good.size() / 2, good.size() - 1})
        EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + cut), nullptr))
            << "cut after " << cut << " bytes";
    std::vector<uint8_t> longer(good);
    longer.push_back(0);
    EXPECT_TRUE(refused(longer, nullptr)) << "a byte too many";
    std::vector<uint8_t> otherKind(good);
    otherKind[0] ^= 0xFF;
    EXPECT_TRUE(refused(otherKind, nullptr)) << "not a snapshot's first bytes";
    EXPECT_TRUE(refused(shared, nullptr)) << "shared buffers with nothing to share them with";

    // A state out of range, a bool that is neither, a buffer of the wrong size.
    ShowSnapshot outOfRange = first;
    outOfRange.state.sceneIndex = sceneCount + 1;
    EXPECT_TRUE(refused(encodeSnapshot(outOfRange, nullptr), nullptr)) << "scene index 10";
    outOfRange = first;
    outOfRange.state.canvas8 = showBufferCount;
    EXPECT_TRUE(refused(encodeSnapshot(outOfRange, nullptr), nullptr)) << "a canvas past the last";
    std::vector<uint8_t> notBool(good);
    const ShowState& state = first.state;
    const size_t boolAt =
        16 + static_cast<size_t>(reinterpret_cast<const uint8_t*>(&state.scene.canvasSaved) -
                                 reinterpret_cast<const uint8_t*>(&state));
    notBool[boolAt] = 7;
    EXPECT_TRUE(refused(notBool, nullptr)) << "a bool holding 7";
    const std::vector<uint8_t> anyBytes(100, 0x5A);
    EXPECT_THROW(PackedBuffer(242, anyBytes), std::invalid_argument)
        << "bytes that are not a compressed buffer";
    EXPECT_THROW(PackedBuffer(100, first.buffers[0]->storedBytes()), std::invalid_argument)
        << "rows that no buffer is stored with";
}

TEST(ShowSnapshot, IsAValueTheShowCanGoBackTo) {
    auto show = std::make_unique<Show>();
    fillNoise(show->pictures.effectBuffer, 242 * 2560, 3);
    show->effects.noiseBloom.bloomCount = 1234;
    const ShowSnapshot saved = takeSnapshot(*show, 42);
    EXPECT_EQ(saved.frame, 42);
    const std::vector<uint8_t> before(show->pictures.effectBuffer,
                                      show->pictures.effectBuffer + bufferBytes);
    show->step(videoFrameTime(42), noTarget);
    show->pictures.effectBuffer[5] ^= 1;
    show->effects.noiseBloom.bloomCount = 1;
    restoreSnapshot(saved, *show);
    EXPECT_EQ(0, std::memcmp(show->pictures.effectBuffer, before.data(), bufferBytes))
        << "the buffers as they were when the snapshot was taken";
    EXPECT_EQ(show->effects.noiseBloom.bloomCount, 1234) << "the effect state as it was";
    EXPECT_EQ(show->sceneIndex, 0);
}

// ---- on the generated pack ----

const std::string pack = std::string(DEMO_TEST_ASSETS) + "/_.dat";

// The generated pack's show, loaded and never stepped; loaded once.
const Show& preparedShow() {
    return ::preparedShow(pack);
}

TEST(OnGeneratedPack, PicturesLoadedOneByOneAreThoseLoadedAtOnce) {
    const Show& prepared = preparedShow(); // the pack opened, the pictures loaded at once
    auto show = std::make_unique<Show>();
    show->loadPicturesOneByOne();
    for (int number = 0; number < showBufferCount; ++number)
        EXPECT_EQ(0, std::memcmp(showBuffer(show->pictures, number),
                                 showBuffer(prepared.pictures, number), bufferBytes))
            << "buffer " << number;
    for (int i = 0; i < imageCount; ++i)
        EXPECT_EQ(show->pictures.images[i], nullptr) << "no decoded picture kept: " << i;
}

// The frames where each scene hands on to the next: the first frames drawn at or past each
// scene's end tick.
std::vector<int64_t> handOnFrames() {
    std::vector<int64_t> frames;
    int64_t frame = 0;
    for (int scene = 0; scene < sceneCount; ++scene) {
        while (videoFrameDrawnAt(frame) < sceneEndTicks[scene])
            ++frame;
        frames.push_back(frame);
    }
    return frames;
}

// The show stepped from its first frame to its last without stopping: the picture hash and
// the scene index after every frame, and snapshots on both sides of every scene boundary and at
// 100 frames drawn at random. Made once, by the first test that asks.
struct ContinuousShow {
    std::vector<uint64_t> hashes;        // after frame k
    std::vector<int> scenes;             // scene index after frame k
    std::vector<int64_t> handOns;        // frames on which the scene index changed
    std::vector<ShowSnapshot> snapshots; // at snapshotFrames
    std::set<int64_t> snapshotFrames;
    size_t boundaryFrames = 0; // how many of them lie at scene boundaries
};

const ContinuousShow& continuousShow() {
    static std::unique_ptr<ContinuousShow> made;
    if (made != nullptr) return *made;
    auto run = std::make_unique<ContinuousShow>();
    for (const int64_t handOn : handOnFrames())
        for (int64_t frame = handOn - 1; frame <= handOn + 1 && frame < videoFrameCount(); ++frame)
            run->snapshotFrames.insert(frame);
    run->boundaryFrames = run->snapshotFrames.size();
    std::mt19937 draws(21);
    while (run->snapshotFrames.size() < run->boundaryFrames + 100)
        run->snapshotFrames.insert(draws() % videoFrameCount());

    auto show = std::make_unique<Show>();
    for (int number = 0; number < showBufferCount; ++number)
        std::memcpy(showBuffer(show->pictures, number), showBuffer(preparedShow().pictures, number),
                    bufferBytes);
    SnapshotWriter writer; // the snapshots share their unchanged buffers, as the index's do
    for (int64_t frame = 0; !show->finished(); ++frame) {
        if (run->snapshotFrames.count(frame) != 0)
            run->snapshots.push_back(writer.take(*show, frame));
        const int before = show->sceneIndex;
        show->step(videoFrameTime(frame), noTarget);
        run->hashes.push_back(pictureHash(show->pictures.effectBuffer));
        run->scenes.push_back(show->sceneIndex);
        if (show->sceneIndex != before) run->handOns.push_back(frame);
    }
    made = std::move(run);
    return *made;
}

TEST(OnGeneratedPack, ShowsRestoredFromSnapshotsGoOnAsTheShowThatNeverStopped) {
    const ContinuousShow& continuous = continuousShow();
    const int64_t frames = videoFrameCount();
    ASSERT_EQ(static_cast<int64_t>(continuous.hashes.size()), frames)
        << "the show stepped alone ends after its video frames";
    EXPECT_TRUE(continuous.handOns == handOnFrames())
        << "the scenes hand on at the frames the clock gives";
    EXPECT_EQ(continuous.boundaryFrames, 3u * sceneCount - 1)
        << "frames before, at and after each scene boundary (the show ends at the last)";
    ASSERT_EQ(continuous.snapshots.size(), continuous.boundaryFrames + 100);

    auto show = std::make_unique<Show>(); // never loaded: a snapshot brings every buffer
    for (const ShowSnapshot& snapshot : continuous.snapshots) {
        restoreSnapshot(snapshot, *show);
        const int64_t end = std::min(snapshot.frame + 300, frames);
        for (int64_t frame = snapshot.frame; frame < end; ++frame) {
            const bool more = show->step(videoFrameTime(frame), noTarget);
            ASSERT_EQ(pictureHash(show->pictures.effectBuffer), continuous.hashes[frame])
                << "frame " << frame << " from the snapshot of frame " << snapshot.frame;
            ASSERT_EQ(show->sceneIndex, continuous.scenes[frame])
                << "scene after frame " << frame << " from the snapshot of " << snapshot.frame;
            ASSERT_EQ(more, frame + 1 < frames) << "the show ends on its last frame";
        }
    }
}

TEST(OnGeneratedPack, SeeksLandOnTheFramesOfTheShowThatNeverStopped) {
    const ContinuousShow& continuous = continuousShow();
    SeekIndexOptions options;
    options.spacingMs = 25;
    SeekIndex index(preparedShow(), options);
    auto show = std::make_unique<Show>();
    std::vector<uint8_t> surface(640 * 480 * 4);
    const FrameTarget target{surface.data(), 640 * 4};
    const int64_t last = videoFrameCount() - 1;
    auto check = [&](int64_t frame, int64_t reached, const char* what) {
        ASSERT_EQ(reached, std::clamp<int64_t>(frame, 0, last)) << what;
        EXPECT_EQ(pictureHash(show->pictures.effectBuffer), continuous.hashes[reached]) << what;
        std::vector<uint8_t> expected(640 * 480 * 4);
        show->drawPicture({expected.data(), 640 * 4});
        EXPECT_TRUE(expected == surface) << what << ": the frame is drawn into the target";
    };

    // While the index is being built: far ahead of the builder, then near the start.
    int64_t next = index.seek(*show, -1, 20000, target) + 1;
    check(20000, next - 1, "a seek while the index is built");
    next = index.seek(*show, next, 150, target) + 1;
    check(150, next - 1, "back near the start");
    next = index.seek(*show, next, 160, target) + 1;
    check(160, next - 1, "a little forwards, from where the show is");
    next = index.seek(*show, next, 160, target) + 1;
    check(160, next - 1, "the same frame again");

    index.waitUntilBuilt();
    const SeekIndex::Figures figures = index.figures();
    EXPECT_FALSE(figures.failed);
    EXPECT_EQ(figures.framesStepped, videoFrameCount()) << "the builder stepped the whole show";

    std::mt19937 draws(5);
    for (int i = 0; i < 40; ++i) {
        const int64_t frame = draws() % videoFrameCount();
        next = index.seek(*show, next, frame, target) + 1;
        check(frame, next - 1, "a seek in the finished index");
    }
    for (const int64_t frame : continuous.handOns) {
        next = index.seek(*show, -1, frame, target) + 1;
        check(frame, next - 1, "a seek to a scene's hand-on frame");
    }
    next = index.seek(*show, -1, last + 100, target) + 1;
    check(last + 100, next - 1, "past the end: the last frame");
    EXPECT_TRUE(show->finished()) << "the show has ended on its last frame";
    next = index.seek(*show, next, -7, target) + 1;
    check(-7, next - 1, "before the start: the first frame");

    // Scene 0 steps several times faster than scenes 7 and 8: its snapshots lie further apart.
    const std::vector<int64_t> frames = index.snapshotFrames();
    ASSERT_GE(frames.size(), 10u);
    EXPECT_EQ(frames.front(), 0) << "the first snapshot is the prepared show";
    EXPECT_TRUE(std::is_sorted(frames.begin(), frames.end()));
    auto perThousandFrames = [&](int64_t from, int64_t to) {
        const auto n = std::count_if(frames.begin(), frames.end(),
                                     [&](int64_t f) { return f >= from && f < to; });
        return 1000.0 * static_cast<double>(n) / static_cast<double>(to - from);
    };
    const std::vector<int64_t> handOns = handOnFrames();
    EXPECT_GT(perThousandFrames(handOns[6], handOns[8]), 2 * perThousandFrames(0, handOns[0]))
        << "snapshots per 1,000 frames in scenes 7-8 against scene 0";
}

// A clock on which every stepped frame costs 5 ms: it moves 5 ms on at each reading, and the
// builder reads it before and after each frame.
double fiveMsPerFrame() {
    static double now = 0;
    now += 5;
    return now;
}

TEST(OnGeneratedPack, BuilderStepByStepSpacesSnapshotsByStepping) {
    SeekIndexOptions options;
    options.spacingMs = 60;
    SeekIndexBuilder builder(preparedShow(), options, fiveMsPerFrame);
    std::vector<int64_t> frames;
    std::vector<std::vector<uint8_t>> sent; // as the page's worker sends them
    std::optional<ShowSnapshot> previous;
    int calls = 0;
    while (builder.framesStepped() < 100) {
        std::optional<ShowSnapshot> snapshot = builder.next();
        ++calls;
        if (!snapshot) continue;
        frames.push_back(snapshot->frame);
        sent.push_back(encodeSnapshot(*snapshot, previous ? &*previous : nullptr));
        previous = std::move(snapshot);
    }
    EXPECT_EQ(frames, (std::vector<int64_t>{0, 12, 24, 36, 48, 60, 72, 84, 96}))
        << "the first snapshot at once, then one per 60 ms of stepping: 12 frames of 5 ms";
    EXPECT_EQ(calls, 100 + 9) << "each call steps a frame or takes a snapshot";
    EXPECT_FALSE(builder.finished());

    // Kept elsewhere from their bytes, the snapshots bring a show to any frame exactly.
    SnapshotStore store;
    for (const std::vector<uint8_t>& bytes : sent)
        store.add(decodeSnapshot(bytes.data(), bytes.size(), store.last()));
    EXPECT_EQ(store.storedBytes(), builder.storedBytes() + frames.size() * sizeof(ShowSnapshot))
        << "the buffers shared by the builder are kept once";
    const ContinuousShow& continuous = continuousShow();
    auto show = std::make_unique<Show>();
    int64_t next = -1;
    for (const int64_t frame : {50, 95, 13, 14, 0, 60}) {
        bringShowBefore(*show, next, frame, *store.nearest(frame));
        show->step(videoFrameTime(frame), noTarget);
        next = frame + 1;
        EXPECT_EQ(pictureHash(show->pictures.effectBuffer), continuous.hashes[frame])
            << "frame " << frame << " from the kept snapshots";
    }
}

// A wall clock on which every frame takes 1 ms and every tenth 40 ms more, the thread having
// waited for a processor meanwhile; the builder reads it before and after each frame.
int wallReadings = 0;
double burstyWallClock() {
    static double now = 0;
    if (wallReadings % 2 == 1) now += (wallReadings / 2) % 10 == 9 ? 41 : 1;
    ++wallReadings;
    return now;
}

TEST(OnGeneratedPack, BuilderOnAWallClockLeavesOutTheTimeSpentWaiting) {
    const auto secondSnapshot = [](bool wallClock) {
        wallReadings = 0;
        SeekIndexOptions options;
        options.spacingMs = 30;
        options.wallClock = wallClock;
        SeekIndexBuilder builder(preparedShow(), options, burstyWallClock);
        std::vector<int64_t> frames;
        while (frames.size() < 2 && builder.framesStepped() < 200)
            if (std::optional<ShowSnapshot> snapshot = builder.next())
                frames.push_back(snapshot->frame);
        return frames.size() == 2 ? frames[1] : int64_t{-1};
    };
    EXPECT_EQ(secondSnapshot(false), 10) << "a processor clock counts the waits: 9 + 41 ms";
    EXPECT_EQ(secondSnapshot(true), 28)
        << "a wall clock's bursts count as twice the median frame: 10 frames are 11 ms";
}

TEST(OnGeneratedPack, BuilderKeepsToItsNumberOfSnapshots) {
    // 5 ms a frame against a spacing of 10 ms would give a snapshot every two frames; a budget
    // of 2,791 over the show's 27,902 frames allows one more per 10 frames stepped.
    SeekIndexOptions options;
    options.spacingMs = 10;
    options.maxSnapshots = 2791;
    SeekIndexBuilder builder(preparedShow(), options, fiveMsPerFrame);
    std::vector<int64_t> frames;
    while (builder.framesStepped() < 45)
        if (std::optional<ShowSnapshot> snapshot = builder.next())
            frames.push_back(snapshot->frame);
    EXPECT_EQ(frames, (std::vector<int64_t>{0, 11, 21, 31, 41}))
        << "the first at once, then each as soon as the budget's share of the frames allows";

    // A spacing that gives fewer than the budget allows is kept as it is.
    options.spacingMs = 100; // 20 frames
    SeekIndexBuilder cheapFirst(preparedShow(), options, fiveMsPerFrame);
    frames.clear();
    while (cheapFirst.framesStepped() < 41)
        if (std::optional<ShowSnapshot> snapshot = cheapFirst.next())
            frames.push_back(snapshot->frame);
    EXPECT_EQ(frames, (std::vector<int64_t>{0, 20, 40}));
}

TEST(OnGeneratedPack, IndexDroppedWhileBuildingStopsItsBuilder) {
    auto index = std::make_unique<SeekIndex>(preparedShow());
    auto show = std::make_unique<Show>();
    index->seek(*show, -1, 100, noTarget);
    EXPECT_FALSE(index->built()) << "the builder is still stepping the show";
    const std::vector<uint8_t> reached(show->pictures.effectBuffer,
                                       show->pictures.effectBuffer + bufferBytes);
    index->stop(); // as dropping it does
    EXPECT_TRUE(index->built()) << "the builder has ended";
    EXPECT_LT(index->figures().framesStepped, videoFrameCount())
        << "stopped before the show's end, not waited for";
    index.reset();

    // The same frame stepped from the prepared show.
    auto stepped = std::make_unique<Show>();
    for (int number = 0; number < showBufferCount; ++number)
        std::memcpy(showBuffer(stepped->pictures, number),
                    showBuffer(preparedShow().pictures, number), bufferBytes);
    for (int64_t frame = 0; frame <= 100; ++frame)
        stepped->step(videoFrameTime(frame), noTarget);
    EXPECT_EQ(0, std::memcmp(stepped->pictures.effectBuffer, reached.data(), bufferBytes))
        << "a seek near the start while the builder is at work";
}

} // namespace
