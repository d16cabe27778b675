// The nine scenes of the show: which effects run on which frames, and the state that carries
// from one frame to the next.
#include "app/Show.h"

#include "effects/BrightenBlur.h"
#include "effects/SilhouettePull.h"

namespace {
constexpr int W = pictureWidth;
constexpr int H = pictureHeight;
} // namespace

int Show::scene0(const FrameTime& time, FrameTarget target) {
    if (time.ticks >= sceneEndTicks[0]) return 1;
    EffectContext e = context(time);
    noiseBloom(effects.noiseBloom, e, pictures.effectBuffer, W, H);
    blitDoubled(target);
    return 0;
}

int Show::scene1(const FrameTime& time, FrameTarget target) {
    if (time.ticks >= sceneEndTicks[1]) return 2;
    EffectContext e = context(time);
    imageCascade(effects.imageCascade, e, pictures.effectBuffer, W, H);
    blitDoubled(target);
    return 1;
}

int Show::scene2(const FrameTime& time, FrameTarget target) {
    if (time.ticks >= sceneEndTicks[2]) return 3;
    EffectContext e = context(time);
    smearToNoise(effects.smearToNoise, e, pictures.effectBuffer, W, H);
    blitDoubled(target);
    return 2;
}

int Show::scene3(const FrameTime& time, FrameTarget target) {
    if (time.ticks >= sceneEndTicks[3]) return 4;
    EffectContext e = context(time);
    noisyBlur(effects.noisyBlur, e, 2000, pictures.effectBuffer, W, H);
    sineWarp(effects.sineWarp, e, pictures.effectBuffer, W, H);
    blitDoubled(target);
    return 3;
}

int Show::scene4(const FrameTime& time, FrameTarget target) {
    const int t = time.ticks;
    if (t >= sceneEndTicks[4]) return 5;
    SceneState& s = sceneState;
    EffectContext e = context(time);
    if (s.sweepOdds < 1) s.sweepOdds = 1;
    if (random.nextRandom() % static_cast<int>(s.sweepOdds) == 0)
        sineSweep(effects.sineSweep, e, pictures.effectBuffer, W, H);
    else
        sineWarp(effects.sineWarp, e, pictures.effectBuffer, W, H);
    if (t > 28000) {
        const double k = s.sweepOdds < 20    ? 0.022222223
                         : s.sweepOdds < 60  ? 0.033333335
                         : s.sweepOdds < 100 ? 0.06666667
                                             : 0.2;
        s.sweepOdds = static_cast<float>(s.sweepOdds - time.tickDelta * k);
    }
    blitDoubled(target);
    return 4;
}

int Show::scene5(const FrameTime& time, FrameTarget target) {
    SceneState& s = sceneState;
    if (time.ticks >= sceneEndTicks[5]) {
        // The last picture of the scene becomes the canvas of scenes 6 and 7, once.
        if (!s.canvasSaved) {
            copyRows(pictures.effectBuffer, pictures.imageBuffers[rozerid1], W, H);
            s.canvasSaved = true;
        }
        return 6;
    }
    EffectContext e = context(time);
    s.sweepOdds5 = static_cast<float>(s.sweepOdds5 + time.tickDelta * 0.04);
    if (s.sweepOdds5 > 15) s.sweepOdds5 = 1.0e9f;
    silhouettePull(e, pictures.effectBuffer, W, H);
    if (random.nextRandom() % static_cast<int>(s.sweepOdds5) == 0)
        sineSweep(effects.sineSweep, e, pictures.effectBuffer, W, H);
    blitDoubled(target);
    return 5;
}

int Show::scene6(const FrameTime& time, FrameTarget target) {
    if (time.ticks >= sceneEndTicks[6]) return 7;
    SceneState& s = sceneState;
    const int dms = time.timeDelta;
    s.crawlBudget += 2 * dms;
    s.crawlCap = static_cast<int>(s.crawlCap + dms * 0.05);
    if (s.crawlCap > 6000) s.crawlCap = 6000;
    if (s.crawlBudget > s.crawlCap) s.crawlBudget = s.crawlCap;
    pixelCrawl(effects.pixelCrawl, random, s.crawlBudget, pictures.imageBuffers[rozerid1],
               pictures.imageBuffers[rozerid2], W, H);
    copyPixels(pictures.effectBuffer, pictures.imageBuffers[rozerid1], W, H);
    blitDoubled(target);
    return 6;
}

int Show::scene7(const FrameTime& time, FrameTarget target) {
    if (time.ticks >= sceneEndTicks[7]) return 8;
    SceneState& s = sceneState;
    EffectContext e = context(time);
    uint8_t* const workBuffer = pictures.workBuffer;
    if (s.canvas7 == nullptr) s.canvas7 = pictures.imageBuffers[rozerid1];
    s.crawlCount7 += 2 * time.timeDelta;
    if (s.crawlCount7 > 20000) s.crawlCount7 = 20000;
    if (s.warpMix < 1) {
        pixelCrawl(effects.pixelCrawl, random, s.crawlCount7, s.canvas7,
                   pictures.imageBuffers[rozerid3], W, H);
        breathingWarp(effects.breathingWarp, e, workBuffer, pictures.imageBuffers[rozerid8], W, H);
        s.warpMix = static_cast<float>(s.warpMix + time.tickDelta * 0.0005);
        if (s.warpMix > 1) s.warpMix = 1;
        const float rest = 1.0f - s.warpMix;
        blendFrames(s.canvas7, s.warpMix, workBuffer, rest, pictures.effectBuffer);
    } else {
        breathingWarp(effects.breathingWarp, e, workBuffer, pictures.imageBuffers[rozerid8], W, H);
        copyPixels(pictures.effectBuffer, workBuffer, W, H);
    }
    blitDoubled(target);
    return 7;
}

int Show::scene8(const FrameTime& time, FrameTarget target) {
    const int t = time.ticks;
    if (t >= sceneEndTicks[8]) return 9;
    SceneState& s = sceneState;
    EffectContext e = context(time);
    uint8_t* const workBuffer = pictures.workBuffer;
    if (s.canvas8 == nullptr) s.canvas8 = pictures.imageBuffers[dovari1];
    if (t > 63500) {
        fadeToBlack(effects.fadeToBlack, time, pictures.effectBuffer);
    } else if (t > 63000) {
        brightenBlur(e, pictures.effectBuffer, W, H);
    } else {
        pixelShuffle(random, 1, s.canvas8, W, H);
        breathingWarp(effects.breathingWarp, e, workBuffer, pictures.imageBuffers[rozerid8], W, H);
        s.shuffleMix = static_cast<float>(s.shuffleMix - time.tickDelta * 0.0002);
        if (s.shuffleMix < 0) s.shuffleMix = 0;
        const float rest = 1.0f - s.shuffleMix;
        blendFrames(s.canvas8, s.shuffleMix, workBuffer, rest, pictures.effectBuffer);
    }
    blitDoubled(target);
    return 8;
}

int Show::runScene(int index, const FrameTime& time, FrameTarget target) {
    using Scene = int (Show::*)(const FrameTime&, FrameTarget);
    static constexpr Scene scenes[sceneCount] = {&Show::scene0, &Show::scene1, &Show::scene2,
                                                 &Show::scene3, &Show::scene4, &Show::scene5,
                                                 &Show::scene6, &Show::scene7, &Show::scene8};
    if (index < 0 || index >= sceneCount) return sceneCount;
    return (this->*scenes[index])(time, target);
}
