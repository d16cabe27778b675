// The seek index: its builder thread and the seeks from its snapshots.
#include "app/SeekIndex.h"

#include "app/ShowClock.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <stdexcept>

namespace {

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The calling thread's processor time in ms: what stepping costs, whatever else the machine
// runs meanwhile.
double threadMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

constexpr FrameTarget noTarget{nullptr, 640 * 4};

} // namespace

SeekIndex::SeekIndex(const Show& prepared, SeekIndexOptions options)
    : options(options), builderShow(std::make_unique<Show>()), startedAt(wallSeconds()) {
    for (int number = 0; number < showBufferCount; ++number)
        std::memcpy(showBuffer(builderShow->pictures, number),
                    showBuffer(prepared.pictures, number), bufferBytes);
    builder = std::thread(&SeekIndex::build, this);
}

SeekIndex::~SeekIndex() {
    stop();
}

void SeekIndex::stop() {
    stopping = true;
    if (builder.joinable()) builder.join();
}

void SeekIndex::publish(ShowSnapshot snapshot, size_t packedBytes) {
    std::lock_guard<std::mutex> guard(lock);
    snapshots.push_back(std::move(snapshot));
    stored = packedBytes + snapshots.size() * sizeof(ShowSnapshot);
    changed.notify_all();
}

void SeekIndex::build() {
    Show& show = *builderShow;
    bool failed = false;
    try {
        SnapshotWriter writer;
        ShowSnapshot first = writer.take(show, 0);
        publish(std::move(first), writer.storedBytes());
        double cost = 0;
        double last = threadMs();
        for (int64_t frame = 0; !show.finished() && !stopping; ++frame) {
            if (cost >= options.spacingMs) {
                ShowSnapshot snapshot = writer.take(show, frame);
                publish(std::move(snapshot), writer.storedBytes());
                cost = 0;
                last = threadMs();
            }
            show.step(videoFrameTime(frame), noTarget);
            const double now = threadMs();
            cost += now - last;
            last = now;
            std::lock_guard<std::mutex> guard(lock);
            stepped = frame + 1;
        }
    } catch (...) {
        failed = true;
    }
    failed = failed || !show.finished();
    const double cpuMs = threadMs();
    builderShow.reset();
    std::lock_guard<std::mutex> guard(lock);
    seconds = wallSeconds() - startedAt;
    cpuSeconds = cpuMs / 1e3;
    hasFailed = failed;
    done = true;
    changed.notify_all();
}

bool SeekIndex::built() const {
    std::lock_guard<std::mutex> guard(lock);
    return done;
}

void SeekIndex::waitUntilBuilt() const {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return done; });
}

SeekIndex::Figures SeekIndex::figures() const {
    std::lock_guard<std::mutex> guard(lock);
    Figures f;
    f.snapshots = static_cast<int>(snapshots.size());
    f.storedBytes = stored;
    f.framesStepped = stepped;
    f.buildSeconds = done ? seconds : wallSeconds() - startedAt;
    f.buildCpuSeconds = cpuSeconds;
    f.failed = hasFailed;
    return f;
}

std::vector<int64_t> SeekIndex::snapshotFrames() const {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<int64_t> frames;
    for (const ShowSnapshot& snapshot : snapshots)
        frames.push_back(snapshot.frame);
    return frames;
}

std::vector<ShowSnapshot> SeekIndex::snapshotsMade() const {
    std::lock_guard<std::mutex> guard(lock);
    return snapshots;
}

ShowSnapshot SeekIndex::nearest(int64_t frame) const {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return !snapshots.empty() || done; });
    if (snapshots.empty()) throw std::runtime_error("the seek index has no snapshot");
    const auto after = std::upper_bound(
        snapshots.begin(), snapshots.end(), frame,
        [](int64_t f, const ShowSnapshot& snapshot) { return f < snapshot.frame; });
    return after == snapshots.begin() ? snapshots.front() : *(after - 1);
}

void SeekIndex::bringBefore(Show& show, int64_t next, int64_t frame) const {
    const ShowSnapshot snapshot = nearest(frame);
    int64_t from = next;
    if (next < snapshot.frame || next > frame) {
        restoreSnapshot(snapshot, show);
        from = snapshot.frame;
    }
    for (int64_t k = from; k < frame; ++k)
        show.step(videoFrameTime(k), noTarget);
}

int64_t SeekIndex::seek(Show& show, int64_t next, int64_t frame, FrameTarget target) const {
    frame = std::clamp<int64_t>(frame, 0, videoFrameCount() - 1);
    bringBefore(show, next, frame);
    show.step(videoFrameTime(frame), noTarget);
    show.drawPicture(target);
    return frame;
}
