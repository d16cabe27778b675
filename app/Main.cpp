// The program's entry point: the platform is chosen here (the SDL display and message boxes,
// and the native pieces of app/NativePlatform.h), then the arguments after the program name
// run as one command line.
#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/NativePlatform.h"
#include "engine/MessageBox.h"
#include "engine/MessageBoxSdl.h"
#include "graphics/PlatformDisplay.h"
#include "graphics/SdlDisplay.h"

int main(int argc, char** argv) {
    setMessageBoxDialog(showSdlMessageBox);
    setDisplayPlatform(sdlDisplayPlatform());
    return demoMain(joinArguments(argc, argv), nativeRunPlatform());
}
