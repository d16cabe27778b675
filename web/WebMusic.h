// The soundtrack in the page: the page streams, decodes and plays the MP3 itself (the
// module's hooks Module.startMusic, seekMusic, stopMusic, pauseMusic, resumeMusic,
// setMusicMuted, musicPositionMs, musicError); the run only says when.
#pragma once

#include "app/Run.h"

MusicPlayer pageMusic();
