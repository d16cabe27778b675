// export-show: the program with the soundtrack and the export's writer as its video sink, on
// the null display, for the end-to-end tests.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "media/AviWriter.h"
#include "media/Music.h"

int main(int argc, char** argv) {
    const std::string commandLine = joinArguments(argc, argv);
    RunPlatform platform;
    platform.music = {setUpMusic, startMusic, seekMusic, stopMusic, &musicStream};
    platform.videoSink = [commandLine](const ExportOptions&, uint8_t* frame24, uint32_t* sound,
                                       const Show&) {
        return makeAviWriter(commandLine, frame24, sound);
    };
    return demoMain(commandLine, platform);
}
