// The graphics factory's platform check: settings keys 4 and 5 must both be 1. A program of its
// own, as the factory and the settings are process-wide and keep their first values.
#include "graphics/GraphicsFactory.h"

#include "engine/Error.h"
#include "engine/Settings.h"

#include <gtest/gtest.h>

TEST(GraphicsFactory, UnknownPlatformThrowsErrorNamingTheSelectors) {
    Settings::instance()->setInt(platformFirst, 2); // key 5 is never stored: it reads 0
    try {
        GraphicsFactory::instance();
        ADD_FAILURE() << "platform 2/0 must be refused";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), "Invalid platform!") << "the factory's own message";
        EXPECT_EQ(e.reason(), "settings keys 4 and 5 are 2 and 0; only 1 and 1 select a platform")
            << "the reason names the values it found";
        EXPECT_FALSE(e.shown());
    }
}
