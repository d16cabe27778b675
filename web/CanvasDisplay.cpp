// The page's display: present hands the surface's 640 x 480 pixels (words 0x00RRGGBB) to the
// page's Module.showFrame, which puts them into the canvas; without a page (node) nothing is
// shown. The page enlarges the canvas itself, by whole multiples so the black rows stay crisp.
// The viewer's commands the page queues (queueViewerCommand) go to the run at its next pass.
#include "graphics/Handles.h"
#include "graphics/PlatformDisplay.h"
#include "web/PageCommands.h"

#include <emscripten.h>

#include <utility>
#include <vector>

namespace {

std::vector<ViewerCommand>& queuedCommands() {
    static std::vector<ViewerCommand> queued;
    return queued;
}

// clang-format off
EM_JS(void, showFramePixels, (const uint8_t* pixels), {
    if (Module.showFrame) Module.showFrame(pixels);
});
EM_JS(int, pageAsksToQuit, (), {
    return Module.quitRequested ? (Module.quitRequested() ? 1 : 0) : 0;
});
// clang-format on

class CanvasDisplay : public DisplayDevice {
  public:
    using DisplayDevice::DisplayDevice;
    int open() override { return 1; }
    void close() override {}
    bool quitRequested() override { return pageAsksToQuit() != 0; }
    std::vector<ViewerCommand> takeCommands() override {
        return std::exchange(queuedCommands(), {});
    }
    void attachSurface(Surface* s) override { surface = s; }
    int present() override {
        if (surface == nullptr) return 0;
        showFramePixels(surface->getPixels());
        return 1;
    }

  private:
    Surface* surface = nullptr; // not owned
};

} // namespace

void queueViewerCommand(const ViewerCommand& command) {
    queuedCommands().push_back(command);
}

DisplayDevice* createPlatformDisplay(const std::string& title) {
    return new CanvasDisplay(title);
}

void* getDisplayWindow() {
    return nullptr;
}

void hideDisplayWindow(void*) {}

void setDisplayWindowed(bool) {}

// The page always enlarges by whole multiples where the window allows (page.js).
void setDisplayScaleMode(ScaleMode) {}
