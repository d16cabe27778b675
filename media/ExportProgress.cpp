// The export's progress line, its "Rendering video..." window and the Cancel question.
#include "media/ExportProgress.h"

#include "engine/MessageBox.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Cancel, process-wide because Ctrl-C and the question thread outlive any one display.
enum CancelState : int { Idle, Requested, Asking, Confirmed };
std::atomic<int> cancelState{Idle};
static_assert(std::atomic<int>::is_always_lock_free, "the SIGINT handler needs a lock-free flag");

void onInterrupt(int) {
    int expected = Idle;
    cancelState.compare_exchange_strong(expected, Requested);
}

// With a display the question is an SDL dialog and is asked on the main thread, from update()
// (the export waits for the answer); without one it is asked on the terminal (or answered at
// once) from a thread of its own, which the process may end while it waits for an answer.
void askReally() {
    if (isatty(STDERR_FILENO)) std::fputs("\n", stderr); // below the progress line
    const int answer = messageBox("Really?", "", MB_YESNO | MB_ICONQUESTION, IDYES);
    cancelState.store(answer == IDYES ? Confirmed : Idle);
}

// The window: a bar in a small frame. Drawn on the main thread only.
class ProgressWindow {
  public:
    ProgressWindow() {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
        videoStarted = true;
        window = SDL_CreateWindow("Rendering video...", SDL_WINDOWPOS_CENTERED,
                                  SDL_WINDOWPOS_CENTERED, 642, 120, 0);
        if (window == nullptr) return;
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
        windowId.store(SDL_GetWindowID(window));
        SDL_AddEventWatch(watchClose, nullptr);
    }
    ~ProgressWindow() {
        if (window != nullptr) SDL_DelEventWatch(watchClose, nullptr);
        windowId.store(0);
        if (renderer != nullptr) SDL_DestroyRenderer(renderer);
        if (window != nullptr) SDL_DestroyWindow(window);
        if (videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    void draw(int percent) {
        if (renderer == nullptr) return;
        SDL_PumpEvents(); // the close box reaches watchClose through the event queue
        SDL_SetRenderDrawColor(renderer, 212, 208, 200, 255);
        SDL_RenderClear(renderer);
        const SDL_Rect frame{27, 25, 587, 30};
        SDL_SetRenderDrawColor(renderer, 128, 128, 128, 255);
        SDL_RenderDrawRect(renderer, &frame);
        const SDL_Rect bar{29, 27, 583 * percent / 100, 26};
        SDL_SetRenderDrawColor(renderer, 0, 0, 128, 255);
        SDL_RenderFillRect(renderer, &bar);
        SDL_RenderPresent(renderer);
    }

  private:
    static int watchClose(void*, SDL_Event* event) {
        if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_CLOSE &&
            event->window.windowID == windowId.load())
            ExportProgress::requestCancel();
        return 0;
    }
    static std::atomic<Uint32> windowId;
    bool videoStarted = false;
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
};
std::atomic<Uint32> ProgressWindow::windowId{0};

void formatTime(char* text, size_t size, double seconds) {
    if (seconds < 0 || seconds > 359999) {
        std::snprintf(text, size, "--:--");
        return;
    }
    const int whole = static_cast<int>(seconds); // below 100 hours
    std::snprintf(text, size, "%d:%02d", whole / 60 % 6000, whole % 60);
}

} // namespace

struct ExportProgress::State {
    std::atomic<int> percent{0};            // of the range
    std::atomic<int> frames{0};             // written so far
    std::atomic<int64_t> total{0};          // to write; 0 when unknown
    std::atomic<int64_t> skipped{0};        // drawn before the clip's start
    std::atomic<int64_t> before{0};         // frames before the clip's start
    std::atomic<double> writingSince{-1.0}; // seconds after started when the first was written
    Clock::time_point started = Clock::now();
    bool toTerminal = isatty(STDERR_FILENO) != 0;
    bool askOnMainThread = displayAvailable(); // the question is a dialog: SDL's thread only
    std::unique_ptr<ProgressWindow> window;
    Clock::time_point lastDrawn{};
    struct sigaction previousInterrupt {};

    std::mutex lock;
    std::condition_variable wake;
    bool stopping = false; // guarded by lock
    std::thread ticker;

