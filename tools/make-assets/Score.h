// The soundtrack's score: nine sections that begin where the show's scenes begin, each with its
// tempo, key, chord progression and band, turned into a list of notes.
#pragma once

#include "app/SceneTable.h"
#include "tools/make-assets/Synth.h"

#include <cstdint>
#include <vector>

constexpr int sectionCount = sceneCount;

// Start tick (1/71 s) of section index, 0 ... sectionCount; sectionCount gives the show's end.
constexpr int sectionTick(int index) {
    return index == 0 ? 0 : sceneEndTicks[index - 1];
}

// Frame (at soundtrackRate) of a show tick.
int64_t frameOfTick(int64_t tick);

// Every note of the whole piece, ordered by start frame.
std::vector<NoteEvent> composeScore();

// Overall level at a frame: a short fade-in at the start, a long fade-out into the show's end.
float masterLevel(int64_t frame);
