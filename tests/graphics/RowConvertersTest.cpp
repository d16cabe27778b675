// Tests of the row converters: the selection table, the documented pixel values, exact write
// extents, and the grouped steps against the pixel-by-pixel path.
#include "graphics/RowConverters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Converter {
    const char* name;
    RowConverter grouped;
    RowConverter single; // the pixel-by-pixel reference
    int bytesPerPixel;
};

const Converter converters[] = {
    {"32", convertRowTo32, PixelByPixel::convertRowTo32, 4},
    {"32Bgr", convertRowTo32Bgr, PixelByPixel::convertRowTo32Bgr, 4},
    {"24", convertRowTo24, PixelByPixel::convertRowTo24, 3},
    {"24Bgr", convertRowTo24Bgr, PixelByPixel::convertRowTo24Bgr, 3},
    {"565", convertRowTo565, PixelByPixel::convertRowTo565, 2},
    {"565Bgr", convertRowTo565Bgr, PixelByPixel::convertRowTo565Bgr, 2},
    {"555", convertRowTo555, PixelByPixel::convertRowTo555, 2},
    {"555Bgr", convertRowTo555Bgr, PixelByPixel::convertRowTo555Bgr, 2},
};

constexpr uint8_t untouched = 0xCD;

// Converts a row of `count` copies of one pixel (long enough to use both the grouped step and
// the remainder) and returns the destination bytes.
std::vector<uint8_t> convertRepeated(RowConverter converter, uint32_t pixel, int count,
                                     int bytesPerPixel) {
    std::vector<uint32_t> source(count, pixel);
    std::vector<uint8_t> destination(static_cast<size_t>(count) * bytesPerPixel, untouched);
    converter(source.data(), destination.data(), count);
    return destination;
}

uint32_t word16At(const std::vector<uint8_t>& bytes, size_t pixel) {
    return bytes[2 * pixel] | (bytes[2 * pixel + 1] << 8);
}

uint32_t word32At(const std::vector<uint8_t>& bytes, size_t pixel) {
    return bytes[4 * pixel] | (bytes[4 * pixel + 1] << 8) | (bytes[4 * pixel + 2] << 16) |
           (static_cast<uint32_t>(bytes[4 * pixel + 3]) << 24);
}

// Every one of the 19 pixels (4 groups of 4 plus 3, 2 groups of 8 plus 3) gives `expected`.
void expect16BitResult(RowConverter converter, uint32_t pixel, uint32_t expected,
                       const char* what) {
    const int count = 19;
    const std::vector<uint8_t> out = convertRepeated(converter, pixel, count, 2);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(word16At(out, i), expected) << what << ", pixel " << i;
}

} // namespace

TEST(SelectRowConverter, EachRowOfTheTableFindsItsConverter) {
    EXPECT_EQ(selectRowConverter(32, 0xFF0000, 0xFF00, 0xFF), convertRowTo32) << "32 RGB";
    EXPECT_EQ(selectRowConverter(32, 0xFF, 0xFF00, 0xFF0000), convertRowTo32Bgr) << "32 BGR";
    EXPECT_EQ(selectRowConverter(24, 0xFF0000, 0xFF00, 0xFF), convertRowTo24) << "24 RGB";
    EXPECT_EQ(selectRowConverter(24, 0xFF, 0xFF00, 0xFF0000), convertRowTo24Bgr) << "24 BGR";
    EXPECT_EQ(selectRowConverter(16, 0xF800, 0x7E0, 0x1F), convertRowTo565) << "565";
    EXPECT_EQ(selectRowConverter(16, 0x1F, 0x7E0, 0xF800), convertRowTo565Bgr) << "565 BGR";
    EXPECT_EQ(selectRowConverter(16, 0x7C00, 0x3E0, 0x1F), convertRowTo555) << "555";
    EXPECT_EQ(selectRowConverter(16, 0x1F, 0x3E0, 0x7C00), convertRowTo555Bgr) << "555 BGR";
}

