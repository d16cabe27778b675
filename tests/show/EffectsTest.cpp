// Edge cases of the effects, each run on prepared buffers with the clock set by hand.
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

// Counts the draws a call makes by comparing the sequence position with a fresh copy.
int drawsSince(int marker) {
    resetRandom();
    int count = 0;
    while (nextRandom() != marker)
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
    resetPictures();
    noiseBloomState = {};
    setClock(0, 0);
    noiseBloom(effectBuffer, 640, 240);
    for (int i = 0; i < bufferBytes; ++i)
        ASSERT_EQ(effectBuffer[i], 0) << "byte " << i;
    EXPECT_EQ(noiseBloomState.bloomCount, 2080) << "count unchanged before tick 10,000";
}

TEST(NoiseBloom, ImageTermWrapsPast255) {
    // With image odds past 700 nearly every term is 4 x dovari2's blue; with 255 everywhere
    // the sum 1,020 + 4 x 255 = 2,040 gives 408, stored as 152 in red (red is not faded).
    resetPictures();
    noiseBloomState = {};
    noiseBloomState.imageOdds = 1000000;
    noiseBloomState.bloomCount = 50;
    fillPicture(effectBuffer, 255, 255, 255);
    fillPicture(imageBuffers[dovari2], 255, 255, 255);
    setClock(9500, 2);
    noiseBloom(effectBuffer, 640, 240);
    int wrapped = 0;
    for (int y = 0; y < 242; ++y)
        for (int x = 0; x < 640; ++x)
            if (pixelAt(effectBuffer, x, y)[2] == 152) ++wrapped;
    EXPECT_GT(wrapped, 40) << "most of the 50 targets wrapped to 152";
}

TEST(ImageCascade, StepThatEndsEarlyStillUsesThreeDraws) {
    resetPictures();
    imageCascadeState = {};
    imageCascadeState.cascadeCount = 0.5f; // one step
    setClock(18500, 0);
    resetRandom();
    imageCascade(effectBuffer, 640, 240);
    const int next = nextRandom();
    resetRandom();
    const int x = nextRandom() % 640, y = nextRandom() % 240, r = nextRandom();
    (void)x;
    (void)y;
    const int expected = r % 3 == 0 ? 3 : 4; // a step that goes on draws once more for dovari7
    EXPECT_EQ(drawsSince(next), expected) << "draws of one step, r mod 3 = " << r % 3;
}

TEST(ImageCascade, FlatPictureEqualToTheImageStaysFlat) {
    resetPictures();
    imageCascadeState = {};
    for (int i = dovari1; i <= dovari8; ++i)
        fillPicture(imageBuffers[i], 30, 60, 90);
    fillPicture(effectBuffer, 30, 60, 90);
    setClock(14000, 2);
    imageCascade(effectBuffer, 640, 240);
    EXPECT_TRUE(pictureIsFlat(effectBuffer, 30, 60, 90)) << "averages of equal colours";
}

TEST(ImageCascade, Tick14000UsesTheListNotTheHalving) {
    // Halving would mix dovari2 (200) with the picture (0) into 100; the list gives pure
    // colours of the images, which are all 200 here, averaged with black neighbours.
    resetPictures();
    imageCascadeState = {};
    imageCascadeState.cascadeCount = 2000;
    for (int i = dovari1; i <= dovari8; ++i)
        fillPicture(imageBuffers[i], 200, 200, 200);
    setClock(14000, 0);
    imageCascade(effectBuffer, 640, 240);
    int seen28 = 0; // 200 / 7 = 28 on a black picture
    for (int i = 0; i < bufferPixels; ++i)
        if (effectBuffer[i * 4] == 28) ++seen28;
    EXPECT_GT(seen28, 100) << "targets took the image colour 200, not the halved 100";
}

