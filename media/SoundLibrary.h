// The sound library: plays an MP3 file as 16-bit stereo 44,100 Hz through the default output,
// with a DSP hook that sees (and may change) every decoded block before it is heard.
// Every call mirrors one entry of a classic sound library; failures are reported by zero
// results, never by throwing.
#pragma once

#include <cstdint>

using SoundHandle = uint32_t; // 0 = none
using SoundDspCallback = void (*)(SoundHandle dsp, SoundHandle channel, void* buffer,
                                  uint32_t lengthBytes, void* user);

// device -1 = the default output; frequency 44100. 0 when audio or the device cannot start.
int soundInit(int device, uint32_t frequency, uint32_t flags);
// A stream over the file (opened from the working directory). 0 when the file is missing,
// unreadable, empty or holds no MPEG audio frame.
SoundHandle soundStreamCreateFile(const char* path, uint32_t flags);
// Starts output; non-zero on success.
int soundStart();
// Plays the stream; 0 on failure.
int soundStreamPlay(SoundHandle stream, int flush, uint32_t flags);
// Installs the DSP on the stream; returns its handle, 0 on failure.
SoundHandle soundChannelSetDsp(SoundHandle stream, SoundDspCallback callback, void* user);
// Non-zero while the stream plays; 0 once it has played to its end or was stopped.
int soundChannelIsActive(SoundHandle stream);
// Stops output. Results of the three below are ignored by callers; each is harmless twice.
int soundStop();
int soundStreamFree(SoundHandle stream);
int soundFree();
