// Tests of the SDL display under SDL's dummy video driver: open/close in any order, what
// present shows and when, the keys and close requests that end the process, the viewer's keys
// and timeline, and the mapping of SDL pixel formats onto the row converters.
#include "graphics/SdlDisplay.h"

#include "graphics/Handles.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int width = 640;
constexpr int height = 480;

SDL_Window* displayWindow() {
    return static_cast<SDL_Window*>(getDisplayWindow());
}

void pushWindowEvent(Uint8 which) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = SDL_GetWindowID(displayWindow());
    event.window.event = which;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << "the test event must be queued";
}

void pushKeyDown(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.windowID = SDL_GetWindowID(displayWindow());
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = key;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << "the test event must be queued";
}

void pushKey(SDL_Keycode key, Uint16 modifiers, Uint8 repeat) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.windowID = SDL_GetWindowID(displayWindow());
    event.key.state = SDL_PRESSED;
    event.key.repeat = repeat;
    event.key.keysym.sym = key;
    event.key.keysym.mod = modifiers;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << "the test event must be queued";
}

void pushMouse(Uint32 type, int x, int y) {
    SDL_Event event{};
    event.type = type;
    if (type == SDL_MOUSEMOTION) {
        event.motion.windowID = SDL_GetWindowID(displayWindow());
        event.motion.x = x;
        event.motion.y = y;
    } else {
        event.button.windowID = SDL_GetWindowID(displayWindow());
        event.button.button = SDL_BUTTON_LEFT;
        event.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.button.x = x;
        event.button.y = y;
    }
    ASSERT_EQ(SDL_PushEvent(&event), 1) << "the test event must be queued";
}

void pushQuit() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << "the test event must be queued";
}

// The picture: four quadrants of different colours, with a distinct top byte in each pixel.
uint32_t quadrantColour(int x, int y, uint32_t salt) {
    static const uint32_t colours[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00F0C030};
    return colours[(x >= width / 2) + 2 * (y >= height / 2)] ^ salt;
}

void paint(Surface& surface, uint32_t salt) {
    uint32_t* pixels = reinterpret_cast<uint32_t*>(surface.getPixels());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * width + x] = 0xAB000000 | quadrantColour(x, y, salt);
}

// The colour the window shows at (x, y) as 0x00RRGGBB.
uint32_t shownAt(int x, int y) {
    SDL_Surface* shown = SDL_GetWindowSurface(displayWindow());
    if (shown == nullptr || x >= shown->w || y >= shown->h) return 0xFFFFFFFF;
    const uint8_t* row = static_cast<const uint8_t*>(shown->pixels) + y * shown->pitch;
    Uint32 value = 0;
    std::memcpy(&value, row + x * shown->format->BytesPerPixel, shown->format->BytesPerPixel);
    Uint8 r = 0, g = 0, b = 0;
    SDL_GetRGB(value, shown->format, &r, &g, &b);
    return (static_cast<uint32_t>(r) << 16) | (g << 8) | b;
}

// A surface handle whose geometry disagrees with the display's.
class NarrowSurface : public Surface {
  public:
    int32_t getRight() override { return 100; }
};

class SdlDisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setDisplayPlatform(sdlDisplayPlatform());
        storeDisplaySettings();
        setDisplayWindowed(false);
        display = std::make_unique<Display>("");
        surface = std::make_unique<Surface>();
        display->attachSurface(surface.get());
    }
    void TearDown() override {
        display->close();
        surface.reset();
        display.reset();
        setDisplayWindowed(false);
    }

    // Opens a window of exactly 640 x 480 and makes it the active one.
    void openActiveWindow() {
        setDisplayWindowed(true);
        ASSERT_EQ(display->open(), 1) << "the dummy driver offers a window and a renderer";
        pushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    }

    std::unique_ptr<Display> display;
    std::unique_ptr<Surface> surface;
};

} // namespace

