// Brighten blur: 50,000 random pixels become a third of their four neighbours plus one,
// limited to 255.
#include "effects/BrightenBlur.h"

#include "effects/Stencil.h"

void brightenBlur(EffectContext& e, uint8_t* buffer, int width, int height) {
    const int rowBytes = width * 4;
    for (int i = 0; i < 50000; ++i) {
        const StencilPixel p = drawStencilTarget(e.random, buffer, width, height);
        int out[3];
        for (int c = 0; c < 3; ++c) {
            const int v = neighbourSum(p.target, c, rowBytes) / 3 + 1;
            out[c] = v > 255 ? 255 : v;
        }
        for (int c = 0; c < 3; ++c)
            p.target[c] = static_cast<uint8_t>(out[c]);
    }
}
