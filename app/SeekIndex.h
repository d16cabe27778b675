// Seeking in the exact show: snapshots of the whole show on the video frame clock, from which
// any frame is reached by restoring the nearest snapshot before it and stepping on.
//
//     SeekIndex index(preparedShow);     // starts building on a thread of its own
//     Show shown;                        // any show: a seek restores all of it
//     int64_t next = index.seek(shown, -1, frame, {pixels, pitch}) + 1;
//     ...                                // shown steps frame `next` next, on the video clock
//
// The index is built by a show of its own, stepped without drawing from the first frame to the
// last on a background thread (SeekIndexBuilder); it keeps a snapshot each time stepping since
// the previous one has cost `spacingMs` of the thread's processor time, so that stepping from
// any snapshot to the next costs about the same whatever the scene. A seek made before the
// index is complete steps from the nearest snapshot made so far.
//
// Snapshots share the buffers they have in common (SnapshotWriter): the image buffers that
// the show never draws into are stored once, with the first snapshot.
//
// Thread safety: seek, built, waitUntilBuilt and figures may be called from any thread while
// the index is built; each call to seek works on its own show.
#pragma once

#include "app/SeekIndexBuilder.h"
#include "app/ShowSnapshot.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class SeekIndex {
  public:
    // Copies the buffers of `prepared`, a show whose pictures are loaded and which has not
    // been stepped, and starts building from it; `prepared` may change as soon as this returns.
    explicit SeekIndex(const Show& prepared, SeekIndexOptions options = {});
    // Stops the builder and waits for it.
    ~SeekIndex();
    // Stops the builder where it is and waits for it; the snapshots made so far stay.
    void stop();
    SeekIndex(const SeekIndex&) = delete;
    SeekIndex& operator=(const SeekIndex&) = delete;

    // Brings `show` to video frame `frame` (limited to the show's frames, 0 ... videoFrameCount()
    // - 1) and draws that frame's picture into target (no border: the caller draws it, as after
    // any step); the show then steps frame + 1 next. `next` is the frame the show steps next,
    // or -1 when it is unknown: a show already before the frame and nearer to it than any
    // snapshot is stepped from where it is, otherwise the nearest snapshot at or before the
    // frame is restored. Returns the frame reached. Throws what restoreSnapshot throws.
    int64_t seek(Show& show, int64_t next, int64_t frame, FrameTarget target) const;
    // Brings `show` to the state right before video frame `frame` (0 ... videoFrameCount() - 1)
    // is stepped: the show steps `frame` next. `next` as for seek.
    void bringBefore(Show& show, int64_t next, int64_t frame) const;

    // Whether the builder has ended: the whole show is indexed, or building failed or stopped.
    bool built() const;
    void waitUntilBuilt() const;

    struct Figures {
        int snapshots = 0;
        size_t storedBytes = 0;     // the snapshots: their compressed buffers, each counted once,
                                    // and their other state
        int64_t framesStepped = 0;  // frames the builder has stepped so far
        double buildSeconds = 0;    // from construction until built (so far, while building)
        double buildCpuSeconds = 0; // the builder's processor time, once built
        bool failed = false;        // the builder stopped on an error before the show's end
    };
    Figures figures() const;
    // The frames of the snapshots made so far, ascending.
    std::vector<int64_t> snapshotFrames() const;
    // The snapshots made so far, by frame (they share their buffers with the index's).
    std::vector<ShowSnapshot> snapshotsMade() const;

  private:
    void build();
    // The last snapshot at or before frame, waiting for the first one to exist.
    ShowSnapshot nearest(int64_t frame) const;

    std::unique_ptr<SeekIndexBuilder> builder; // stepped on its thread, dropped once done

    mutable std::mutex lock; // guards everything below up to the thread
    mutable std::condition_variable changed;
    SnapshotStore store;
    int64_t stepped = 0;
    double seconds = 0;
    double cpuSeconds = 0;
    bool done = false;
    bool hasFailed = false;

    std::atomic<bool> stopping{false};
    const double startedAt;
    std::thread thread;
};
