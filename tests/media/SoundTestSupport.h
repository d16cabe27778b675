// Shared pieces of the sound tests: scratch folders, reference decoding, a collecting DSP.
#pragma once

#include "media/SoundLibrary.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Makes the scratch folder the working directory while it lives.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::string& path);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  private:
    std::string previous_;
};

// Sets an environment variable while it lives, restoring the previous value.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    bool hadValue_ = false;
    std::string previous_;
};

// libmpg123's own decode of the whole file as 16-bit stereo at 44,100 Hz, with its default
// parameters; empty when it decodes nothing.
std::vector<uint8_t> referenceDecode(const std::string& path);

// Writes an MP3 of a tone: `seconds` long, at `rate` Hz with `channels` channels.
std::string writeToneMp3(const ScratchDir& dir, const std::string& name, int rate, int channels,
                         double seconds, bool id3v2 = false);

std::vector<uint8_t> readBytes(const std::string& path);

// How two runs of interleaved 16-bit samples differ over their common length.
struct SampleDifference {
    size_t samples = 0;   // compared
    size_t differing = 0; // not equal
    int largest = 0;      // the largest absolute difference
};
SampleDifference compareSamples(const std::vector<uint8_t>& a, const uint8_t* b, size_t bBytes);

// libmpg123's plain C synthesis sums its filter's taps in an order that depends on where in its
// ring it is, and a seek restarts it elsewhere than a decode from the start would be: after a
// seek a few samples come out one step off, the same on every machine. True when `seen` has
// `expected`'s length and differs from it only that way (by one step, in under 0.1 %).
bool equalAfterASeek(const std::vector<uint8_t>& seen, const uint8_t* expected,
                     size_t expectedBytes, SampleDifference* difference = nullptr);

// Waits until the stream is no longer active; false after a generous hang guard (60 s).
bool waitUntilInactive(SoundHandle stream);

// A DSP that appends every block to `bytes`, notes odd block lengths and can zero blocks.
struct CollectingDsp {
    std::mutex mutex;
    std::vector<uint8_t> bytes;
    uint32_t blocks = 0;
    uint32_t oddBlocks = 0; // blocks whose length is not a whole number of sample frames
    bool zero = false;

    static void callback(SoundHandle dsp, SoundHandle channel, void* buffer, uint32_t length,
                         void* user);
    std::vector<uint8_t> collected();
};
