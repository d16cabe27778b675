// The timeline's layout in dots, its 5 x 7 font and the mapping of the track to ticks.
#include "graphics/Timeline.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

// The design, in dots.
constexpr int32_t panelDots = 36;
constexpr int32_t marginDots = 8;   // track and text from the panel's ends
constexpr int32_t trackTopDots = 6; // from the panel's top
constexpr int32_t trackDots = 4;
constexpr int32_t markOverhangDots = 3; // scene marks reach beyond the track
constexpr int32_t knobOverhangDots = 4;
constexpr int32_t textTopDots = 18;
constexpr int32_t fontDots = 2;                    // dots per font pixel
constexpr int32_t glyphAdvanceDots = 6 * fontDots; // 5 pixels and a gap
constexpr int32_t pauseBarDots = 4;                // two bars, 4 dots apart
constexpr int32_t textAfterPauseDots = 28;         // where the time begins
constexpr int32_t rowsPerDot = 480;                // output rows per dot of unit

struct Glyph {
    char character;
    uint8_t rows[7]; // five pixels, the leftmost in bit 4
};

constexpr Glyph font[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
};

const Glyph* glyphOf(char character) {
    for (const Glyph& glyph : font)
        if (glyph.character == character) return &glyph;
    return nullptr; // a blank
}

TimelineRect rect(int32_t x, int32_t y, int32_t width, int32_t height, uint8_t red, uint8_t green,
                  uint8_t blue, uint8_t alpha = 255) {
    TimelineRect r;
    r.x = x;
    r.y = y;
    r.width = width;
    r.height = height;
    r.red = red;
    r.green = green;
    r.blue = blue;
    r.alpha = alpha;
    return r;
}

// Text in white from (x, y), one rectangle per run of lit font pixels in a row.
void addText(std::vector<TimelineRect>& rects, const std::string& text, int32_t x, int32_t y,
             int32_t unit) {
    const int32_t pixel = fontDots * unit;
    for (char character : text) {
        if (const Glyph* glyph = glyphOf(character)) {
            for (int row = 0; row < 7; ++row) {
                int column = 0;
                while (column < 5) {
                    if ((glyph->rows[row] & (0x10 >> column)) == 0) {
                        ++column;
                        continue;
                    }
                    const int first = column;
                    while (column < 5 && (glyph->rows[row] & (0x10 >> column)) != 0)
                        ++column;
                    rects.push_back(rect(x + first * pixel, y + row * pixel,
                                         (column - first) * pixel, pixel, 255, 255, 255));
                }
            }
        }
        x += glyphAdvanceDots * unit;
    }
}

int32_t textWidth(const std::string& text, int32_t unit) {
    return static_cast<int32_t>(text.size()) * glyphAdvanceDots * unit - fontDots * unit;
}

// "mm:ss" of a tick count; minutes beyond 99 are shown whole.
std::string clockText(int ticks, int ticksPerSecond) {
    const int seconds = std::max(ticks, 0) / std::max(ticksPerSecond, 1);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", seconds / 60, seconds % 60);
    return text;
}

// The column of the track that stands for `ticks`: a whole dot, as everything is.
int32_t trackColumn(const TimelineGeometry& geometry, int ticks, int lengthTicks) {
    const int64_t clamped = std::clamp(ticks, 0, lengthTicks);
    const int64_t dots = geometry.trackWidth / geometry.unit;
    return geometry.trackX +
           static_cast<int32_t>(clamped * dots / std::max(lengthTicks, 1)) * geometry.unit;
}

} // namespace

TimelineGeometry layoutTimeline(const PictureLayout& place, int32_t outputHeight) {
    TimelineGeometry geometry;
    const int32_t unit = std::max<int32_t>(1, outputHeight / rowsPerDot);
    // Room for the track and the time with the scene beside it, on a picture that shows more
    // than the panel.
    if (place.width < 280 * unit || place.height < 2 * panelDots * unit) return geometry;
    geometry.unit = unit;
    geometry.panelX = place.x;
    geometry.panelWidth = place.width;
    geometry.panelHeight = panelDots * unit;
    geometry.panelY = place.y + place.height - geometry.panelHeight;
    geometry.trackX = place.x + marginDots * unit;
    geometry.trackWidth = (place.width / unit - 2 * marginDots) * unit;
    geometry.trackY = geometry.panelY + trackTopDots * unit;
    geometry.trackHeight = trackDots * unit;
    return geometry;
}

std::vector<TimelineRect> timelineRects(const TimelineState& state,
                                        const TimelineGeometry& geometry) {
    std::vector<TimelineRect> rects;
    const int32_t unit = geometry.unit;
    if (unit <= 0 || state.lengthTicks <= 0) return rects;
    const TimelineGeometry& g = geometry;
    rects.push_back(rect(g.panelX, g.panelY, g.panelWidth, g.panelHeight, 0, 0, 0, 176));

    const int32_t position = trackColumn(g, state.ticks, state.lengthTicks);
    rects.push_back(rect(g.trackX, g.trackY, g.trackWidth, g.trackHeight, 110, 110, 110));
    rects.push_back(rect(g.trackX, g.trackY, position - g.trackX, g.trackHeight, 235, 235, 235));
    for (int start : state.sceneStarts) {
        const int32_t column = trackColumn(g, start, state.lengthTicks);
        rects.push_back(rect(column - unit, g.trackY - markOverhangDots * unit, 2 * unit,
                             g.trackHeight + 2 * markOverhangDots * unit, 255, 190, 40));
    }
    rects.push_back(rect(position - 2 * unit, g.trackY - knobOverhangDots * unit, 4 * unit,
                         g.trackHeight + 2 * knobOverhangDots * unit, 255, 255, 255));

    const int32_t textY = g.panelY + textTopDots * unit;
    const int32_t textHeight = 7 * fontDots * unit;
    const int32_t left = g.panelX + marginDots * unit;
    if (state.paused) {
        rects.push_back(rect(left, textY, pauseBarDots * unit, textHeight, 255, 255, 255));
        rects.push_back(rect(left + 2 * pauseBarDots * unit, textY, pauseBarDots * unit, textHeight,
                             255, 255, 255));
    }
    addText(rects,
            clockText(state.ticks, state.ticksPerSecond) + " / " +
                clockText(state.lengthTicks, state.ticksPerSecond),
            g.panelX + textAfterPauseDots * unit, textY, unit);
    const std::string scene = "SCENE " + std::to_string(state.scene);
    addText(rects, scene, g.trackX + g.trackWidth - textWidth(scene, unit), textY, unit);
    return rects;
}

bool onTimeline(const TimelineGeometry& geometry, int32_t x, int32_t y) {
    return geometry.unit > 0 && x >= geometry.panelX && x < geometry.panelX + geometry.panelWidth &&
           y >= geometry.panelY && y < geometry.panelY + geometry.panelHeight;
}

int timelineTicksAt(const TimelineGeometry& geometry, const TimelineState& state, int32_t x) {
    if (geometry.unit <= 0 || geometry.trackWidth <= 0 || state.lengthTicks <= 0) return 0;
    const int64_t dot = std::clamp(x - geometry.trackX, 0, geometry.trackWidth) / geometry.unit;
    return static_cast<int>(dot * state.lengthTicks / (geometry.trackWidth / geometry.unit));
}
