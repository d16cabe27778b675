// Edge cases of the effects, each run on a fresh show's buffers with the clock set by hand.
#include "ShowFixture.h"

#include "effects/BrightenBlur.h"
#include "effects/FadeToBlack.h"
#include "effects/ImageCascade.h"
#include "effects/NoiseBloom.h"
#include "effects/NoisyBlur.h"
#include "effects/PixelCrawl.h"
#include "effects/SilhouettePull.h"
#include "effects/SineWarps.h"
#include "effects/SmearToNoise.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Counts the draws a call made: how many a fresh sequence makes before it gives marker.
int drawsSince(int marker) {
    RandomSequence fresh;
    int count = 0;
    while (fresh.nextRandom() != marker)
        ++count;
    return count;
}

bool pictureIsFlat(const uint8_t* buffer, uint8_t b, uint8_t g, uint8_t r) {
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint8_t* p = buffer + pixelOffset(x, y, 640);
            if (p[0] != b || p[1] != g || p[2] != r) return false;
        }
    return true;
}

} // namespace

TEST(NoiseBloom, FirstFrameStaysBlack) {
    ShowBench b;
    NoiseBloomState noiseBloomState;
    EffectContext e = b.at(0, 0);
    noiseBloom(noiseBloomState, e, b.effectBuffer, 640, 240);
    for (int i = 0; i < bufferBytes; ++i)
        ASSERT_EQ(b.effectBuffer[i], 0) << "byte " << i;
    EXPECT_EQ(noiseBloomState.bloomCount, 2080) << "count unchanged before tick 10,000";
}

TEST(NoiseBloom, ImageTermWrapsPast255) {
    // With image odds past 700 nearly every term is 4 x dovari2's blue; with 255 everywhere
    // the sum 1,020 + 4 x 255 = 2,040 gives 408, stored as 152 in red (red is not faded).
    ShowBench b;
    NoiseBloomState noiseBloomState;
    noiseBloomState.imageOdds = 1000000;
    noiseBloomState.bloomCount = 50;
    fillPicture(b.effectBuffer, 255, 255, 255);
    fillPicture(b.imageBuffers[dovari2], 255, 255, 255);
    EffectContext e = b.at(9500, 2);
    noiseBloom(noiseBloomState, e, b.effectBuffer, 640, 240);
    int wrapped = 0;
    for (int y = 0; y < 242; ++y)
        for (int x = 0; x < 640; ++x)
            if (pixelAt(b.effectBuffer, x, y)[2] == 152) ++wrapped;
    EXPECT_GT(wrapped, 40) << "most of the 50 targets wrapped to 152";
}

TEST(ImageCascade, StepThatEndsEarlyStillUsesThreeDraws) {
    ShowBench b;
    ImageCascadeState imageCascadeState;
    imageCascadeState.cascadeCount = 0.5f; // one step
    EffectContext e = b.at(18500, 0);
    imageCascade(imageCascadeState, e, b.effectBuffer, 640, 240);
    const int next = b.nextRandom();
    RandomSequence replay;
    replay.nextRandom(); // x
    replay.nextRandom(); // y
    const int r = replay.nextRandom();
    const int expected = r % 3 == 0 ? 3 : 4; // a step that goes on draws once more for dovari7
    EXPECT_EQ(drawsSince(next), expected) << "draws of one step, r mod 3 = " << r % 3;
}

TEST(ImageCascade, FlatPictureEqualToTheImageStaysFlat) {
    ShowBench b;
    ImageCascadeState imageCascadeState;
    for (int i = dovari1; i <= dovari8; ++i)
        fillPicture(b.imageBuffers[i], 30, 60, 90);
    fillPicture(b.effectBuffer, 30, 60, 90);
    EffectContext e = b.at(14000, 2);
    imageCascade(imageCascadeState, e, b.effectBuffer, 640, 240);
    EXPECT_TRUE(pictureIsFlat(b.effectBuffer, 30, 60, 90)) << "averages of equal colours";
}

TEST(ImageCascade, Tick14000UsesTheListNotTheHalving) {
    // Halving would mix dovari2 (200) with the picture (0) into 100; the list gives pure
    // colours of the images, which are all 200 here, averaged with black neighbours.
    ShowBench b;
    ImageCascadeState imageCascadeState;
    imageCascadeState.cascadeCount = 2000;
    for (int i = dovari1; i <= dovari8; ++i)
        fillPicture(b.imageBuffers[i], 200, 200, 200);
    EffectContext e = b.at(14000, 0);
    imageCascade(imageCascadeState, e, b.effectBuffer, 640, 240);
    int seen28 = 0; // 200 / 7 = 28 on a black picture
    for (int i = 0; i < bufferPixels; ++i)
        if (b.effectBuffer[i * 4] == 28) ++seen28;
    EXPECT_GT(seen28, 100) << "targets took the image colour 200, not the halved 100";
}

