// The debug log: file mode, threshold, flushing, the kept copy and the fatal exit.
#include "engine/DebugServer.h"
#include "engine/Error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Runs each test inside a fresh scratch directory, where debug.log is written.
class DebugServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "demo-log-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        previous = std::filesystem::current_path();
        std::filesystem::current_path(dir);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }

    std::string logText() const {
        std::ifstream in(dir / "debug.log");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path dir;
    std::filesystem::path previous;
};

TEST_F(DebugServerTest, StartUpValuesWriteNothing) {
    DebugServer server(11, 0);
    for (int level = 0; level <= 10; ++level)
        server.log("{Test}: line", static_cast<int8_t>(level));
    EXPECT_FALSE(std::filesystem::exists(dir / "debug.log")) << "mode 0 creates no file";
    EXPECT_STREQ(server.getLastText(), "{Test}: line") << "the line is still kept";
}

TEST_F(DebugServerTest, FileModeWritesAtOrAboveThresholdAndFlushes) {
    std::ofstream(dir / "debug.log") << "old contents\n";
    DebugServer server(5, 1);
    EXPECT_EQ(logText(), "") << "debug.log is emptied at start";
    server.log("{Test}: level five", 5);
    EXPECT_EQ(logText(), "{Test}: level five\n") << "level 5 is written, flushed at once";
    server.log("{Test}: level four", 4);
    EXPECT_EQ(logText(), "{Test}: level five\n") << "level 4 is below the threshold";
    server.log("{Test}: level ten", 10);
    EXPECT_EQ(logText(), "{Test}: level five\n{Test}: level ten\n") << "no prefix, one per line";
}

TEST_F(DebugServerTest, ThresholdComparisonIsSigned) {
    DebugServer server(0, 1);
    server.log("minus one", -1);
    server.log("zero", 0);
    EXPECT_EQ(logText(), "zero\n") << "level -1 is below threshold 0";

    DebugServer lowest(-128, 1); // reopens and empties debug.log
    lowest.log("minus one", -1);
    EXPECT_EQ(logText(), "minus one\n") << "threshold -128 lets negative levels through";
}

TEST_F(DebugServerTest, KeptCopyGrowsOnlyForLongerLines) {
    DebugServer server(11, 0);
    server.log("a longer line", 0);
    EXPECT_EQ(server.getLastTextSize(), 13u);
    server.log("short", 0);
    EXPECT_STREQ(server.getLastText(), "short");
    EXPECT_EQ(server.getLastTextSize(), 13u) << "a shorter line reuses the buffer";
    server.log("an even longer line", 0);
    EXPECT_STREQ(server.getLastText(), "an even longer line");
    EXPECT_EQ(server.getLastTextSize(), 19u) << "a longer line replaces the buffer";
}

// The Error thrown by call; an empty one with exit code -1 when it returns normally.
template <typename Call> Error errorThrownBy(Call call) {
    try {
        call();
    } catch (const Error& error) {
        return error;
    }
    return Error::exit(-1);
}

TEST_F(DebugServerTest, FatalShowsItsBoxAndEndsTheProgramWithCodeOne) {
    testing::internal::CaptureStderr();
    const Error fatal = errorThrownBy([] { DebugServer::fatal("Error - test! Aborting..."); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Fatal error!: Error - test! Aborting...\n")
        << "its box under \"Fatal error!\" comes first";
    EXPECT_EQ(fatal.exitCode(), 1) << "fatal ends the program with code 1";
    EXPECT_TRUE(fatal.shown()) << "its box told the user: no \"Sorry.\" follows";
    EXPECT_EQ(fatal.text(), "Error - test! Aborting...") << "the box's message";

    std::filesystem::create_directory(dir / "debug.log"); // cannot be opened as a file
    testing::internal::CaptureStderr();
    const Error noLog = errorThrownBy([] { DebugServer server(0, 1); });
    EXPECT_NE(
        testing::internal::GetCapturedStderr().find("Error - Can't create log-file! Aborting..."),
        std::string::npos)
        << "a log file that cannot be created shows its box";
    EXPECT_EQ(noLog.exitCode(), 1) << "and is fatal";
    EXPECT_EQ(noLog.reason(), "debug.log: Is a directory")
        << "the reason names the file and the system's words";
}

} // namespace
