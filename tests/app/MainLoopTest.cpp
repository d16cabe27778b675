// The border, the show's clocks, the scenes and the command line's words.
#include "tests/effects/ShowFixture.h"

#include "app/CommandLine.h"
#include "app/MainLoop.h"
#include "app/ShowClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

TEST(Border, EdgesAreBlackAndTheInsideIsKept) {
    std::vector<uint8_t> pixels(640 * 480 * 4, 0xFF);
    drawBorder(pixels.data());
    auto at = [&](int x, int y) { return pixels[(y * 640 + x) * 4]; };
    EXPECT_EQ(at(7, 8), 0xFF) << "pixel (7, 8) untouched";
    EXPECT_EQ(at(632, 471), 0xFF) << "pixel (632, 471) untouched";
    EXPECT_EQ(at(6, 8), 0) << "pixel (6, 8) black";
    EXPECT_EQ(at(633, 471), 0) << "pixel (633, 471) black";
    EXPECT_EQ(at(320, 7), 0) << "row 7 black";
    EXPECT_EQ(at(320, 472), 0) << "row 472 black";
    EXPECT_EQ(pixels[(8 * 640 + 7) * 4 + 3], 0xFF) << "byte 3 inside untouched";
}

TEST(ShowClock, TicksAndProgressOfTheVideoFrames) {
    const int expected[][2] = {{0, 0}, {1, 2}, {2, 4}, {3, 6}, {30, 68}, {31, 71}};
    for (const auto& e : expected)
        EXPECT_EQ(videoFrameTicks(e[0]), e[1]) << "after frame " << e[0];
    EXPECT_EQ(videoFrameTicks(27900), 63900) << "after frame 27,900";
    EXPECT_EQ(videoProgress(63900), 99) << "progress with frame 27,900";
    EXPECT_EQ(videoFrameTicks(27901), 63902) << "after frame 27,901";
    EXPECT_EQ(videoProgress(63902), 100) << "progress with frame 27,901";
}

TEST(ShowClock, FrameSlotsAreShorterInTheMiddleOfSceneFour) {
    EXPECT_EQ(frameSlotMs(0), 32u);
    EXPECT_EQ(frameSlotMs(27000), 32u) << "27,000 itself is outside";
    EXPECT_EQ(frameSlotMs(27001), 25u);
    EXPECT_EQ(frameSlotMs(40999), 25u);
    EXPECT_EQ(frameSlotMs(41000), 32u) << "41,000 itself is outside";
}

TEST(Scenes, EachSceneHandsOnAtItsEndTickWithoutDrawing) {
    auto show = freshShow();
    std::vector<uint8_t> pixels(bufferBytes);
    const FrameTarget target{pixels.data(), 2560};
    for (int scene = 0; scene < sceneCount; ++scene) {
        std::fill(pixels.begin(), pixels.end(), 0x5A);
        EXPECT_EQ(show->runScene(scene, clockAt(sceneEndTicks[scene], 2), target), scene + 1)
            << "scene " << scene << " at its end tick";
        EXPECT_EQ(pixels[1000], 0x5A) << "scene " << scene << " did not draw";
    }
    EXPECT_EQ(show->runScene(0, clockAt(12499, 2), target), 0) << "scene 0 still runs at 12,499";
    EXPECT_EQ(pixels[2560], 0) << "and draws (row 1 is a black line)";
    EXPECT_EQ(show->runScene(sceneCount, clockAt(0, 0), target), sceneCount)
        << "an index past the last scene runs nothing and stays ended";
    EXPECT_EQ(show->runScene(-1, clockAt(0, 0), target), sceneCount) << "so does a negative one";
}

TEST(Scenes, SceneFiveSavesItsPictureOnce) {
    auto show = freshShow();
    Pictures& pictures = show->pictures;
    fillPicture(pictures.effectBuffer, 1, 2, 3);
    EXPECT_EQ(show->runScene(5, clockAt(42500, 2), {}), 6) << "scene 5 ends";
    EXPECT_EQ(pixelAt(pictures.imageBuffers[rozerid1], 10, 10)[2], 3)
        << "picture saved as the canvas";
    fillPicture(pictures.effectBuffer, 9, 9, 9);
    EXPECT_EQ(show->runScene(5, clockAt(42500, 2), {}), 6) << "scene 5 ends again";
    EXPECT_EQ(pixelAt(pictures.imageBuffers[rozerid1], 10, 10)[2], 3) << "saved only once";
}