TEST(SmearToNoise, BlueFeedsGreenAndRed) {
    resetPictures();
    smearToNoiseState = {};
    fillPicture(effectBuffer, 0, 90, 90);
    fillPicture(imageBuffers[dovari8], 0, 90, 90);
    setClock(20000, 0);
    smearToNoise(effectBuffer, 640, 240);
    int changed = 0;
    for (int y = 1; y < 240; ++y)
        for (int x = 1; x < 639; ++x)
            if (pixelAt(effectBuffer, x, y)[1] == 70) ++changed;
    EXPECT_GT(changed, 4000) << "(0, 90, 90) becomes (0, 70, 70)";
}

TEST(SmearToNoise, NoSampleDrawWithoutSpreadAndNoNoiseDrawWithoutShare) {
    resetPictures();
    smearToNoiseState = {};
    setClock(20000, 0);
    smearToNoise(effectBuffer, 640, 240);
    const int next = nextRandom();
    EXPECT_EQ(drawsSince(next), 15000) << "three draws per pixel: x, y and the noise test";
}

TEST(Stencils, NoisyBlurOfCountZeroDrawsNothingButItsRangeGrows) {
    resetPictures();
    noisyBlurState = {};
    setClock(25100, 6);
    noisyBlur(0, effectBuffer, 640, 240);
    EXPECT_EQ(nextRandom(), 41) << "no draw was made";
    EXPECT_FLOAT_EQ(noisyBlurState.noiseRange, 86.0f) << "85 + 6 x 0.16666667";
}

TEST(Stencils, BrightenBlurLimitsAt255AndLiftsBlackToOne) {
    resetPictures();
    fillPicture(effectBuffer, 255, 255, 255);
    brightenBlur(effectBuffer, 640, 240);
    EXPECT_TRUE(pictureIsFlat(effectBuffer, 255, 255, 255)) << "340 + 1 limited to 255";
    resetPictures();
    brightenBlur(effectBuffer, 640, 240);
    int ones = 0;
    for (int i = 0; i < bufferPixels; ++i)
        ones += effectBuffer[i * 4] == 1;
    EXPECT_GT(ones, 30000) << "black neighbours give 1";
}

TEST(Stencils, SilhouettePullOnBlackKey) {
    resetPictures();
    fillPicture(effectBuffer, 110, 110, 110);
    silhouettePull(effectBuffer, 640, 240);
    int hundreds = 0;
    for (int y = 1; y < 240; ++y)
        for (int x = 0; x < 640; ++x)
            if (pixelAt(effectBuffer, x, y)[0] == 100) ++hundreds;
    EXPECT_GT(hundreds, 2000) << "10 x 110 / 11 = 100 where the key is black";
}

TEST(Stencils, FadeToBlackHalvesAndRoundsDown) {
    resetPictures();
    fillPicture(effectBuffer, 255, 1, 128);
    effectBuffer[3] = 77;
    fadeToBlackState.fadeLevel = 0.5f;
    setClock(63600, 2);
    fadeToBlack();
    EXPECT_TRUE(pictureIsFlat(effectBuffer, 127, 0, 64)) << "255 -> 127, 1 -> 0, 128 -> 64";
    EXPECT_EQ(effectBuffer[3], 77) << "byte 3 untouched";
    EXPECT_FLOAT_EQ(fadeToBlackState.fadeLevel, 0.499f) << "level falls by dt x 0.0005";
}

TEST(SineWarps, WarpIndexZeroNeverSamplesAPreviousImage) {
    resetPictures();
    sineWarpState = {};
    sineWarpState.warpCount = 3000;
    sineWarpState.warpPrevOdds = 2;
    fillPicture(imageBuffers[dovari7], 0, 0, 200);
    setClock(25100, 0);
    sineWarp(effectBuffer, 640, 240);
    for (int i = 0; i < bufferPixels; ++i)
        ASSERT_EQ(effectBuffer[i * 4], 0) << "nothing blue: only dovari7 (red) was sampled";
}

