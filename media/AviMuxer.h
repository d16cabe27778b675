// The libav side of the AVI export: the output file, its streams, the video encoder, and the
// worker thread that converts, encodes and muxes whatever the writer submits, in order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AviMuxerError {
    std::string message; // one of the writer's failure texts
    int code = 0;        // a negative AVERROR code, 0 when there is no failure
};

class AviMuxer {
  public:
    AviMuxer();
    // Completes the file when finish() has not run yet (a failure is then only logged).
    ~AviMuxer();
    AviMuxer(const AviMuxer&) = delete;
    AviMuxer& operator=(const AviMuxer&) = delete;

    // Set-up, in this order, on one thread; each returns 0 or a negative AVERROR code.
    int openFile(const std::string& name); // creates or replaces the file
    int createVideoStream(int width, int height, int frameRate);
    // codec: a name from availableAviCodecs(). Opens the encoder (with its own threads).
    int setupCompression(const std::string& codec);
    int createSoundStream(int sampleRate, int channels, int bitsPerSample);
    int start(); // writes the header and starts the worker; the streams are fixed from here

    // raw keeps the bitmap's own row order: frames are handed in bottom row first.
    bool storesBottomUp() const;
    // Bytes of one frame's pixels: width * height * 3.
    size_t frameBytes() const;
    // A frame block of frameBytes() bytes of pixels followed by framePadding zero bytes,
    // recycled from frames already written.
    std::vector<uint8_t> takeFrameBlock();
    // Queue a frame of 24-bit pixels (bytes blue, green, red, no row padding) in the block's
    // first frameBytes() bytes, with its index 0, 1, 2, ...; blocks while the queue is full.
    // After start() only. A block without the padding gets it here (a copy).
    void submitFrame(std::vector<uint8_t> frame, int64_t index);

    // Bytes after a frame's pixels that FFmpeg's pixel converters may read (they load whole
    // vectors past the last pixel); at least libavcodec's input padding.
    static constexpr size_t framePadding = 64;
    // Queue interleaved 16-bit PCM starting at sample frame firstSample.
    void submitSound(std::vector<uint8_t> pcm, int64_t firstSample);
    // The worker's first failure; false while everything went well.
    bool failed(AviMuxerError& error) const;
    // Drains the queue, flushes the encoder, writes the index and closes the file. Returns 0
    // or the code of the first failure (error says which step failed). Runs once.
    int finish(AviMuxerError& error);

  private:
    struct State;
    std::unique_ptr<State> state;
};

// FFmpeg's text for a negative AVERROR code; "" for other codes and unknown ones.
std::string aviErrorText(int code);