TEST(Show, StepFollowsTheScenesAndEndsAfterTheLast) {
    auto show = freshShow();
    std::vector<uint8_t> pixels(bufferBytes, 0x5A);
    EXPECT_TRUE(show->step(clockAt(0, 0), {pixels.data(), 2560})) << "the first frame goes on";
    EXPECT_EQ(show->sceneIndex, 0) << "still scene 0";
    EXPECT_EQ(pixels[2560], 0) << "the first frame was drawn (row 1 is a black line)";
    for (int scene = 0; scene < sceneCount - 1; ++scene) {
        EXPECT_TRUE(show->step(clockAt(sceneEndTicks[scene], 2), {}))
            << "scene " << scene << " hands on";
        EXPECT_EQ(show->sceneIndex, scene + 1) << "to scene " << scene + 1;
    }
    EXPECT_FALSE(show->finished()) << "not over before the last end tick";
    EXPECT_FALSE(show->step(clockAt(sceneEndTicks[sceneCount - 1], 2), {}))
        << "the last scene's end tick ends the show";
    EXPECT_TRUE(show->finished()) << "and the show says so";
    EXPECT_FALSE(show->step(clockAt(sceneEndTicks[sceneCount - 1] + 2, 2), {}))
        << "stepping an ended show does nothing and reports the end again";
}

TEST(Show, StepWithoutTargetThenDrawGivesTheDrawnFrame) {
    // A player that skips ahead steps without a surface, then draws the picture once.
    auto drawn = freshShow();
    auto skipped = freshShow();
    fillPicture(drawn->pictures.effectBuffer, 50, 60, 70);
    fillPicture(skipped->pictures.effectBuffer, 50, 60, 70);
    std::vector<uint8_t> shown(bufferBytes), late(bufferBytes, 0xEE);
    for (int t = 0; t <= 40; t += 2) {
        drawn->step(clockAt(t, 2), {shown.data(), 2560});
        skipped->step(clockAt(t, 2), {});
    }
    skipped->drawPicture({late.data(), 2560});
    EXPECT_TRUE(shown == late) << "the late drawing equals the frame drawn while stepping";
    EXPECT_EQ(shown[1], 60) << "the picture was drawn (green of row 0, pixel 0)";
}

TEST(CommandLine, VideoAndSoundWords) {
    EXPECT_TRUE(parseVideoFlag("VIDEO")) << "capitals select video";
    EXPECT_TRUE(parseSoundFlag("VIDEO")) << "and sound stays on";
    EXPECT_TRUE(parseVideoFlag("novideo")) << "a longer word containing video";
    EXPECT_TRUE(parseVideoFlag("Sound=Off video"));
    EXPECT_FALSE(parseSoundFlag("Sound=Off video")) << "sound=off in mixed capitals";
    EXPECT_TRUE(parseSoundFlag("sound = off")) << "blanks around = do not match";
    EXPECT_FALSE(parseVideoFlag("")) << "empty line: normal mode";
    EXPECT_TRUE(parseSoundFlag("")) << "empty line: sound on";
    for (const char* word : {"noaudio", "no audio", "audio off", "audio=off", "audio=0", "no sound",
                             "sound off", "sound=off", "sound=0"})
        EXPECT_FALSE(parseSoundFlag(std::string("x ") + word + " y")) << word;
}

TEST(CommandLine, ExtraWordsAreBlankSeparatedTokens) {
    EXPECT_EQ(CommandWords("video end=300 noaudio").values("end"), std::vector<std::string>{"300"});
    EXPECT_EQ(CommandWords("video END=12").values("end"), std::vector<std::string>{"12"})
        << "name without regard to case";
    EXPECT_TRUE(CommandWords("video weekend=3").values("end").empty()) << "whole tokens only";
    EXPECT_TRUE(CommandWords("noaudio Windowed").hasWord("windowed"));
    EXPECT_FALSE(CommandWords("unwindowed").hasWord("windowed"));
    char arg0[] = "demo", arg1[] = "no", arg2[] = "sound";
    char* argv[] = {arg0, arg1, arg2};
    EXPECT_EQ(joinArguments(3, argv), "no sound") << "arguments joined by one blank";
    EXPECT_FALSE(parseSoundFlag(joinArguments(3, argv))) << "two arguments form one word";
}

