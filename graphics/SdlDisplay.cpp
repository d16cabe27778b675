// The SDL2 display: window, full-screen mode with its fall-backs, the streaming texture the
// frames are converted into, its enlargement to the screen, the timeline drawn over it, the
// event pump with Escape, close requests, the full-screen switch and the viewer's keys and
// mouse, and the window functions of the platform. The only display file that includes SDL.
#include "graphics/SdlDisplay.h"

#include "engine/Settings.h"
#include "graphics/Handles.h"
#include "graphics/PictureLayout.h"
#include "graphics/RowConverters.h"
#include "graphics/Timeline.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace {

struct WindowDeleter {
    void operator()(SDL_Window* window) const { SDL_DestroyWindow(window); }
};
struct RendererDeleter {
    void operator()(SDL_Renderer* renderer) const { SDL_DestroyRenderer(renderer); }
};
struct TextureDeleter {
    void operator()(SDL_Texture* texture) const { SDL_DestroyTexture(texture); }
};

// SDL's video subsystem, started by open and stopped by close.
class VideoSubsystem {
  public:
    VideoSubsystem() = default;
    VideoSubsystem(const VideoSubsystem&) = delete;
    VideoSubsystem& operator=(const VideoSubsystem&) = delete;
    ~VideoSubsystem() { stop(); }

    bool start() {
        if (!running) running = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        return running;
    }
    void stop() {
        if (running) SDL_QuitSubSystem(SDL_INIT_VIDEO);
        running = false;
    }
    bool isRunning() const { return running; }

  private:
    bool running = false;
};

// The process-wide display state. Pieces are released in reverse order of creation.
struct DisplayState {
    bool windowed = false; // a resizable window instead of full-screen (command line)
    ScaleMode scaleMode = ScaleMode::Sharp; // how the picture is enlarged (command line)
    VideoSubsystem video;
    std::unique_ptr<SDL_Window, WindowDeleter> window;
    std::unique_ptr<SDL_Renderer, RendererDeleter> renderer;
    std::unique_ptr<SDL_Texture, TextureDeleter> texture;
    // Sharp scaling: the picture enlarged sharpFactor times with nearest neighbour, drawn down
    // to its place with linear filtering. Made on first need, again when the factor changes.
    std::unique_ptr<SDL_Texture, TextureDeleter> enlarged;
    int32_t enlargedFactor = 0;
    bool enlargedFailed = false; // the renderer cannot draw into textures: nearest instead
    Uint32 textureFormat = SDL_PIXELFORMAT_UNKNOWN;
    int32_t width = 0;                     // pixels per row, as given to open
    int32_t height = 0;                    // rows, as given to open
    bool fullScreen = false;               // the window covers the screen now
    int windowWidth = 0, windowHeight = 0; // the window's size in points when it is one
    int32_t appActive = 0;
    RowConverter converter = nullptr;
    bool quitRequested = false; // Escape or a close request since the last open

    // The viewer's side: commands not yet taken, the timeline and the pointer.
    std::vector<ViewerCommand> commands;
    TimelineState timeline;
    Uint32 timelineUntil = 0;       // SDL ticks: shown until then (after a seek, the mouse moved)
    bool timelineShown = false;     // on the screen as last drawn, with the pointer
    bool dragging = false;          // the left button went down on the timeline and is held
    bool pointerKnown = false;      // a position inside the window since it was entered
    int pointerX = 0, pointerY = 0; // output pixels
    bool framePresented = false;    // the texture holds a frame, to be drawn again at will
    bool redraw = false;            // the screen needs drawing again (exposed, resized, timeline)
};

constexpr Uint32 timelineShowMs = 2000; // after a seek or a move of the mouse
constexpr size_t maxQueuedCommands = 64;

// Never destroyed: SDL objects must not be released by static destructors after SDL has quit.
DisplayState& state() {
    static DisplayState* displayState = new DisplayState();
    return *displayState;
}

