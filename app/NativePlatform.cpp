// The native program's platform pieces.
#include "app/NativePlatform.h"

#include "app/SeekIndex.h"
#include "app/Show.h"
#include "graphics/PngFile.h"
#include "media/AviWriter.h"
#include "media/Music.h"

namespace {

// The viewer's seeks through snapshots of the show, built beside the run from its start.
class IndexSeeker : public ShowSeeker {
  public:
    explicit IndexSeeker(const Show& prepared) : index(prepared) {}
    bool bringBefore(Show& show, int64_t next, int64_t frame) override {
        index.bringBefore(show, next, frame);
        return true;
    }

  private:
    SeekIndex index;
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
    platform.showSeeker = [](const Show& prepared) -> std::unique_ptr<ShowSeeker> {
        return std::make_unique<IndexSeeker>(prepared);
    };
    return platform;
}
