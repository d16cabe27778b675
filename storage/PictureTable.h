// The show's sixteen pictures: their size and their names in the pack, in table order. The
// picture loader, the effects and the assets tool all take them from here.
#pragma once

constexpr int pictureWidth = 640;  // pixels
constexpr int pictureHeight = 240; // pixels

// Image buffers by the file they were filled from.
enum ImageIndex : int {
    dovari1,
    dovari2,
    dovari3,
    dovari4,
    dovari5,
    dovari6,
    dovari7,
    dovari8,
    rozerid1,
    rozerid2,
    rozerid3,
    rozerid8,
    rozerid9,
    rozerid10,
    rozerid11,
    rozerid12,
    imageCount
};

// Pack paths of the sixteen images, in table order.
inline constexpr const char* imagePaths[imageCount] = {
    "data/dovari1.jpg",  "data/dovari2.jpg",   "data/dovari3.jpg",   "data/dovari4.jpg",
    "data/dovari5.jpg",  "data/dovari6.jpg",   "data/dovari7.jpg",   "data/dovari8.jpg",
    "data/rozerid1.jpg", "data/rozerid2.jpg",  "data/rozerid3.jpg",  "data/rozerid8.jpg",
    "data/rozerid9.jpg", "data/rozerid10.jpg", "data/rozerid11.jpg", "data/rozerid12.jpg",
};
