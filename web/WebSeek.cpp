// Seeking in the page. A module has no threads, so the seek index is built by a second copy of
// the module in a Web Worker (seek-worker.js), step by step, and each snapshot travels to the
// page as bytes (encodeSnapshot): the page's copy keeps them in its store and the run's seeks
// restore from there. A seek made before the index is complete steps from the nearest snapshot
// received so far, or from the show as it stands.
//
// In the worker (the pack written to "_.dat" in the module's file system):
//   webIndexBuilderOpen(spacingMs, maxSnapshots) the builder over the pack's prepared show, a
//                                  snapshot per spacingMs of stepping, at most maxSnapshots; 0 when
//                                  the pack cannot be read
//   webIndexBuild(builder, ms)     builds for up to ms milliseconds: the size of the next
//                                  snapshot's bytes, at webIndexRecord(builder), once one is
//                                  made; 0 when the time ran out first; -1 once the whole show
//                                  is indexed; -2 when building failed
//   webIndexRecord(builder)        the bytes of the last snapshot made
//   webIndexFramesStepped(builder), webIndexStoredBytes(builder)
//   webIndexBuilderRelease(builder)
// In the page:
//   webSeekIndexAdd(bytes, size)   keeps the snapshot sent as these bytes, in the order the
//                                  worker made them; 1, or 0 when they are refused (and every
//                                  snapshot after them: they may name its buffers)
//   webSeekIndexSnapshots(), webSeekIndexBytes(), webSeekIndexLastFrame() (-1: none yet)
#include "web/WebSeek.h"

#include "app/SeekIndexBuilder.h"
#include "app/Show.h"
#include "app/ShowSnapshot.h"
#include "storage/FileServer.h"

#include <emscripten.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

// The page's snapshots: one store for the page's one pack, filled by the worker's messages.
SnapshotStore& pageStore() {
    static SnapshotStore store;
    return store;
}
// Set once a snapshot has been refused: those after it name buffers of one the store lacks.
bool pageStoreBroken = false;

// The run's seeks from the page's store. Before the first snapshot (frame 0) has come, a seek
// forwards steps on from where the show is, and one backwards is left to the run.
class PageSeeker : public ShowSeeker {
  public:
    bool bringBefore(Show& show, int64_t next, int64_t frame) override {
        if (const ShowSnapshot* snapshot = pageStore().nearest(frame)) {
            bringShowBefore(show, next, frame, *snapshot);
            return true;
        }
        if (next < 0 || next > frame) return false;
        bringShowBefore(show, next, frame, next, [](Show&) {});
        return true;
    }
};

// The worker's builder and the bytes of the snapshot it made last.
struct PageIndexBuilder {
    PageIndexBuilder(std::unique_ptr<Show> prepared, double spacingMs, int maxSnapshots)
        : builder(std::move(prepared), SeekIndexOptions{spacingMs, true, false, maxSnapshots},
                  [] { return emscripten_get_now(); }) {}
    // The worker's thread does nothing but build: its time is the stepping's, but for the time
    // it waited for a processor, which the builder leaves out (SeekIndexOptions::wallClock).
    // Its memory counts and its time less: the writer compares by unpacking, keeping no copies.
    SeekIndexBuilder builder;
    std::optional<ShowSnapshot> previous; // the one sent last, whose buffers the next shares
    std::vector<uint8_t> record;
};

void reportFailure(const char* what) {
    try {
        throw;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", what, error.what());
    } catch (...) {
        std::fprintf(stderr, "%s\n", what);
    }
}

} // namespace

std::unique_ptr<ShowSeeker> makePageSeeker(const Show&, const ShowSeekerUse&) {
    return std::make_unique<PageSeeker>();
}

extern "C" {

EMSCRIPTEN_KEEPALIVE PageIndexBuilder* webIndexBuilderOpen(double spacingMs, int maxSnapshots) {
    if (!(spacingMs > 0) || maxSnapshots < 0) return nullptr;
    try {
        createServers();
        processFileServer()->open("_.dat");
        auto prepared = std::make_unique<Show>(); // stepped by the builder: no copy
        prepared->loadPicturesOneByOne();
        return new PageIndexBuilder(std::move(prepared), spacingMs, maxSnapshots);
    } catch (...) {
        reportFailure("the seek index cannot be built");
        return nullptr;
    }
}

EMSCRIPTEN_KEEPALIVE int webIndexBuild(PageIndexBuilder* index, double budgetMs) {
    if (index == nullptr) return -2;
    const double begin = emscripten_get_now();
    try {
        while (!index->builder.finished()) {
            if (std::optional<ShowSnapshot> snapshot = index->builder.next()) {
                index->record =
                    encodeSnapshot(*snapshot, index->previous ? &*index->previous : nullptr);
                index->previous = std::move(snapshot);
                return static_cast<int>(index->record.size());
            }
            if (emscripten_get_now() - begin > budgetMs) return 0;
        }
        return -1;
    } catch (...) {
        reportFailure("building the seek index failed");
        return -2;
    }
}

EMSCRIPTEN_KEEPALIVE const uint8_t* webIndexRecord(PageIndexBuilder* index) {
    return index != nullptr ? index->record.data() : nullptr;
}
EMSCRIPTEN_KEEPALIVE int webIndexFramesStepped(PageIndexBuilder* index) {
    return index != nullptr ? static_cast<int>(index->builder.framesStepped()) : 0;
}
EMSCRIPTEN_KEEPALIVE double webIndexStoredBytes(PageIndexBuilder* index) {
    return index != nullptr ? static_cast<double>(index->builder.storedBytes()) : 0;
}
EMSCRIPTEN_KEEPALIVE void webIndexBuilderRelease(PageIndexBuilder* index) {
    delete index;
}

EMSCRIPTEN_KEEPALIVE int webSeekIndexAdd(const uint8_t* bytes, int size) {
    if (pageStoreBroken) return 0;
    try {
        if (bytes == nullptr || size <= 0) throw std::invalid_argument("no bytes");
        SnapshotStore& store = pageStore();
        store.add(decodeSnapshot(bytes, static_cast<size_t>(size), store.last()));
        return 1;
    } catch (...) {
        reportFailure("a snapshot of the seek index was refused");
        pageStoreBroken = true;
        return 0;
    }
}
EMSCRIPTEN_KEEPALIVE int webSeekIndexSnapshots() {
    return pageStore().count();
}
EMSCRIPTEN_KEEPALIVE double webSeekIndexBytes() {
    return static_cast<double>(pageStore().storedBytes());
}
EMSCRIPTEN_KEEPALIVE int webSeekIndexLastFrame() {
    const ShowSnapshot* last = pageStore().last();
    return last != nullptr ? static_cast<int>(last->frame) : -1;
}
}
