// Where video mode hands each finished frame: the AVI writer, or a headless renderer's hasher.
#pragma once

class FrameSink {
  public:
    virtual ~FrameSink() = default;
    // The 24-bit frame buffer attached to the sink holds the next frame (640 x 480, bytes
    // blue, green, red, top row first). progress: share of the show reached, in percent.
    virtual void nextFrame(int progress) = 0;
};
