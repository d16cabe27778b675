// The timeline a display draws over the picture, in the output's own pixels: where it lies,
// the rectangles that draw it and where a click on it lands. Portable: the SDL display fills
// the rectangles.
//
// Its design is laid out in dots of `unit` output pixels, a whole number chosen from the
// output's height (one dot per pixel up to 959 rows, two up to 1,439, three up to 1,919, four
// from 1,920), so at every size each rectangle covers whole pixels and the text stays crisp:
//
//   - a panel 36 dots high across the bottom of the picture, darkening it;
//   - the track 4 dots high, 8 dots in from both ends, filled up to the position, with a mark
//     2 dots wide at each scene's start and a knob at the position (positions are whole dots
//     too, so a picture enlarged N times has the 640 x 480 timeline enlarged N times);
//   - below it the pause mark (while paused), the time as "mm:ss / mm:ss" and "SCENE n", in
//     a 5 x 7 font whose every font pixel is 2 x 2 dots.
#pragma once

#include "graphics/PictureLayout.h"
#include "graphics/ViewerCommand.h"

#include <cstdint>
#include <vector>

// A rectangle to fill, blended with its alpha (255: opaque).
struct TimelineRect {
    int32_t x = 0, y = 0, width = 0, height = 0;
    uint8_t red = 0, green = 0, blue = 0, alpha = 255;
};

struct TimelineGeometry {
    int32_t unit = 0; // output pixels per dot; 0: the picture is too small for a timeline
    int32_t panelX = 0, panelY = 0, panelWidth = 0, panelHeight = 0;
    int32_t trackX = 0, trackY = 0, trackWidth = 0, trackHeight = 0;
};

// The timeline over a picture at `place` on an output `outputHeight` pixels high.
TimelineGeometry layoutTimeline(const PictureLayout& place, int32_t outputHeight);

// The rectangles that draw the timeline, back to front; none without a geometry or a length.
std::vector<TimelineRect> timelineRects(const TimelineState& state,
                                        const TimelineGeometry& geometry);

// Whether the output pixel (x, y) lies on the timeline's panel.
bool onTimeline(const TimelineGeometry& geometry, int32_t x, int32_t y);

// The tick that column x of the track stands for, 0 ... the length (clamped at the ends).
int timelineTicksAt(const TimelineGeometry& geometry, const TimelineState& state, int32_t x);
