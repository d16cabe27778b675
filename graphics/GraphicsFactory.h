// The graphics factory and the two device interfaces it makes: the display that shows frames
// and the 32-bit surface the effects draw into.
#pragma once

#include "graphics/ViewerCommand.h"

#include <cstdint>
#include <string>
#include <vector>

class Surface;

// A screen the frames are shown on. Destroying a device does not close it.
class DisplayDevice {
  public:
    explicit DisplayDevice(const std::string& title) { (void)title; }
    virtual ~DisplayDevice() = default;
    // Creates the window and the full-screen set-up; 1 on success, 0 on failure, never throws.
    virtual int open() = 0;
    // Undoes open; safe to call any number of times.
    virtual void close() = 0;
    // Asked before every frame; the main loop leaves when it is true.
    virtual bool quitRequested() = 0;
    // Remembers the surface whose pixels present shows (not owned).
    virtual void attachSurface(Surface* surface) = 0;
    // Shows the attached surface's current pixels; 1 or 0.
    virtual int present() = 0;
    // The viewer's commands since the last call, oldest first; takes the window's events
    // first. A display without keys or mouse has none.
    virtual std::vector<ViewerCommand> takeCommands() { return {}; }
    // What the timeline shows from now on (see TimelineState); a display without one ignores
    // it.
    virtual void showTimeline(const TimelineState& state) { (void)state; }
};

// A block of pixels: rows top to bottom, (right - left) pixels per row, no padding.
class SurfaceDevice {
  public:
    virtual ~SurfaceDevice() = default;
    virtual uint8_t* getPixels() = 0;
    virtual int32_t getLeft() = 0;
    virtual int32_t getTop() = 0;
    virtual int32_t getRight() = 0;
    virtual int32_t getBottom() = 0;
    virtual int32_t getBpp() = 0;
};

// The show's display in the settings: 640 x 480, 32 bits, the one platform.
void storeDisplaySettings();

class GraphicsFactory {
  public:
    // The process-wide factory, built on first use from settings keys 4 and 5 (both 1); any
    // other platform throws Error "Invalid platform!" naming the values it found.
    static GraphicsFactory* instance();

    virtual ~GraphicsFactory();
    virtual DisplayDevice* createDisplay(const std::string& title) = 0;
    // Deletes the device; null is ignored.
    virtual void destroyDisplay(DisplayDevice* device);
    virtual SurfaceDevice* createSurface() = 0;
    // Deletes the device; null is ignored.
    virtual void destroySurface(SurfaceDevice* device);
};

// The one platform's factory. Which display it makes is decided at link time: the program
// links the SDL display, headless tools link the null display (see PlatformDisplay.h).
class PlatformGraphicsFactory : public GraphicsFactory {
  public:
    DisplayDevice* createDisplay(const std::string& title) override;
    SurfaceDevice* createSurface() override;
};

// 640 x 480 x 32 (settings keys 1, 2, 3) in main memory; contents not initialised.
class MemorySurface : public SurfaceDevice {
  public:
    MemorySurface();
    ~MemorySurface() override;
    MemorySurface(const MemorySurface&) = delete;
    MemorySurface& operator=(const MemorySurface&) = delete;

    uint8_t* getPixels() override { return pixels; }
    int32_t getLeft() override { return left; }
    int32_t getTop() override { return top; }
    int32_t getRight() override { return right; }
    int32_t getBottom() override { return bottom; }
    int32_t getBpp() override { return bpp; }

  private:
    uint8_t* pixels = nullptr;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t bpp = 0;
};