TEST(SineWarps, ClockResetAtTheLastImage) {
    resetPictures();
    sineWarpState = {};
    sineWarpState.warpIndex = 6;
    sineWarpState.warpClock = 1001;
    sineWarpState.warpPrevOdds = 2;
    setClock(26000, 0);
    sineWarp(effectBuffer, 640, 240);
    EXPECT_EQ(sineWarpState.warpIndex, 6) << "nothing after dovari1";
    EXPECT_EQ(sineWarpState.warpClock, 0) << "clock reset";
    EXPECT_FLOAT_EQ(sineWarpState.warpPrevOdds, 100.0f) << "odds reset";
}

TEST(SineWarps, WarpCountOfAHalfGivesOneTarget) {
    resetPictures();
    sineWarpState = {};
    sineWarpState.warpCount = 0.5f;
    sineWarpState.warpMixLevel = 1000; // m < 2500: the mix draw may be the last
    setClock(25100, 0);
    sineWarp(effectBuffer, 640, 240);
    const int next = nextRandom();
    const int draws = drawsSince(next);
    EXPECT_TRUE(draws == 4 || draws == 5) << "one target: image, x, y, mix (+1): " << draws;
    resetPictures();
    sineWarpState = {};
    setClock(25100, 0);
    sineWarp(effectBuffer, 640, 240);
    EXPECT_EQ(nextRandom(), 41) << "a count of 0 gives no target";
}

TEST(SineWarps, BreathingScaleForSmallDeltas) {
    EXPECT_EQ(breathingScale(0), 0.80000001f) << "delta 0";
    EXPECT_EQ(breathingScale(1), 0.79999989f) << "delta 1";
    EXPECT_EQ(breathingScale(2), 0.79999948f) << "delta 2";
    EXPECT_EQ(breathingScale(3), 0.79999876f) << "delta 3";
}

TEST(SineWarps, BreathingWithZeroDeltaKeepsItsState) {
    resetPictures();
    breathingWarpState = {};
    setClock(47500, 0);
    breathingWarp(workBuffer, imageBuffers[rozerid8], 640, 240);
    EXPECT_FLOAT_EQ(breathingWarpState.breathAmp, 25.0f) << "amplitude unchanged";
    EXPECT_FLOAT_EQ(breathingWarpState.breathClock, 0.0f) << "clock unchanged";
    EXPECT_FLOAT_EQ(breathingWarpState.breathPhase, 0.0f) << "phase unchanged";
}

TEST(PixelCrawl, MarginIsNeverPickedAndTintingDrifts) {
    resetPictures();
    pixelCrawlState = {};
    fillPicture(imageBuffers[rozerid1], 255, 255, 255);
    fillPicture(imageBuffers[rozerid2], 255, 255, 255);
    // A canvas row outside the picture's margin stays as it was.
    pixelCrawl(20000, imageBuffers[rozerid1], imageBuffers[rozerid2], 640, 240);
    EXPECT_TRUE(pixelCrawlState.crawlBlendOn) << "turned on at the first odd draw";
    int tinted = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint8_t v = pixelAt(imageBuffers[rozerid1], x, y)[0];
            if (x > 638 || y > 238) {
                ASSERT_EQ(v, 255) << "outside the reach " << x << "," << y;
            }
            if (v == 254) ++tinted;
        }
    EXPECT_GT(tinted, 1000) << "255 tinted towards 255 gives 254";
    resetPictures();
    pixelCrawlState = {};
    pixelCrawl(0, imageBuffers[rozerid1], imageBuffers[rozerid2], 640, 240);
    EXPECT_FALSE(pixelCrawlState.crawlBlendOn) << "count 0 leaves the flag";
}

TEST(PixelCrawl, ShuffleLeavesAFlatCanvasFlat) {
    resetPictures();
    fillPicture(imageBuffers[dovari1], 9, 99, 199);
    pixelShuffle(1, imageBuffers[dovari1], 640, 240);
    EXPECT_TRUE(pictureIsFlat(imageBuffers[dovari1], 9, 99, 199)) << "uniform canvas";
}