TEST_F(SdlDisplayTest, OpenCloseAndPresentInAnyOrderAreHarmless) {
    EXPECT_EQ(display->present(), 1) << "present before open only waits";
    display->close();
    display->close();
    EXPECT_EQ(getDisplayWindow(), nullptr) << "no window before open";

    const int opened = display->open();
    EXPECT_TRUE(opened == 0 || opened == 1) << "open reports 1 or 0";
    EXPECT_EQ(display->present(), 1) << "present on an open display without focus";
    display->close();
    display->close();
    EXPECT_EQ(getDisplayWindow(), nullptr) << "close released the window";
    EXPECT_EQ(display->present(), 1) << "present after close only waits";
    EXPECT_FALSE(display->quitRequested()) << "the display never asks the loop to quit";

    EXPECT_EQ(display->open(), opened) << "the display opens again after close";
}

TEST_F(SdlDisplayTest, WithoutAnyVideoOpenFailsAndPresentStillReturns) {
    const char* before = std::getenv("SDL_VIDEODRIVER");
    const std::string saved = before ? before : "";
    setenv("SDL_VIDEODRIVER", "no-such-video-driver", 1);
    EXPECT_EQ(display->open(), 0) << "no video: open fails without throwing";
    EXPECT_EQ(getDisplayWindow(), nullptr) << "no window was made";
    EXPECT_EQ(display->present(), 1) << "no video: present sleeps and returns 1";
    display->close();
    display->close();
    if (before)
        setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
    else
        unsetenv("SDL_VIDEODRIVER");
}

TEST_F(SdlDisplayTest, AnActiveWindowShowsTheSurfaceAndIgnoresOtherKeys) {
    openActiveWindow();
    paint(*surface, 0);
    ASSERT_EQ(display->present(), 1) << "a frame is drawn";
    for (int y : {0, 100, 239, 240, 479})
        for (int x : {0, 200, 319, 320, 639})
            EXPECT_EQ(shownAt(x, y), quadrantColour(x, y, 0)) << "pixel " << x << "," << y;

    pushKeyDown(SDLK_a);
    pushKeyDown(SDLK_RETURN);
    pushKeyDown(SDLK_q);
    paint(*surface, 0x00010101);
    EXPECT_EQ(display->present(), 1) << "other keys are swallowed";
    EXPECT_NE(getDisplayWindow(), nullptr) << "other keys leave the window open";
    EXPECT_EQ(shownAt(10, 10), quadrantColour(10, 10, 0x00010101)) << "the next frame is shown";
}

TEST_F(SdlDisplayTest, NothingIsDrawnWhileTheWindowHasNoFocus) {
    openActiveWindow();
    paint(*surface, 0);
    ASSERT_EQ(display->present(), 1);
    pushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    paint(*surface, 0x00FFFFFF);
    EXPECT_EQ(display->present(), 1) << "an inactive display still returns 1";
    EXPECT_EQ(shownAt(600, 400), quadrantColour(600, 400, 0)) << "the old frame stays";
    pushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    EXPECT_EQ(display->present(), 1);
    EXPECT_EQ(shownAt(600, 400), quadrantColour(600, 400, 0x00FFFFFF)) << "drawing resumes";
}

TEST_F(SdlDisplayTest, FullScreenFillsTheDesktopModeWithTheAspectKept) {
    ASSERT_EQ(display->open(), 1) << "the dummy screen falls back to desktop full-screen";
    pushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    paint(*surface, 0);
    ASSERT_EQ(display->present(), 1);
    int windowWidth = 0, windowHeight = 0;
    SDL_GetWindowSize(displayWindow(), &windowWidth, &windowHeight);
    ASSERT_GT(windowWidth, 0);
    ASSERT_GT(windowHeight, 0);
    // The picture fills the height (or the width on a tall screen), centred.
    const double scale = std::min(windowWidth / double(width), windowHeight / double(height));
    const double left = (windowWidth - width * scale) / 2,
                 top = (windowHeight - height * scale) / 2;
    for (int y : {60, 420})
        for (int x : {100, 540}) {
            const int shownX = static_cast<int>(left + x * scale);
            const int shownY = static_cast<int>(top + y * scale);
            EXPECT_EQ(shownAt(shownX, shownY), quadrantColour(x, y, 0))
                << "picture pixel " << x << "," << y << " scaled to " << shownX << "," << shownY;
        }
}

