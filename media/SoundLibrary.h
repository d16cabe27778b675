// The sound library: plays an MP3 file as 16-bit stereo 44,100 Hz through the default output,
// with a DSP hook that sees (and may change) every decoded block before it is heard.
// Plain functions over numeric handles, so the callers need no type of the libraries
// underneath; failures are reported by zero results, never by throwing, and the set-up calls
// leave the reason in soundErrorText.
//
// Two ways of running, chosen by the flags of soundInit:
// - Output (the default): an audio device plays the mix; every stream advances at the speed
//   the device consumes sound, and its DSP runs on the device's thread.
// - Decode-only (soundInitDecodeOnly): no device is opened, so this works on a machine
//   without any audio output. A playing stream is decoded on a worker thread of its own, as
//   fast as the decoder goes, block after block into its DSP, and nothing is heard. The video
//   export uses this to fill its capture buffer far faster than real time.
// In both ways the DSP sees the stream's blocks in file order, each exactly once.
#pragma once

#include <cstdint>

using SoundHandle = uint32_t; // 0 = none
// buffer: lengthBytes bytes of interleaved signed 16-bit stereo at the output frequency
// (4 bytes per sample frame, left first); what the callback leaves there is what is heard.
// The callback must not call soundStop, soundStreamFree or soundFree.
using SoundDspCallback = void (*)(SoundHandle dsp, SoundHandle channel, void* buffer,
                                  uint32_t lengthBytes, void* user);

// soundInit flag: decode without an output device (see above). Other flag bits are ignored.
constexpr uint32_t soundInitDecodeOnly = 0x80000000u;
// soundStreamPlay flush value: restart the stream from its beginning.
constexpr int soundPlayRestart = 1;

// Why the last soundInit, soundStreamCreateFile, soundStart or soundStreamPlay of the calling
// thread returned 0: which device or file, and the words of the library underneath (SDL's,
// libmpg123's, the system's). Empty when the last of them succeeded.
const char* soundErrorText();

// device -1 = the default output, 1..n = the n-th output device; frequency in Hz (44100).
// 0 when audio or the device cannot start, or when the library is already initialised.
int soundInit(int device, uint32_t frequency, uint32_t flags);
// A stream over the file (opened from the working directory), decoded to 16-bit stereo at
// the output frequency whatever the file's own rate and channel count. 0 when the library is
// not initialised, or the file is missing, unreadable, not a regular file, empty or holds no
// MPEG audio frame (the first frame is decoded here). Flags are ignored.
SoundHandle soundStreamCreateFile(const char* path, uint32_t flags);
// Starts output (decode-only: lets playing streams run); non-zero on success.
int soundStart();
// Plays the stream; 0 on failure (unknown stream). A stream that has ended, or any stream
// with flush = soundPlayRestart, starts again from its beginning. Flags are ignored.
int soundStreamPlay(SoundHandle stream, int flush, uint32_t flags);
// Installs the DSP on the stream (replacing an earlier one); returns its handle, 0 on
// failure. Install it before playing to see every block.
SoundHandle soundChannelSetDsp(SoundHandle stream, SoundDspCallback callback, void* user);
// Moves the stream to sample frame `frame` (at the output frequency) from the start of its
// file, exactly; a playing stream goes on from there. A frame at or past the end leaves the
// stream at its end: the next play then plays nothing instead of starting again. 0 when the
// stream is unknown or the file cannot be sought (the stream has then ended).
int soundChannelSetPosition(SoundHandle stream, int64_t frame);
// The sample frame, from the start of the file, at which the block last handed to the output
// (decode-only: to the DSP) began: about what is heard now. The position of the last seek or
// 0 before any block; -1 for an unknown stream.
int64_t soundChannelGetPosition(SoundHandle stream);
// Non-zero while the stream plays; 0 once it has played to its end or was stopped.
int soundChannelIsActive(SoundHandle stream);
// Stops output and every stream. Results of the three below are ignored by callers; each is
// harmless twice and when nothing was started.
int soundStop();
int soundStreamFree(SoundHandle stream);
int soundFree();
