// The seek check: a render of the show that digests the frames to be sought, an index built
// alongside it, and the seeks timed and compared.
#include "tools/render/SeekCheck.h"

#include "app/MainLoop.h"
#include "app/Run.h"
#include "app/SeekIndex.h"
#include "app/ShowClock.h"
#include "graphics/RowConverters.h"
#include "media/FrameSink.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

extern "C" {
#include <libavutil/md5.h>
}

namespace {

using Digest = std::array<uint8_t, 16>;

constexpr size_t frameBytes = 640 * 480 * 3;

Digest digestOf(const uint8_t* frame24) {
    Digest digest{};
    av_md5_sum(digest.data(), frame24, frameBytes);
    return digest;
}

// Keeps the digests of the wanted frames; the run steps the others without drawing them.
class WantedFramesSink : public FrameSink {
  public:
    WantedFramesSink(const uint8_t* frame24, const std::set<int64_t>& wanted,
                     std::map<int64_t, Digest>& digests)
        : frame24(frame24), wanted(wanted), digests(digests) {}
    void nextFrame(int) override {
        if (wanted.count(index) != 0) digests[index] = digestOf(frame24);
        ++index;
    }
    bool skipsNextFrame() const override { return wanted.count(index) == 0; }

  private:
    const uint8_t* frame24;
    const std::set<int64_t>& wanted;
    std::map<int64_t, Digest>& digests;
    int64_t index = 0;
};

// The target frames: ticks drawn over the whole show from a fixed seed, each taken to the
// frame on the video grid at that tick, so the order goes back and forth.
std::vector<int64_t> targetFrames(int count) {
    std::mt19937 draws(20240521u);
    const int64_t last = videoFrameCount() - 1;
    std::vector<int64_t> frames;
    for (int i = 0; i < count; ++i) {
        const int ticks = static_cast<int>(draws() % static_cast<uint32_t>(showEndTicks + 3));
        frames.push_back(std::min(videoFrameAt(ticks), last));
    }
    return frames;
}

// The value at quantile q of sorted values (nearest rank).
double quantile(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0.0;
    const size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size(), std::max<size_t>(rank, 1)) - 1];
}

} // namespace

int runSeekCheck(const SeekCheckOptions& options) {
    const std::vector<int64_t> targets = targetFrames(options.targets);
    const std::set<int64_t> wanted(targets.begin(), targets.end());
    std::map<int64_t, Digest> expected;

    RunPlatform platform;
    platform.credits = false;
    platform.videoSink = [&](const ExportOptions&, uint8_t* frame24, uint32_t*, const Show&) {
        return new WantedFramesSink(frame24, wanted, expected);
    };
    Run run(platform);
    if (!run.open("video noaudio", options.pack)) {
        run.close();
        return 1;
    }
    // The index is built first, alone, as beside a player, whose main thread mostly sleeps;
    // then the render gives the frames to compare with.
    SeekIndexOptions indexOptions;
    if (options.spacingMs > 0) indexOptions.spacingMs = options.spacingMs;
    SeekIndex index(*run.show(), indexOptions);
    index.waitUntilBuilt();
    const SeekIndex::Figures figures = index.figures();
    if (figures.failed) {
        std::fprintf(stderr, "demo-render: the seek index could not be built\n");
        return 1;
    }
    while (run.step().kind != Run::Step::Ended) {
    }
    if (run.close() != 0 || run.failed()) return 1;

    Show shown;
    int64_t next = -1;
    std::vector<uint8_t> surface(640 * 480 * 4);
    std::vector<uint8_t> frame24(frameBytes);
    std::vector<double> times;
    int exact = 0;
    for (const int64_t frame : targets) {
        const auto start = std::chrono::steady_clock::now();
        const int64_t reached = index.seek(shown, next, frame, {surface.data(), 640 * 4});
        drawBorder(surface.data());
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        next = reached + 1;
        convertRowTo24(reinterpret_cast<const uint32_t*>(surface.data()), frame24.data(),
                       640 * 480);
        const auto found = expected.find(frame);
        if (reached == frame && found != expected.end() &&
            found->second == digestOf(frame24.data()))
            ++exact;
        else
            std::fprintf(stderr, "demo-render: frame %lld after a seek differs from the render\n",
                         static_cast<long long>(frame));
    }
    std::sort(times.begin(), times.end());
    std::printf("seek p50 %.1f ms p95 %.1f ms max %.1f ms; index %.1f MB, built in %.2f s; "
                "%d/%d frames exact\n",
                quantile(times, 0.5), quantile(times, 0.95), times.empty() ? 0.0 : times.back(),
                static_cast<double>(figures.storedBytes) / (1024.0 * 1024.0), figures.buildSeconds,
                exact, static_cast<int>(targets.size()));
    return exact == static_cast<int>(targets.size()) ? 0 : 1;
}
