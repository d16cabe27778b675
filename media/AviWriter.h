// The writer of video mode: takes each rendered 24-bit frame and the matching stretch of the
// captured soundtrack and writes them to a file (640 x 480 at 31 fps, 44,100 Hz 16-bit stereo
// sound), with a codec chooser, a progress display and Cancel. The container comes from the
// file name (_.avi: AVI with PCM sound, as always); the export's options choose the codec
// (codec=), the enlargement (scale=), the quality (crf=) and the clip (start=, end=).
//
// The application's video sink in one call (see makeAviWriter below), or step by step, all on
// the main thread:
//   setCaptureBufferSize(200000000);     // bytes of captured sound, before construction
//   auto* writer = new AviWriter(nullptr, "_.avi", 640, 480, soundOn, 31, 44100, 16, options);
//   writer->attachFrameBuffer(frameBuffer24, soundOn ? &musicStream : nullptr);
//   ... start the music; per frame: fill frameBuffer24, writer->nextFrame(progressPercent);
//   writer->finish();                    // completes the file: 0, or 1 after a failure
//   delete writer;                       // completes it too, when finish did not run
// Failures show an "Error!" box and throw Error::exit(1); a confirmed Cancel throws
// Error::exit(0) between two frames, and the exit routine's delete completes the file with
// every frame written so far.
#pragma once

#include "media/AviCapture.h"
#include "media/AviCodecChooser.h"
#include "media/ExportClip.h"
#include "media/ExportOptions.h"
#include "media/FrameSink.h"
#include "media/SoundLibrary.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class AviMuxer;
class ExportProgress;
struct AviMuxerError;
struct ExportContainer;

class AviWriter : public FrameSink {
  public:
    // Opens the file (an existing one is replaced), creates the video stream, asks for the
    // codec and, with soundOn, allocates the capture buffer and creates the sound stream.
    // instance: the caller's module handle; not needed here, may be null.
    // bits: bits per sound sample, 16.
    // options: codec, scale, crf and the clip; its out is not read (name is the file), and its
    // problem, when there is one, is refused with an "Error!" box before anything is made.
    AviWriter(void* instance, const char* name, int width, int height, bool soundOn, int frameRate,
              int sampleRate, int bits, const ExportOptions& options);
    // Completes the file when finish has not run; a failure then only shows its box.
    ~AviWriter() override;
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    enum Kind { VideoFrame = 1, Sound = 3 };
    // VideoFrame: data is a width x height 24-bit frame, rows top first. Sound: data points
    // into the capture buffer where this frame's sound begins; the frame's share of samples
    // is written (captured bytes only: what lies past the captured sound is silence).
    void write(const uint8_t* data, int kind);
    // The per-frame step: waits for this frame's sound, writes it, writes the frame from the
    // attached buffer and shows progress (percent of the show; negative leaves it as is).
    void nextFrame(int progress) override;
    // True for the frames before the clip of start=.
    bool skipsNextFrame() const override { return framesSkipped < clip.firstFrame; }
    int64_t framesLeftOut() const override { return clip.firstFrame; }
    // Writes what is queued, the encoder's last frames and the index, and closes the file:
    // 0, or 1 after a failure, shown in exactly one "Error!" box however the run ends (also
    // after a Cancel, and when the failure was shown before). Runs once; later calls return
    // the same status. With no frame written (a Cancel before the clip) the file is removed
    // and standard error says so.
    int finish() override;
    int getSamplesWritten() const { return samplesWritten; }
    // buffer: width x height x 3 bytes, owned by the caller, read at every nextFrame.
    // stream: the music stream whose blocks are captured; read only when sound is on.
    void attachFrameBuffer(const uint8_t* buffer, const SoundHandle* stream);
    // Until the sound of the next frame is captured, the stream stops, or it stalls for 10 s.
    void waitForSound();

  private:
    // The "Error!" box with the message (and FFmpeg's text for code), then Error::exit(1).
    [[noreturn]] void fail(const std::string& message, int code);
    [[noreturn]] void failWith(const std::string& text); // the box with text, code 1
    // fail naming the file: "message (file) - 'reason'", and whether a partial file went.
    [[noreturn]] void failAbout(const std::string& message, int code);
    void showFailure(const std::string& text); // the box, once per writer
    std::string failureText(const std::string& message, int code) const;
    // The worker's failure while frames go on: the file is finished as far as it can be (or
    // removed), then the box, then Error::exit(1).
    [[noreturn]] void failRunning(const AviMuxerError& error);
    std::string shownName() const;   // the file's name, or "standard output"
    std::string openFailure() const; // "Couldn't open mkv file!"
    void openFile(const char* name);
    void createStreams();
    void setupCompression();
    void allocateSoundBuffer();
    // Copies a top-down frame bottom-up into target (width x height x 3 bytes).
    void flipFrame(const uint8_t* data, uint8_t* target) const;
    void checkWorker();
    // Sound kind: this frame's share of samples from the capture, starting offset bytes in.
    void writeSoundAt(int64_t offset);
    // The soundtrack's sample frame where the clip's sound begins (frame k's sound begins at
    // k x sampleRate / frameRate), and where the sound of the frame being written ends.
    int64_t firstSample() const;
    int64_t soundEndOfFrame() const;

    std::unique_ptr<AviMuxer> file; // the file with its video, compressed and sound streams
    std::string fileName;           // "-": standard output
    const ExportContainer* container = nullptr; // from the file name's extension
    std::string codecWord;                      // codec= of the options; "" asks
    std::string codec;                          // the chosen video codec
    int scale = 1;                              // each pixel becomes scale x scale
    int crf = -1;                               // crf= of the options, -1 without
    ExportClip clip;                            // start= and end= on the show's frames
    int64_t framesSkipped = 0;                  // frames before the clip handed in so far
    int frameRate;                              // frames per second
    int width, height;                          // pixels
    int framesWritten = 0;
    int sampleRate; // sample frames per second
    int channels = 2;
    int bitsPerSample;
    int samplesWritten = 0; // sample frames
    int blockSize;          // bytes per sample frame
    bool soundOn;
    bool finished = false;                // finish() has run (or a failure finished the file)
    int status = 0;                       // what finish() returns: 0, or 1 after a failure
    bool failureShown = false;            // its box has been shown
    bool cancelled = false;               // a confirmed Cancel ends the run
    int64_t readPosition = 0;             // bytes into the capture buffer
    const uint8_t* frameSource = nullptr; // not owned
    SoundHandle soundChannel = 0;
    std::unique_ptr<ExportProgress> progress;      // from the first frame on
    std::chrono::steady_clock::time_point started; // the first frame
    bool completed = false;                        // the file was finished without a failure
    // One line on standard error: file, frames, duration, size, time taken, speed.
    void printSummary() const;
    // The scenes' starts in the file, "m:ss Scene N" a line, on standard error.
    void printChapters() const;
};

// Video mode's frame sink as the application makes it: the capture buffer of 200,000,000
// bytes, a writer for the options' out (else "_.avi"; 640 x 480, 31 fps, sound when
// soundStream is not null) with frameBuffer24 and soundStream attached. Call after the music
// stream is created and before it starts. The caller owns the result.
FrameSink* makeAviWriter(const ExportOptions& options, uint8_t* frameBuffer24,
                         SoundHandle* soundStream);
