// The sound capture of the AVI export: a process-wide buffer that the sound library's DSP hook
// fills from the library's thread while the main thread writes what has arrived.
#pragma once

#include "media/SoundLibrary.h"

#include <cstdint>

// The capture buffer's size in bytes for the next AviWriter (0 or less: 100,000,000).
// Process-wide; call before the writer is constructed.
void setCaptureBufferSize(int64_t bytes);
int64_t requestedCaptureBufferSize();

// Replaces the capture buffer by a zero-filled block of the given size and starts the capture
// at offset 0. False when the memory is not there (the old buffer is gone either way).
// Only while no capture runs: the sound library must not be delivering at the same time.
bool allocateCaptureBuffer(int64_t bytes);
uint8_t* captureBuffer();    // null before the first allocation; never released
int64_t captureBufferSize(); // bytes

// The DSP hook (the sound library's callback type): appends the block to the buffer and
// silences it. What does not fit is dropped, said once on standard error. One sound thread
// at a time calls it.
void captureSound(SoundHandle dsp, SoundHandle channel, void* block, uint32_t lengthBytes,
                  void* user);

// Bytes captured so far (the write position); what lies below it is complete.
int64_t capturePosition();
// Copies bytes [offset, offset + bytes) of the captured sound into out; what has not been
// captured (or lies past the buffer) reads as silence.
void readCapture(int64_t offset, uint8_t* out, int64_t bytes);
