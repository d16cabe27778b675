// Where the 640 x 480 picture goes on a screen or window of any size, and how it is enlarged.
// Portable: the SDL display draws what this decides.
#pragma once

#include <cstdint>

enum class ScaleMode {
    Sharp, // whole-number enlargements where they fill enough, else sharp scaling (below)
    Fit,   // the picture fills the screen's height (or width), nearest neighbour throughout
};

// The picture's place on the screen, in the screen's own pixels (its drawable size, not its
// points on a high-DPI screen).
struct PictureLayout {
    int32_t x = 0;      // left column of the picture
    int32_t y = 0;      // top row of the picture
    int32_t width = 0;  // columns the picture covers
    int32_t height = 0; // rows the picture covers
    // 0: the picture is drawn straight to its place with nearest neighbour (a whole-number
    // enlargement, or Fit). N >= 1: sharp scaling: the picture is first enlarged N times with
    // nearest neighbour, then that is drawn down to its place with linear filtering, so every
    // source row keeps the same height and only the edges between rows are blended.
    int32_t sharpFactor = 0;
};

// The layout for a picture of pictureWidth x pictureHeight on a screen of screenWidth x
// screenHeight pixels, centred, aspect kept. Sharp: the largest whole-number enlargement that
// fits whenever it covers at least three quarters of the height the fitted picture would have
// (1920 x 1080: 2 x; 2560 x 1440: 3 x); below that, sharp scaling to the fitted size with the
// next whole number as its factor (1366 x 768: 1.6 x through 2 x). Any size of zero or less
// gives an empty layout.
PictureLayout layoutPicture(int32_t screenWidth, int32_t screenHeight, int32_t pictureWidth,
                            int32_t pictureHeight, ScaleMode mode);
