// What the command line asks of video mode's export, read once by the run (app/CommandLine)
// and handed to the writer: no part of the export reads the command line itself.
#pragma once

#include <string>

struct ExportOptions {
    std::string out;     // out=FILE as given (case kept); "" for "_.avi"; "-" standard output
    std::string codec;   // codec=NAME lower-cased; "" lets the chooser ask
    int scale = 0;       // scale=N, 1 to 4; 0 for the container's own
    int crf = -1;        // crf=N; -1 for the codec's own
    int start = -1;      // start=TICKS, the clip's first tick; -1 from the show's start
    int end = -1;        // end=TICKS, where the run stops; -1 at the show's end
    std::string problem; // "" or why the words cannot be met: the writer refuses with it
};
