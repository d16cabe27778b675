// export-show: the program with the AVI writer as its video sink, for the end-to-end tests.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "media/AviWriter.h"

int main(int argc, char** argv) {
    setVideoSinkMaker(makeAviWriter);
    return demoMain(joinArguments(argc, argv));
}
