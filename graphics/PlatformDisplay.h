// What a display platform provides: its display device and its window. Exactly one
// implementation is linked into a program (SdlDisplay.cpp or NullDisplay.cpp).
#pragma once

#include "graphics/GraphicsFactory.h"
#include "graphics/PictureLayout.h"

// A new display device of this platform.
DisplayDevice* createPlatformDisplay(const std::string& title);

// The display window (null when none exists); video mode hides it with hideDisplayWindow.
void* getDisplayWindow();
void hideDisplayWindow(void* window);

// The start-up calls this with true when the command line holds "windowed": open then makes a
// 640 x 480 resizable window instead of taking over the screen. Call before open.
void setDisplayWindowed(bool windowed);

// How the picture is enlarged to the screen or window (default ScaleMode::Sharp); the
// start-up calls this with ScaleMode::Fit for the word scale=fit. Takes effect at once.
void setDisplayScaleMode(ScaleMode mode);
