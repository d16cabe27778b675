// export-show: the program with its native platform pieces (the soundtrack, the export's
// writer as video mode's frame sink) on the null display, for the end-to-end tests.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/NativePlatform.h"

int main(int argc, char** argv) {
    return demoMain(joinArguments(argc, argv), nativeRunPlatform());
}
