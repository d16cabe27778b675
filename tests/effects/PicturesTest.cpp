// The shared pixel helpers: random source, multiplication table, blends, blur, keying and the
// line-doubled copy.
#include "ShowFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

TEST(Random, FirstDrawsOfTheSequence) {
    RandomSequence random;
    EXPECT_EQ(random.nextRandom(), 41) << "first draw";
    EXPECT_EQ(random.nextRandom(), 18467) << "second draw";
    EXPECT_EQ(random.nextRandom(), 6334) << "third draw";
    for (int i = 0; i < 100000; ++i) {
        const int r = random.nextRandom();
        ASSERT_TRUE(r >= 0 && r <= 32767) << "draw " << i << " out of range: " << r;
    }
    random.resetRandom();
    EXPECT_EQ(random.nextRandom(), 41) << "the reset sequence starts again at seed 1";
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
    ShowBench b;
    fillPicture(b.imageBuffers[0], 255, 255, 255);
    fillPicture(b.imageBuffers[1], 255, 255, 255);
    blendPixel(10, 20, b.imageBuffers[0], 0.05f, b.imageBuffers[1], 0.95f, b.effectBuffer);
    const uint8_t* p = pixelAt(b.effectBuffer, 10, 20);
    EXPECT_EQ(p[0], 254) << "12 + 242 in blue";
    EXPECT_EQ(p[2], 254) << "12 + 242 in red";
    EXPECT_EQ(p[3], 0) << "byte 3 is not written";
    EXPECT_EQ(pixelAt(b.effectBuffer, 11, 20)[0], 0) << "only the one pixel changes";
}