TEST_F(SdlDisplayTest, F11AndAltEnterSwitchBetweenFullScreenAndTheWindow) {
    ASSERT_EQ(display->open(), 1);
    pushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    auto fullScreen = [] {
        return (SDL_GetWindowFlags(displayWindow()) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
    };
    display->present();
    ASSERT_TRUE(fullScreen()) << "the show starts full-screen";

    pushKeyDown(SDLK_F11);
    display->present();
    EXPECT_FALSE(fullScreen()) << "F11 makes it a window";
    int w = 0, h = 0;
    SDL_GetWindowSize(displayWindow(), &w, &h);
    EXPECT_EQ(w, width) << "the window is 640 wide";
    EXPECT_EQ(h, height) << "and 480 high";

    SDL_Event held{};
    held.type = SDL_KEYDOWN;
    held.key.windowID = SDL_GetWindowID(displayWindow());
    held.key.repeat = 1;
    held.key.keysym.sym = SDLK_F11;
    SDL_PushEvent(&held);
    display->present();
    EXPECT_FALSE(fullScreen()) << "a key held down (repeated) switches nothing";

    SDL_Event altEnter{};
    altEnter.type = SDL_KEYDOWN;
    altEnter.key.windowID = SDL_GetWindowID(displayWindow());
    altEnter.key.keysym.sym = SDLK_RETURN;
    altEnter.key.keysym.mod = KMOD_LALT;
    SDL_PushEvent(&altEnter);
    display->present();
    EXPECT_TRUE(fullScreen()) << "Alt+Enter takes the screen again";

    pushKeyDown(SDLK_RETURN);
    display->present();
    EXPECT_TRUE(fullScreen()) << "Enter without Alt switches nothing";
}

TEST_F(SdlDisplayTest, ASurfaceThatDoesNotFitIsNotShown) {
    openActiveWindow();
    NarrowSurface narrow;
    display->attachSurface(&narrow);
    EXPECT_EQ(display->present(), 1) << "a narrower surface is skipped, not over-read";
    display->attachSurface(nullptr);
    EXPECT_EQ(display->present(), 1) << "no surface: nothing to show";
}

TEST_F(SdlDisplayTest, HideTouchesOnlyTheDisplayWindow) {
    openActiveWindow();
    int other = 0;
    hideDisplayWindow(&other);
    hideDisplayWindow(nullptr);
    EXPECT_EQ(SDL_GetWindowFlags(displayWindow()) & SDL_WINDOW_HIDDEN, 0u)
        << "foreign pointers are ignored";
    hideDisplayWindow(getDisplayWindow());
    EXPECT_NE(SDL_GetWindowFlags(displayWindow()) & SDL_WINDOW_HIDDEN, 0u)
        << "the display window is hidden";
}

TEST_F(SdlDisplayTest, EscapeClosesTheDisplayAndAsksTheLoopToQuit) {
    openActiveWindow();
    EXPECT_FALSE(display->quitRequested()) << "an open display does not ask to quit";
    pushKeyDown(SDLK_ESCAPE);
    EXPECT_EQ(display->present(), 1) << "the frame of the Escape still returns 1";
    EXPECT_TRUE(display->quitRequested()) << "Escape asks the main loop to leave";
    EXPECT_EQ(getDisplayWindow(), nullptr) << "and has closed the window already";
    EXPECT_EQ(display->present(), 1) << "a present after the close draws nothing and returns";
    ASSERT_EQ(display->open(), 1) << "the display opens again";
    EXPECT_FALSE(display->quitRequested()) << "a new open clears the request";
}

TEST_F(SdlDisplayTest, CloseRequestsAskTheLoopToQuit) {
    openActiveWindow();
    pushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    display->present();
    EXPECT_TRUE(display->quitRequested()) << "the window's close box";
    EXPECT_EQ(getDisplayWindow(), nullptr) << "closes the window";

    openActiveWindow();
    pushQuit();
    display->present();
    EXPECT_TRUE(display->quitRequested()) << "a quit event (the session ending)";
    EXPECT_EQ(getDisplayWindow(), nullptr) << "closes the window";
}

TEST(SdlPixelFormats, MapOntoTheConverterTable) {
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_RGB888), convertRowTo32) << "X-8-8-8";
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_ARGB8888), convertRowTo32)
        << "an alpha mask over the top byte is not looked at";
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_ABGR8888), convertRowTo32Bgr);
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_BGR888), convertRowTo32Bgr);
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_BGR24), convertRowTo24)
        << "bytes B, G, R in memory";
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_RGB24), convertRowTo24Bgr)
        << "bytes R, G, B in memory";
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_RGB565), convertRowTo565);
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_BGR565), convertRowTo565Bgr);
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_RGB555), convertRowTo555)
        << "a 15-bit-deep format is stored in 16 bits";
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_ARGB1555), convertRowTo555);
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_BGR555), convertRowTo555Bgr);
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_RGBA8888), nullptr) << "R in top byte";
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_ARGB2101010), nullptr) << "10-bit";
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_ARGB4444), nullptr) << "4-4-4";
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_INDEX8), nullptr) << "palette";
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_YV12), nullptr) << "YUV";
    EXPECT_EQ(rowConverterForPixelFormat(SDL_PIXELFORMAT_UNKNOWN), nullptr) << "unknown";
}

