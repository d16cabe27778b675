// demo-render --seek-check: seeks in the show through a seek index and checks every frame
// reached against the frame a render that never stopped gives.
#pragma once

#include <string>

struct SeekCheckOptions {
    std::string pack = "_.dat";
    int targets = 200;      // seeks, to ticks drawn from a fixed-seed sequence
    double spacingMs = 0.0; // the index's spacing in ms of stepping; 0: its default
};

// Builds the index, renders the show once in video mode (digesting only the frames sought),
// then seeks to each target in turn and compares. Prints one line:
//   seek p50 X ms p95 Y ms max Z ms; index M MB, built in S s; E/N frames exact
// Returns 0 when every frame is exact, 1 when one differs or the show could not be rendered.
int runSeekCheck(const SeekCheckOptions& options);
