// The program's entry point: the platform is chosen here (the SDL display and message boxes,
// the soundtrack through the sound library, the export's writer as video mode's frame sink,
// saved frames as PNG files), then the arguments after the program name run as one command
// line.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "engine/MessageBox.h"
#include "engine/MessageBoxSdl.h"
#include "graphics/PlatformDisplay.h"
#include "graphics/PngFile.h"
#include "graphics/SdlDisplay.h"
#include "media/AviWriter.h"
#include "media/Music.h"

int main(int argc, char** argv) {
    setMessageBoxDialog(showSdlMessageBox);
    setDisplayPlatform(sdlDisplayPlatform());
    const std::string commandLine = joinArguments(argc, argv);
    RunPlatform platform;
    platform.music = {setUpMusic, startMusic, seekMusic, stopMusic, &musicStream};
    platform.music.pause = pauseMusic;
    platform.music.resume = resumeMusic;
    platform.music.setMuted = setMusicMuted;
    platform.music.positionMs = musicPositionMs;
    platform.savePicture = [](const std::string& path, const uint8_t* frame24, std::string& why) {
        return writePng(path, frame24, 640, 480, why);
    };
    platform.videoSink = [commandLine](const ExportOptions&, uint8_t* frame24, uint32_t* sound,
                                       const Show&) {
        return makeAviWriter(commandLine, frame24, sound);
    };
    return demoMain(commandLine, platform);
}
