// What a display platform provides: its display device and its window. The program's main
// installs one (the SDL display for the show); until then, and in headless tools and tests,
// the null display is in place.
#pragma once

#include "graphics/GraphicsFactory.h"
#include "graphics/PictureLayout.h"

#include <string>

struct DisplayPlatform {
    // A new display device of this platform (owned by the caller).
    DisplayDevice* (*createDisplay)(const std::string& title);
    // The display window (null when none exists).
    void* (*window)();
    // Hides the window, when it is the display's own, still existing window.
    void (*hideWindow)(void* window);
    // With true, open makes a 640 x 480 resizable window instead of taking over the screen.
    void (*setWindowed)(bool windowed);
    // How the picture is enlarged to the screen or window; takes effect at once.
    void (*setScaleMode)(ScaleMode mode);
};

// Installs the platform the functions below go to; call before the first display is made.
void setDisplayPlatform(const DisplayPlatform& platform);
// Shows nothing and never asks to quit; the default.
const DisplayPlatform& nullDisplayPlatform();

// The installed platform's operations.
DisplayDevice* createPlatformDisplay(const std::string& title);
// The display window (null when none exists); video mode hides it with hideDisplayWindow.
void* getDisplayWindow();
void hideDisplayWindow(void* window);
// The start-up calls this with true when the command line holds "windowed". Call before open.
void setDisplayWindowed(bool windowed);

// How the picture is enlarged to the screen or window (default ScaleMode::Sharp); the
// start-up calls this with ScaleMode::Fit for the word scale=fit. Takes effect at once.
void setDisplayScaleMode(ScaleMode mode);
