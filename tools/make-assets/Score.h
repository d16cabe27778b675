// The soundtrack's score: nine sections that begin where the show's scenes begin, each with its
// tempo, key, chord progression and band, turned into a list of notes.
#pragma once

#include "tools/make-assets/Synth.h"

#include <cstdint>
#include <vector>

// Scene starts in show ticks (1/71 s): the section boundaries, and the end of the show.
constexpr int sectionTicks[] = {0, 12500, 19000, 25000, 27000, 41000, 42500, 47000, 59000, 63900};
constexpr int sectionCount = 9;

// Frame (at soundtrackRate) of a show tick.
int64_t frameOfTick(int64_t tick);

// Every note of the whole piece, ordered by start frame.
std::vector<NoteEvent> composeScore();

// Overall level at a frame: a short fade-in at the start, a long fade-out into the show's end.
float masterLevel(int64_t frame);
