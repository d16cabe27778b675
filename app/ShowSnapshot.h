// A show saved as a value and put back. A snapshot holds everything a show changes as it is
// stepped: the picture buffers, the random sequence, the scene index and every effect's and
// scene's state, with the video frame the show steps next. Restoring the snapshot of frame k
// into a show and stepping it on the video frame clock from frame k gives exactly the frames
// of a show stepped from its start.
//
//     ShowSnapshot saved = takeSnapshot(show, frame);   // show about to step frame `frame`
//     ...
//     restoreSnapshot(saved, other);                    // other now steps frame `frame` next
//     other.step(videoFrameTime(frame), target);
//
// The buffers are stored compressed, each as a PackedBuffer that never changes once made, so
// snapshots share the buffers they have in common and copying a snapshot copies no pixels.
// SnapshotWriter takes the snapshots of one show as it goes on, storing again only the
// buffers that changed since its previous snapshot.
#pragma once

#include "app/Show.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The picture buffers of a show by number: 0 the effect buffer, 1 to 16 the image buffers in
// table order, 17 the work buffer.
constexpr int showBufferCount = imageCount + 2;
uint8_t* showBuffer(Pictures& pictures, int number);
const uint8_t* showBuffer(const Pictures& pictures, int number);

// Everything of a show but its buffers. The scenes' canvases, which point into the show's
// buffers, are kept as buffer numbers (-1: not set yet) and the pointers left null.
struct ShowState {
    RandomSequence random;
    int sceneIndex = 0;
    SceneState scene;
    int canvas7 = -1;
    int canvas8 = -1;
    EffectStates effects;
};
// Throws std::logic_error when a canvas points outside the show's buffers.
ShowState saveState(const Show& show);
// Throws std::invalid_argument for a canvas number or scene index out of range.
void restoreState(const ShowState& state, Show& show);

// One picture buffer's bufferBytes, compressed (zstd, on the bytes' differences from their
// left neighbours, plane by plane); never changed once made.
class PackedBuffer {
  public:
    explicit PackedBuffer(const uint8_t* buffer);
    // A buffer as storedRows and storedBytes of another gave it (sent from elsewhere); throws
    // std::invalid_argument when the rows are neither all nor the used ones, or the bytes do
    // not hold one compressed buffer of that size. Damage inside the bytes shows in unpack.
    PackedBuffer(int rows, std::vector<uint8_t> bytes);
    // Writes the bufferBytes back; throws std::runtime_error when the stored bytes do not
    // give exactly one buffer.
    void unpack(uint8_t* buffer) const;
    // Whether unpack would write exactly the bufferBytes at `buffer`; throws as unpack does.
    bool holds(const uint8_t* buffer) const;
    // The compressed size.
    size_t bytes() const { return data.size(); }
    // Rows stored; the rows after them are all zero and are not.
    int storedRows() const { return rows; }
    // The compressed bytes.
    const std::vector<uint8_t>& storedBytes() const { return data; }

  private:
    void unpackRows(uint8_t* pixels) const;

    int rows = 0; // rows stored; those after them are zero
    std::vector<uint8_t> data;
};

// A show just before it steps video frame `frame`.
struct ShowSnapshot {
    int64_t frame = 0;
    ShowState state;
    std::array<std::shared_ptr<const PackedBuffer>, showBufferCount> buffers;
};

// Saves the whole show, every buffer stored anew; `frame` is the video frame it steps next.
ShowSnapshot takeSnapshot(const Show& show, int64_t frame);
// Puts every buffer and all the state of the snapshot into show; throws as restoreState and
// PackedBuffer::unpack do (the show is then unusable until a restore succeeds).
void restoreSnapshot(const ShowSnapshot& snapshot, Show& show);

// Takes the snapshots of one show as it is stepped: a buffer equal to the one this writer
// stored last for the same number is shared, not stored again. To compare, it keeps a copy of
// the stored rows of each buffer it stored last (up to showBufferCount x bufferBytes), or,
// made with keepCopies false, unpacks the stored buffer each time instead: slower, and the
// copies' memory is not taken.
class SnapshotWriter {
  public:
    explicit SnapshotWriter(bool keepCopies = true) : keepCopies(keepCopies) {}
    ShowSnapshot take(const Show& show, int64_t frame);
    // Compressed bytes stored so far, each buffer counted once.
    size_t storedBytes() const { return stored; }
    // Buffers stored so far, and buffers shared instead of stored.
    int storedBuffers() const { return storedCount; }
    int sharedBuffers() const { return sharedCount; }

  private:
    std::array<std::shared_ptr<const PackedBuffer>, showBufferCount> last;
    std::array<std::vector<uint8_t>, showBufferCount> lastBytes; // with keepCopies
    bool keepCopies;
    size_t stored = 0;
    int storedCount = 0;
    int sharedCount = 0;
};

// A snapshot as bytes, for another copy of this program (the same build) to keep: its frame,
// its state and each buffer, or for a buffer that `previous` (the snapshot sent before it, or
// null) holds too, a mark saying so, so that shared buffers are sent and kept once.
std::vector<uint8_t> encodeSnapshot(const ShowSnapshot& snapshot, const ShowSnapshot* previous);
// The snapshot back from encodeSnapshot's bytes; `previous` must be the snapshot decoded from
// the bytes sent before them (null for the first), whose buffers it shares. Throws
// std::invalid_argument for bytes that are not such a snapshot: the wrong size or kind, a
// buffer marked shared without a previous snapshot, a state out of range.
ShowSnapshot decodeSnapshot(const uint8_t* bytes, size_t size, const ShowSnapshot* previous);
