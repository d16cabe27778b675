// The soundtrack of the show: set-up, start and stop over the sound library.
#pragma once

#include "media/SoundLibrary.h"

#include <cstdint>

// The music stream, 0 until set-up creates it.
extern SoundHandle musicStream;

// Initialises the sound library and creates the stream of "velmorin.mp3". A failure throws
// Error: "Couldn't open the sound device" or "Couldn't load the soundtrack", whose reason is
// the sound library's (the device or file, SDL's or libmpg123's words) and names the sound-off
// word noaudio. captureOnly (video mode): the library runs decode-only, without an output
// device, so the export's capture DSP receives the whole soundtrack as fast as it decodes and
// nothing is heard.
void setUpMusic(bool captureOnly = false);
// Starts output and plays the stream (throws Error "Couldn't play the soundtrack" with the
// sound library's reason). The name is not used.
void startMusic(const char* name);
// Moves the music to `ms` milliseconds from its start (before or after startMusic); harmless
// when set-up never ran. A point past the end leaves the music silent. Once started (and not
// paused), music that had played to its end plays again from the new point.
void seekMusic(int64_t ms);
// Milliseconds from the music's start to what is heard about now; -1 when there is no music.
int64_t musicPositionMs();
// Holds the started music where it is: nothing more is taken from the stream until
// resumeMusic, which goes on with the very next sample (or from where a seek in between put
// it). Both are harmless when there is no music, and when repeated.
void pauseMusic();
void resumeMusic();
// Silences the music (it goes on playing) or lets it be heard again.
void setMusicMuted(bool muted);
// Stops output and frees the stream and the library, then sets musicStream to 0; harmless
// when repeated or when nothing was started, and no call into the library at all when
// set-up never ran (sound off).
void stopMusic();
