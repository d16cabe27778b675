// The seek index's builder, one step at a time; the store of snapshots; the seek from one.
#include "app/SeekIndexBuilder.h"

#include "app/ShowClock.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr FrameTarget noTarget{nullptr, 640 * 4};

} // namespace

SeekIndexBuilder::SeekIndexBuilder(const Show& prepared, SeekIndexOptions options, CostClock costMs)
    : SeekIndexBuilder(std::make_unique<Show>(), options, costMs) {
    for (int number = 0; number < showBufferCount; ++number)
        std::memcpy(showBuffer(show->pictures, number), showBuffer(prepared.pictures, number),
                    bufferBytes);
}

SeekIndexBuilder::SeekIndexBuilder(std::unique_ptr<Show> prepared, SeekIndexOptions options,
                                   CostClock costMs)
    : options(options), costMs(costMs), show(std::move(prepared)), writer(options.keepCopies) {
    if (show == nullptr) throw std::invalid_argument("a seek index needs a show");
}

bool SeekIndexBuilder::withinBudget() const {
    if (options.maxSnapshots <= 0) return true;
    // The first snapshot (frame 0) and then the others in proportion to the frames stepped.
    const int64_t allowed = 1 + (options.maxSnapshots - 1) * stepped / videoFrameCount();
    return snapshots < allowed;
}

std::optional<ShowSnapshot> SeekIndexBuilder::next() {
    if (show->finished()) return std::nullopt;
    if (!taken || (cost >= options.spacingMs && withinBudget())) {
        taken = true;
        ++snapshots;
        cost = 0;
        return writer.take(*show, stepped);
    }
    const double before = costMs();
    show->step(videoFrameTime(stepped), noTarget);
    cost += counted(costMs() - before);
    ++stepped;
    return std::nullopt;
}

double SeekIndexBuilder::counted(double spent) {
    if (!options.wallClock) return spent;
    const int kept = std::min(recentCount, static_cast<int>(recent.size()));
    double limit = spent;
    if (kept >= 8) {
        std::array<double, 31> sorted = recent;
        std::nth_element(sorted.begin(), sorted.begin() + kept / 2, sorted.begin() + kept);
        limit = 2 * sorted[kept / 2];
    }
    recent[recentCount % recent.size()] = spent;
    ++recentCount;
    return std::min(spent, limit);
}

void SnapshotStore::add(ShowSnapshot snapshot) {
    const ShowSnapshot* before = last();
    if (before != nullptr && snapshot.frame <= before->frame)
        throw std::invalid_argument("a snapshot out of frame order");
    for (int number = 0; number < showBufferCount; ++number) {
        const std::shared_ptr<const PackedBuffer>& buffer = snapshot.buffers[number];
        if (buffer == nullptr) throw std::invalid_argument("a snapshot without all its buffers");
        if (before == nullptr || before->buffers[number] != buffer) packed += buffer->bytes();
    }
    snapshots.push_back(std::move(snapshot));
}

const ShowSnapshot* SnapshotStore::nearest(int64_t frame) const {
    if (snapshots.empty()) return nullptr;
    const auto after = std::upper_bound(
        snapshots.begin(), snapshots.end(), frame,
        [](int64_t f, const ShowSnapshot& snapshot) { return f < snapshot.frame; });
    return after == snapshots.begin() ? &snapshots.front() : &*(after - 1);
}

std::vector<int64_t> SnapshotStore::frames() const {
    std::vector<int64_t> frames;
    frames.reserve(snapshots.size());
    for (const ShowSnapshot& snapshot : snapshots)
        frames.push_back(snapshot.frame);
    return frames;
}

void bringShowBefore(Show& show, int64_t next, int64_t frame, int64_t snapshotFrame,
                     const std::function<void(Show&)>& restore) {
    int64_t from = next;
    if (next < snapshotFrame || next > frame) {
        restore(show);
        from = snapshotFrame;
    }
    for (int64_t k = from; k < frame; ++k)
        show.step(videoFrameTime(k), noTarget);
}

void bringShowBefore(Show& show, int64_t next, int64_t frame, const ShowSnapshot& snapshot) {
    bringShowBefore(show, next, frame, snapshot.frame,
                    [&snapshot](Show& into) { restoreSnapshot(snapshot, into); });
}