void sleepOneMillisecond() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A real display mode of width x height with 32-, 24- or 16-bit pixels, tried in that order,
// on X11 only: Wayland has no mode changes (what it lists are emulated), nor has XWayland,
// and elsewhere SDL would only scale as well. False when there is none.
bool findRealMode(int displayIndex, int32_t width, int32_t height, SDL_DisplayMode& found) {
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (driver == nullptr || std::strcmp(driver, "x11") != 0 ||
        (wayland != nullptr && *wayland != '\0'))
        return false;
    const int modeCount = displayIndex >= 0 ? SDL_GetNumDisplayModes(displayIndex) : 0;
    for (int bits : {32, 24, 16}) {
        for (int i = 0; i < modeCount; ++i) {
            SDL_DisplayMode mode;
            if (SDL_GetDisplayMode(displayIndex, i, &mode) != 0) continue;
            if (mode.w != width || mode.h != height || SDL_ISPIXELFORMAT_FOURCC(mode.format) ||
                static_cast<int>(SDL_BYTESPERPIXEL(mode.format)) * 8 != bits)
                continue;
            found = mode;
            return true;
        }
    }
    return false;
}

// Full-screen in a real width x height mode where the screen has one, else at the desktop's
// own mode with the picture enlarged; false when the window system refuses both.
bool enterFullScreen(SDL_Window* window, int32_t width, int32_t height) {
    SDL_DisplayMode mode;
    if (findRealMode(SDL_GetWindowDisplayIndex(window), width, height, mode) &&
        SDL_SetWindowDisplayMode(window, &mode) == 0 &&
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN) == 0)
        return true;
    return SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
}

// The window, hidden until it has its final form: a resizable width x height window, or one
// that covers the screen. Where no real mode exists it is made full-screen on the desktop
// from the start, so nothing flickers and no mode switch is tried.
SDL_Window* createWindow(DisplayState& display, int32_t width, int32_t height) {
    const Uint32 common = SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_HIDDEN;
    if (display.windowed)
        return SDL_CreateWindow(" ", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                common | SDL_WINDOW_RESIZABLE);
    SDL_DisplayMode mode;
    if (!findRealMode(0, width, height, mode)) {
        SDL_Window* window =
            SDL_CreateWindow(" ", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                             common | SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP);
        if (window != nullptr) display.fullScreen = true;
        return window;
    }
    SDL_Window* window = SDL_CreateWindow(" ", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          width, height, common | SDL_WINDOW_BORDERLESS);
    if (window != nullptr) display.fullScreen = enterFullScreen(window, width, height);
    return window;
}

// Alt+Enter and F11: a full-screen show becomes a resizable window of the size it had as one
// (640 x 480 at first), and a window takes the screen again.
void toggleFullScreen(DisplayState& display) {
    SDL_Window* window = display.window.get();
    if (window == nullptr) return;
    if (display.fullScreen) {
        if (SDL_SetWindowFullscreen(window, 0) != 0) return;
        display.fullScreen = false;
        SDL_SetWindowBordered(window, SDL_TRUE);
        SDL_SetWindowResizable(window, SDL_TRUE);
        SDL_SetWindowSize(window, display.windowWidth, display.windowHeight);
        return;
    }
    SDL_GetWindowSize(window, &display.windowWidth, &display.windowHeight);
    display.fullScreen = enterFullScreen(window, display.width, display.height);
}

// A renderer that takes textures in the screen's own format when one exists, so the row
// converter writes the screen's pixels and nothing converts them again: a 16-bit screen gets
// exactly the 5-6-5 words (an OpenGL renderer would dither them, and the black rows with
// them). Otherwise, or when the user names a render driver, SDL's first choice.
SDL_Renderer* createRenderer(SDL_Window* window) {
    const Uint32 screenFormat = SDL_GetWindowPixelFormat(window);
    const char* named = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    if ((named == nullptr || *named == '\0') && rowConverterForPixelFormat(screenFormat)) {
        const int drivers = SDL_GetNumRenderDrivers();
        for (int index = 0; index < drivers; ++index) {
            SDL_RendererInfo info;
            if (SDL_GetRenderDriverInfo(index, &info) != 0) continue;
            for (Uint32 i = 0; i < info.num_texture_formats; ++i) {
                if (info.texture_formats[i] != screenFormat) continue;
                if (SDL_Renderer* renderer = SDL_CreateRenderer(window, index, 0)) return renderer;
                break;
            }
        }
    }
    return SDL_CreateRenderer(window, -1, 0);
}

