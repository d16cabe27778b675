// Digesting frames on a second thread so the render thread pays only for a copy.
#include "tools/render/FrameHasher.h"

#include "app/Show.h"
#include "app/ShowClock.h"

#include <chrono>
#include <cstring>

extern "C" {
#include <libavutil/md5.h>
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

namespace {
double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

FrameHasher::FrameHasher(const uint8_t* frameBuffer24, FrameHasherOptions options, const Show* show)
    : frameBuffer24(frameBuffer24), show(show), options(std::move(options)),
      worker([this] { work(); }) {
    lastStamp = now();
}

FrameHasher::~FrameHasher() {
    finish();
}

int FrameHasher::finish() {
    if (!worker.joinable()) return 0;
    queue.close();
    worker.join();
    // The last frame is always printed. When --every skipped it, the frame buffer still holds
    // it: the show writes the buffer only right before handing the sink a frame.
    if (lastSkipped.index >= 0 && lastSkipped.index == nextIndex - 1) {
        lastSkipped.frame.assign(frameBuffer24, frameBuffer24 + frameBytes);
        printDigest(lastSkipped);
    }
    lastSkipped.index = -1;
    std::fflush(options.out);
    return 0;
}

void FrameHasher::nextFrame(int) {
    const double stamp = now();
    const double spent = stamp - lastStamp;
    lastStamp = stamp;
    const int index = show != nullptr ? show->sceneIndex : 9;
    const int scene = index >= 0 && index < 10 ? index : 9;
    perSceneFrames[scene] += 1;
    perSceneSeconds[scene] += spent;
    // The first frame also pays for the start-up after the sink was made (the music set-up
    // and the clock's start); it is reported on its own.
    if (nextIndex == 0) {
        first = spent;
    } else if (spent > slowest) {
        slowest = spent;
        slowestIndex = nextIndex;
    }

    if (!options.digest) {
        ++nextIndex;
        return;
    }
    Job job{nextIndex, videoFrameTicks(nextIndex), {}};
    ++nextIndex;
    job.print = options.every <= 1 || job.index % options.every == 0;
    if (!job.print) {
        lastSkipped.index = job.index;
        lastSkipped.ticks = job.ticks;
        if (options.dumpFrames.count(job.index) == 0) return;
    }
    {
        std::lock_guard<std::mutex> lock(spareLock);
        if (!spare.empty()) {
            job.frame = std::move(spare.back());
            spare.pop_back();
        }
    }
    job.frame.resize(frameBytes);
    std::memcpy(job.frame.data(), frameBuffer24, frameBytes);
    queue.push(std::move(job));
}

void FrameHasher::work() {
    Job job{};
    while (queue.pop(job)) {
        if (job.print) printDigest(job);
        if (options.dumpFrames.count(job.index) != 0 && !options.dumpDirectory.empty()) dump(job);
        std::lock_guard<std::mutex> lock(spareLock);
        spare.push_back(std::move(job.frame));
    }
}

void FrameHasher::printDigest(const Job& job) {
    uint8_t digest[32];
    size_t digestBytes = 16;
    if (options.sha256) {
        AVSHA* sha = av_sha_alloc();
        if (sha == nullptr || av_sha_init(sha, 256) < 0) {
            av_free(sha);
            std::fprintf(stderr, "demo-render: no memory for the digest of frame %ld\n", job.index);
            return;
        }
        av_sha_update(sha, job.frame.data(), frameBytes);
        av_sha_final(sha, digest);
        av_free(sha);
        digestBytes = 32;
    } else {
        av_md5_sum(digest, job.frame.data(), frameBytes);
    }
    char line[120];
    int at = std::snprintf(line, sizeof line, "%ld %d ", job.index, job.ticks);
    for (size_t i = 0; i < digestBytes; ++i)
        at += std::snprintf(line + at, sizeof line - at, "%02x", digest[i]);
    std::snprintf(line + at, sizeof line - at, "\n");
    std::fputs(line, options.out);
}

void FrameHasher::dump(const Job& job) const {
    const std::string path = options.dumpDirectory + "/frame" + std::to_string(job.index) + ".ppm";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return;
    }
    std::fprintf(file, "P6\n640 480\n255\n");
    std::vector<uint8_t> rgb(frameBytes);
    for (size_t i = 0; i < frameBytes; i += 3) {
        rgb[i] = job.frame[i + 2];
        rgb[i + 1] = job.frame[i + 1];
        rgb[i + 2] = job.frame[i];
    }
    std::fwrite(rgb.data(), 1, rgb.size(), file);
    std::fclose(file);
}