namespace {

using Commands = std::vector<ViewerCommand>;

TimelineState aTimeline(bool paused) {
    TimelineState timeline;
    timeline.lengthTicks = 63900;
    timeline.sceneStarts = {0, 12500, 19000, 25000, 27000, 41000, 42500, 47000, 59000};
    timeline.paused = paused;
    return timeline;
}

} // namespace

TEST_F(SdlDisplayTest, KeysGiveTheViewersCommandsAndAHeldKeyNeverPilesThemUp) {
    openActiveWindow();
    const std::pair<SDL_Keycode, ViewerCommand> keys[] = {
        {SDLK_SPACE, {ViewerCommand::TogglePause, 0}}, {SDLK_k, {ViewerCommand::TogglePause, 0}},
        {SDLK_LEFT, {ViewerCommand::SeekBy, -5}},      {SDLK_RIGHT, {ViewerCommand::SeekBy, 5}},
        {SDLK_j, {ViewerCommand::SeekBy, -10}},        {SDLK_l, {ViewerCommand::SeekBy, 10}},
        {SDLK_DOWN, {ViewerCommand::SeekBy, -60}},     {SDLK_UP, {ViewerCommand::SeekBy, 60}},
        {SDLK_PERIOD, {ViewerCommand::StepFrame, 1}},  {SDLK_COMMA, {ViewerCommand::StepFrame, -1}},
        {SDLK_HOME, {ViewerCommand::SeekTo, 0}},       {SDLK_1, {ViewerCommand::GoToScene, 0}},
        {SDLK_9, {ViewerCommand::GoToScene, 8}},       {SDLK_PAGEUP, {ViewerCommand::SceneBy, -1}},
        {SDLK_PAGEDOWN, {ViewerCommand::SceneBy, 1}},  {SDLK_s, {ViewerCommand::SaveFrame, 0}},
        {SDLK_m, {ViewerCommand::ToggleMute, 0}},
    };
    Commands expected;
    for (const auto& key : keys) {
        pushKeyDown(key.first);
        expected.push_back(key.second);
    }
    EXPECT_TRUE(display->takeCommands() == expected) << "each key's command, in order";
    EXPECT_TRUE(display->takeCommands().empty()) << "taken once";

    for (int i = 0; i < 10; ++i)
        pushKey(SDLK_RIGHT, KMOD_NONE, 1);
    pushKey(SDLK_SPACE, KMOD_NONE, 1);
    pushKey(SDLK_LEFT, KMOD_LCTRL, 0);
    pushKey(SDLK_s, KMOD_LALT, 0);
    EXPECT_TRUE((display->takeCommands() == Commands{{ViewerCommand::SeekBy, 5}}))
        << "ten repeats of a held arrow waiting give one seek; a held Space does not toggle "
           "again; keys with Ctrl or Alt are the desktop's";
    pushKey(SDLK_RIGHT, KMOD_NONE, 1);
    EXPECT_TRUE((display->takeCommands() == Commands{{ViewerCommand::SeekBy, 5}}))
        << "once taken, the held key seeks again";

    const auto fullScreen = [] {
        return (SDL_GetWindowFlags(displayWindow()) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
    };
    ASSERT_FALSE(fullScreen());
    pushKeyDown(SDLK_f);
    EXPECT_TRUE(display->takeCommands().empty()) << "f is the display's own";
    EXPECT_TRUE(fullScreen()) << "f takes the screen, as F11 does";
}

TEST_F(SdlDisplayTest, TheTimelineShowsOverThePictureAndAClickOrDragOnItSeeks) {
    openActiveWindow();
    paint(*surface, 0);
    display->showTimeline(aTimeline(false));
    ASSERT_EQ(display->present(), 1);
    const int belowX = 320, belowY = 470, aboveY = 400; // in the panel, above it
    EXPECT_EQ(shownAt(belowX, belowY), quadrantColour(belowX, belowY, 0))
        << "playing, the picture is shown whole";
    display->showTimeline(aTimeline(true));
    display->takeCommands();
    EXPECT_NE(shownAt(belowX, belowY), quadrantColour(belowX, belowY, 0))
        << "paused, the timeline is drawn over the picture's bottom without a new frame";
    EXPECT_EQ(shownAt(belowX, aboveY), quadrantColour(belowX, aboveY, 0)) << "and only there";

    // At 640 x 480 the track runs from column 8 to 632: its middle is the show's middle.
    pushMouse(SDL_MOUSEBUTTONDOWN, 8 + 312, 452);
    EXPECT_TRUE((display->takeCommands() == Commands{{ViewerCommand::SeekTo, 31950}}))
        << "a click seeks to where it is";
    pushMouse(SDL_MOUSEMOTION, 8 + 200, 452);
    pushMouse(SDL_MOUSEMOTION, 8 + 156, 300);
    EXPECT_TRUE((display->takeCommands() == Commands{{ViewerCommand::SeekTo, 15975}}))
        << "a drag seeks to where the pointer is, one seek for the moves waiting";
    pushMouse(SDL_MOUSEBUTTONUP, 8 + 156, 300);
    pushMouse(SDL_MOUSEMOTION, 8 + 100, 452);
    pushMouse(SDL_MOUSEBUTTONDOWN, 8 + 100, aboveY);
    EXPECT_TRUE(display->takeCommands().empty())
        << "released, moves and clicks elsewhere do not seek";
}

TEST_F(SdlDisplayTest, AMoveOfTheMouseShowsTheTimelineButAWindowAppearingUnderItDoesNot) {
    openActiveWindow();
    paint(*surface, 0);
    display->showTimeline(aTimeline(false));
    pushMouse(SDL_MOUSEMOTION, 100, 100);
    ASSERT_EQ(display->present(), 1);
    EXPECT_EQ(shownAt(320, 470), quadrantColour(320, 470, 0))
        << "the first position known is only where the pointer is";
    pushMouse(SDL_MOUSEMOTION, 110, 100);
    display->takeCommands();
    EXPECT_NE(shownAt(320, 470), quadrantColour(320, 470, 0)) << "a move shows the timeline";
}
