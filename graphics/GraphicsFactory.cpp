// The graphics factory, the memory surface and the application's handles.
#include "graphics/GraphicsFactory.h"

#include "engine/Error.h"
#include "engine/Exception.h"
#include "engine/Settings.h"
#include "graphics/Handles.h"
#include "graphics/PlatformDisplay.h"

namespace {
GraphicsFactory* factoryInstance = nullptr;
bool factoryCreated = false;
} // namespace

GraphicsFactory* GraphicsFactory::instance() {
    if (factoryCreated) return factoryInstance;
    Settings* settings = Settings::instance();
    if (settings->getInt(platformFirst) == 1 && settings->getInt(platformSecond) == 1) {
        factoryInstance = new PlatformGraphicsFactory();
        factoryCreated = true;
        return factoryInstance;
    }
    throw Error(invalidPlatformMessage,
                "settings keys 4 and 5 are " + std::to_string(settings->getInt(platformFirst)) +
                    " and " + std::to_string(settings->getInt(platformSecond)) +
                    "; only 1 and 1 select a platform");
}

GraphicsFactory::~GraphicsFactory() {
    factoryCreated = false;
}

void GraphicsFactory::destroyDisplay(DisplayDevice* device) {
    delete device;
}

void GraphicsFactory::destroySurface(SurfaceDevice* device) {
    delete device;
}

DisplayDevice* PlatformGraphicsFactory::createDisplay(const std::string& title) {
    return createPlatformDisplay(title);
}

SurfaceDevice* PlatformGraphicsFactory::createSurface() {
    return new MemorySurface();
}

MemorySurface::MemorySurface() {
    Settings* settings = Settings::instance();
    right = settings->getInt(xRes);
    bottom = settings->getInt(yRes);
    bpp = settings->getInt(SettingKey::bpp);
    const long long bytes = static_cast<long long>(bottom - top) * (right - left) * (bpp / 8);
    pixels = new uint8_t[bytes > 0 ? static_cast<size_t>(bytes) : 0];
}

MemorySurface::~MemorySurface() {
    delete[] pixels;
}

Display::Display(const std::string& title)
    : device(GraphicsFactory::instance()->createDisplay(title)) {}

Display::~Display() {
    GraphicsFactory::instance()->destroyDisplay(device);
}

int Display::open() {
    return device->open();
}

void Display::close() {
    device->close();
}

bool Display::quitRequested() {
    return device->quitRequested();
}

void Display::attachSurface(Surface* surface) {
    device->attachSurface(surface);
}

int Display::present() {
    return device->present();
}

std::vector<ViewerCommand> Display::takeCommands() {
    return device->takeCommands();
}

void Display::showTimeline(const TimelineState& state) {
    device->showTimeline(state);
}

Surface::Surface() : device(GraphicsFactory::instance()->createSurface()) {}

Surface::~Surface() {
    GraphicsFactory::instance()->destroySurface(device);
}

uint8_t* Surface::getPixels() {
    return device->getPixels();
}

int32_t Surface::getLeft() {
    return device->getLeft();
}

int32_t Surface::getTop() {
    return device->getTop();
}

int32_t Surface::getRight() {
    return device->getRight();
}

int32_t Surface::getBottom() {
    return device->getBottom();
}

int32_t Surface::getBpp() {
    return device->getBpp();
}

void storeDisplaySettings() {
    Settings* settings = Settings::instance();
    settings->setInt(xRes, 640);
    settings->setInt(yRes, 480);
    settings->setInt(bpp, 32);
    settings->setInt(platformFirst, 1);
    settings->setInt(platformSecond, 1);
}
