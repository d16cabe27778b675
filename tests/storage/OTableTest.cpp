// OTable: the trigonometric tables, the resolution values, the row shift pairs and the Z-buffer.
#include "storage/OTable.h"

#include "engine/DebugServer.h"
#include "storage/FileServer.h"
#include "tests/storage/PicturesTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <unistd.h>

TEST(OTableValuesBeforeConstruction, HoldTheirInitialContents) {
    const OTableValues& v = OTable::values();
    EXPECT_EQ(v.xRes, 320);
    EXPECT_EQ(v.yRes, 240);
    EXPECT_FLOAT_EQ(v.aspectCorrection, 1.0f);
    EXPECT_FLOAT_EQ(v.xProjectionScale, 0.28125f);
    EXPECT_FLOAT_EQ(v.yProjectionScale, 0.375f);
    EXPECT_EQ(v.rowShiftA, 8);
    EXPECT_EQ(v.rowShiftB, 6);
}

TEST(OTableConstruction, BuildsFullTurnTablesAndTheStartUpResolution) {
    DebugServer debug(11, 0);
    setProcessDebugServer(&debug);
    OTable table(65535, 640, 480, 32, 45.0f);
    setProcessDebugServer(nullptr);
    const OTableValues& v = OTable::values();

    ASSERT_EQ(v.tableSize, 65535);
    EXPECT_EQ(v.cosTable[0], 1.0f) << "first cosine entry is cos 0";
    EXPECT_EQ(v.cosTable[65534], 1.0f) << "last cosine entry is cos 0 again";
    EXPECT_EQ(v.sinTable[0], 0.0f);
    EXPECT_NEAR(v.sinTable[65534], 0.0f, 1e-6f);
    // Entries are 2 pi / 65534 apart: a quarter turn lands on entry 16383.5, half a turn on 32767.
    EXPECT_EQ(v.cosTable[32767], -1.0f) << "entry 32767 is half a turn";
    EXPECT_FLOAT_EQ(v.sinTable[1],
                    static_cast<float>(std::sin(2.0L * 3.14159265358979323846L / 65534)));

    EXPECT_EQ(v.xRes, 640);
    EXPECT_EQ(v.yRes, 480);
    EXPECT_EQ(v.bpp, 32);
    EXPECT_EQ(v.bytesPerPixel, 4);
    EXPECT_EQ(v.halfWidth, 320);
    EXPECT_EQ(v.halfHeight, 240);
    EXPECT_EQ(v.rowShiftA, 7);
    EXPECT_EQ(v.rowShiftB, 9);
    EXPECT_FLOAT_EQ(v.factorA, 0.99f) << "factors of 1.0 are kept below 1";
    EXPECT_FLOAT_EQ(v.factorB, 0.99f);
    EXPECT_EQ(v.zBufferBytes, 1228800u);
    EXPECT_NE(v.zBuffer, nullptr);
    EXPECT_STREQ(debug.getLastText(), "{OTable}: Allocating Z-buffer..");
}

TEST(OTableResolution, RowShiftPairsSumToTheWidth) {
    const int widths[] = {320, 512, 640, 1024, 1152, 1280};
    for (int width : widths) {
        OTable::setResolution(static_cast<int16_t>(width), 200, 32);
        const OTableValues& v = OTable::values();
        EXPECT_EQ((1 << v.rowShiftA) + (1 << v.rowShiftB), width) << "width " << width;
        EXPECT_EQ(v.zBufferBytes, static_cast<size_t>(width) * 200 * 4) << "width " << width;
    }
    OTable::setResolution(640, 480, 32);
    const OTableValues& v = OTable::values();
    EXPECT_EQ(v.rowShiftA, 7);
    EXPECT_EQ(v.rowShiftB, 9);
    OTable::setResolution(800, 600, 16);
    EXPECT_EQ(v.rowShiftA, 7) << "800 x 600 leaves the pair as it was";
    EXPECT_EQ(v.rowShiftB, 9);
    EXPECT_EQ(v.bytesPerPixel, 2) << "(16 + 1) / 8";
    EXPECT_EQ(v.zBufferBytes, 800u * 600u * 4u);
}

TEST(OTableConstruction, LogsEachStepInOrder) {
    ScratchDir folder;
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(folder.path.c_str()), 0);
    {
        DebugServer debug(0, 1); // every line to debug.log in the scratch folder
        setProcessDebugServer(&debug);
        OTable table(65535, 640, 480, 32, 45.0f);
        setProcessDebugServer(nullptr);
    }
    std::ifstream in("debug.log");
    std::vector<std::string> log;
    for (std::string line; std::getline(in, line);)
        log.push_back(line);
    ASSERT_EQ(chdir(previous), 0);
    const std::vector<std::string> expected = {
        "{OTable::OTable()}: Allocating resources...",
        "{OTable}: Calculating look-up tables...",
        "{OTable}: Precalculating cos values...",
        "{OTable}: Precalculating sin values...",
        "{OTable}: Calculating resolution- and FOV-constants...",
        "{OTable::setResolution}: xRes:640  yRes:480  bpp:32",
        "{OTable::setResolution}: FOV: 45.000000",
        "{OTable}: Allocating Z-buffer..",
    };
    EXPECT_EQ(log, expected);
}

TEST(OTableResolution, NegativeSizesGiveNoZBuffer) {
    OTable::setResolution(-640, 480, 32);
    EXPECT_EQ(OTable::values().zBuffer, nullptr);
    EXPECT_EQ(OTable::values().zBufferBytes, 0u);
    OTable::setResolution(640, 480, 32);
}

TEST(OTableFactors, AreKeptInsideTheOpenUnitInterval) {
    OTable::setFactors(-3.0f, 0.5f);
    EXPECT_FLOAT_EQ(OTable::values().factorA, 0.00001f);
    EXPECT_FLOAT_EQ(OTable::values().factorB, 0.5f);
    OTable::setFactors(0.0f, 7.0f);
    EXPECT_FLOAT_EQ(OTable::values().factorA, 0.00001f);
    EXPECT_FLOAT_EQ(OTable::values().factorB, 0.99f);
}
