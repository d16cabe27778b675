// The seek index: its builder thread and the seeks from its snapshots.
#include "app/SeekIndex.h"

#include "app/ShowClock.h"

#include <algorithm>
#include <chrono>
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
    : builder(std::make_unique<SeekIndexBuilder>(prepared, options, threadMs)),
      startedAt(wallSeconds()) {
    thread = std::thread(&SeekIndex::build, this);
}

SeekIndex::~SeekIndex() {
    stop();
}

void SeekIndex::stop() {
    stopping = true;
    if (thread.joinable()) thread.join();
}

void SeekIndex::build() {
    bool failed = false;
    try {
        while (!builder->finished() && !stopping) {
            std::optional<ShowSnapshot> snapshot = builder->next();
            std::lock_guard<std::mutex> guard(lock);
            stepped = builder->framesStepped();
            if (snapshot) {
                store.add(std::move(*snapshot));
                changed.notify_all();
            }
        }
    } catch (...) {
        failed = true;
    }
    failed = failed || !builder->finished();
    const double cpuMs = threadMs();
    builder.reset();
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
    f.snapshots = store.count();
    f.storedBytes = store.storedBytes();
    f.framesStepped = stepped;
    f.buildSeconds = done ? seconds : wallSeconds() - startedAt;
    f.buildCpuSeconds = cpuSeconds;
    f.failed = hasFailed;
    return f;
}

std::vector<int64_t> SeekIndex::snapshotFrames() const {
    std::lock_guard<std::mutex> guard(lock);
    return store.frames();
}

std::vector<ShowSnapshot> SeekIndex::snapshotsMade() const {
    std::lock_guard<std::mutex> guard(lock);
    return store.all();
}

ShowSnapshot SeekIndex::nearest(int64_t frame) const {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return !store.empty() || done; });
    const ShowSnapshot* found = store.nearest(frame);
    if (found == nullptr) throw std::runtime_error("the seek index has no snapshot");
    return *found;
}

void SeekIndex::bringBefore(Show& show, int64_t next, int64_t frame) const {
    bringShowBefore(show, next, frame, nearest(frame));
}

int64_t SeekIndex::seek(Show& show, int64_t next, int64_t frame, FrameTarget target) const {
    frame = std::clamp<int64_t>(frame, 0, videoFrameCount() - 1);
    bringBefore(show, next, frame);
    show.step(videoFrameTime(frame), noTarget);
    show.drawPicture(target);
    return frame;
}