// The texture takes the screen's format when the renderer offers it and a converter exists,
// else the renderer's first format that has a converter.
Uint32 chooseTextureFormat(SDL_Window* window, SDL_Renderer* renderer) {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0) return SDL_PIXELFORMAT_UNKNOWN;
    const Uint32 screenFormat = SDL_GetWindowPixelFormat(window);
    for (Uint32 i = 0; i < info.num_texture_formats; ++i) {
        if (info.texture_formats[i] == screenFormat &&
            rowConverterForPixelFormat(screenFormat) != nullptr)
            return screenFormat;
    }
    for (Uint32 i = 0; i < info.num_texture_formats; ++i) {
        if (rowConverterForPixelFormat(info.texture_formats[i]) != nullptr)
            return info.texture_formats[i];
    }
    return SDL_PIXELFORMAT_UNKNOWN;
}

bool createTexture(DisplayState& display) {
    display.texture.reset(SDL_CreateTexture(display.renderer.get(), display.textureFormat,
                                            SDL_TEXTUREACCESS_STREAMING, display.width,
                                            display.height));
    if (!display.texture) return false;
    // The top byte of a source pixel is not alpha: never blend.
    SDL_SetTextureBlendMode(display.texture.get(), SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(display.texture.get(), SDL_ScaleModeNearest);
    display.enlarged.reset();
    display.enlargedFactor = 0;
    return true;
}

// The texture that holds the picture enlarged `factor` times, made when the factor changes.
// Null when the renderer cannot draw into textures.
SDL_Texture* enlargedTexture(DisplayState& display, int32_t factor) {
    if (display.enlargedFailed) return nullptr;
    if (display.enlarged && display.enlargedFactor == factor) return display.enlarged.get();
    display.enlarged.reset();
    display.enlargedFactor = 0;
    if (SDL_RenderTargetSupported(display.renderer.get())) {
        display.enlarged.reset(SDL_CreateTexture(display.renderer.get(), display.textureFormat,
                                                 SDL_TEXTUREACCESS_TARGET, display.width * factor,
                                                 display.height * factor));
    }
    if (!display.enlarged) {
        display.enlargedFailed = true;
        return nullptr;
    }
    SDL_SetTextureBlendMode(display.enlarged.get(), SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(display.enlarged.get(), SDL_ScaleModeLinear);
    display.enlargedFactor = factor;
    return display.enlarged.get();
}

// Whether the timeline is to be seen now: while the show is paused or the timeline dragged,
// and for a while after a seek or a move of the mouse.
bool timelineVisible(const DisplayState& display) {
    if (display.timeline.lengthTicks <= 0) return false;
    return display.timeline.paused || display.dragging ||
           !SDL_TICKS_PASSED(SDL_GetTicks(), display.timelineUntil);
}

void revealTimeline(DisplayState& display) {
    display.timelineUntil = SDL_GetTicks() + timelineShowMs;
}

// The timeline over the picture, at the output's resolution, never into the frame's texture.
void drawTimeline(SDL_Renderer* renderer, const TimelineState& timeline,
                  const TimelineGeometry& geometry) {
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_BLEND);
    for (const TimelineRect& r : timelineRects(timeline, geometry)) {
        SDL_SetRenderDrawColor(renderer, r.red, r.green, r.blue, r.alpha);
        const SDL_Rect area{r.x, r.y, r.width, r.height};
        SDL_RenderFillRect(renderer, &area);
    }
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
}

// Draws the frame's texture to its place on the screen (black around it), the timeline over
// it when it is to be seen, and shows it.
void drawPicture(DisplayState& display) {
    SDL_Renderer* renderer = display.renderer.get();
    int outputWidth = 0, outputHeight = 0; // pixels, also on a high-DPI screen
    if (SDL_GetRendererOutputSize(renderer, &outputWidth, &outputHeight) != 0) return;
    const PictureLayout layout =
        layoutPicture(outputWidth, outputHeight, display.width, display.height, display.scaleMode);
    const SDL_Rect place{layout.x, layout.y, layout.width, layout.height};
    SDL_Texture* source = display.texture.get();
    if (layout.sharpFactor > 0) {
        SDL_Texture* enlarged = enlargedTexture(display, layout.sharpFactor);
        if (enlarged != nullptr && SDL_SetRenderTarget(renderer, enlarged) == 0) {
            SDL_RenderCopy(renderer, source, nullptr, nullptr);
            SDL_SetRenderTarget(renderer, nullptr);
            source = enlarged;
        }
    }
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, source, nullptr, &place);
    const bool timeline = timelineVisible(display);
    if (timeline) drawTimeline(renderer, display.timeline, layoutTimeline(layout, outputHeight));
    if (timeline != display.timelineShown)
        SDL_ShowCursor(timeline ? SDL_ENABLE : SDL_DISABLE); // the pointer comes with it
    display.timelineShown = timeline;
    display.redraw = false;
    SDL_RenderPresent(renderer);
}

