// The scenes as chapters of an export: where each begins in the whole show and in clips, and
// the list printed for a video site's description.
#include "media/ExportChapters.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// (scene, start frame) of each chapter, for compact comparisons.
std::vector<std::pair<int, int64_t>> starts(const std::vector<ExportChapter>& chapters) {
    std::vector<std::pair<int, int64_t>> result;
    for (const ExportChapter& chapter : chapters)
        result.emplace_back(chapter.scene, chapter.start);
    return result;
}

// Each chapter ends where the next begins, the last at the file's end.
void expectChained(const std::vector<ExportChapter>& chapters, int64_t written,
                   const std::string& what) {
    for (size_t i = 0; i < chapters.size(); ++i) {
        const int64_t next = i + 1 < chapters.size() ? chapters[i + 1].start : written;
        EXPECT_EQ(chapters[i].end, next)
            << what << ": chapter " << i << " ends where the next begins (or at the file's end)";
        EXPECT_LT(chapters[i].start, chapters[i].end) << what << ": chapter " << i << " has frames";
    }
}

} // namespace

TEST(ExportChapters, WholeShowHasNineScenesAtTheFramesThatFirstShowThem) {
    const ExportClip whole = exportClip(-1, -1);
    const std::vector<ExportChapter> chapters = exportChapters(whole);
    // Scene n + 1 begins on the frame after the first one drawn at or past scene n's end tick
    // (that one only hands on and still shows scene n): e.g. frame 5,459 is drawn at tick
    // 12,500, so scene 2 begins on frame 5,460.
    const std::vector<std::pair<int, int64_t>> expected = {{1, 0},     {2, 5460},  {3, 8298},
                                                           {4, 10918}, {5, 11791}, {6, 17904},
                                                           {7, 18559}, {8, 20524}, {9, 25763}};
    EXPECT_EQ(starts(chapters), expected) << "nine chapters at the scenes' first frames";
    expectChained(chapters, 27902, "whole show");
    EXPECT_EQ(chapterLines(chapters, 31), "0:00 Scene 1\n"
                                          "2:56 Scene 2\n"
                                          "4:27 Scene 3\n"
                                          "5:52 Scene 4\n"
                                          "6:20 Scene 5\n"
                                          "9:37 Scene 6\n"
                                          "9:58 Scene 7\n"
                                          "11:02 Scene 8\n"
                                          "13:51 Scene 9\n")
        << "the list for a description, times rounded down to the second (scene 8 begins at "
           "662.06 s, past tick 47,000's 661.97 s)";
}

TEST(ExportChapters, ClipsShiftTheChaptersAndLeaveOutScenesOutsideThem) {
    struct Case {
        int start, end;
        std::vector<std::pair<int, int64_t>> expected;
        int64_t written;
    };
    for (const Case& c : std::vector<Case>{
             // Frames 5,415 to 5,546: scene 2's first frame, 5,460, is the clip's 45th.
             {12400, 12700, {{1, 0}, {2, 45}}, 132},
             // From inside scene 3 (begun at tick 19,000): it gets 0, scene 2 none; scene 6
             // (tick 41,000) lies past end=.
             {20000, 30000, {{3, 0}, {4, 2185}, {5, 3058}}, 4367},
             // Starting on the frame that hands scene 1 on: that frame still shows scene 1.
             {12501, 12600, {{1, 0}, {2, 1}}, 44},
             // Ending on that frame: scene 2 is not shown, so it has no chapter...
             {12400, 12502, {{1, 0}}, 45},
             // ...one tick later its first frame is the clip's last.
             {12400, 12503, {{1, 0}, {2, 45}}, 46},
             // Starting on scene 2's first frame: scene 1 is left out.
             {12503, 13000, {{2, 0}}, 218},
         }) {
        const std::string what =
            "start=" + std::to_string(c.start) + " end=" + std::to_string(c.end);
        const ExportClip clip = exportClip(c.start, c.end);
        ASSERT_EQ(clip.frameCount - clip.firstFrame, c.written) << what << ": frames written";
        const std::vector<ExportChapter> chapters = exportChapters(clip);
        EXPECT_EQ(starts(chapters), c.expected) << what << ": scenes and their frames in the file";
        expectChained(chapters, c.written, what);
    }
    EXPECT_EQ(chapterLines(exportChapters(exportClip(20000, 30000)), 31),
              "0:00 Scene 3\n1:10 Scene 4\n1:38 Scene 5\n")
        << "a clip's list counts from its first frame (2,185 / 31 = 70.5 s, 3,058 / 31 = 98.6 s)";
}

TEST(ExportChapters, AClipThatCannotBeMetHasNoChapters) {
    for (const auto& [start, end] : std::vector<std::pair<int, int>>{{500, 400}, {63900, -1}}) {
        const ExportClip clip = exportClip(start, end);
        ASSERT_FALSE(clip.problem.empty()) << start << " " << end << ": refused";
        EXPECT_TRUE(exportChapters(clip).empty())
            << "start=" << start << " end=" << end << ": no chapters for a refused clip";
    }
}

TEST(ExportChapters, ListTimesAreMinutesAndWholeSecondsRoundedDown) {
    const std::vector<ExportChapter> chapters = {
        {1, 0, 30}, {2, 30, 31}, {3, 31, 1860}, {4, 1860, 18600}, {5, 18600, 18601}};
    EXPECT_EQ(chapterLines(chapters, 31),
              "0:00 Scene 1\n0:00 Scene 2\n0:01 Scene 3\n1:00 Scene 4\n10:00 Scene 5\n")
        << "frame 30 is still in second 0, frame 31 begins second 1, 1,860 is 1:00, 18,600 is "
           "10:00";
    EXPECT_EQ(chapterLines({}, 31), "") << "no chapters, no lines";
    EXPECT_EQ(chapterLines(chapters, 0), "") << "no frame rate, no times to give";
}
