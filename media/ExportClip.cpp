// The clip's frames on the show's video clock.
#include "media/ExportClip.h"

#include "app/ShowClock.h"

ExportClip exportClip(int startTicks, int endTicks) {
    ExportClip clip;
    // The loop stops before a frame once the clock (the ticks after the frame before) reaches
    // end=; frame 0 is drawn at tick 0. The frame drawn at showEndTicks or later ends the show.
    const bool ends = endTicks >= 0 && endTicks <= showEndTicks;
    const int last = ends ? endTicks : showEndTicks;
    if (endTicks == 0) {
        clip.problem = "end=0 leaves no frame to export - the show's first frame is drawn at "
                       "tick 0, so end= takes a tick count above 0";
        return clip;
    }
    // Frames j with videoFrameTicks(j) < last: those before the first drawn at or after it.
    const int64_t before = firstVideoFrameAt(last) - 1;
    clip.frameCount = 1 + before + (ends ? 0 : 1);
    if (startTicks <= 0) return clip;
    if (startTicks >= showEndTicks) {
        clip.problem = "start=" + std::to_string(startTicks) +
                       " is past the show's end - start= takes a tick count below " +
                       std::to_string(showEndTicks);
        return clip;
    }
    if (endTicks >= 0 && startTicks >= endTicks) {
        clip.problem = "start=" + std::to_string(startTicks) +
                       " is not before end=" + std::to_string(endTicks) +
                       " - the clip would be empty";
        return clip;
    }
    // The first frame whose ticks after it reach start=: the one before the first drawn there.
    clip.firstFrame = firstVideoFrameAt(startTicks) - 1;
    if (clip.firstFrame >= clip.frameCount)
        clip.problem = "start=" + std::to_string(startTicks) + " end=" + std::to_string(endTicks) +
                       " leave no frame to export";
    return clip;
}