    double elapsed() const { return std::chrono::duration<double>(Clock::now() - started).count(); }

    void printLine(bool last) {
        const int p = percent.load();
        const int n = frames.load();
        const int64_t all = total.load();
        const char* const start = toTerminal ? "\r" : "";
        const char* const end = toTerminal && !last ? "" : "\n";
        if (n == 0 && skipped.load() < before.load()) {
            std::fprintf(stderr,
                         "%sExporting: drawing up to the clip's start, frame %lld of %lld   %s",
                         start, static_cast<long long>(skipped.load()),
                         static_cast<long long>(before.load()), end);
            std::fflush(stderr);
            return;
        }
        const double since = writingSince.load();
        const double writing = since >= 0 ? elapsed() - since : 0.0;
        const double speed = writing > 0 ? n / 31.0 / writing : 0.0; // multiple of real time
        char left[16];
        const double framesPerSecond = writing > 0 ? n / writing : 0.0;
        formatTime(left, sizeof left,
                   all > 0 && framesPerSecond > 0 ? (all - n) / framesPerSecond
                   : p > 0                        ? writing * (100 - p) / p
                                                  : -1.0);
        char count[48];
        if (all > 0)
            std::snprintf(count, sizeof count, "%d/%lld", n, static_cast<long long>(all));
        else
            std::snprintf(count, sizeof count, "%d", n);
        std::fprintf(stderr, "%sExporting: %3d%%  frame %s  %.2fx real time  %s left   %s", start,
                     p, count, speed, left, end);
        std::fflush(stderr);
    }

    // A few times a second on a terminal, every 5 s into a file; starts the Cancel question.
    void run() {
        const auto period = std::chrono::milliseconds(toTerminal ? 250 : 5000);
        auto nextLine = Clock::now() + period;
        std::unique_lock<std::mutex> hold(lock);
        while (!wake.wait_for(hold, std::chrono::milliseconds(100), [this] { return stopping; })) {
            int expected = Requested;
            if (!askOnMainThread && cancelState.compare_exchange_strong(expected, Asking))
                std::thread(askReally).detach();
            if (Clock::now() >= nextLine && cancelState.load() != Asking) {
                printLine(false);
                nextLine = Clock::now() + period;
            }
        }
    }
};

ExportProgress::ExportProgress() : state(new State) {
    if (displayAvailable()) state->window = std::make_unique<ProgressWindow>();
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &state->previousInterrupt);
    state->ticker = std::thread([this] { state->run(); });
}

ExportProgress::~ExportProgress() {
    {
        std::lock_guard<std::mutex> hold(state->lock);
        state->stopping = true;
    }
    state->wake.notify_one();
    state->ticker.join();
    if (state->frames.load() > 0) state->printLine(true);
    sigaction(SIGINT, &state->previousInterrupt, nullptr);
}

void ExportProgress::update(int percent, int frames, int64_t total) {
    if (state->writingSince.load() < 0) state->writingSince.store(state->elapsed());
    if (total > 0) {
        state->total.store(total);
        percent = static_cast<int>(frames * int64_t{100} / total);
    }
    if (percent >= 0) state->percent.store(percent > 100 ? 100 : percent);
    state->frames.store(frames);
    int expected = Requested;
    if (state->askOnMainThread && cancelState.compare_exchange_strong(expected, Asking))
        askReally();
    if (state->window != nullptr &&
        Clock::now() - state->lastDrawn > std::chrono::milliseconds(100)) {
        state->window->draw(state->percent.load());
        state->lastDrawn = Clock::now();
    }
}

void ExportProgress::skip(int64_t done, int64_t before) {
    state->skipped.store(done);
    state->before.store(before);
    int expected = Requested;
    if (state->askOnMainThread && cancelState.compare_exchange_strong(expected, Asking))
        askReally();
    if (state->window != nullptr &&
        Clock::now() - state->lastDrawn > std::chrono::milliseconds(100)) {
        state->window->draw(static_cast<int>(before > 0 ? done * 100 / before : 0));
        state->lastDrawn = Clock::now();
    }
}

bool ExportProgress::cancelConfirmed() {
    return cancelState.load() == Confirmed;
}

void ExportProgress::requestCancel() {
    onInterrupt(SIGINT);
}