TEST(Blend, FramesCopySourceBAndLeaveTheLastTwoColumns) {
    ShowBench b;
    for (int i = 0; i < bufferBytes; ++i)
        b.imageBuffers[1][i] = static_cast<uint8_t>(i * 7);
    fillPicture(b.effectBuffer, 1, 2, 3);
    blendFrames(b.imageBuffers[0], 1.0f, b.imageBuffers[1], 0.0f, b.effectBuffer);
    for (int y = 0; y < pictureHeight; ++y) {
        for (int x = 0; x < 638; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(pixelAt(b.effectBuffer, x, y)[c], pixelAt(b.imageBuffers[1], x, y)[c])
                    << "column " << x << " row " << y << " is source B";
        EXPECT_EQ(pixelAt(b.effectBuffer, 638, y)[0], 1) << "column 638 untouched, row " << y;
        EXPECT_EQ(pixelAt(b.effectBuffer, 639, y)[2], 3) << "column 639 untouched, row " << y;
    }
    EXPECT_EQ(pixelAt(b.effectBuffer, 0, 240)[0], 1) << "row 240 untouched";
}

TEST(Blur, RowZeroWorksOnRowOne) {
    ShowBench b;
    for (int i = 0; i < bufferBytes; ++i)
        b.effectBuffer[i] = static_cast<uint8_t>(i * 13 + 5);
    std::vector<uint8_t> copy(b.effectBuffer, b.effectBuffer + bufferBytes);
    blur5(b.effectBuffer, 100, 0, pictureWidth, pictureHeight);
    std::vector<uint8_t> afterZero(b.effectBuffer, b.effectBuffer + bufferBytes);
    std::copy(copy.begin(), copy.end(), b.effectBuffer);
    blur5(b.effectBuffer, 100, 1, pictureWidth, pictureHeight);
    EXPECT_TRUE(std::equal(afterZero.begin(), afterZero.end(), b.effectBuffer))
        << "blur at y = 0 equals blur at y = 1";
    const uint8_t* o = copy.data() + pixelOffset(100, 1, 640);
    EXPECT_EQ(pixelAt(b.effectBuffer, 100, 1)[1],
              (o[1] + o[-3] + o[5] + o[1 - 2560] + o[1 + 2560]) / 5)
        << "green is the five-point average";
}

TEST(Keying, GreenAbove150BecomesBlackAndTheRightEdgeIsSmeared) {
    ShowBench b;
    uint8_t* picture = b.imageBuffers[rozerid1];
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
    ShowBench b;
    std::vector<uint8_t> surface(bufferBytes, 0xAB);
    for (int i = 0; i < bufferBytes; ++i)
        b.effectBuffer[i] = static_cast<uint8_t>(i * 31 + 1);
    blitDoubled(b.effectBuffer, surface.data(), 2560);
    const uint8_t* out = surface.data();
    for (int r = 0; r < 240; ++r) {
        ASSERT_EQ(std::memcmp(out + 2 * r * 2560, b.effectBuffer + r * 2560, 2560), 0)
            << "surface row " << 2 * r << " is picture row " << r;
        for (int i = 0; i < 2560; ++i)
            ASSERT_EQ(out[(2 * r + 1) * 2560 + i], 0) << "surface row " << 2 * r + 1 << " is black";
    }
}

TEST(Blit, WiderPitchLeavesTheRowEndsAlone) {
    ShowBench b;
    constexpr int pitch = 2560 + 36; // nine spare pixels after each row
    std::vector<uint8_t> surface(static_cast<size_t>(pitch) * 480, 0xCD);
    fillPicture(b.effectBuffer, 1, 2, 3);
    blitDoubled(b.effectBuffer, surface.data(), pitch);
    for (int row = 0; row < 480; ++row) {
        const uint8_t* line = surface.data() + static_cast<size_t>(row) * pitch;
        ASSERT_EQ(line[2558], row % 2 == 0 ? 3 : 0) << "last pixel of surface row " << row;
        for (int i = 2560; i < pitch; ++i)
            ASSERT_EQ(line[i], 0xCD) << "spare byte " << i - 2560 << " of surface row " << row;
    }
}

TEST(Blend, FastFramesEqualThePlainTableBlend) {
    ShowBench b;
    uint32_t state = 99;
    auto fill = [&](uint8_t* buffer) {
        for (int i = 0; i < bufferBytes; ++i) {
            state = state * 1664525u + 1013904223u;
            buffer[i] = static_cast<uint8_t>(state >> 24);
        }
    };
    fill(b.imageBuffers[0]);
    fill(b.imageBuffers[1]);
    std::vector<uint8_t> plain(bufferBytes);
    for (float weight : {0.0f, 0.05f, 0.3333f, 0.5f, 0.77f, 0.999f, 1.0f}) {
        fill(b.effectBuffer);
        std::copy(b.effectBuffer, b.effectBuffer + bufferBytes, plain.begin());
        blendFrames(b.imageBuffers[0], weight, b.imageBuffers[1], 1.0f - weight, b.effectBuffer);
        blendFramesPlain(b.imageBuffers[0], weight, b.imageBuffers[1], 1.0f - weight, plain.data());
        ASSERT_TRUE(std::equal(plain.begin(), plain.end(), b.effectBuffer))
            << "fast blend equals the table blend for weight " << weight;
    }
}

TEST(ZeroFill, ClearsEveryNonZeroByteWhereverItLies) {
    // Memory handed back by the allocator may hold anything: a byte at the start, inside a
    // block, at a block's last byte and in a last block shorter than the others.
    const size_t size = 3 * 4096 + 100;
    std::vector<uint8_t> bytes(size, 0);
    for (size_t at : {size_t{0}, size_t{4095}, size_t{4096 + 2000}, size_t{3 * 4096 + 99}})
        bytes[at] = 0x80;
    zeroFill(bytes.data(), size);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<long>(size));

    std::fill(bytes.begin(), bytes.end(), 0xFF);
    zeroFill(bytes.data() + 1, size - 2);
    EXPECT_EQ(bytes.front(), 0xFF) << "the byte before is left alone";
    EXPECT_EQ(bytes.back(), 0xFF) << "the byte after is left alone";
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<long>(size - 2));
}
