// The chapters of an export: where each of the show's scenes begins in the file, for the
// containers that hold chapters and for the list printed after the export.
#pragma once

#include "media/ExportClip.h"

#include <cstdint>
#include <string>
#include <vector>

struct ExportChapter {
    int scene = 0;     // 1 to 9
    int64_t start = 0; // the file's frame where it begins: 0 for the file's first
    int64_t end = 0;   // where the next one begins; the file's frame count for the last
    std::string title() const { return "Scene " + std::to_string(scene); }
};

// The chapters of the frames the clip writes, in order. A scene begins on the first frame that
// shows it (the frame after the one on which the scene before hands on). The scene that runs
// at the clip's first frame begins at 0; scenes that begin before it, or whose first frame is
// not written, have none.
std::vector<ExportChapter> exportChapters(const ExportClip& clip);

// "m:ss Scene N" per chapter, one a line, each ending in a newline; the start time rounded
// down to the second, as a video site's description takes it.
std::string chapterLines(const std::vector<ExportChapter>& chapters, int frameRate);
