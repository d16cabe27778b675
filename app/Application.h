// The program's entry routine over a run, and the credits every run ends with.
#pragma once

#include "app/Run.h"

#include <string>

// The whole program for a command line, with the platform's pieces: a run opened, driven by
// the native main loop and closed. Returns the exit code: 0 for a normal end, "Sorry.", Escape
// or a closed window, a confirmed Cancel or a declined question; 1 after a fatal engine or
// export error; 3 when a service could not be created.
int demoMain(const std::string& commandLine, RunPlatform platform = {});

// The text of the credits box that ends every run.
const char* creditsText();