TEST(SelectRowConverter, OtherFormatsFindNone) {
    EXPECT_EQ(selectRowConverter(15, 0x7C00, 0x3E0, 0x1F), nullptr)
        << "5-5-5 is recognised only with bit count 16";
    EXPECT_EQ(selectRowConverter(15, 0x1F, 0x3E0, 0x7C00), nullptr) << "BGR 5-5-5 at 15 bits";
    EXPECT_EQ(selectRowConverter(8, 0, 0, 0), nullptr) << "palette mode";
    EXPECT_EQ(selectRowConverter(32, 0xF800, 0x7E0, 0x1F), nullptr) << "16-bit masks at 32";
    EXPECT_EQ(selectRowConverter(24, 0xFF0000, 0xFF00, 0xFF00), nullptr) << "blue mask wrong";
    EXPECT_EQ(selectRowConverter(32, 0x3FF00000, 0xFFC00, 0x3FF), nullptr) << "10-bit channels";
    EXPECT_EQ(selectRowConverter(16, 0xF00, 0xF0, 0xF), nullptr) << "4-4-4";
}

TEST(RowConverters, WhiteAndPureRedIn16BitFormats) {
    expect16BitResult(convertRowTo565, 0x00FFFFFF, 0xFFFF, "white, 565");
    expect16BitResult(convertRowTo565Bgr, 0x00FFFFFF, 0xFFFF, "white, 565 BGR");
    expect16BitResult(convertRowTo555, 0x00FFFFFF, 0x7FFF, "white, 555 (bit 15 clear)");
    expect16BitResult(convertRowTo555Bgr, 0x00FFFFFF, 0x7FFF, "white, 555 BGR (bit 15 clear)");
    expect16BitResult(convertRowTo565, 0x00FF0000, 0xF800, "pure red, 565");
    expect16BitResult(convertRowTo565Bgr, 0x00FF0000, 0x001F, "pure red, 565 BGR");
    expect16BitResult(convertRowTo555, 0x00FF0000, 0x7C00, "pure red, 555");
    expect16BitResult(convertRowTo555Bgr, 0x00FF0000, 0x001F, "pure red, 555 BGR");
}

TEST(RowConverters, LowBitsAreDroppedWithoutRounding) {
    expect16BitResult(convertRowTo565, 0x00080404, 0x0820, "blue 4 -> 0, green 4 -> 1, red 8 -> 1");
    expect16BitResult(convertRowTo565, 0x00070307, 0x0000, "every channel below one step");
    expect16BitResult(convertRowTo555, 0x00070707, 0x0000, "every channel below one 5-bit step");
    expect16BitResult(convertRowTo555Bgr, 0x000F0F0F, 0x0421, "one step in each channel");
    expect16BitResult(convertRowTo565, 0xFF000000, 0x0000, "top byte ignored by 565");
    expect16BitResult(convertRowTo555, 0xFF000000, 0x0000, "top byte ignored by 555");
}

TEST(RowConverters, WordPixel12345678InWideFormats) {
    const int count = 11;
    const std::vector<uint8_t> to32 = convertRepeated(convertRowTo32, 0x12345678, count, 4);
    const std::vector<uint8_t> to32Bgr = convertRepeated(convertRowTo32Bgr, 0x12345678, count, 4);
    const std::vector<uint8_t> to24 = convertRepeated(convertRowTo24, 0x12345678, count, 3);
    const std::vector<uint8_t> to24Bgr = convertRepeated(convertRowTo24Bgr, 0x12345678, count, 3);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(word32At(to32, i), 0x12345678u) << "32 copies the word, top byte too; " << i;
        EXPECT_EQ(word32At(to32Bgr, i), 0x00785634u) << "32 BGR swaps R and B, top 0; " << i;
        EXPECT_EQ(to24[3 * i], 0x78) << "24: blue first; pixel " << i;
        EXPECT_EQ(to24[3 * i + 1], 0x56) << "24: green second; pixel " << i;
        EXPECT_EQ(to24[3 * i + 2], 0x34) << "24: red third; pixel " << i;
        EXPECT_EQ(to24Bgr[3 * i], 0x34) << "24 BGR: red first; pixel " << i;
        EXPECT_EQ(to24Bgr[3 * i + 1], 0x56) << "24 BGR: green second; pixel " << i;
        EXPECT_EQ(to24Bgr[3 * i + 2], 0x78) << "24 BGR: blue third; pixel " << i;
    }
}

