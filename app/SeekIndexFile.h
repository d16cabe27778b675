// The seek index kept on disk between runs. An index built beside a run starts at the show's
// first frame, so it cannot bring a later run to its start= sooner than stepping does; the
// snapshots of a complete index, written to a file, can:
//
//     const SeekFileKey key = seekFileKey(packBytes, preparedShow, programBuildIdentity());
//     const std::string path = seekFilePath(seekFileFolder("demo"), key);
//     writeSeekIndexFile(path, key, index.snapshotsMade(), why);      // once the index is built
//     ...                                                              // a later run:
//     std::unique_ptr<SeekIndexFile> saved = SeekIndexFile::open(path, key, why);
//     restoreSnapshot(saved->read(saved->nearestAtOrBefore(frame)), show);
//
// A file holds the snapshots of one pack with the pictures prepared from it, stepped by one
// build of the program: the key, a digest of all three, names the file and is checked inside it,
// so a file made for another pack or another build (whose frames could differ) is never used.
// Every part of the file carries its own checksum, read and checked only when it is used: a
// damaged, truncated or foreign file is refused with the reason, never read out of bounds.
//
// The file, in the host's byte order (the key ties it to one build on one machine kind): a
// 128-byte header, the compressed buffers (each stored once, however many snapshots share
// it), the snapshots' other state, and a table of both at the end.
#pragma once

#include "app/ShowSnapshot.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What a file's snapshots hold for: a SHA-256 digest.
using SeekFileKey = std::array<uint8_t, 32>;

// The running program's build: "build-id " and the GNU build-id of its executable in hex, or
// where it has none "exe " and the SHA-256 of the executable's file; "" when neither is had.
std::string programBuildIdentity();

// The key of the pack's bytes, the pictures prepared from them (all of the show's buffers before
// its first step) and a build identity.
SeekFileKey seekFileKey(const std::vector<uint8_t>& packBytes, const Show& prepared,
                        const std::string& buildIdentity);

// The folder of the program's files: $XDG_CACHE_HOME/program, else $HOME/.cache/program (each
// variable only when it holds an absolute path); "" when there is none.
std::string seekFileFolder(const std::string& program);

// The file of a key in folder: 32 hex digits of the key, ".seek".
std::string seekFilePath(const std::string& folder, const SeekFileKey& key);

// Writes the snapshots (by frame, ascending) as the file at path, its folder made when missing:
// into a temporary file beside it, renamed over path once complete, so that a reader finds the
// old file or the new one, never a part. False, with why, when it cannot; `stop`, once set,
// abandons the write. Nothing but path is left behind either way.
bool writeSeekIndexFile(const std::string& path, const SeekFileKey& key,
                        const std::vector<ShowSnapshot>& snapshots, std::string& why,
                        const std::atomic<bool>* stop = nullptr);

// Removes all but the `keep` most recently written seek index files of folder (other builds'
// and packs' files grow old there), and the temporary files of writes that never ended, a day
// on; the file `spared` is never removed.
void pruneSeekIndexFiles(const std::string& folder, size_t keep, const std::string& spared);

class SeekIndexFile {
  public:
    // Opens the file and checks its header and table (their checksums, the key, every offset
    // and count against the file's size): null, with why, for a missing, unreadable, truncated,
    // damaged or foreign file. checkSums false leaves the checksums unchecked (for fuzzing
    // what lies behind them; everything else is still checked).
    static std::unique_ptr<SeekIndexFile> open(const std::string& path, const SeekFileKey& key,
                                               std::string& why, bool checkSums = true);
    ~SeekIndexFile();
    SeekIndexFile(const SeekIndexFile&) = delete;
    SeekIndexFile& operator=(const SeekIndexFile&) = delete;

    // The snapshots' frames, ascending.
    const std::vector<int64_t>& frames() const { return snapshotFrames; }
    // The last snapshot at or before frame; -1 when there is none.
    int nearestAtOrBefore(int64_t frame) const;
    // Snapshot `number` (0 ... frames().size() - 1) with its buffers, read and checked; throws
    // std::runtime_error when its bytes are damaged, std::out_of_range for another number.
    // Buffers read once are kept for later reads.
    ShowSnapshot read(size_t number);
    // The file's size in bytes.
    uint64_t bytes() const { return fileBytes; }

  private:
    struct Blob;
    struct Entry;
    SeekIndexFile() = default;
    void readAt(uint64_t offset, uint8_t* out, size_t count) const;

    int fd = -1;
    bool checkSums = true;
    uint64_t fileBytes = 0;
    std::vector<Blob> blobs;
    std::vector<Entry> entries;
    std::vector<int64_t> snapshotFrames;
    std::vector<std::shared_ptr<const PackedBuffer>> unpacked; // by blob, once read
};
