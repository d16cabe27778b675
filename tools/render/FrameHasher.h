// A frame sink that digests frames on a second thread and prints one line per frame:
// index, ticks after the frame, lowercase hex MD5 (or SHA-256) of the 921,600 bytes. Frames that
// --every skips are not digested, except the last one.
#pragma once

#include "engine/BoundedQueue.h"
#include "media/FrameSink.h"

class Show;

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct FrameHasherOptions {
    int every = 1;             // print every K-th frame (and the last)
    std::string dumpDirectory; // where --at frames are written as PPM; empty: none
    std::set<long> dumpFrames; // frame indices to dump
    std::FILE* out = stdout;
    bool digest = true;  // false: frames are only counted and timed (benchmarks)
    bool sha256 = false; // SHA-256 instead of MD5 (the digest the browser has too)
};

class FrameHasher : public FrameSink {
  public:
    // show (not owned, may be null) is the show whose frames arrive: its scene index after each
    // frame files the frame's time under that scene.
    FrameHasher(const uint8_t* frameBuffer24, FrameHasherOptions options, const Show* show);
    ~FrameHasher() override; // finishes if not done yet
    FrameHasher(const FrameHasher&) = delete;
    FrameHasher& operator=(const FrameHasher&) = delete;

    void nextFrame(int progress) override;
    // Digests what is queued, prints the last frame if --every skipped it, joins the worker.
    // Returns 0.
    int finish() override;

    long framesWritten() const { return nextIndex; }
    // Frames and seconds spent per scene (by the scene index after each frame).
    const std::vector<long>& sceneFrames() const { return perSceneFrames; }
    const std::vector<double>& sceneSeconds() const { return perSceneSeconds; }
    double slowestFrameSeconds() const { return slowest; } // of the frames after the first
    double firstFrameSeconds() const { return first; }
    long slowestFrameIndex() const { return slowestIndex; }

  private:
    struct Job {
        long index;
        int ticks;
        std::vector<uint8_t> frame;
        bool print = true; // false for frames that are only dumped
    };
    void work();
    void printDigest(const Job& job);
    void dump(const Job& job) const;

    static constexpr size_t frameBytes = 640 * 480 * 3;
    static constexpr size_t maxQueued = 8;

    const uint8_t* frameBuffer24;
    const Show* show;
    FrameHasherOptions options;
    long nextIndex = 0;

    BoundedQueue<Job> queue{maxQueued};
    std::mutex spareLock;                    // guards spare
    std::vector<std::vector<uint8_t>> spare; // frame blocks for reuse
    Job lastSkipped{-1, 0, {}, true};        // the latest frame --every skipped (index and ticks)
    std::thread worker;

    std::vector<long> perSceneFrames = std::vector<long>(10, 0);
    std::vector<double> perSceneSeconds = std::vector<double>(10, 0.0);
    double lastStamp = 0.0;
    double first = 0.0;
    double slowest = 0.0;
    long slowestIndex = -1;
};
