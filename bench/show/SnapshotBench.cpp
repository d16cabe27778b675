// A sweep over the whole show with snapshots: one show stepped from the first frame to the last
// on the video frame clock, a snapshot taken every EVERY frames, restored into a second show
// and stepped CHECK frames alongside the first, whose pictures must be equal. Reports per scene
// the cost of stepping, of taking and of restoring a snapshot and its size, and how the
// buffers the show changes compress: as stored, and as whole buffers with zstd and with LZ4.
//
//   bench_snapshots PACK [EVERY (default 250)] [CHECK (default 30)]
#include "app/Run.h"
#include "app/ShowClock.h"
#include "app/ShowSnapshot.h"
#include "storage/FileServer.h"

#include <zstd.h>
#ifdef SNAPSHOT_BENCH_LZ4
#include <lz4.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace {

double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

uint64_t pictureHash(const Show& show) {
    uint64_t hash = 14695981039346656037u;
    const uint8_t* p = show.pictures.effectBuffer;
    for (int i = 0; i < pictureWidth * pictureHeight * 4; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        hash = (hash ^ word) * 1099511628211u;
    }
    return hash;
}

// Sizes (bytes) and times (ms) of one way of compressing, summed over the buffers tried.
struct CodecFigures {
    double bytes = 0, packMs = 0, unpackMs = 0;
    int buffers = 0;
    void print(const char* name) const {
        if (buffers == 0) return;
        std::printf("  %-28s %7.0f KB %6.2f ms %6.2f ms\n", name, bytes / buffers / 1024,
                    packMs / buffers, unpackMs / buffers);
    }
};

struct SceneFigures {
    long frames = 0;
    double stepMs = 0;
    int snapshots = 0;
    double takeMs = 0, restoreMs = 0, bytes = 0;
    CodecFigures stored, zstdWhole, lz4Whole;
};

void tryCodecs(const uint8_t* buffer, SceneFigures& scene) {
    std::vector<uint8_t> out(ZSTD_compressBound(bufferBytes));
    std::vector<uint8_t> back(bufferBytes);

    double t0 = threadMs();
    const PackedBuffer packed(buffer);
    double t1 = threadMs();
    packed.unpack(back.data());
    double t2 = threadMs();
    scene.stored.bytes += static_cast<double>(packed.bytes());
    scene.stored.packMs += t1 - t0;
    scene.stored.unpackMs += t2 - t1;
    ++scene.stored.buffers;

    t0 = threadMs();
    const size_t z = ZSTD_compress(out.data(), out.size(), buffer, bufferBytes, 1);
    t1 = threadMs();
    ZSTD_decompress(back.data(), bufferBytes, out.data(), z);
    t2 = threadMs();
    scene.zstdWhole.bytes += static_cast<double>(z);
    scene.zstdWhole.packMs += t1 - t0;
    scene.zstdWhole.unpackMs += t2 - t1;
    ++scene.zstdWhole.buffers;

#ifdef SNAPSHOT_BENCH_LZ4
    t0 = threadMs();
    const int l = LZ4_compress_default(reinterpret_cast<const char*>(buffer),
                                       reinterpret_cast<char*>(out.data()), bufferBytes,
                                       static_cast<int>(out.size()));
    t1 = threadMs();
    LZ4_decompress_safe(reinterpret_cast<const char*>(out.data()),
                        reinterpret_cast<char*>(back.data()), l, bufferBytes);
    t2 = threadMs();
    scene.lz4Whole.bytes += l;
    scene.lz4Whole.packMs += t1 - t0;
    scene.lz4Whole.unpackMs += t2 - t1;
    ++scene.lz4Whole.buffers;
#endif
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_snapshots PACK [EVERY] [CHECK]\n");
        return 2;
    }
    const long every = argc > 2 ? std::max(1L, std::atol(argv[2])) : 250;
    const long check = argc > 3 ? std::max(0L, std::min(std::atol(argv[3]), every)) : 30;
    createServers();
    processFileServer()->open(argv[1]);
    auto show = std::make_unique<Show>();
    show->loadPictures();
    // The buffers as prepared: a buffer still equal to them is not a buffer the show changed.
    std::vector<std::vector<uint8_t>> prepared(showBufferCount);
    for (int number = 0; number < showBufferCount; ++number)
        prepared[number].assign(showBuffer(show->pictures, number),
                                showBuffer(show->pictures, number) + bufferBytes);
    auto restored = std::make_unique<Show>();

    std::vector<SceneFigures> scenes(sceneCount);
    std::deque<uint64_t> expected; // the restored show's pictures, for the frames to come
    long mismatches = 0;
    int64_t frame = 0;
    for (; !show->finished(); ++frame) {
        SceneFigures& scene = scenes[show->sceneIndex];
        if (frame % every == 0) {
            double t0 = threadMs();
            const ShowSnapshot snapshot = takeSnapshot(*show, frame);
            double t1 = threadMs();
            restoreSnapshot(snapshot, *restored);
            double t2 = threadMs();
            ++scene.snapshots;
            scene.takeMs += t1 - t0;
            scene.restoreMs += t2 - t1;
            for (const auto& buffer : snapshot.buffers)
                scene.bytes += static_cast<double>(buffer->bytes());
            for (int number = 0; number < showBufferCount; ++number) {
                const uint8_t* buffer = showBuffer(show->pictures, number);
                if (std::memcmp(buffer, prepared[number].data(), bufferBytes) != 0)
                    tryCodecs(buffer, scene);
            }
            expected.clear();
            for (int64_t k = frame; k < frame + check && !restored->finished(); ++k) {
                restored->step(videoFrameTime(k), {nullptr, 640 * 4});
                expected.push_back(pictureHash(*restored));
            }
        }
        const double t0 = threadMs();
        show->step(videoFrameTime(frame), {nullptr, 640 * 4});
        scene.stepMs += threadMs() - t0;
        ++scene.frames;
        if (!expected.empty()) {
            if (pictureHash(*show) != expected.front()) {
                ++mismatches;
                std::printf("frame %lld: the restored show's picture differs\n",
                            static_cast<long long>(frame));
            }
            expected.pop_front();
        }
    }

    std::printf("%lld frames, a snapshot every %ld, each checked for %ld frames: %s\n\n",
                static_cast<long long>(frame), every, check,
                mismatches == 0 ? "all equal" : "MISMATCHES");
    std::printf("scene  frames  step ms/frame  snapshots  take ms  restore ms  snapshot KB\n");
    double stepTotal = 0;
    for (int i = 0; i < sceneCount; ++i) {
        const SceneFigures& s = scenes[i];
        stepTotal += s.stepMs;
        const double n = s.snapshots > 0 ? s.snapshots : 1;
        std::printf("%5d  %6ld  %13.3f  %9d  %7.2f  %10.2f  %11.0f\n", i, s.frames,
                    s.frames > 0 ? s.stepMs / static_cast<double>(s.frames) : 0.0, s.snapshots,
                    s.takeMs / n, s.restoreMs / n, s.bytes / n / 1024);
    }
    std::printf("stepping the whole show: %.0f ms of processor time\n\n", stepTotal);
    std::printf("buffers changed since the prepared pictures, per buffer: size, pack, unpack\n");
    for (int i = 0; i < sceneCount; ++i) {
        std::printf("scene %d\n", i);
        scenes[i].stored.print("stored (zstd 1, differences)");
        scenes[i].zstdWhole.print("zstd 1, whole buffer");
        scenes[i].lz4Whole.print("LZ4, whole buffer");
    }
    return mismatches == 0 ? 0 : 1;
}
