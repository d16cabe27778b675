// The settings registry: first store wins, integer and float settings kept apart.
#include "engine/Settings.h"

#include <gtest/gtest.h>

namespace {

// Each test starts from a fresh, empty registry.
class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        delete Settings::instance();
        settings = Settings::instance();
        ASSERT_NE(settings, nullptr);
    }

    Settings* settings = nullptr;
};

TEST_F(SettingsTest, FirstStoreWins) {
    settings->setInt(1, 640);
    settings->setInt(1, 800);
    EXPECT_EQ(settings->getInt(1), 640) << "a second store leaves the first value";
    settings->setFloat(2, 1.5f);
    settings->setFloat(2, 9.0f);
    EXPECT_EQ(settings->getFloat(2), 1.5f) << "the same for floats";
    EXPECT_EQ(Settings::instance(), settings) << "one registry for the process";
}

TEST_F(SettingsTest, IntegerAndFloatMapsAreSeparate) {
    settings->setInt(1, 640);
    settings->setFloat(1, 2.5f);
    EXPECT_EQ(settings->getInt(1), 640) << "a float store does not touch integer key 1";
    EXPECT_EQ(settings->getFloat(1), 2.5f) << "the float store took effect: key 1 was free there";
    settings->setInt(7, 3);
    EXPECT_EQ(settings->getFloat(7), 0.0f) << "an integer store creates no float setting";
}

TEST_F(SettingsTest, NegativeKeysAndTheStartUpKeys) {
    settings->setInt(-4, 11);
    settings->setInt(4, 1);
    EXPECT_EQ(settings->getInt(-4), 11) << "negative keys are ordinary keys";
    EXPECT_EQ(settings->getInt(4), 1) << "distinct from their positive twins";

    settings->setInt(xRes, 640);
    settings->setInt(yRes, 480);
    settings->setInt(bpp, 32);
    settings->setInt(platformSecond, 1);
    EXPECT_EQ(settings->getInt(1), 640);
    EXPECT_EQ(settings->getInt(2), 480);
    EXPECT_EQ(settings->getInt(3), 32);
    EXPECT_EQ(settings->getInt(5), 1);
    EXPECT_EQ(settings->getInt(99), 0) << "a key never stored reads 0";
}

TEST_F(SettingsTest, DestroyedRegistryIsBuiltAfresh) {
    settings->setInt(1, 800);
    delete settings;
    Settings* fresh = Settings::instance();
    ASSERT_NE(fresh, nullptr);
    fresh->setInt(1, 640);
    EXPECT_EQ(fresh->getInt(1), 640) << "the new registry starts empty";
}

} // namespace
