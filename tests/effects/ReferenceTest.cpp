// The renderer against an independent implementation's digests of every frame of the
// reference pack: the first frame that departs is reported with its index and ticks.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

// 0: the whole show, to its own end.
#ifndef REFERENCE_END_TICKS
#define REFERENCE_END_TICKS 0
#endif

namespace {

std::string referenceDir() {
    return DEMO_REFERENCE_DIR;
}

} // namespace

TEST(Reference, FramesMatchTheIndependentDigests) {
    std::ifstream expected(referenceDir() + "/frames.md5");
    if (!expected) GTEST_SKIP() << "no reference digests beside the checkout";
    std::string command =
        std::string(DEMO_BINARY_DIR) + "/demo-render --pack " + referenceDir() + "/_.dat";
    if (REFERENCE_END_TICKS > 0) command += " --end " + std::to_string(REFERENCE_END_TICKS);
    command += " 2>/dev/null";
    std::FILE* render = popen(command.c_str(), "r");
    ASSERT_NE(render, nullptr) << "demo-render started";
    char line[256];
    long compared = 0;
    std::string want;
    while (std::fgets(line, sizeof line, render) != nullptr) {
        std::string got(line);
        if (!got.empty() && got.back() == '\n') got.pop_back();
        ASSERT_TRUE(std::getline(expected, want)) << "more frames than the reference: " << got;
        if (got != want) {
            pclose(render);
            FAIL() << "first departing frame: rendered '" << got << "', reference '" << want << "'";
        }
        ++compared;
    }
    EXPECT_EQ(pclose(render), 0) << "demo-render exit status";
    if (REFERENCE_END_TICKS == 0) {
        EXPECT_EQ(compared, 27902) << "the whole show";
    }
    EXPECT_GT(compared, 0) << "frames compared";
    std::printf("compared %ld frames\n", compared);
}