int openDisplay(DisplayState& display, int32_t width, int32_t height) {
    display.quitRequested = false;
    display.commands.clear();
    display.timeline = TimelineState();
    display.timelineUntil = 0;
    display.timelineShown = false;
    display.dragging = false;
    display.pointerKnown = false;
    display.framePresented = false;
    display.redraw = false;
    display.width = width;
    display.height = height;
    display.windowWidth = width;
    display.windowHeight = height;
    display.fullScreen = false;
    display.enlargedFailed = false;
    if (width <= 0 || height <= 0) return 0;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest"); // black line rows stay crisp
    SDL_SetHintWithPriority(SDL_HINT_RENDER_VSYNC, "0", SDL_HINT_OVERRIDE);
    // A window leaves the desktop's compositor on; compositors stop compositing full-screen
    // windows by themselves.
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    // X11: SDL prefers DirectColor visuals (for gamma ramps, unused here), and on a 16-bit
    // screen such a window shows every pixel wrong; a TrueColor visual shows them exactly.
    // A value the user set is kept.
    setenv("SDL_VIDEO_X11_NODIRECTCOLOR", "1", 0);
    if (!display.video.start()) return 0;

    display.window.reset(createWindow(display, width, height));
    if (!display.window) return 0;
    SDL_ShowCursor(SDL_DISABLE);
    SDL_ShowWindow(display.window.get());
    if (!display.windowed && !display.fullScreen) return 0;

    display.renderer.reset(createRenderer(display.window.get()));
    if (!display.renderer) return 0;
    SDL_SetRenderDrawColor(display.renderer.get(), 0, 0, 0, 255);

    display.textureFormat = chooseTextureFormat(display.window.get(), display.renderer.get());
    display.converter = rowConverterForPixelFormat(display.textureFormat);
    if (display.converter == nullptr) return 0;
    if (!createTexture(display)) {
        display.converter = nullptr;
        return 0;
    }
    SDL_DisableScreenSaver();
    return 1;
}

void closeDisplay(DisplayState& display) {
    display.converter = nullptr;
    display.appActive = 0;
    display.fullScreen = false;
    display.framePresented = false;
    display.dragging = false;
    display.enlarged.reset();
    display.enlargedFactor = 0;
    display.texture.reset();
    display.renderer.reset();
    display.window.reset(); // leaving full-screen restores the desktop's mode
    if (display.video.isRunning()) {
        SDL_ShowCursor(SDL_ENABLE);
        SDL_EnableScreenSaver();
    }
    display.video.stop();
}

// Escape or a close request: the display closes at once and the main loop leaves before the
// next frame.
void closeAndQuit(DisplayState& display) {
    closeDisplay(display);
    display.quitRequested = true;
}

