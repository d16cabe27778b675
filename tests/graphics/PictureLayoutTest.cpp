// Where the 640 x 480 picture goes and how it is enlarged, for the screens of today.
#include "graphics/PictureLayout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

namespace {

struct LayoutCase {
    const char* name;
    int screenWidth, screenHeight;
    ScaleMode mode;
    PictureLayout expected;
};

void PrintTo(const LayoutCase& c, std::ostream* out) {
    *out << c.name;
}

class PictureLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PictureLayoutTest, PlaceSizeAndEnlargement) {
    const LayoutCase& c = GetParam();
    const PictureLayout got = layoutPicture(c.screenWidth, c.screenHeight, 640, 480, c.mode);
    EXPECT_EQ(got.x, c.expected.x) << "left column on " << c.name;
    EXPECT_EQ(got.y, c.expected.y) << "top row on " << c.name;
    EXPECT_EQ(got.width, c.expected.width) << "width on " << c.name;
    EXPECT_EQ(got.height, c.expected.height) << "height on " << c.name;
    EXPECT_EQ(got.sharpFactor, c.expected.sharpFactor) << "enlargement on " << c.name;
}

constexpr ScaleMode sharp = ScaleMode::Sharp;
constexpr ScaleMode fit = ScaleMode::Fit;

INSTANTIATE_TEST_SUITE_P(
    Screens, PictureLayoutTest,
    ::testing::Values(
        // Whole-number enlargements that fill at least three quarters of the height.
        LayoutCase{"Exact640x480", 640, 480, sharp, {0, 0, 640, 480, 0}},
        LayoutCase{"FullHd", 1920, 1080, sharp, {320, 60, 1280, 960, 0}},
        LayoutCase{"Qhd", 2560, 1440, sharp, {320, 0, 1920, 1440, 0}},
        LayoutCase{"Uhd", 3840, 2160, sharp, {640, 120, 2560, 1920, 0}},
        LayoutCase{"Old1280x1024", 1280, 1024, sharp, {0, 32, 1280, 960, 0}},
        // Below: sharp scaling to the fitted size through the next whole number.
        LayoutCase{"Hd", 1280, 720, sharp, {160, 0, 960, 720, 2}},
        LayoutCase{"Laptop1366x768", 1366, 768, sharp, {171, 0, 1024, 768, 2}},
        LayoutCase{"Window1000x900", 1000, 900, sharp, {0, 75, 1000, 750, 2}},
        LayoutCase{"SmallWindow", 320, 240, sharp, {0, 0, 320, 240, 1}},
        LayoutCase{"Tall", 641, 2000, sharp, {0, 760, 640, 480, 0}},
        // scale=fit: the fitted size with nearest neighbour, whatever the screen.
        LayoutCase{"FitFullHd", 1920, 1080, fit, {240, 0, 1440, 1080, 0}},
        LayoutCase{"FitLaptop", 1366, 768, fit, {171, 0, 1024, 768, 0}},
        LayoutCase{"FitWindow", 1000, 900, fit, {0, 75, 1000, 750, 0}},
        // Nothing to draw on.
        LayoutCase{"Empty", 0, 768, sharp, {0, 0, 0, 0, 0}},
        LayoutCase{"Negative", 1366, -1, fit, {0, 0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PictureLayout, ThePictureAlwaysFitsCentredWithItsAspect) {
    for (int width = 1; width <= 2600; width += 37) {
        for (int height = 1; height <= 1700; height += 29) {
            for (ScaleMode mode : {sharp, fit}) {
                const PictureLayout l = layoutPicture(width, height, 640, 480, mode);
                ASSERT_GE(l.x, 0) << width << "x" << height;
                ASSERT_GE(l.y, 0) << width << "x" << height;
                ASSERT_LE(l.x + l.width, width)
                    << "inside the screen at " << width << "x" << height;
                ASSERT_LE(l.y + l.height, height) << "inside at " << width << "x" << height;
                ASSERT_LE(std::abs(2 * l.x + l.width - width), 1) << "centred across";
                ASSERT_LE(std::abs(2 * l.y + l.height - height), 1) << "centred down";
                ASSERT_LE(std::abs(l.width * 3 - l.height * 4), 4)
                    << "4:3 kept at " << width << "x" << height;
                ASSERT_TRUE(l.width == width || l.height == height || l.sharpFactor == 0)
                    << "sharp scaling fills the screen's limiting side";
                ASSERT_TRUE(l.sharpFactor == 0 || l.sharpFactor * 480 > l.height)
                    << "sharp scaling enlarges beyond the fitted size, then draws it down";
            }
        }
    }
}

} // namespace
