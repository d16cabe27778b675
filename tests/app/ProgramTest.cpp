// The built program as a user runs it, headless (SDL's dummy drivers): in a folder of its own,
// with or without the pack and the soundtrack, checking what it prints and its exit code.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string err; // standard error
};

int count(const std::string& text, const std::string& word) {
    int n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

class Program : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("demo-program-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    void copyAsset(const std::string& name) {
        fs::copy_file(fs::path(DEMO_TEST_ASSETS) / name, folder / name);
    }

    // Runs the program in the folder with the given arguments; a run that outlasts a minute
    // is killed (and fails the test through its exit code).
    Outcome run(const std::string& arguments) {
        const std::string command =
            "cd '" + folder.string() +
            "' && SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 60 '" +
            std::string(DEMO_PROGRAM) + "' " + arguments + " </dev/null >stdout.txt 2>stderr.txt";
        const int status = std::system(command.c_str());
        Outcome result;
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(folder / "stderr.txt");
        std::stringstream text;
        text << in.rdbuf();
        result.err = text.str();
        return result;
    }

    // The exit code, "Sorry." as often as expected, and the credits exactly once.
    static void expectEnd(const Outcome& result, int sorries, int exitCode = 0) {
        EXPECT_EQ(result.exitCode, exitCode) << result.err;
        EXPECT_EQ(count(result.err, "Sorry."), sorries) << result.err;
        EXPECT_EQ(count(result.err, "created by ~north of nowhere~"), 1) << result.err;
    }

    fs::path folder;
};

TEST_F(Program, WithoutThePackItSaysSorryAndShowsTheCreditsOnce) {
    const Outcome result = run("noaudio");
    expectEnd(result, 1);
    // The credits come last, after the failure.
    EXPECT_LT(result.err.find("Sorry."), result.err.find("created by")) << result.err;
}

TEST_F(Program, AJunkPackEndsInSorry) {
    std::mt19937 random(7);
    std::ofstream pack(folder / "_.dat", std::ios::binary);
    for (int i = 0; i < 5000; ++i)
        pack.put(static_cast<char>(random()));
    pack.close();
    expectEnd(run("noaudio"), 1);
}

TEST_F(Program, APackThatIsNoRegularFileEndsInSorry) {
    ASSERT_EQ(::mkfifo((folder / "_.dat").c_str(), 0600), 0) << "a FIFO as the pack";
    expectEnd(run("end=1 noaudio"), 1); // a start-up blocked in the open is killed and fails
    fs::remove(folder / "_.dat");
    fs::create_symlink("/dev/zero", folder / "_.dat");
    expectEnd(run("end=1 noaudio"), 1);
}

TEST_F(Program, AMissingSoundtrackWithSoundOnEndsInSorry) {
    copyAsset("_.dat");
    expectEnd(run("end=100"), 1);
}

TEST_F(Program, WithASoundOffWordItRunsSilentWithoutTheSoundtrack) {
    copyAsset("_.dat");
    expectEnd(run("NoAudio end=150"), 0);
}

TEST_F(Program, WithTheSoundtrackItPlaysToTheGivenEnd) {
    copyAsset("_.dat");
    copyAsset("velmorin.mp3");
    expectEnd(run("end=150"), 0);
}

TEST_F(Program, AVideoExportEndsNormallyWithAFile) {
    copyAsset("_.dat");
    const Outcome result = run("video codec=raw noaudio end=40");
    expectEnd(result, 0);
    // 40 ticks are 18 frames at 31 per second (a frame every 71 / 31 ticks).
    EXPECT_GT(fs::file_size(folder / "_.avi"), 18u * 640 * 480 * 3) << "every frame was written";
}

TEST_F(Program, AnUnknownCodecEndsWithCode1AndTheCredits) {
    copyAsset("_.dat");
    const Outcome result = run("video codec=divx noaudio");
    expectEnd(result, 0, 1);
    EXPECT_NE(result.err.find("Error!: Unknown video codec 'divx'"), std::string::npos)
        << result.err;
    EXPECT_LT(result.err.find("Error!"), result.err.find("created by")) << "the credits come last";
}

TEST_F(Program, AnExportThatCannotOpenItsFileEndsWithCode1) {
    copyAsset("_.dat");
    fs::create_directory(folder / "_.avi"); // a directory where the file should go
    const Outcome result = run("video codec=raw noaudio end=10");
    expectEnd(result, 0, 1);
    EXPECT_NE(result.err.find("Error!: Couldn't"), std::string::npos)
        << "an Error! box: " << result.err;
    EXPECT_NE(result.err.find("'Is a directory'"), std::string::npos)
        << "naming the system's reason: " << result.err;
}

} // namespace
