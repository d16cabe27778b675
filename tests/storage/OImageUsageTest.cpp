// OImage's shared data: the decoder is set up while no picture has loaded yet. Runs in its own
// process, since the usage count only rises.
#include "engine/Error.h"
#include "storage/OImage.h"
#include "tests/storage/PicturesTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const char* const sharedDataLine =
    "{OImage::OImage()}: Usage count equals zero - allocating shared data...";

std::vector<std::string> lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

} // namespace

TEST(OImageUsageCount, FirstPictureSetsUpSharedDataAndFailuresDoNotCount) {
    const std::vector<uint8_t> good = colourJpeg(640, 240);
    const std::vector<uint8_t> broken(good.begin(), good.begin() + 1000);
    ScratchDir logFolder;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(logFolder.path.c_str()), 0);
    {
        // File mode at threshold 0: every line lands in debug.log in the scratch folder.
        PackFixture fixture(
            {{"data/broken.jpg", broken}, {"data/dovari1.jpg", good}, {"data/dovari2.jpg", good}},
            1, 0);
        ASSERT_EQ(OImage::getUsageCount(), 0);
        EXPECT_THROW(OImage("data/broken.jpg", -1, -1), Error);
        EXPECT_EQ(OImage::getUsageCount(), 0) << "a failed first load leaves the count at 0";

        OImage first("data/dovari1.jpg", -1, -1);
        EXPECT_EQ(OImage::getUsageCount(), 1);
        OImage second("data/dovari2.jpg", -1, -1);
        EXPECT_EQ(OImage::getUsageCount(), 2);
    }
    const std::vector<std::string> log = lines("debug.log");
    ASSERT_EQ(chdir(previous), 0);

    const std::string size = std::to_string(good.size());
    const std::vector<std::string> expected = {
        "{OImage::OImage()}: Allocating resources...",
        sharedDataLine,
        "{OImage::OImage()}: Reading data/broken.jpg...Failed!",
        "{OImage::OImage()}: Allocating resources...",
        sharedDataLine, // the failed load did not count: set up again
        "{OImage::OImage()}: Reading data/dovari1.jpg...Done! (" + size + " bytes read.)",
        "{OImage::OImage()}: Done.",
        "{OImage::OImage()}: Allocating resources...",
        "{OImage::OImage()}: Reading data/dovari2.jpg...Done! (" + size + " bytes read.)",
        "{OImage::OImage()}: Done.",
    };
    // The library's own warning about the cut-off data may sit between the lines; leave it out.
    std::vector<std::string> ours;
    for (const std::string& line : log)
        if (line.find("JPEG library:") == std::string::npos) ours.push_back(line);
    EXPECT_EQ(ours, expected) << "log lines of a failed, a first and a second load";
}
