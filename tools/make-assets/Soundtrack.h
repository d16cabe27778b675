// The generated soundtrack: a procedural piece whose sections change where the show's scenes do,
// rendered as 44.1 kHz 16-bit stereo and encoded to MP3.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

constexpr int soundtrackRate = 44100;  // frames per second
constexpr int soundtrackSeconds = 900; // the whole show
constexpr int soundtrackTicksPerSecond = 71;

// Renders the first `seconds` seconds of the piece in blocks of interleaved stereo samples,
// handing each block (frames frames, 2 x frames samples) to sink in order.
void renderSoundtrack(int seconds,
                      const std::function<void(const int16_t* samples, int frames)>& sink);

// Renders and encodes the first `seconds` seconds to an MP3 file at path (128 kbit/s CBR, joint
// stereo). Throws std::runtime_error on failure.
void writeSoundtrack(const std::string& path, int seconds);
