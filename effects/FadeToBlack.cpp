// Fade to black: every channel of the picture times fadeLevel, truncated; the level falls by
// dt * 0.0005 per frame, so the darkening compounds.
#include "effects/FadeToBlack.h"

#include "effects/Pictures.h"

void fadeToBlack(FadeToBlackState& s, const FrameTime& time, uint8_t* buffer) {
    const double level = s.fadeLevel;
    // Each byte value maps to the same result every time: one table per frame.
    uint8_t scaled[256];
    for (int v = 0; v < 256; ++v)
        scaled[v] = static_cast<uint8_t>(static_cast<int>(v * level));
    uint8_t* p = buffer;
    for (int i = 0; i < pictureWidth * pictureHeight; ++i, p += 4) {
        p[0] = scaled[p[0]];
        p[1] = scaled[p[1]];
        p[2] = scaled[p[2]];
    }
    if (s.fadeLevel > 0) {
        const int dt = time.tickDelta;
        s.fadeLevel = static_cast<float>(s.fadeLevel - dt * 0.0005);
    }
}
