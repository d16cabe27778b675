// The null display (shows nothing, never asks to quit) and the choice of display platform.
#include "graphics/PlatformDisplay.h"

namespace {

class NullDisplay : public DisplayDevice {
  public:
    using DisplayDevice::DisplayDevice;
    int open() override { return 1; }
    void close() override {}
    bool quitRequested() override { return false; }
    void attachSurface(Surface*) override {}
    int present() override { return 1; }
};

DisplayDevice* createNullDisplay(const std::string& title) {
    return new NullDisplay(title);
}
void* noWindow() {
    return nullptr;
}
void hideNoWindow(void*) {}
void ignoreWindowed(bool) {}
void ignoreScaleMode(ScaleMode) {}

const DisplayPlatform nullPlatform{createNullDisplay, noWindow, hideNoWindow, ignoreWindowed,
                                   ignoreScaleMode};
DisplayPlatform installed = nullPlatform;

} // namespace

const DisplayPlatform& nullDisplayPlatform() {
    return nullPlatform;
}

void setDisplayPlatform(const DisplayPlatform& platform) {
    installed = platform;
}

DisplayDevice* createPlatformDisplay(const std::string& title) {
    return installed.createDisplay(title);
}

void* getDisplayWindow() {
    return installed.window();
}

void hideDisplayWindow(void* window) {
    installed.hideWindow(window);
}

void setDisplayWindowed(bool windowed) {
    installed.setWindowed(windowed);
}

void setDisplayScaleMode(ScaleMode mode) {
    installed.setScaleMode(mode);
}