// Alt+Enter (either Enter key), F11 or f, not repeated by holding the key down.
bool isFullScreenKey(const SDL_KeyboardEvent& key) {
    if (key.repeat != 0) return false;
    if (key.keysym.sym == SDLK_F11) return true;
    if (key.keysym.sym == SDLK_f) return (key.keysym.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) == 0;
    return (key.keysym.sym == SDLK_RETURN || key.keysym.sym == SDLK_KP_ENTER) &&
           (key.keysym.mod & KMOD_ALT) != 0;
}

// The viewer's command for a key, and whether holding the key repeats it; false for keys
// without one, and for keys pressed with Ctrl, Alt or the system key (the desktop's).
bool viewerCommandForKey(const SDL_Keysym& key, ViewerCommand& command, bool& repeats) {
    if ((key.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) != 0) return false;
    repeats = true;
    switch (key.sym) {
    case SDLK_LEFT:
        command = {ViewerCommand::SeekBy, -5};
        return true;
    case SDLK_RIGHT:
        command = {ViewerCommand::SeekBy, 5};
        return true;
    case SDLK_j:
        command = {ViewerCommand::SeekBy, -10};
        return true;
    case SDLK_l:
        command = {ViewerCommand::SeekBy, 10};
        return true;
    case SDLK_DOWN:
        command = {ViewerCommand::SeekBy, -60};
        return true;
    case SDLK_UP:
        command = {ViewerCommand::SeekBy, 60};
        return true;
    case SDLK_PERIOD:
        command = {ViewerCommand::StepFrame, 1};
        return true;
    case SDLK_COMMA:
        command = {ViewerCommand::StepFrame, -1};
        return true;
    default:
        break;
    }
    repeats = false;
    switch (key.sym) {
    case SDLK_SPACE:
    case SDLK_k:
        command = {ViewerCommand::TogglePause, 0};
        return true;
    case SDLK_HOME:
        command = {ViewerCommand::SeekTo, 0};
        return true;
    case SDLK_PAGEUP:
        command = {ViewerCommand::SceneBy, -1};
        return true;
    case SDLK_PAGEDOWN:
        command = {ViewerCommand::SceneBy, 1};
        return true;
    case SDLK_s:
        command = {ViewerCommand::SaveFrame, 0};
        return true;
    case SDLK_m:
        command = {ViewerCommand::ToggleMute, 0};
        return true;
    default:
        break;
    }
    if (key.sym >= SDLK_1 && key.sym <= SDLK_9) {
        command = {ViewerCommand::GoToScene, static_cast<int>(key.sym - SDLK_1)};
        return true;
    }
    return false;
}

void queueCommand(DisplayState& display, const ViewerCommand& command) {
    if (display.commands.size() < maxQueuedCommands) display.commands.push_back(command);
}

void viewerKey(DisplayState& display, const SDL_KeyboardEvent& key) {
    ViewerCommand command;
    bool repeats = false;
    if (!viewerCommandForKey(key.keysym, command, repeats)) return;
    if (key.repeat != 0) {
        // A held key adds nothing while a command of its own still waits: however long the
        // show takes to answer, holding a key never piles up seeks.
        if (!repeats || std::find(display.commands.begin(), display.commands.end(), command) !=
                            display.commands.end())
            return;
    }
    queueCommand(display, command);
}

// The timeline's place on the screen now; unit 0 when there is none.
TimelineGeometry currentTimeline(const DisplayState& display) {
    int outputWidth = 0, outputHeight = 0;
    if (!display.renderer ||
        SDL_GetRendererOutputSize(display.renderer.get(), &outputWidth, &outputHeight) != 0)
        return {};
    return layoutTimeline(
        layoutPicture(outputWidth, outputHeight, display.width, display.height, display.scaleMode),
        outputHeight);
}

