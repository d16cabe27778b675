// The display device of the real screen, over SDL2: full-screen 640 x 480 (or a window), each
// frame converted row by row into a streaming texture and presented.
#pragma once

#include "graphics/PlatformDisplay.h"
#include "graphics/RowConverters.h"

#include <cstdint>
#include <string>

// One display per process: apart from the attached surface, all of its state (window,
// renderer, texture, row converter, activity flag) is process-wide.
class SdlDisplay : public DisplayDevice {
  public:
    explicit SdlDisplay(const std::string& title);
    // Does not close the display.
    ~SdlDisplay() override = default;

    // Reads the width and height from settings keys 1 and 2 and takes over the screen:
    // 1 on success, 0 on any failure (whatever was made is left for close). Never throws.
    int open() override;
    // Releases everything open made, shows the mouse pointer and lets the screen saver run
    // again. Safe to run any number of times.
    void close() override;
    // True once present has seen Escape or a close request (the display is closed by then);
    // cleared by the next open.
    bool quitRequested() override;
    void attachSurface(Surface* surface) override { attached = surface; }
    // Pumps the window's events, then (while the window has the focus) converts the attached
    // surface into the screen's format and shows it. 1, or 0 when the frame could not be
    // locked. Escape or a close request runs close, and quitRequested is true from then on.
    int present() override;
    // Pumps the window's events and hands over the viewer's commands they gave: the keys of
    // the README's Keys section, and a click or drag on the timeline as a seek to its tick. A
    // key held down adds no command while one of its own is still waiting. While the show
    // presents nothing (paused), the frame shown last is drawn again when the timeline comes
    // or goes or the window needs it.
    std::vector<ViewerCommand> takeCommands() override;
    // The timeline is drawn over the picture at the output's resolution while the show is
    // paused or the timeline dragged, and for 2 s after a reveal or a move of the mouse (the
    // mouse pointer shows with it).
    void showTimeline(const TimelineState& timeline) override;

  private:
    Surface* attached = nullptr; // not owned; the application's surface handle
};

// The converter for an SDL pixel format (an SDL_PIXELFORMAT_* value): its bit count is the
// storage size of a pixel (so X-8-8-8 counts 32 and X-5-5-5 counts 16) and its alpha mask is
// not looked at. nullptr when none fits.
RowConverter rowConverterForPixelFormat(uint32_t sdlPixelFormat);

// The SDL display as the display platform (see PlatformDisplay.h).
const DisplayPlatform& sdlDisplayPlatform();
