// Where video mode hands each finished frame: the AVI writer, or a headless renderer's hasher.
#pragma once

class FrameSink {
  public:
    virtual ~FrameSink() = default;
    // The 24-bit frame buffer attached to the sink holds the next frame (640 x 480, bytes
    // blue, green, red, top row first). progress: share of the show reached, in percent.
    // A sink that cannot go on shows why and throws Error::exit with the run's exit code.
    virtual void nextFrame(int progress) = 0;
    // Whether the sink leaves the next frame out (an export's frames before its clip): the
    // caller may then step the show without drawing or converting it, and still calls
    // nextFrame.
    virtual bool skipsNextFrame() const { return false; }
    // How many frames from the show's first the sink leaves out (an export's frames before
    // its clip): a run may bring its show past them at once, calling nextFrame for each still.
    virtual int64_t framesLeftOut() const { return 0; }
    // Completes what the sink writes, before it is deleted: 0, or the exit code of a failure
    // that the sink has already shown. A sink deleted without it completes quietly.
    virtual int finish() { return 0; }
};
