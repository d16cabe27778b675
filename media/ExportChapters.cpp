// The scenes of the show as chapters of the exported frames.
#include "media/ExportChapters.h"

#include "app/ShowClock.h"

#include <cstdio>

std::vector<ExportChapter> exportChapters(const ExportClip& clip) {
    std::vector<ExportChapter> chapters;
    if (!clip.problem.empty() || clip.frameCount <= clip.firstFrame) return chapters;
    const int64_t written = clip.frameCount - clip.firstFrame;
    for (int scene = 0; scene < sceneCount; ++scene) {
        const int64_t first = sceneFirstFrame(scene);
        if (first >= clip.frameCount) break;
        const int64_t start = first > clip.firstFrame ? first - clip.firstFrame : 0;
        // A scene that began before the clip gives way to a later one that did too.
        if (start == 0 && !chapters.empty()) chapters.pop_back();
        if (!chapters.empty()) chapters.back().end = start;
        chapters.push_back({scene + 1, start, written});
    }
    return chapters;
}

std::string chapterLines(const std::vector<ExportChapter>& chapters, int frameRate) {
    std::string lines;
    if (frameRate <= 0) return lines;
    for (const ExportChapter& chapter : chapters) {
        const int64_t seconds = chapter.start / frameRate;
        char line[64];
        std::snprintf(line, sizeof line, "%lld:%02lld %s\n", static_cast<long long>(seconds / 60),
                      static_cast<long long>(seconds % 60), chapter.title().c_str());
        lines += line;
    }
    return lines;
}
