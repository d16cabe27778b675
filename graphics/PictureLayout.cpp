// The picture's place and enlargement on screens of any size.
#include "graphics/PictureLayout.h"

#include <algorithm>

PictureLayout layoutPicture(int32_t screenWidth, int32_t screenHeight, int32_t pictureWidth,
                            int32_t pictureHeight, ScaleMode mode) {
    PictureLayout layout;
    if (screenWidth <= 0 || screenHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0)
        return layout;
    const int64_t sw = screenWidth, sh = screenHeight, pw = pictureWidth, ph = pictureHeight;

    // The fitted size: the limiting side filled exactly, the other rounded to the nearest.
    int64_t fitWidth = sw, fitHeight = sh;
    if (sw * ph <= sh * pw)
        fitHeight = (sw * ph + pw / 2) / pw;
    else
        fitWidth = (sh * pw + ph / 2) / ph;
    fitWidth = std::max<int64_t>(fitWidth, 1);
    fitHeight = std::max<int64_t>(fitHeight, 1);

    const int64_t whole = std::min(sw / pw, sh / ph); // largest whole factor that fits
    int64_t width = fitWidth, height = fitHeight;
    if (mode == ScaleMode::Sharp) {
        if (whole >= 1 && 4 * whole * ph >= 3 * fitHeight) {
            width = whole * pw;
            height = whole * ph;
        } else {
            layout.sharpFactor = static_cast<int32_t>(whole + 1);
        }
    }
    layout.width = static_cast<int32_t>(width);
    layout.height = static_cast<int32_t>(height);
    layout.x = static_cast<int32_t>((sw - width) / 2);
    layout.y = static_cast<int32_t>((sh - height) / 2);
    return layout;
}
