// The shared pixel helpers: random source, multiplication table, blends, blur, keying and the
// line-doubled copy.
#include "ShowFixture.h"

#include "graphics/Handles.h"

#include <gtest/gtest.h>

TEST(Random, FirstDrawsOfTheSequence) {
    resetRandom();
    EXPECT_EQ(nextRandom(), 41) << "first draw";
    EXPECT_EQ(nextRandom(), 18467) << "second draw";
    EXPECT_EQ(nextRandom(), 6334) << "third draw";
    for (int i = 0; i < 100000; ++i) {
        const int r = nextRandom();
        ASSERT_TRUE(r >= 0 && r <= 32767) << "draw " << i << " out of range: " << r;
    }
}

TEST(MultiplyTable, EntriesAreFloorOfProductOver255) {
    EXPECT_EQ(multiplyRow(255)[255], 255) << "(255, 255)";
    EXPECT_EQ(multiplyRow(242)[200], 189) << "(242, 200)";
    EXPECT_EQ(multiplyRow(12)[200], 9) << "(12, 200)";
    for (int j = 0; j < 256; ++j)
        for (int k = 0; k < 256; ++k)
            ASSERT_EQ(multiplyRow(j)[k], j * k / 255) << "entry (" << j << ", " << k << ")";
}

TEST(Blend, PixelOfTwoWhitesGives254) {
    resetPictures();
    fillPicture(imageBuffers[0], 255, 255, 255);
    fillPicture(imageBuffers[1], 255, 255, 255);
    blendPixel(10, 20, imageBuffers[0], 0.05f, imageBuffers[1], 0.95f, effectBuffer);
    const uint8_t* p = pixelAt(effectBuffer, 10, 20);
    EXPECT_EQ(p[0], 254) << "12 + 242 in blue";
    EXPECT_EQ(p[2], 254) << "12 + 242 in red";
    EXPECT_EQ(p[3], 0) << "byte 3 is not written";
    EXPECT_EQ(pixelAt(effectBuffer, 11, 20)[0], 0) << "only the one pixel changes";
}

TEST(Blend, FramesCopySourceBAndLeaveTheLastTwoColumns) {
    resetPictures();
    for (int i = 0; i < bufferBytes; ++i)
        imageBuffers[1][i] = static_cast<uint8_t>(i * 7);
    fillPicture(effectBuffer, 1, 2, 3);
    blendFrames(imageBuffers[0], 1.0f, imageBuffers[1], 0.0f, effectBuffer);
    for (int y = 0; y < pictureHeight; ++y) {
        for (int x = 0; x < 638; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(pixelAt(effectBuffer, x, y)[c], pixelAt(imageBuffers[1], x, y)[c])
                    << "column " << x << " row " << y << " is source B";
        EXPECT_EQ(pixelAt(effectBuffer, 638, y)[0], 1) << "column 638 untouched, row " << y;
        EXPECT_EQ(pixelAt(effectBuffer, 639, y)[2], 3) << "column 639 untouched, row " << y;
    }
    EXPECT_EQ(pixelAt(effectBuffer, 0, 240)[0], 1) << "row 240 untouched";
}

TEST(Blur, RowZeroWorksOnRowOne) {
    resetPictures();
    for (int i = 0; i < bufferBytes; ++i)
        effectBuffer[i] = static_cast<uint8_t>(i * 13 + 5);
    std::vector<uint8_t> copy(effectBuffer, effectBuffer + bufferBytes);
    blur5(effectBuffer, 100, 0, pictureWidth, pictureHeight);
    std::vector<uint8_t> afterZero(effectBuffer, effectBuffer + bufferBytes);
    std::copy(copy.begin(), copy.end(), effectBuffer);
    blur5(effectBuffer, 100, 1, pictureWidth, pictureHeight);
    EXPECT_TRUE(std::equal(afterZero.begin(), afterZero.end(), effectBuffer))
        << "blur at y = 0 equals blur at y = 1";
    const uint8_t* o = copy.data() + pixelOffset(100, 1, 640);
    EXPECT_EQ(pixelAt(effectBuffer, 100, 1)[1],
              (o[1] + o[-3] + o[5] + o[1 - 2560] + o[1 + 2560]) / 5)
        << "green is the five-point average";
}

TEST(Keying, GreenAbove150BecomesBlackAndTheRightEdgeIsSmeared) {
    resetPictures();
    uint8_t* picture = imageBuffers[rozerid1];
    fillPicture(picture, 40, 150, 200);
    pixelAt(picture, 100, 50)[1] = 151;
    keyPicture(picture);
    const uint8_t* keyed = pixelAt(picture, 100, 50);
    EXPECT_EQ(keyed[0] + keyed[1] + keyed[2], 0) << "green 151 becomes black";
    EXPECT_EQ(pixelAt(picture, 101, 50)[1], 150) << "green 150 keeps its colour";
    EXPECT_EQ(pixelAt(picture, 101, 50)[2], 200) << "green 150 keeps its red";
    EXPECT_GT(pixelAt(picture, 630, 50)[2], 0) << "column 630 takes some of column 629";
    EXPECT_LT(pixelAt(picture, 630, 50)[2], 200) << "column 630 is smeared into black";
}

TEST(Blit, RowsAreDoubledWithBlackLines) {
    resetPictures();
    storeDisplaySettings();
    Surface surface;
    std::memset(surface.getPixels(), 0xAB, bufferBytes);
    for (int i = 0; i < bufferBytes; ++i)
        effectBuffer[i] = static_cast<uint8_t>(i * 31 + 1);
    attachBlitSurface(&surface);
    blitDoubled(effectBuffer);
    const uint8_t* out = surface.getPixels();
    for (int r = 0; r < 240; ++r) {
        ASSERT_EQ(std::memcmp(out + 2 * r * 2560, effectBuffer + r * 2560, 2560), 0)
            << "surface row " << 2 * r << " is picture row " << r;
        for (int i = 0; i < 2560; ++i)
            ASSERT_EQ(out[(2 * r + 1) * 2560 + i], 0) << "surface row " << 2 * r + 1 << " is black";
    }
}

TEST(Blend, FastFramesEqualThePlainTableBlend) {
    resetPictures();
    uint32_t state = 99;
    auto fill = [&](uint8_t* buffer) {
        for (int i = 0; i < bufferBytes; ++i) {
            state = state * 1664525u + 1013904223u;
            buffer[i] = static_cast<uint8_t>(state >> 24);
        }
    };
    fill(imageBuffers[0]);
    fill(imageBuffers[1]);
    std::vector<uint8_t> plain(bufferBytes);
    for (float weight : {0.0f, 0.05f, 0.3333f, 0.5f, 0.77f, 0.999f, 1.0f}) {
        fill(effectBuffer);
        std::copy(effectBuffer, effectBuffer + bufferBytes, plain.begin());
        blendFrames(imageBuffers[0], weight, imageBuffers[1], 1.0f - weight, effectBuffer);
        blendFramesPlain(imageBuffers[0], weight, imageBuffers[1], 1.0f - weight, plain.data());
        ASSERT_TRUE(std::equal(plain.begin(), plain.end(), effectBuffer))
            << "fast blend equals the table blend for weight " << weight;
    }
}
