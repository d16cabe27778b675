// The export's sound on its way into a compressed stream: 16-bit stereo PCM in, resampled with
// libswresample where the codec wants another rate or sample format, cut into the encoder's
// frames and encoded (AAC, Opus, FLAC). PCM streams need none of this and bypass it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

struct AVCodecContext;
struct AVPacket;

class SoundEncoder {
  public:
    // Receives each encoded packet (timestamps in the encoder's time base, 1 / output rate);
    // returns 0 or an AVERROR code, which stops the encoding.
    using Deliver = std::function<int(AVPacket* packet)>;

    SoundEncoder();
    ~SoundEncoder();
    SoundEncoder(const SoundEncoder&) = delete;
    SoundEncoder& operator=(const SoundEncoder&) = delete;

    // encoder: libavcodec's name; inputRate: Hz of the PCM handed in; outputRate: Hz in the
    // file; bitRate: bits per second (0 for lossless codecs). Returns 0 or an AVERROR code.
    int open(const char* encoder, int inputRate, int outputRate, int bitRate, bool globalHeader,
             bool bitexact);
    AVCodecContext* context() const; // valid after a successful open()

    // pcm: interleaved signed 16-bit stereo, samples sample frames. Returns 0 or an AVERROR.
    int encode(const int16_t* pcm, int samples, const Deliver& deliver);
    // The resampler's and the encoder's last samples. Returns 0 or an AVERROR code.
    int finish(const Deliver& deliver);

  private:
    struct State;
    std::unique_ptr<State> state;
};
