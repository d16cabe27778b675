// The null display: shows nothing, never asks to quit. Headless tools link it in place of
// the SDL display.
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

} // namespace

DisplayDevice* createPlatformDisplay(const std::string& title) {
    return new NullDisplay(title);
}

void* getDisplayWindow() {
    return nullptr;
}

void hideDisplayWindow(void*) {}

void setDisplayWindowed(bool) {}

void setDisplayScaleMode(ScaleMode) {}
