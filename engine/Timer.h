// The show clock: milliseconds from the system counter and ticks of 1/71 second, advanced once
// per frame by update (real time) or setTicks (video frames).
#pragma once

#include <cstdint>

class Timer {
  public:
    // The process's clock, made on first use. Each run of the show keeps a clock of its own,
    // so that runs stay apart; this one stays for code that wants one clock for the process.
    static Timer* instance();

    virtual ~Timer();
    // Starts the clock at zero.
    virtual void start();
    // Marks the clock stopped; nothing else changes.
    virtual void stop();
    // Real-time step from the system counter; throws Error (the not-started message) when not
    // running.
    virtual void update();
    // Frame-driven step: the clock now reads ticks ticks.
    virtual void setTicks(int ticks);
    // The clock now reads ms milliseconds.
    virtual void setTime(int ms);
    virtual int getTicks();
    virtual int getTickDelta();
    virtual int getTime();
    virtual int getTimeDelta();
    virtual bool isRunning();
    // Whether a new whole tick has begun since the last update.
    virtual bool isTickDue();

    Timer();

  private:
    uint32_t startCount = 0; // counter reading (ms) at elapsed time zero
    int32_t elapsedMs = 0;   // ms since start, as of the last step
    uint32_t lastCount = 0;  // reference for the next time delta
    int32_t deltaMs = 0;     // ms between the last two steps
    int32_t wholeTicks = 0;  // whole ticks, set by start, setTicks and setTime
    float deltaTicks = 0.0f; // ticks between the last two steps, with fraction
    float elapsedTicks = 0.0f;
    float tickRate = 71.0f; // ticks per second
    bool running = false;
};
