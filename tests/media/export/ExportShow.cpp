// export-show: the program with the soundtrack and the AVI writer as its video sink, on the
// null display, for the end-to-end tests.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "media/AviWriter.h"
#include "media/Music.h"

int main(int argc, char** argv) {
    setMusicPlayer({setUpMusic, startMusic, seekMusic, stopMusic, &musicStream});
    setVideoSinkMaker(makeAviWriter);
    return demoMain(joinArguments(argc, argv));
}
