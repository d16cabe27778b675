// The soundtrack in the page: the page decodes and plays the MP3 itself (Module.seekMusic,
// Module.startMusic, Module.stopMusic); the run only says when.
#pragma once

#include "app/Run.h"

MusicPlayer pageMusic();
