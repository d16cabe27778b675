// The libav side of the export: the output file in its container, its streams, the video and
// sound encoders, and the worker thread that enlarges, converts, encodes and muxes whatever
// the writer submits, in order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ExportChapter;
struct ExportContainer;

struct AviMuxerError {
    std::string message; // one of the writer's failure texts
    int code = 0;        // a negative AVERROR code, 0 when there is no failure
};

// How the video is encoded.
struct VideoEncoding {
    std::string codec; // a name from exportCodecs()
    int scale = 1;     // each pixel becomes a scale x scale block, 1 to 4
    int crf = -1;      // constant quality for the lossy codecs; -1: the codec's default
};

class AviMuxer {
  public:
    AviMuxer();
    // Completes the file when finish() has not run yet (a failure is then only logged).
    ~AviMuxer();
    AviMuxer(const AviMuxer&) = delete;
    AviMuxer& operator=(const AviMuxer&) = delete;

    // Set-up, in this order, on one thread; each returns 0 or a negative AVERROR code.
    // Nothing is created on disk before start(), and a failed start() removes what it made.
    // name: the file ("-": standard output); its folder must exist. The container must stay
    // alive as long as the muxer. Without one, the file is an AVI.
    int openFile(const std::string& name, const ExportContainer* container = nullptr);
    int createVideoStream(int width, int height, int frameRate); // of the frames handed in
    // Opens the encoder (with its own threads).
    int setupCompression(const VideoEncoding& encoding);
    int setupCompression(const std::string& codec) {
        return setupCompression(VideoEncoding{codec});
    }
    // The sound handed in: interleaved 16-bit PCM at sampleRate; the file gets the container's
    // sound codec and rate.
    int createSoundStream(int sampleRate, int channels, int bitsPerSample);
    // The chapters, on the frames of the video stream, when the container holds chapters
    // (else nothing is added). Before start().
    int setChapters(const std::vector<ExportChapter>& chapters);
    // Creates the file and writes the header; starts the worker. While the output is a pipe
    // (standard output or a named one) SIGPIPE is ignored, so that a reader going away is a
    // write failure (EPIPE) like any other; finish() gives the signal back.
    int start();
    bool fileOpened() const; // start() got as far as creating the file

    // AVI's raw bitmaps keep their own row order: frames are handed in bottom row first.
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
    // Drains the queue, flushes the encoders, writes the index and closes the file. Returns 0
    // or the code of the first failure (error says which step failed). Runs once.
    // A file that cannot be read without its end (needsItsEnd) is removed after a failure;
    // without keepFile (nothing worth keeping was written) any file is removed. Standard output
    // is always completed.
    int finish(AviMuxerError& error, bool keepFile = true);
    // finish() removed the file it had created.
    bool removedFile() const;
    // Bytes written to the file so far (all of them after finish()).
    int64_t bytesWritten() const;

  private:
    struct State;
    std::unique_ptr<State> state;
};

// FFmpeg's text for a negative AVERROR code; "" for other codes and unknown ones.
std::string aviErrorText(int code);

// Enlarges a frame of 24-bit pixels: each pixel becomes a scale x scale block. target holds
// width * scale * height * scale * 3 bytes; rows have no padding on either side.
void enlargeFrame24(const uint8_t* source, int width, int height, int scale, uint8_t* target);
