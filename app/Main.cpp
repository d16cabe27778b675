// The program's entry point: the platform is chosen here (the SDL display and message boxes,
// the soundtrack through the sound library, the AVI writer as video mode's frame sink), then
// the arguments after the program name run as one command line.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "engine/MessageBox.h"
#include "engine/MessageBoxSdl.h"
#include "graphics/SdlDisplay.h"
#include "media/AviWriter.h"
#include "media/Music.h"

int main(int argc, char** argv) {
    setMessageBoxDialog(showSdlMessageBox);
    setDisplayPlatform(sdlDisplayPlatform());
    setMusicPlayer({setUpMusic, startMusic, seekMusic, stopMusic, &musicStream});
    setVideoSinkMaker(makeAviWriter);
    return demoMain(joinArguments(argc, argv));
}