TEST(SmearToNoise, BlueFeedsGreenAndRed) {
    ShowBench b;
    SmearToNoiseState smearToNoiseState;
    fillPicture(b.effectBuffer, 0, 90, 90);
    fillPicture(b.imageBuffers[dovari8], 0, 90, 90);
    EffectContext e = b.at(20000, 0);
    smearToNoise(smearToNoiseState, e, b.effectBuffer, 640, 240);
    int changed = 0;
    for (int y = 1; y < 240; ++y)
        for (int x = 1; x < 639; ++x)
            if (pixelAt(b.effectBuffer, x, y)[1] == 70) ++changed;
    EXPECT_GT(changed, 4000) << "(0, 90, 90) becomes (0, 70, 70)";
}

TEST(SmearToNoise, NoSampleDrawWithoutSpreadAndNoNoiseDrawWithoutShare) {
    ShowBench b;
    SmearToNoiseState smearToNoiseState;
    EffectContext e = b.at(20000, 0);
    smearToNoise(smearToNoiseState, e, b.effectBuffer, 640, 240);
    const int next = b.nextRandom();
    EXPECT_EQ(drawsSince(next), 15000) << "three draws per pixel: x, y and the noise test";
}

TEST(Stencils, NoisyBlurOfCountZeroDrawsNothingButItsRangeGrows) {
    ShowBench b;
    NoisyBlurState noisyBlurState;
    EffectContext e = b.at(25100, 6);
    noisyBlur(noisyBlurState, e, 0, b.effectBuffer, 640, 240);
    EXPECT_EQ(b.nextRandom(), 41) << "no draw was made";
    EXPECT_FLOAT_EQ(noisyBlurState.noiseRange, 86.0f) << "85 + 6 x 0.16666667";
}

TEST(Stencils, BrightenBlurLimitsAt255AndLiftsBlackToOne) {
    ShowBench white;
    fillPicture(white.effectBuffer, 255, 255, 255);
    EffectContext e = white.at(0, 0);
    brightenBlur(e, white.effectBuffer, 640, 240);
    EXPECT_TRUE(pictureIsFlat(white.effectBuffer, 255, 255, 255)) << "340 + 1 limited to 255";
    ShowBench black;
    EffectContext onBlack = black.at(0, 0);
    brightenBlur(onBlack, black.effectBuffer, 640, 240);
    int ones = 0;
    for (int i = 0; i < bufferPixels; ++i)
        ones += black.effectBuffer[i * 4] == 1;
    EXPECT_GT(ones, 30000) << "black neighbours give 1";
}

TEST(Stencils, SilhouettePullOnBlackKey) {
    ShowBench b;
    fillPicture(b.effectBuffer, 110, 110, 110);
    EffectContext e = b.at(0, 0);
    silhouettePull(e, b.effectBuffer, 640, 240);
    int hundreds = 0;
    for (int y = 1; y < 240; ++y)
        for (int x = 0; x < 640; ++x)
            if (pixelAt(b.effectBuffer, x, y)[0] == 100) ++hundreds;
    EXPECT_GT(hundreds, 2000) << "10 x 110 / 11 = 100 where the key is black";
}

TEST(Stencils, FadeToBlackHalvesAndRoundsDown) {
    ShowBench b;
    fillPicture(b.effectBuffer, 255, 1, 128);
    b.effectBuffer[3] = 77;
    FadeToBlackState fadeToBlackState;
    fadeToBlackState.fadeLevel = 0.5f;
    EffectContext e = b.at(63600, 2);
    fadeToBlack(fadeToBlackState, e.time, b.effectBuffer);
    EXPECT_TRUE(pictureIsFlat(b.effectBuffer, 127, 0, 64)) << "255 -> 127, 1 -> 0, 128 -> 64";
    EXPECT_EQ(b.effectBuffer[3], 77) << "byte 3 untouched";
    EXPECT_FLOAT_EQ(fadeToBlackState.fadeLevel, 0.499f) << "level falls by dt x 0.0005";
}

TEST(SineWarps, WarpIndexZeroNeverSamplesAPreviousImage) {
    ShowBench b;
    SineWarpState sineWarpState;
    sineWarpState.warpCount = 3000;
    sineWarpState.warpPrevOdds = 2;
    fillPicture(b.imageBuffers[dovari7], 0, 0, 200);
    EffectContext e = b.at(25100, 0);
    sineWarp(sineWarpState, e, b.effectBuffer, 640, 240);
    for (int i = 0; i < bufferPixels; ++i)
        ASSERT_EQ(b.effectBuffer[i * 4], 0) << "nothing blue: only dovari7 (red) was sampled";
}

