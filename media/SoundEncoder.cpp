// Resampling and encoding the export's sound through libswresample and libavcodec.
#include "media/SoundEncoder.h"

#include "media/LibavPointers.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace {

constexpr int channelCount = 2;
constexpr int variableFrameSamples = 4096; // per frame for codecs that take any frame size

} // namespace

struct SoundEncoder::State {
    LibavPointer<AVCodecContext> encoder;
    LibavPointer<SwrContext> resampler; // null when the PCM fits as it is
    LibavPointer<AVAudioFifo> fifo;     // samples waiting for a whole frame
    LibavPointer<AVFrame> frame;
    LibavPointer<AVPacket> packet;
    int frameSamples = 0;   // sample frames per encoded frame
    bool smallLast = false; // the encoder takes a shorter last frame
    int64_t nextPts = 0;    // in output sample frames

    int drain(const Deliver& deliver) {
        for (;;) {
            int result = avcodec_receive_packet(encoder.get(), packet.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return 0;
            if (result < 0) return result;
            result = deliver(packet.get());
            av_packet_unref(packet.get());
            if (result < 0) return result;
        }
    }

    // Sends `samples` sample frames from the FIFO (padded with silence up to a whole frame
    // when the encoder needs one).
    int send(int samples, const Deliver& deliver) {
        AVFrame* const f = frame.get();
        av_frame_unref(f);
        f->format = encoder->sample_fmt;
        f->sample_rate = encoder->sample_rate;
        f->nb_samples = samples < frameSamples && !smallLast ? frameSamples : samples;
        int result = av_channel_layout_copy(&f->ch_layout, &encoder->ch_layout);
        if (result < 0) return result;
        result = av_frame_get_buffer(f, 0);
        if (result < 0) return result;
        av_samples_set_silence(f->data, 0, f->nb_samples, channelCount, encoder->sample_fmt);
        if (av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(f->data), samples) < samples)
            return AVERROR_BUG;
        f->pts = nextPts;
        nextPts += f->nb_samples;
        result = avcodec_send_frame(encoder.get(), f);
        return result < 0 ? result : drain(deliver);
    }

    // Moves converted samples into the FIFO and encodes every whole frame.
    int store(uint8_t** planes, int samples, const Deliver& deliver) {
        if (samples > 0 &&
            av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(planes), samples) < samples)
            return AVERROR(ENOMEM);
        while (av_audio_fifo_size(fifo.get()) >= frameSamples) {
            const int result = send(frameSamples, deliver);
            if (result < 0) return result;
        }
        return 0;
    }

    // Converts count input sample frames (null input drains the resampler) and stores them.
    int convert(const int16_t* pcm, int count, const Deliver& deliver) {
        const int room = swr_get_out_samples(resampler.get(), count);
        if (room < 0) return room;
        if (room == 0) return 0;
        uint8_t** planes = nullptr;
        int result = av_samples_alloc_array_and_samples(&planes, nullptr, channelCount, room,
                                                        encoder->sample_fmt, 0);
        if (result < 0) return result;
        const uint8_t* input = reinterpret_cast<const uint8_t*>(pcm);
        result =
            swr_convert(resampler.get(), planes, room, pcm != nullptr ? &input : nullptr, count);
        if (result >= 0) result = store(planes, result, deliver);
        av_freep(&planes[0]);
        av_freep(&planes);
        return result;
    }
};

SoundEncoder::SoundEncoder() : state(new State) {}
SoundEncoder::~SoundEncoder() = default;

int SoundEncoder::open(const char* encoderName, int inputRate, int outputRate, int bitRate,
                       bool globalHeader, bool bitexact) {
    State& s = *state;
    const AVCodec* const codec = avcodec_find_encoder_by_name(encoderName);
    if (codec == nullptr) return AVERROR_ENCODER_NOT_FOUND;
    s.encoder.reset(avcodec_alloc_context3(codec));
    s.frame.reset(av_frame_alloc());
    s.packet.reset(av_packet_alloc());
    if (s.encoder == nullptr || s.frame == nullptr || s.packet == nullptr) return AVERROR(ENOMEM);
    AVCodecContext& context = *s.encoder;
    context.sample_rate = outputRate;
    av_channel_layout_default(&context.ch_layout, channelCount);
    // The encoder's first sample format; 16 bits where it takes them.
    context.sample_fmt = codec->sample_fmts != nullptr ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    for (const AVSampleFormat* format = codec->sample_fmts; format != nullptr && *format >= 0;
         ++format)
        if (*format == AV_SAMPLE_FMT_S16) context.sample_fmt = AV_SAMPLE_FMT_S16;
    context.bit_rate = bitRate;
    context.time_base = AVRational{1, outputRate};
    if (globalHeader) context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (bitexact) context.flags |= AV_CODEC_FLAG_BITEXACT;
    int result = avcodec_open2(&context, codec, nullptr);
    if (result < 0) return result;

    s.smallLast = (codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) != 0;
    s.frameSamples = context.frame_size;
    if ((codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) != 0 || s.frameSamples <= 0)
        s.frameSamples = variableFrameSamples;
    s.fifo.reset(av_audio_fifo_alloc(context.sample_fmt, channelCount, s.frameSamples));
    if (s.fifo == nullptr) return AVERROR(ENOMEM);

    AVChannelLayout input{};
    av_channel_layout_default(&input, channelCount);
    SwrContext* resampler = nullptr;
    result = swr_alloc_set_opts2(&resampler, &context.ch_layout, context.sample_fmt, outputRate,
                                 &input, AV_SAMPLE_FMT_S16, inputRate, 0, nullptr);
    av_channel_layout_uninit(&input);
    s.resampler.reset(resampler);
    if (result < 0) return result;
    return swr_init(resampler);
}

AVCodecContext* SoundEncoder::context() const {
    return state->encoder.get();
}

int SoundEncoder::encode(const int16_t* pcm, int samples, const Deliver& deliver) {
    if (samples <= 0) return 0;
    return state->convert(pcm, samples, deliver);
}

int SoundEncoder::finish(const Deliver& deliver) {
    State& s = *state;
    if (s.encoder == nullptr || s.resampler == nullptr) return 0;
    int result = s.convert(nullptr, 0, deliver);
    if (result < 0) return result;
    const int rest = av_audio_fifo_size(s.fifo.get());
    if (rest > 0) result = s.send(rest, deliver);
    if (result < 0) return result;
    result = avcodec_send_frame(s.encoder.get(), nullptr);
    return result < 0 ? result : s.drain(deliver);
}
