// The export's progress display and Cancel: a line on standard error refreshed by its own
// thread, a small "Rendering video..." window with a progress bar where a display is
// available, and Cancel by the window's close box or Ctrl-C, confirmed with "Really?".
#pragma once

#include <cstdint>
#include <memory>

class ExportProgress {
  public:
    // Starts the progress thread, takes over SIGINT and opens the window (main thread).
    ExportProgress();
    // Ends the thread, gives SIGINT back, closes the window (main thread).
    ~ExportProgress();
    ExportProgress(const ExportProgress&) = delete;
    ExportProgress& operator=(const ExportProgress&) = delete;

    // After each frame written (main thread): frames written so far of total (the share of
    // the requested range); with total 0 or less, percent (negative: unchanged) is shown. With
    // a display, a pending Cancel is asked here (SDL's dialogs belong to the main thread) and
    // the call returns with the answer.
    void update(int percent, int frames, int64_t total = 0);
    // After each frame drawn before the clip's start: done of the frames before it; asks a
    // pending Cancel as update does.
    void skip(int64_t done, int64_t before);
    // True once a Cancel has been confirmed; the writer then ends the process between frames.
    static bool cancelConfirmed();
    // What the close box and Ctrl-C do: ask "Really?" (a Yes/No box at the next update on the
    // main thread; without a display y/N on the terminal from the progress thread, or with
    // neither confirm at once).
    static void requestCancel();

  private:
    struct State;
    std::unique_ptr<State> state;
};
