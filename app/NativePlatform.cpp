// The native program's platform pieces.
#include "app/NativePlatform.h"

#include "app/SeekIndex.h"
#include "app/SeekIndexFile.h"
#include "app/Show.h"
#include "graphics/PngFile.h"
#include "media/AviWriter.h"
#include "media/Music.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

// The folder of the seek index files under the cache folder, and how many of them are kept
// there (one per pack and build).
constexpr const char* programName = "demo";
constexpr size_t keptIndexFiles = 4;

void say(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

// The viewer's seeks, start= and a clip's start. In playback, snapshots of the show are built
// beside the run from its start; once they cover the whole show they are written to disk for
// later runs of the same pack and build, whose start= (and a clip's start in video mode) they
// bring nearer at once, as they do the seeks that lie beyond the snapshots made so far.
class IndexSeeker : public ShowSeeker {
  public:
    IndexSeeker(const Show& prepared, const ShowSeekerUse& use) {
        if (use.savedIndex) openSaved(prepared, use.packName);
        if (use.videoMode) return;
        index = std::make_unique<SeekIndex>(prepared);
        if (saved == nullptr && !path.empty()) writer = std::thread([this] { keepWhenBuilt(); });
    }
    ~IndexSeeker() override {
        stopping = true;
        if (index != nullptr) index->stop();
        if (writer.joinable()) writer.join();
    }
    IndexSeeker(const IndexSeeker&) = delete;
    IndexSeeker& operator=(const IndexSeeker&) = delete;

    bool bringBefore(Show& show, int64_t next, int64_t frame) override {
        // Once the index beside the run is complete it is as near everywhere as the file, whose
        // buffers read so far are then let go.
        if (saved != nullptr && index->built()) saved.reset();
        // The nearest of what the show is at and the snapshots made so far, unless the file
        // has a nearer one.
        int64_t nearest = next >= 0 && next <= frame ? next : -1;
        const std::vector<int64_t> made = index->snapshotFrames();
        const auto after = std::upper_bound(made.begin(), made.end(), frame);
        if (after != made.begin()) nearest = std::max(nearest, *(after - 1));
        if (restoreSaved(show, nearest, frame)) next = savedFrameAtOrBefore(frame);
        index->bringBefore(show, next, frame);
        return true;
    }

    int64_t restoreNearest(Show& show, int64_t next, int64_t frame) override {
        return restoreSaved(show, next, frame) ? savedFrameAtOrBefore(frame) : next;
    }

  private:
    void openSaved(const Show& prepared, const std::string& packName) {
        const std::string folder = seekFileFolder(programName);
        if (folder.empty()) {
            say("no seek index on disk: neither XDG_CACHE_HOME nor HOME names a folder");
            return;
        }
        std::ifstream packFile(packName, std::ios::binary);
        const std::vector<uint8_t> pack((std::istreambuf_iterator<char>(packFile)),
                                        std::istreambuf_iterator<char>());
        const std::string build = programBuildIdentity();
        if (!packFile.is_open() || build.empty()) {
            say("no seek index on disk: the pack or the program cannot be read to name it");
            return;
        }
        key = seekFileKey(pack, prepared, build);
        path = seekFilePath(folder, key);
        std::string why;
        saved = SeekIndexFile::open(path, key, why);
        if (saved == nullptr) say("seek index on disk not used (" + path + "): " + why);
    }

    int64_t savedFrameAtOrBefore(int64_t frame) const {
        const int number = saved != nullptr ? saved->nearestAtOrBefore(frame) : -1;
        return number >= 0 ? saved->frames()[static_cast<size_t>(number)] : -1;
    }

    // Restores the file's snapshot nearest at or before frame into show when it lies after
    // `nearest`; false when there is none. A damaged one is said once, and the file is no
    // longer used: the show is only changed once the snapshot has been read whole and checked.
    bool restoreSaved(Show& show, int64_t nearest, int64_t frame) {
        const int number = saved != nullptr ? saved->nearestAtOrBefore(frame) : -1;
        if (number < 0 || saved->frames()[static_cast<size_t>(number)] <= nearest) return false;
        ShowSnapshot snapshot;
        try {
            snapshot = saved->read(static_cast<size_t>(number));
        } catch (const std::exception& e) {
            // Not used again, here or by a later run: playback writes it anew once its own
            // index is complete.
            say("seek index on disk not used (" + path + "): " + e.what());
            saved.reset();
            std::remove(path.c_str());
            if (index != nullptr && !writer.joinable())
                writer = std::thread([this] { keepWhenBuilt(); });
            return false;
        }
        restoreSnapshot(snapshot, show);
        return true;
    }

    // The builder's thread has ended: a complete index is written for later runs.
    void keepWhenBuilt() {
        index->waitUntilBuilt();
        if (stopping || index->figures().failed) return;
        std::string why;
        if (!writeSeekIndexFile(path, key, index->snapshotsMade(), why, &stopping)) {
            if (!stopping) say("the seek index is not kept on disk: " + why);
            return;
        }
        pruneSeekIndexFiles(path.substr(0, path.find_last_of('/')), keptIndexFiles, path);
        std::string why2;
        const auto written = SeekIndexFile::open(path, key, why2, false);
        if (written != nullptr)
            say("seek index kept on disk for later runs: " + path + " (" +
                std::to_string(written->bytes() / 1000000) + " MB)");
    }

    SeekFileKey key{};
    std::string path; // "" without a file
    std::unique_ptr<SeekIndexFile> saved;
    std::unique_ptr<SeekIndex> index; // playback
    std::atomic<bool> stopping{false};
    std::thread writer;
};

} // namespace

RunPlatform nativeRunPlatform() {
    RunPlatform platform;
    platform.music = {setUpMusic, startMusic, seekMusic, stopMusic, &musicStream};
    platform.music.pause = pauseMusic;
    platform.music.resume = resumeMusic;
    platform.music.setMuted = setMusicMuted;
    platform.music.positionMs = musicPositionMs;
    platform.savePicture = [](const std::string& path, const uint8_t* frame24, std::string& why) {
        return writePng(path, frame24, 640, 480, why);
    };
    platform.videoSink = [](const ExportOptions& options, uint8_t* frame24, uint32_t* sound,
                            const Show&) { return makeAviWriter(options, frame24, sound); };
    platform.showSeeker = [](const Show& prepared,
                             const ShowSeekerUse& use) -> std::unique_ptr<ShowSeeker> {
        return std::make_unique<IndexSeeker>(prepared, use);
    };
    return platform;
}
