// The pieces of a seek index that need no thread: a builder that makes the snapshots of a
// whole show one step at a time, a store that keeps snapshots by frame as they come, and the
// seek from the nearest of them. The native SeekIndex runs the builder on a thread of its own
// into a store; the page runs it in a worker and fills its own store with what the worker
// sends (encodeSnapshot, decodeSnapshot).
//
//     SeekIndexBuilder builder(preparedShow, options, processorMs);
//     SnapshotStore store;
//     while (!builder.finished())
//         if (std::optional<ShowSnapshot> snapshot = builder.next()) store.add(*snapshot);
//     bringShowBefore(show, next, frame, *store.nearest(frame));  // show steps `frame` next
#pragma once

#include "app/ShowSnapshot.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct SeekIndexOptions {
    // Processor time of stepping between two snapshots, in ms.
    double spacingMs = 60.0;
    // The builder's clock is a wall clock (a browser has no other): time the thread spent
    // waiting for a processor counts there too, in bursts. A frame then counts for at most
    // twice the median of the frames before it, so that such a burst does not end a spacing
    // early.
    bool wallClock = false;
    // The writer keeps a copy of the buffers it stored last to compare with (fast), or unpacks
    // them instead (SnapshotWriter): the page's worker, whose memory counts, does the latter.
    bool keepCopies = true;
    // At most this many snapshots (0: as many as the spacing gives). A snapshot the spacing
    // makes due waits while those taken already reach this number's share of the frames
    // stepped so far: the share left unused where stepping is cheap goes where it is dear. On
    // a slower or busier machine the spacing alone would give more snapshots, and the memory
    // they take would grow with them; so bounded, seeks take longer there instead.
    int maxSnapshots = 0;
};

// Makes the snapshots of a show stepped without drawing from its first video frame to its
// last: the first at frame 0, then one each time stepping since the one before has cost
// spacingMs on `costMs`, a clock of the stepping's processor time in ms, so that stepping from
// any snapshot to the next costs about the same whatever the scene. Snapshots share the
// buffers they have in common (SnapshotWriter).
class SeekIndexBuilder {
  public:
    using CostClock = double (*)();
    // Copies the buffers of `prepared`, a show whose pictures are loaded and which has not been
    // stepped; `prepared` may change as soon as this returns.
    SeekIndexBuilder(const Show& prepared, SeekIndexOptions options, CostClock costMs);
    // The same from `prepared` itself, which the builder steps.
    SeekIndexBuilder(std::unique_ptr<Show> prepared, SeekIndexOptions options, CostClock costMs);

    // One step of the building: the snapshot that is due (the first call gives frame 0's), or
    // else one frame stepped and nothing. Throws what stepping or compressing throws (the
    // builder is then unusable). Nothing once finished.
    std::optional<ShowSnapshot> next();
    // Whether the show's last frame has been stepped.
    bool finished() const { return show->finished(); }
    // Frames stepped so far.
    int64_t framesStepped() const { return stepped; }
    // Compressed bytes of the snapshots so far, each buffer counted once.
    size_t storedBytes() const { return writer.storedBytes(); }

  private:
    SeekIndexOptions options;
    CostClock costMs;
    std::unique_ptr<Show> show; // the builder's own show
    SnapshotWriter writer;
    // A frame's cost as counted: with a wall clock, at most twice the median of the last ones.
    double counted(double spent);
    // Whether a snapshot may be taken now under maxSnapshots.
    bool withinBudget() const;

    int64_t stepped = 0;
    double cost = 0;                 // ms of stepping since the last snapshot
    bool taken = false;              // the first snapshot has been taken
    int snapshots = 0;               // taken so far
    std::array<double, 31> recent{}; // the last frames' costs, oldest overwritten first
    int recentCount = 0;
};

// Snapshots of one show by frame, as they come.
class SnapshotStore {
  public:
    // Keeps snapshot, whose frame must lie after the last one's (the first may be any);
    // throws std::invalid_argument otherwise.
    void add(ShowSnapshot snapshot);
    // The last snapshot at or before frame (the first one when all lie after it); null while
    // the store is empty.
    const ShowSnapshot* nearest(int64_t frame) const;
    const ShowSnapshot* last() const { return snapshots.empty() ? nullptr : &snapshots.back(); }
    bool empty() const { return snapshots.empty(); }
    int count() const { return static_cast<int>(snapshots.size()); }
    // The compressed buffers, each counted once (a buffer shared with the snapshot before is
    // not counted again), and the snapshots' other state.
    size_t storedBytes() const { return packed + snapshots.size() * sizeof(ShowSnapshot); }
    // The frames of the snapshots, ascending.
    std::vector<int64_t> frames() const;
    // The snapshots, by frame, ascending.
    const std::vector<ShowSnapshot>& all() const { return snapshots; }

  private:
    std::vector<ShowSnapshot> snapshots; // by frame, ascending
    size_t packed = 0;
};

// Brings `show` to the state right before video frame `frame` is stepped. `next` is the frame
// the show steps next, or -1 when it is unknown: a show already before the frame and nearer to
// it than the snapshot is stepped on from where it is; otherwise `restore` puts the snapshot,
// whose frame is `snapshotFrame` (at or before `frame`), into the show, and it is stepped on
// from there. Throws what restore and stepping throw.
void bringShowBefore(Show& show, int64_t next, int64_t frame, int64_t snapshotFrame,
                     const std::function<void(Show&)>& restore);
// The same from a snapshot.
void bringShowBefore(Show& show, int64_t next, int64_t frame, const ShowSnapshot& snapshot);