// A mouse position in the window's points, in the output's pixels.
void toOutputPixels(const DisplayState& display, int& x, int& y) {
    int windowWidth = 0, windowHeight = 0, outputWidth = 0, outputHeight = 0;
    SDL_GetWindowSize(display.window.get(), &windowWidth, &windowHeight);
    if (windowWidth <= 0 || windowHeight <= 0 || !display.renderer ||
        SDL_GetRendererOutputSize(display.renderer.get(), &outputWidth, &outputHeight) != 0)
        return;
    x = static_cast<int>(static_cast<int64_t>(x) * outputWidth / windowWidth);
    y = static_cast<int>(static_cast<int64_t>(y) * outputHeight / windowHeight);
}

// A seek to where the pointer is on the timeline; a drag replaces a seek of its own that has
// not been taken yet.
void seekOnTimeline(DisplayState& display, int x) {
    const ViewerCommand seek{ViewerCommand::SeekTo,
                             timelineTicksAt(currentTimeline(display), display.timeline, x)};
    if (!display.commands.empty() && display.commands.back().kind == ViewerCommand::SeekTo)
        display.commands.back() = seek;
    else
        queueCommand(display, seek);
}

// The pointer moved: the timeline shows. The first position after the pointer entered the
// window only counts as where it is (a window that appears under a still pointer gets one).
void pointerMoved(DisplayState& display, int x, int y) {
    toOutputPixels(display, x, y);
    if (display.pointerKnown && (x != display.pointerX || y != display.pointerY))
        revealTimeline(display);
    display.pointerKnown = true;
    display.pointerX = x;
    display.pointerY = y;
    if (display.dragging) seekOnTimeline(display, x);
}

void pointerPressed(DisplayState& display, int x, int y) {
    toOutputPixels(display, x, y);
    display.pointerKnown = true;
    display.pointerX = x;
    display.pointerY = y;
    if (display.timeline.lengthTicks <= 0 || !onTimeline(currentTimeline(display), x, y)) return;
    display.dragging = true;
    revealTimeline(display);
    seekOnTimeline(display, x);
}

void pumpEvents(DisplayState& display) {
    const Uint32 windowId = display.window ? SDL_GetWindowID(display.window.get()) : 0;
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        switch (event.type) {
        case SDL_WINDOWEVENT:
            if (event.window.windowID != windowId) break;
            if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) display.appActive = 1;
            if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) display.appActive = 0;
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                display.redraw = true;
            if (event.window.event == SDL_WINDOWEVENT_ENTER ||
                event.window.event == SDL_WINDOWEVENT_LEAVE)
                display.pointerKnown = false;
            if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
                closeAndQuit(display);
                return;
            }
            break;
        case SDL_KEYDOWN:
            if (event.key.keysym.sym == SDLK_ESCAPE) {
                closeAndQuit(display);
                return;
            }
            if (isFullScreenKey(event.key)) {
                toggleFullScreen(display);
                display.redraw = true;
            } else {
                viewerKey(display, event.key); // any other key is swallowed
            }
            break;
        case SDL_MOUSEMOTION:
            if (event.motion.windowID == windowId)
                pointerMoved(display, event.motion.x, event.motion.y);
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (event.button.windowID == windowId && event.button.button == SDL_BUTTON_LEFT)
                pointerPressed(display, event.button.x, event.button.y);
            break;
        case SDL_MOUSEBUTTONUP:
            if (event.button.button == SDL_BUTTON_LEFT) display.dragging = false;
            break;
        case SDL_QUIT:
            closeAndQuit(display);
            return;
        case SDL_RENDER_DEVICE_RESET:
            // The renderer lost its textures: make the frame's texture again.
            if (display.renderer && display.converter != nullptr && !createTexture(display))
                display.converter = nullptr;
            display.framePresented = false;
            break;
        default:
            break;
        }
    }
}

} // namespace

SdlDisplay::SdlDisplay(const std::string& title) : DisplayDevice(title) {}

int SdlDisplay::open() {
    try {
        Settings* settings = Settings::instance();
        const int32_t width = settings->getInt(xRes);
        const int32_t height = settings->getInt(yRes);
        return openDisplay(state(), width, height);
    } catch (...) {
        return 0;
    }
}

