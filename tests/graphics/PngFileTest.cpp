// Saved frames read back with libpng exactly as written; a file that cannot be written says
// why.
#include "graphics/PngFile.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

TEST(PngFile, AFrameReadsBackExactlyAndAnUnwritablePathSaysWhy) {
    std::vector<uint8_t> frame(640 * 480 * 3);
    uint32_t state = 12345;
    for (uint8_t& byte : frame) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    const std::string path = testing::TempDir() + "png-file-test.png";
    std::string why;
    ASSERT_TRUE(writePng(path, frame.data(), 640, 480, why)) << why;

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, path.c_str()), 0) << image.message;
    EXPECT_EQ(image.width, 640u);
    EXPECT_EQ(image.height, 480u);
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u) << "no alpha channel";
    image.format = PNG_FORMAT_BGR;
    std::vector<uint8_t> read(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, read.data(), 0, nullptr), 0) << image.message;
    EXPECT_TRUE(read == frame) << "every pixel as written";
    std::remove(path.c_str());

    EXPECT_FALSE(writePng("/no-such-folder/frame.png", frame.data(), 640, 480, why));
    EXPECT_FALSE(why.empty()) << "the reason is given";
}
