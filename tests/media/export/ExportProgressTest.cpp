// The Cancel question of the export with a display: the "Really?" box is a dialog of SDL's,
// so it must be asked on the main thread (the one that updates the progress), never on the
// progress thread. The message box here stands in for the real one and notes its thread.
#include "media/ExportProgress.h"
#include "engine/MessageBox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex askedLock;
std::vector<std::thread::id> askedOn; // the thread of every question
std::atomic<bool> withDisplay{true};

} // namespace

bool displayAvailable() {
    return withDisplay.load();
}

int messageBox(const char*, const char*, unsigned style, int answerWithoutUser) {
    std::lock_guard<std::mutex> hold(askedLock);
    askedOn.push_back(std::this_thread::get_id());
    return (style & 0xF) == MB_YESNO ? IDYES : answerWithoutUser;
}

namespace {

// Asks for Cancel and updates the progress from this thread until it is confirmed (5 s at most).
bool cancelWhileUpdating(ExportProgress& progress) {
    ExportProgress::requestCancel();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int frame = 0; !ExportProgress::cancelConfirmed(); ++frame) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        progress.update(frame % 100, frame);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

// One test per process: a confirmed Cancel stays confirmed for the process's lifetime.
TEST(ExportProgressCancel, WithADisplayTheQuestionIsAskedOnTheMainThread) {
    withDisplay = true;
    ExportProgress progress;
    ASSERT_TRUE(cancelWhileUpdating(progress)) << "Cancel is asked and confirmed within 5 s";
    std::lock_guard<std::mutex> hold(askedLock);
    ASSERT_EQ(askedOn.size(), 1u) << "one \"Really?\" question";
    EXPECT_EQ(askedOn[0], std::this_thread::get_id())
        << "the dialog is shown from the thread that updates the progress, not another";
}