void SdlDisplay::close() {
    closeDisplay(state());
}

int SdlDisplay::present() {
    DisplayState& display = state();
    if (display.video.isRunning()) pumpEvents(display);

    // Nothing to draw into, nothing to draw, or in the background: don't spin.
    const bool drawable = display.appActive != 0 && display.texture && display.converter;
    uint8_t* pixels = (drawable && attached != nullptr) ? attached->getPixels() : nullptr;
    const int32_t sourceWidth = attached ? attached->getRight() - attached->getLeft() : 0;
    const int32_t sourceHeight = attached ? attached->getBottom() - attached->getTop() : 0;
    if (pixels == nullptr || attached->getBpp() != 32 || sourceWidth < display.width ||
        sourceHeight < display.height) {
        sleepOneMillisecond();
        return 1;
    }

    void* locked = nullptr;
    int pitch = 0; // bytes per locked row
    if (SDL_LockTexture(display.texture.get(), nullptr, &locked, &pitch) != 0) return 0;
    const uint32_t* sourceRow = reinterpret_cast<const uint32_t*>(pixels);
    uint8_t* destinationRow = static_cast<uint8_t*>(locked);
    for (int32_t row = 0; row < display.height; ++row) {
        display.converter(sourceRow, destinationRow, display.width);
        sourceRow += sourceWidth;
        destinationRow += pitch;
    }
    SDL_UnlockTexture(display.texture.get());
    drawPicture(display);
    display.framePresented = true;
    std::this_thread::yield();
    return 1;
}

std::vector<ViewerCommand> SdlDisplay::takeCommands() {
    DisplayState& display = state();
    if (display.video.isRunning()) pumpEvents(display);
    // The frame shown last drawn again when the timeline comes or goes, or the screen needs
    // it, while the show does not present (paused).
    const bool drawable =
        display.appActive != 0 && display.texture && display.converter && display.framePresented;
    if (drawable && (display.redraw || timelineVisible(display) != display.timelineShown))
        drawPicture(display);
    std::vector<ViewerCommand> taken;
    taken.swap(display.commands);
    return taken;
}

void SdlDisplay::showTimeline(const TimelineState& timeline) {
    DisplayState& display = state();
    if (timeline.reveal) revealTimeline(display);
    TimelineState kept = timeline;
    kept.reveal = false;
    if (kept == display.timeline) return;
    display.timeline = kept;
    if (display.timelineShown) display.redraw = true;
}

RowConverter rowConverterForPixelFormat(uint32_t sdlPixelFormat) {
    const Uint32 format = sdlPixelFormat;
    if (format == SDL_PIXELFORMAT_UNKNOWN || SDL_ISPIXELFORMAT_FOURCC(format)) return nullptr;
    int bits = 0;
    Uint32 red = 0, green = 0, blue = 0, alpha = 0;
    if (!SDL_PixelFormatEnumToMasks(format, &bits, &red, &green, &blue, &alpha)) return nullptr;
    const uint32_t bitCount = static_cast<uint32_t>(SDL_BYTESPERPIXEL(format)) * 8;
    return selectRowConverter(bitCount, red, green, blue);
}

bool SdlDisplay::quitRequested() {
    return state().quitRequested;
}

namespace {

DisplayDevice* createSdlDisplay(const std::string& title) {
    return new SdlDisplay(title);
}

void* sdlWindow() {
    return state().window.get();
}

void hideSdlWindow(void* window) {
    // Only the display's own, still existing window is touched.
    if (window != nullptr && window == state().window.get())
        SDL_HideWindow(static_cast<SDL_Window*>(window));
}

void setSdlWindowed(bool windowed) {
    state().windowed = windowed;
}

void setSdlScaleMode(ScaleMode mode) {
    state().scaleMode = mode;
}

} // namespace

const DisplayPlatform& sdlDisplayPlatform() {
    static const DisplayPlatform platform{createSdlDisplay, sdlWindow, hideSdlWindow,
                                          setSdlWindowed, setSdlScaleMode};
    return platform;
}