TEST(RowConverters, CountZeroOrNegativeWritesNothing) {
    const uint32_t source[4] = {0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF, 0x00FFFFFF};
    for (const Converter& converter : converters) {
        for (int32_t count : {0, -1, -8, INT32_MIN}) {
            uint8_t destination[32];
            std::memset(destination, untouched, sizeof destination);
            converter.grouped(source, destination, count);
            converter.single(source, destination, count);
            for (uint8_t byte : destination)
                ASSERT_EQ(byte, untouched) << converter.name << " wrote with count " << count;
        }
    }
}

// For every count 0..67, with the source and the destination at every alignment, the grouped
// converter writes exactly the bytes the pixel-by-pixel path writes, and nothing around them.
TEST(RowConverters, GroupedStepsEqualPixelByPixelForEveryCount) {
    std::mt19937 random(20240611);
    for (const Converter& converter : converters) {
        for (int count = 0; count <= 67; ++count) {
            std::vector<uint32_t> source(count + 1);
            for (uint32_t& pixel : source)
                pixel = static_cast<uint32_t>(random());
            for (int sourceOffset = 0; sourceOffset <= 1; ++sourceOffset) {
                for (int destinationOffset = 0; destinationOffset < 4; ++destinationOffset) {
                    const size_t size = static_cast<size_t>(count) * converter.bytesPerPixel;
                    std::vector<uint8_t> grouped(size + 8, untouched);
                    std::vector<uint8_t> single(size + 8, untouched);
                    converter.grouped(source.data() + sourceOffset,
                                      grouped.data() + destinationOffset, count);
                    converter.single(source.data() + sourceOffset,
                                     single.data() + destinationOffset, count);
                    ASSERT_EQ(grouped, single)
                        << converter.name << ": count " << count << ", source offset "
                        << sourceOffset << ", destination offset " << destinationOffset;
                    for (int i = 0; i < destinationOffset; ++i)
                        ASSERT_EQ(grouped[i], untouched) << converter.name << " wrote before";
                    for (size_t i = destinationOffset + size; i < grouped.size(); ++i)
                        ASSERT_EQ(grouped[i], untouched)
                            << converter.name << " wrote past " << count << " pixels";
                }
            }
        }
    }
}

// A full-range sweep of each channel through the grouped path: every 8-bit value of one
// channel, with the other channels at random, gives the table's word.
TEST(RowConverters, SixteenBitFormulasHoldForEveryChannelValue) {
    std::mt19937 random(7);
    std::vector<uint32_t> source(256 * 3);
    for (size_t i = 0; i < source.size(); ++i) {
        const uint32_t value = i % 256;
        const uint32_t shift = 8 * static_cast<uint32_t>(i / 256);
        source[i] = (static_cast<uint32_t>(random()) & ~(0xFFu << shift)) | (value << shift);
    }
    const int count = static_cast<int>(source.size());
    std::vector<uint8_t> out565(2 * count), out565Bgr(2 * count), out555(2 * count),
        out555Bgr(2 * count);
    convertRowTo565(source.data(), out565.data(), count);
    convertRowTo565Bgr(source.data(), out565Bgr.data(), count);
    convertRowTo555(source.data(), out555.data(), count);
    convertRowTo555Bgr(source.data(), out555Bgr.data(), count);
    for (int i = 0; i < count; ++i) {
        const uint32_t p = source[i];
        const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        ASSERT_EQ(word16At(out565, i), ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3))
            << "565 of " << std::hex << p;
        ASSERT_EQ(word16At(out565Bgr, i), ((b >> 3) << 11) | ((g >> 2) << 5) | (r >> 3))
            << "565 BGR of " << std::hex << p;
        ASSERT_EQ(word16At(out555, i), ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
            << "555 of " << std::hex << p;
        ASSERT_EQ(word16At(out555Bgr, i), ((b >> 3) << 10) | ((g >> 3) << 5) | (r >> 3))
            << "555 BGR of " << std::hex << p;
    }
}