TEST(SineWarps, ClockResetAtTheLastImage) {
    ShowBench b;
    SineWarpState sineWarpState;
    sineWarpState.warpIndex = 6;
    sineWarpState.warpClock = 1001;
    sineWarpState.warpPrevOdds = 2;
    EffectContext e = b.at(26000, 0);
    sineWarp(sineWarpState, e, b.effectBuffer, 640, 240);
    EXPECT_EQ(sineWarpState.warpIndex, 6) << "nothing after dovari1";
    EXPECT_EQ(sineWarpState.warpClock, 0) << "clock reset";
    EXPECT_FLOAT_EQ(sineWarpState.warpPrevOdds, 100.0f) << "odds reset";
}

TEST(SineWarps, WarpCountOfAHalfGivesOneTarget) {
    ShowBench b;
    SineWarpState sineWarpState;
    sineWarpState.warpCount = 0.5f;
    sineWarpState.warpMixLevel = 1000; // m < 2500: the mix draw may be the last
    EffectContext e = b.at(25100, 0);
    sineWarp(sineWarpState, e, b.effectBuffer, 640, 240);
    const int next = b.nextRandom();
    const int draws = drawsSince(next);
    EXPECT_TRUE(draws == 4 || draws == 5) << "one target: image, x, y, mix (+1): " << draws;
    ShowBench zero;
    SineWarpState fresh;
    EffectContext atZero = zero.at(25100, 0);
    sineWarp(fresh, atZero, zero.effectBuffer, 640, 240);
    EXPECT_EQ(zero.nextRandom(), 41) << "a count of 0 gives no target";
}

TEST(SineWarps, BreathingScaleForSmallDeltas) {
    EXPECT_EQ(breathingScale(0), 0.80000001f) << "delta 0";
    EXPECT_EQ(breathingScale(1), 0.79999989f) << "delta 1";
    EXPECT_EQ(breathingScale(2), 0.79999948f) << "delta 2";
    EXPECT_EQ(breathingScale(3), 0.79999876f) << "delta 3";
}

TEST(SineWarps, BreathingWithZeroDeltaKeepsItsState) {
    ShowBench b;
    BreathingWarpState breathingWarpState;
    EffectContext e = b.at(47500, 0);
    breathingWarp(breathingWarpState, e, b.pictures.workBuffer, b.imageBuffers[rozerid8], 640, 240);
    EXPECT_FLOAT_EQ(breathingWarpState.breathAmp, 25.0f) << "amplitude unchanged";
    EXPECT_FLOAT_EQ(breathingWarpState.breathClock, 0.0f) << "clock unchanged";
    EXPECT_FLOAT_EQ(breathingWarpState.breathPhase, 0.0f) << "phase unchanged";
}

TEST(PixelCrawl, MarginIsNeverPickedAndTintingDrifts) {
    ShowBench b;
    PixelCrawlState pixelCrawlState;
    fillPicture(b.imageBuffers[rozerid1], 255, 255, 255);
    fillPicture(b.imageBuffers[rozerid2], 255, 255, 255);
    // A canvas row outside the picture's margin stays as it was.
    pixelCrawl(pixelCrawlState, b.show->random, 20000, b.imageBuffers[rozerid1],
               b.imageBuffers[rozerid2], 640, 240);
    EXPECT_TRUE(pixelCrawlState.crawlBlendOn) << "turned on at the first odd draw";
    int tinted = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint8_t v = pixelAt(b.imageBuffers[rozerid1], x, y)[0];
            if (x > 638 || y > 238) {
                ASSERT_EQ(v, 255) << "outside the reach " << x << "," << y;
            }
            if (v == 254) ++tinted;
        }
    EXPECT_GT(tinted, 1000) << "255 tinted towards 255 gives 254";
    ShowBench idle;
    PixelCrawlState fresh;
    pixelCrawl(fresh, idle.show->random, 0, idle.imageBuffers[rozerid1],
               idle.imageBuffers[rozerid2], 640, 240);
    EXPECT_FALSE(fresh.crawlBlendOn) << "count 0 leaves the flag";
}

TEST(PixelCrawl, ShuffleLeavesAFlatCanvasFlat) {
    ShowBench b;
    fillPicture(b.imageBuffers[dovari1], 9, 99, 199);
    pixelShuffle(b.show->random, 1, b.imageBuffers[dovari1], 640, 240);
    EXPECT_TRUE(pictureIsFlat(b.imageBuffers[dovari1], 9, 99, 199)) << "uniform canvas";
}
