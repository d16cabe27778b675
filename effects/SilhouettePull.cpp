// Silhouette pull: 3,000 random pixels become the keyed rozerid1 pixel below them plus twice
// themselves and their neighbours, over eleven.
#include "effects/SilhouettePull.h"

#include "effects/Stencil.h"

void silhouettePull(EffectContext& e, uint8_t* buffer, int width, int height) {
    const uint8_t* key = e.pictures.imageBuffers[rozerid1];
    const int rowBytes = width * 4;
    for (int i = 0; i < 3000; ++i) {
        const StencilPixel p = drawStencilTarget(e.random, buffer, width, height);
        const uint8_t* k = key + pixelOffset(p.x, p.y + 2, width);
        int out[3];
        for (int c = 0; c < 3; ++c)
            out[c] = (k[c] + 2 * (neighbourSum(p.target, c, rowBytes) + p.target[c])) / 11;
        for (int c = 0; c < 3; ++c)
            p.target[c] = static_cast<uint8_t>(out[c]);
    }
}
