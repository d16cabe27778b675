// The timeline's layout at the sizes a screen has: at every size on whole pixels, inside the
// picture, the same drawing enlarged by a whole factor wherever the picture is; and a click
// lands on the tick its column is drawn for.
#include "graphics/Timeline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TimelineState aTimeline(int ticks, bool paused) {
    TimelineState state;
    state.ticks = ticks;
    state.lengthTicks = 63900;
    state.sceneStarts = {0, 12500, 19000, 25000, 27000, 41000, 42500, 47000, 59000};
    state.scene = 3;
    state.paused = paused;
    return state;
}

// The timeline drawn on black over the output, one grey value per pixel: each rectangle's
// own brightness (red + green + blue) over whatever it covers, blending left out.
std::vector<int> raster(const std::vector<TimelineRect>& rects, int width, int height) {
    std::vector<int> pixels(static_cast<size_t>(width) * height, 0);
    for (const TimelineRect& r : rects)
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x)
                if (x >= 0 && x < width && y >= 0 && y < height)
                    pixels[static_cast<size_t>(y) * width + x] = r.red + r.green + r.blue + 1;
    return pixels;
}

struct Output {
    int width, height;
    int unit; // dots of the design per pixel expected there
};
const Output outputs[] = {{640, 480, 1},   {1280, 720, 1},  {1366, 768, 1},
                          {1920, 1080, 2}, {2560, 1440, 3}, {3840, 2160, 4}};

} // namespace

TEST(Timeline, LiesInsideThePictureAndIsThe640x480OneEnlargedByAWholeFactor) {
    for (const Output& output : outputs) {
        const PictureLayout place =
            layoutPicture(output.width, output.height, 640, 480, ScaleMode::Sharp);
        const TimelineGeometry geometry = layoutTimeline(place, output.height);
        SCOPED_TRACE(std::to_string(output.width) + " x " + std::to_string(output.height));
        EXPECT_EQ(geometry.unit, output.unit) << "the factor follows the output's height";
        EXPECT_EQ(geometry.panelY + geometry.panelHeight, place.y + place.height)
            << "across the bottom of the picture";
        for (bool paused : {false, true})
            for (const TimelineRect& r : timelineRects(aTimeline(23456, paused), geometry)) {
                EXPECT_GT(r.width, 0);
                EXPECT_GT(r.height, 0);
                EXPECT_GE(r.x, place.x) << "inside the picture";
                EXPECT_LE(r.x + r.width, place.x + place.width) << "inside the picture";
                EXPECT_GE(r.y, place.y) << "inside the picture";
                EXPECT_LE(r.y + r.height, place.y + place.height) << "inside the picture";
            }
    }

    // Where the picture is enlarged N times, the timeline is the 640 x 480 one enlarged N
    // times, pixel for pixel: text, marks and knob alike.
    const TimelineGeometry small =
        layoutTimeline(layoutPicture(640, 480, 640, 480, ScaleMode::Sharp), 480);
    for (const Output& output : outputs) {
        const PictureLayout place =
            layoutPicture(output.width, output.height, 640, 480, ScaleMode::Sharp);
        if (place.width != 640 * output.unit || place.sharpFactor != 0) continue;
        const TimelineGeometry large = layoutTimeline(place, output.height);
        for (bool paused : {false, true}) {
            const std::vector<int> one =
                raster(timelineRects(aTimeline(23456, paused), small), 640, 480);
            const std::vector<int> many =
                raster(timelineRects(aTimeline(23456, paused), large), output.width, output.height);
            int differing = 0;
            for (int y = 0; y < place.height; ++y)
                for (int x = 0; x < place.width; ++x)
                    differing +=
                        many[static_cast<size_t>(place.y + y) * output.width + place.x + x] !=
                        one[static_cast<size_t>(y / output.unit) * 640 + x / output.unit];
            EXPECT_EQ(differing, 0) << output.width << " x " << output.height
                                    << (paused ? ", paused" : "") << ": the 640 x 480 timeline "
                                    << "enlarged " << output.unit << " times";
        }
    }
}

TEST(Timeline, AClickLandsOnTheTickItsColumnIsDrawnFor) {
    for (const Output& output : outputs) {
        const PictureLayout place =
            layoutPicture(output.width, output.height, 640, 480, ScaleMode::Sharp);
        const TimelineGeometry geometry = layoutTimeline(place, output.height);
        SCOPED_TRACE(std::to_string(output.width) + " x " + std::to_string(output.height));
        const int dotTicks = 63900 / (geometry.trackWidth / geometry.unit) + 1;
        for (int ticks : {0, 1, 12500, 31950, 47000, 63899, 63900}) {
            // The played part of the track ends at the position's column.
            const std::vector<TimelineRect> rects =
                timelineRects(aTimeline(ticks, false), geometry);
            ASSERT_GE(rects.size(), 3u);
            const int column = rects[2].x + rects[2].width;
            const int landed = timelineTicksAt(geometry, aTimeline(0, false), column);
            EXPECT_LE(landed, ticks) << "a click on the position's column, drawn for " << ticks;
            EXPECT_LT(ticks - landed, dotTicks) << "lands within one dot of it";
        }
        const TimelineState state = aTimeline(0, false);
        EXPECT_EQ(timelineTicksAt(geometry, state, place.x), 0) << "left of the track: the start";
        EXPECT_EQ(timelineTicksAt(geometry, state, place.x + place.width - 1), 63900)
            << "right of it: the end";
        const int middleY = geometry.panelY + geometry.panelHeight / 2;
        EXPECT_TRUE(onTimeline(geometry, place.x + place.width / 2, middleY));
        EXPECT_FALSE(onTimeline(geometry, place.x + place.width / 2, geometry.panelY - 1))
            << "above the panel is the picture";
        EXPECT_FALSE(onTimeline(geometry, place.x - 1, middleY)) << "beside it the black bars";
    }
    EXPECT_EQ(layoutTimeline(layoutPicture(200, 150, 640, 480, ScaleMode::Sharp), 150).unit, 0)
        << "a picture too small for the timeline gets none";
    EXPECT_TRUE(timelineRects(aTimeline(0, true), TimelineGeometry()).empty());
}
