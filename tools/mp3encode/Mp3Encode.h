// Makes MP3 files in memory (libmp3lame) for tests and benchmarks: tones and encodings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Interleaved signed 16-bit samples: a sine of `hertz` on the left and of 1.5 x `hertz` on
// the right (channels 2), or the left one alone (channels 1), amplitude 8,000.
std::vector<int16_t> makeTone(int rate, int channels, double seconds, double hertz);

// Encodes interleaved samples (channels 1 or 2, rate in Hz) as constant-bit-rate MP3 at
// `kbps`, with the encoder's info frame (delay and padding) in front; preceded by a small
// ID3v2.3 tag when `id3v2` is set. Empty on failure.
std::vector<uint8_t> encodeMp3(const std::vector<int16_t>& samples, int rate, int channels,
                               int kbps, bool id3v2);

// Writes the bytes to the file; false on failure.
bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
