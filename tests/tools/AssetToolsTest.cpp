// The pack writer against the show's FileServer, and make-assets: deterministic output, sixteen
// loadable pictures, a green key that cuts out the figure, an MP3 soundtrack.
#include "engine/Exception.h"
#include "storage/OImage.h"
#include "tests/storage/PicturesTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

const char* const pictureNames[16] = {
    "data/dovari1.jpg",  "data/dovari2.jpg",   "data/dovari3.jpg",   "data/dovari4.jpg",
    "data/dovari5.jpg",  "data/dovari6.jpg",   "data/dovari7.jpg",   "data/dovari8.jpg",
    "data/rozerid1.jpg", "data/rozerid2.jpg",  "data/rozerid3.jpg",  "data/rozerid8.jpg",
    "data/rozerid9.jpg", "data/rozerid10.jpg", "data/rozerid11.jpg", "data/rozerid12.jpg",
};

int runMakeAssets(const std::string& folder) {
    const std::string command =
        std::string(DEMO_BINARY_DIR) + "/make-assets --seconds 1 " + folder + " > /dev/null";
    return std::system(command.c_str());
}

} // namespace

TEST(PackWriter, FileServerServesEveryEntryByteForByte) {
    std::vector<pack::Entry> entries = {
        {"data/a.jpg", {1, 2, 3}}, {"empty.bin", {}}, {"deep/path/b.txt", {'@', '@', 0, 255}}};
    ScratchDir folder;
    writeBytes(folder.file("p.dat"), pack::buildPack(entries));
    FileServer server(nullptr, 200);
    server.open(folder.file("p.dat"));
    for (const pack::Entry& entry : entries) {
        ASSERT_EQ(server.getFileSize(entry.name), static_cast<int32_t>(entry.bytes.size()))
            << entry.name;
        std::unique_ptr<uint8_t[]> bytes(server.getFile(entry.name));
        if (!entry.bytes.empty()) {
            ASSERT_NE(bytes, nullptr) << entry.name;
            EXPECT_EQ(std::vector<uint8_t>(bytes.get(), bytes.get() + entry.bytes.size()),
                      entry.bytes)
                << entry.name;
        }
    }
    std::vector<pack::ListedEntry> listed;
    std::string error;
    ASSERT_TRUE(pack::readDirectory(readBytes(folder.file("p.dat")), listed, error)) << error;
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[2].name, "deep/path/b.txt");
    EXPECT_EQ(listed[2].offset, server.getDirectory().getOffset(2)) << "same offsets as the show";
}

TEST(PackWriter, RefusesNamesAndCountsThePackCannotHold) {
    EXPECT_THROW(pack::buildPack({{"a@b", {}}}), std::runtime_error) << "a name with @";
    EXPECT_THROW(pack::buildPack({{"", {}}}), std::runtime_error) << "an empty name";
    EXPECT_THROW(pack::buildPack({{std::string(512, 'x'), {}}}), std::runtime_error)
        << "a name of 512 bytes";
    EXPECT_NO_THROW(pack::buildPack({{std::string(511, 'x'), {}}})) << "511 bytes fit";
    EXPECT_THROW(pack::buildPack(std::vector<pack::Entry>(1025, {"x", {}})), std::runtime_error)
        << "1025 entries";
}

TEST(PackWriter, ListingFlagsEntriesHiddenByEarlierOnes) {
    std::vector<pack::ListedEntry> listed;
    std::string error;
    ASSERT_TRUE(pack::readDirectory(
        pack::buildPack({{"data/a.jpg", {1}}, {"A.JPG", {2}}, {"b.jpg", {3}}}), listed, error));
    EXPECT_TRUE(pack::isShadowed(listed, 1)) << "a request for A.JPG finds data/a.jpg first";
    EXPECT_FALSE(pack::isShadowed(listed, 2));
}

TEST(MakeAssets, WritesTheSameLoadableAssetsOnEveryRun) {
    ScratchDir first, second;
    ASSERT_EQ(runMakeAssets(first.path.string()), 0);
    ASSERT_EQ(runMakeAssets(second.path.string()), 0);
    const std::vector<uint8_t> pack = readBytes(first.file("_.dat"));
    const std::vector<uint8_t> music = readBytes(first.file("velmorin.mp3"));
    EXPECT_EQ(pack, readBytes(second.file("_.dat"))) << "the pack is identical run to run";
    EXPECT_EQ(music, readBytes(second.file("velmorin.mp3"))) << "the soundtrack is identical";
    ASSERT_GT(music.size(), 4u);
    EXPECT_EQ(music[0], 0xFF) << "an MPEG audio frame starts the file";
    EXPECT_EQ(music[1] & 0xFE, 0xFA) << "MPEG-1 layer III";

    std::vector<pack::ListedEntry> listed;
    std::string error;
    ASSERT_TRUE(pack::readDirectory(pack, listed, error)) << error;
    ASSERT_EQ(listed.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(listed[static_cast<size_t>(i)].name, pictureNames[i]);

    FileServer server(nullptr, 200);
    server.open(first.file("_.dat"));
    setProcessFileServer(&server);
    for (const char* name : pictureNames) {
        OImage image(name, -1, -1);
        EXPECT_EQ(image.getWidth(), 640) << name;
        EXPECT_EQ(image.getHeight(), 240) << name;
        // Not a flat fill: the picture uses a wide range of values.
        int lowest = 255, highest = 0;
        for (int i = 0; i < 640 * 240 * 3; ++i) {
            lowest = std::min<int>(lowest, image.getPixels()[i]);
            highest = std::max<int>(highest, image.getPixels()[i]);
        }
        EXPECT_GT(highest - lowest, 120) << name << " has contrast";
    }

    // The start-up keys rozerid1 on green above 150: the corners are background, the figure's
    // body in the middle is not.
    OImage figure("data/rozerid1.jpg", -1, -1);
    setProcessFileServer(nullptr);
    auto green = [&](int x, int y) { return figure.getPixels()[(y * 640 + x) * 3 + 1]; };
    const int background[][2] = {{0, 0}, {639, 0}, {0, 239}, {639, 239}, {100, 120}, {550, 120}};
    for (const auto& p : background)
        EXPECT_GT(green(p[0], p[1]), 170) << p[0] << "," << p[1];
    int keyed = 0, kept = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 640; ++x)
            (green(x, y) > 150 ? keyed : kept)++;
    EXPECT_LT(green(302, 110), 100) << "the figure's body stays";
    EXPECT_GT(kept, 640 * 240 / 20) << "a sizeable figure survives the key";
    EXPECT_GT(keyed, 640 * 240 / 2) << "most of the picture is key background";
}
