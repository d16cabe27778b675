// What an effect is given each frame besides its own state and the buffer it draws: the show's
// random sequence, the frame's clock readings and the prepared pictures. Effects keep nothing
// anywhere else, so two shows in one process never share a draw or a pixel.
#pragma once

#include <cstdint>

class Pictures;

// The clock as the main loop read it for this frame.
struct FrameTime {
    int ticks = 0;     // ticks of 1/71 s since the show began
    int tickDelta = 0; // whole ticks since the previous frame
    int timeDelta = 0; // milliseconds since the previous frame
};

// The one random sequence of a show: s = s * 214013 + 2531011, returning (s >> 16) & 0x7FFF;
// seed 1. Every effect draws from its show's sequence in the show's fixed order.
class RandomSequence {
  public:
    int nextRandom() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    }
    // Restarts the sequence at seed 1.
    void resetRandom() { state = 1; }

  private:
    uint32_t state = 1;
};

struct EffectContext {
    RandomSequence& random;
    FrameTime time;
    const Pictures& pictures; // the image buffers effects sample (scenes pass canvases explicitly)
};
