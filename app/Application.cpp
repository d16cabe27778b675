// The entry routine and the credits.
#include "app/Application.h"

#include "app/MainLoop.h"

int demoMain(const std::string& commandLine, RunPlatform platform) {
    Run run(std::move(platform));
    if (run.open(commandLine)) runMainLoop(run);
    return run.close();
}

const char* creditsText() {
    return "\n\ncreated by ~north of nowhere~\n\n\n"
           "kestrel\nvisuals\naudio\n\n"
           "lumen\nvisuals\naudio\n\n"
           "quartz\naudio\n\n"
           "orbit\naudio\n\n\n\n\n";
}
