// The nine scenes of the show: which effects run on which frames, and the state that carries
// from one frame to the next.
#include "app/Scenes.h"

#include "effects/BrightenBlur.h"
#include "effects/FadeToBlack.h"
#include "effects/ImageCascade.h"
#include "effects/NoiseBloom.h"
#include "effects/NoisyBlur.h"
#include "effects/Pictures.h"
#include "effects/PixelCrawl.h"
#include "effects/SilhouettePull.h"
#include "effects/SineWarps.h"
#include "effects/SmearToNoise.h"
#include "engine/Timer.h"

SceneState sceneState;

const int sceneEndTicks[sceneCount] = {12500, 19000, 25000, 27000, 41000,
                                       42500, 47000, 59000, 63900};

namespace {

constexpr int W = pictureWidth;
constexpr int H = pictureHeight;

int ticks() {
    return Timer::instance()->getTicks();
}
int tickDelta() {
    return Timer::instance()->getTickDelta();
}
int timeDelta() {
    return Timer::instance()->getTimeDelta();
}

} // namespace

int scene0() {
    if (ticks() >= sceneEndTicks[0]) return 1;
    noiseBloom(effectBuffer, W, H);
    blitDoubled(effectBuffer);
    return 0;
}

int scene1() {
    if (ticks() >= sceneEndTicks[1]) return 2;
    imageCascade(effectBuffer, W, H);
    blitDoubled(effectBuffer);
    return 1;
}

int scene2() {
    if (ticks() >= sceneEndTicks[2]) return 3;
    smearToNoise(effectBuffer, W, H);
    blitDoubled(effectBuffer);
    return 2;
}

int scene3() {
    if (ticks() >= sceneEndTicks[3]) return 4;
    noisyBlur(2000, effectBuffer, W, H);
    sineWarp(effectBuffer, W, H);
    blitDoubled(effectBuffer);
    return 3;
}

int scene4() {
    const int t = ticks();
    if (t >= sceneEndTicks[4]) return 5;
    SceneState& s = sceneState;
    if (s.sweepOdds < 1) s.sweepOdds = 1;
    if (nextRandom() % static_cast<int>(s.sweepOdds) == 0)
        sineSweep(effectBuffer, W, H);
    else
        sineWarp(effectBuffer, W, H);
    if (t > 28000) {
        const double k = s.sweepOdds < 20    ? 0.022222223
                         : s.sweepOdds < 60  ? 0.033333335
                         : s.sweepOdds < 100 ? 0.06666667
                                             : 0.2;
        s.sweepOdds = static_cast<float>(s.sweepOdds - tickDelta() * k);
    }
    blitDoubled(effectBuffer);
    return 4;
}

int scene5() {
    SceneState& s = sceneState;
    if (ticks() >= sceneEndTicks[5]) {
        // The last picture of the scene becomes the canvas of scenes 6 and 7, once.
        if (!s.canvasSaved) {
            copyRows(effectBuffer, imageBuffers[rozerid1], W, H);
            s.canvasSaved = true;
        }
        return 6;
    }
    s.sweepOdds5 = static_cast<float>(s.sweepOdds5 + tickDelta() * 0.04);
    if (s.sweepOdds5 > 15) s.sweepOdds5 = 1.0e9f;
    silhouettePull(effectBuffer, W, H);
    if (nextRandom() % static_cast<int>(s.sweepOdds5) == 0) sineSweep(effectBuffer, W, H);
    blitDoubled(effectBuffer);
    return 5;
}

int scene6() {
    if (ticks() >= sceneEndTicks[6]) return 7;
    SceneState& s = sceneState;
    const int dms = timeDelta();
    s.crawlBudget += 2 * dms;
    s.crawlCap = static_cast<int>(s.crawlCap + dms * 0.05);
    if (s.crawlCap > 6000) s.crawlCap = 6000;
    if (s.crawlBudget > s.crawlCap) s.crawlBudget = s.crawlCap;
    pixelCrawl(s.crawlBudget, imageBuffers[rozerid1], imageBuffers[rozerid2], W, H);
    copyPixels(effectBuffer, imageBuffers[rozerid1], W, H);
    blitDoubled(effectBuffer);
    return 6;
}

int scene7() {
    if (ticks() >= sceneEndTicks[7]) return 8;
    SceneState& s = sceneState;
    if (s.canvas7 == nullptr) s.canvas7 = imageBuffers[rozerid1];
    s.crawlCount7 += 2 * timeDelta();
    if (s.crawlCount7 > 20000) s.crawlCount7 = 20000;
    if (s.warpMix < 1) {
        pixelCrawl(s.crawlCount7, s.canvas7, imageBuffers[rozerid3], W, H);
        breathingWarp(workBuffer, imageBuffers[rozerid8], W, H);
        s.warpMix = static_cast<float>(s.warpMix + tickDelta() * 0.0005);
        if (s.warpMix > 1) s.warpMix = 1;
        const float rest = 1.0f - s.warpMix;
        blendFrames(s.canvas7, s.warpMix, workBuffer, rest, effectBuffer);
    } else {
        breathingWarp(workBuffer, imageBuffers[rozerid8], W, H);
        copyPixels(effectBuffer, workBuffer, W, H);
    }
    blitDoubled(effectBuffer);
    return 7;
}

int scene8() {
    const int t = ticks();
    if (t >= sceneEndTicks[8]) return 9;
    SceneState& s = sceneState;
    if (s.canvas8 == nullptr) s.canvas8 = imageBuffers[dovari1];
    if (t > 63500) {
        fadeToBlack();
    } else if (t > 63000) {
        brightenBlur(effectBuffer, W, H);
    } else {
        pixelShuffle(1, s.canvas8, W, H);
        breathingWarp(workBuffer, imageBuffers[rozerid8], W, H);
        s.shuffleMix = static_cast<float>(s.shuffleMix - tickDelta() * 0.0002);
        if (s.shuffleMix < 0) s.shuffleMix = 0;
        const float rest = 1.0f - s.shuffleMix;
        blendFrames(s.canvas8, s.shuffleMix, workBuffer, rest, effectBuffer);
    }
    blitDoubled(effectBuffer);
    return 8;
}

int runScene(int index) {
    static int (*const scenes[sceneCount])() = {scene0, scene1, scene2, scene3, scene4,
                                                scene5, scene6, scene7, scene8};
    return scenes[index]();
}
