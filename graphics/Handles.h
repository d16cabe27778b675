// The application's handles to the display and surface devices; each owns its device and
// releases it through the factory.
#pragma once

#include "graphics/GraphicsFactory.h"

#include <string>

class Display {
  public:
    explicit Display(const std::string& title);
    virtual ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    virtual int open();
    virtual void close();
    virtual bool quitRequested();
    virtual void attachSurface(Surface* surface);
    virtual int present();
    virtual std::vector<ViewerCommand> takeCommands();
    virtual void showTimeline(const TimelineState& state);

  private:
    DisplayDevice* device;
};

class Surface {
  public:
    Surface();
    virtual ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    virtual uint8_t* getPixels();
    virtual int32_t getLeft();
    virtual int32_t getTop();
    virtual int32_t getRight();
    virtual int32_t getBottom();
    virtual int32_t getBpp();

  private:
    SurfaceDevice* device;
};