TEST(CommandLine, NumbersAreDigitsOnlyAndAWordGivenTwiceIsRefused) {
    for (const char* bad : {"+3", "-5", "3x", "1.5", "", " 3", "0x10", "99999999999999999999"})
        EXPECT_FALSE(readWholeNumber(bad, 0, 1000000).has_value()) << "'" << bad << "'";
    EXPECT_EQ(readWholeNumber("0042", 0, 100).value_or(-1), 42) << "leading zeros are digits";
    EXPECT_FALSE(readWholeNumber("101", 0, 100).has_value()) << "above the range";

    const RunOptions plus = readRunOptions("end=+3");
    EXPECT_EQ(plus.end, -1) << "a sign is not a digit: the show runs to its end";
    ASSERT_EQ(plus.notes.size(), 1u);
    EXPECT_EQ(plus.notes[0], "end=+3 is not a tick count; the show runs to its end");

    const RunOptions twice = readRunOptions("end=3 end=5");
    EXPECT_EQ(twice.end, -1) << "neither of two end= words is picked";
    ASSERT_EQ(twice.notes.size(), 1u);
    EXPECT_EQ(twice.notes[0], "end= is given twice (end=3 end=5); the show runs to its end");

    const RunOptions video = readRunOptions("video start=4 end=3 end=5");
    EXPECT_EQ(video.exportOptions.problem, "end= is given twice (end=3 end=5)")
        << "the export refuses a word given twice";
    EXPECT_EQ(readRunOptions("video end=+3").exportOptions.problem, "end=+3 is not a tick count");
    EXPECT_EQ(readRunOptions("video out=a.mkv OUT=b.mkv").exportOptions.problem,
              "out= is given twice (out=a.mkv out=b.mkv)");

    const RunOptions words = readRunOptions("video OUT=Clips/Show.MP4 Scale=3 crf=23 "
                                            "Codec=H264 start=100 end=710 noaudio");
    EXPECT_EQ(words.exportOptions.problem, "");
    EXPECT_EQ(words.exportOptions.out, "Clips/Show.MP4") << "the file name keeps its case";
    EXPECT_EQ(words.exportOptions.codec, "h264");
    EXPECT_EQ(words.exportOptions.scale, 3);
    EXPECT_EQ(words.exportOptions.crf, 23);
    EXPECT_EQ(words.exportOptions.start, 100);
    EXPECT_EQ(words.end, 710) << "the run and the export read one end=";
    EXPECT_EQ(words.exportOptions.end, 710);
    EXPECT_FALSE(words.soundOn);
}

TEST(CommandLine, StartAndEndTakeTickCountsAndReportAnythingElse) {
    const RunOptions both = readRunOptions("start=41000 end=41100");
    EXPECT_EQ(both.start, 41000) << "start= is a tick count";
    EXPECT_EQ(both.end, 41100) << "end= is a tick count";
    EXPECT_EQ(readRunOptions("start=63899").start, 63899) << "the show's last tick is a start";
    for (const char* bad : {"start=63900", "start=abc", "start=-5", "start=12x", "start=1.5"}) {
        const RunOptions options = readRunOptions(bad);
        EXPECT_EQ(options.start, -1) << bad << " is ignored";
        ASSERT_EQ(options.notes.size(), 1u) << bad << " is reported";
        EXPECT_NE(options.notes[0].find("the show starts at its beginning"), std::string::npos)
            << bad << ": " << options.notes[0];
    }
    EXPECT_EQ(readRunOptions("").start, -1) << "no start= word: from the beginning";
    EXPECT_EQ(readRunOptions("video start=63900").exportOptions.problem, "")
        << "in video mode start= is the clip's, judged against the show by the export";
}
