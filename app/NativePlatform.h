// The native program's platform pieces for a run: the soundtrack through the sound library,
// the export's writer as video mode's frame sink, saved frames as PNG files, and the seek
// index beside playback. The display and the message boxes are chosen by the caller.
#pragma once

#include "app/Run.h"

RunPlatform nativeRunPlatform();
