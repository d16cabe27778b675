// Helpers of the export tests: synthetic frames, a writer run, and FFmpeg's view of a file.
#pragma once

#include "engine/Error.h"
#include "media/ExportOptions.h"
#include "media/SoundLibrary.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

class AviWriter;

constexpr int frameWidth = 640, frameHeight = 480;
constexpr size_t frameBytes = size_t{frameWidth} * frameHeight * 3;

// A frame that differs from every other index in every row: gradients, a moving bar and noise.
std::vector<uint8_t> syntheticFrame(int index);
// A fresh path for a test file in the build tree (removed first if present).
std::string scratchPath(const std::string& name);
// Runs a shell command and returns its standard output (binary-safe); its exit code goes to
// status when one is given (-1 when it did not exit normally).
std::string commandOutput(const std::string& command, int* status = nullptr);
// ffprobe's streams as "stream.N.key" -> value.
std::map<std::string, std::string> probeStreams(const std::string& path);
// One MD5 per video frame as FFmpeg decodes the file to bgr24, in order.
std::vector<std::string> decodedFrameMd5s(const std::string& path);
// The same for the given frames, handed to FFmpeg as raw top-down bgr24.
std::vector<std::string> frameMd5s(const std::vector<std::vector<uint8_t>>& frames);
// The sound stream decoded to 16-bit little-endian PCM.
std::string decodedSound(const std::string& path);
// Sizes in bytes of the sound chunks in the file's movi list, in order.
std::vector<int> soundChunkSizes(const std::string& path);

// The fake sound library's stream (see FakeSoundLibrary.cpp).
namespace fakesound {
extern SoundDspCallback installedDsp; // what the writer installed, or null
extern SoundHandle installedOn;       // on which stream
void setActive(bool active);          // what soundChannelIsActive reports
void reset();
} // namespace fakesound

// The export's options as the command line "video WORDS" gives them.
ExportOptions optionsOf(const std::string& words);

// Whether this build's libraries offer the codec in the file kind of name ("a.mkv").
bool offered(const std::string& name, const std::string& codec);

// How many times what occurs in text.
size_t occurrences(const std::string& text, const std::string& what);

// A chapter of a file as ffprobe reads it.
struct ProbedChapter {
    double start = 0, end = 0; // seconds
    std::string title;
};
std::vector<ProbedChapter> probedChapters(const std::string& path);

// In the child of a death test: no display and no terminal, so that questions take their
// answer without a user.
void noUserAround();
// In the child of a death test, with nobody around: a writer of path (no sound) with the
// export's words that the exit routine deletes, as the application's does; returns its frame
// buffer.
std::vector<uint8_t>& startExitingWriter(const std::string& path, const std::string& words);
AviWriter* exitingWriter(); // the writer startExitingWriter made, until the exit routine

// Runs call as the program's entry routine does: an Error ends the process with its exit code
// (the registered exit routines still run); one nobody has shown is explained first.
template <typename Call> void endAsTheProgramDoes(Call call) {
    try {
        call();
    } catch (const Error& end) {
        if (!end.shown()) std::fprintf(stderr, "%s\n", end.explanation().c_str());
        std::exit(end.exitCode());
    }
    std::_Exit(96); // the call was expected to end the program
}
