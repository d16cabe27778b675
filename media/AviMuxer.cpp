// The AVI file over libavformat's AVI muxer: streams, encoder set-up and the encoding worker.
#include "media/AviMuxer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace {

struct FormatCloser {
    void operator()(AVFormatContext* format) const {
        if (format->pb != nullptr) avio_closep(&format->pb);
        avformat_free_context(format);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct FrameCloser {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketCloser {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerCloser {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

struct Job {
    enum Kind { Frame, Sound, End } kind;
    std::vector<uint8_t> data;
    int64_t position; // frame index, or first sample frame
};

constexpr size_t queueCapacity = 8; // jobs; a frame with its sound takes two

static_assert(AviMuxer::framePadding >= AV_INPUT_BUFFER_PADDING_SIZE,
              "frame blocks carry at least the padding FFmpeg asks of its inputs");

// How each codec is fed: the encoder, the pixel format it gets, its private options.
struct EncoderSetup {
    const char* encoder;
    AVPixelFormat pixels;
    const char* options; // "key=value:key=value" for the encoder's private options
};

bool encoderSetupFor(const std::string& codec, EncoderSetup& setup) {
    if (codec == "ffv1")
        setup = {"ffv1", AV_PIX_FMT_BGR0, "level=3:slicecrc=1"};
    else if (codec == "utvideo")
        setup = {"utvideo", AV_PIX_FMT_GBRP, ""};
    else if (codec == "huffyuv")
        setup = {"huffyuv", AV_PIX_FMT_RGB24, ""};
    else if (codec == "mjpeg")
        setup = {"mjpeg", AV_PIX_FMT_YUVJ420P, ""};
    else if (codec == "h264")
        setup = {"libx264", AV_PIX_FMT_YUV420P, "preset=fast:crf=18"};
    else
        return false;
    return true;
}

} // namespace

struct AviMuxer::State {
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    AVStream* video = nullptr;                            // owned by format
    AVStream* sound = nullptr;                            // owned by format
    std::unique_ptr<AVCodecContext, CodecCloser> encoder; // null for raw
    std::unique_ptr<SwsContext, ScalerCloser> scaler;
    std::unique_ptr<AVFrame, FrameCloser> picture; // the encoder's input
    std::unique_ptr<AVPacket, PacketCloser> packet;
    int width = 0, height = 0; // pixels
    int frameRate = 0;         // frames per second
    int sampleRate = 0;        // sample frames per second
    bool raw = false;
    bool headerWritten = false;
    bool finished = false;

    std::thread worker;
    mutable std::mutex lock; // guards jobs, spareBlocks and error
    std::condition_variable jobReady, slotFree;
    std::deque<Job> jobs;
    std::vector<std::vector<uint8_t>> spareBlocks;
    AviMuxerError error;

    void recordFailure(const char* message, int code) {
        std::lock_guard<std::mutex> hold(lock);
        if (error.code == 0) error = {message, code < 0 ? code : AVERROR_UNKNOWN};
    }
    bool hasFailed() const {
        std::lock_guard<std::mutex> hold(lock);
        return error.code != 0;
    }

    // Writes the packet (its timestamps in `from`) to the stream; 0 or an AVERROR code.
    int mux(AVPacket* out, AVStream* stream, AVRational from) {
        out->stream_index = stream->index;
        av_packet_rescale_ts(out, from, stream->time_base);
        return av_interleaved_write_frame(format.get(), out);
    }

    int drainEncoder() {
        for (;;) {
            int result = avcodec_receive_packet(encoder.get(), packet.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return 0;
            if (result < 0) return result;
            result = mux(packet.get(), video, encoder->time_base);
            if (result < 0) return result;
        }
    }

    int writeFrame(const Job& job) {
        if (raw) {
            const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
            int result = av_new_packet(packet.get(), static_cast<int>(bytes));
            if (result < 0) return result;
            std::memcpy(packet->data, job.data.data(), bytes);
            packet->pts = packet->dts = job.position;
            packet->duration = 1;
            packet->flags |= AV_PKT_FLAG_KEY;
            return mux(packet.get(), video, AVRational{1, frameRate});
        }
        int result = av_frame_make_writable(picture.get());
        if (result < 0) return result;
        // The block's padding lets the converter read past the last pixel.
        const uint8_t* const rows[1] = {job.data.data()};
        const int pitch[1] = {width * 3}; // bytes per row
        sws_scale(scaler.get(), rows, pitch, 0, height, picture->data, picture->linesize);
        picture->pts = job.position;
        picture->quality = encoder->global_quality;
        result = avcodec_send_frame(encoder.get(), picture.get());
        return result < 0 ? result : drainEncoder();
    }

    int writeSound(const Job& job) {
        int result = av_new_packet(packet.get(), static_cast<int>(job.data.size()));
        if (result < 0) return result;
        std::memcpy(packet->data, job.data.data(), job.data.size());
        packet->pts = packet->dts = job.position;
        packet->duration = static_cast<int64_t>(job.data.size()) / sound->codecpar->block_align;
        packet->flags |= AV_PKT_FLAG_KEY;
        return mux(packet.get(), sound, AVRational{1, sampleRate});
    }

    void runWorker() {
        for (;;) {
            Job job;
            {
                std::unique_lock<std::mutex> hold(lock);
                jobReady.wait(hold, [this] { return !jobs.empty(); });
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            slotFree.notify_one();
            if (job.kind == Job::End) return;
            if (!hasFailed()) {
                if (job.kind == Job::Frame) {
                    const int result = writeFrame(job);
                    if (result < 0) recordFailure("Couldn't write to avi stream", result);
                } else {
                    const int result = writeSound(job);
                    if (result < 0) recordFailure("Couldn't write audio to avi stream", result);
                }
            }
            if (job.kind == Job::Frame) {
                std::lock_guard<std::mutex> hold(lock);
                spareBlocks.push_back(std::move(job.data));
            }
        }
    }

    void submit(Job job) {
        {
            std::unique_lock<std::mutex> hold(lock);
            slotFree.wait(hold, [this] { return jobs.size() < queueCapacity; });
            jobs.push_back(std::move(job));
        }
        jobReady.notify_one();
    }
};

AviMuxer::AviMuxer() : state(new State) {
    state->packet.reset(av_packet_alloc());
}

AviMuxer::~AviMuxer() {
    AviMuxerError error;
    if (finish(error) != 0)
        std::fprintf(stderr, "{AviMuxer::~AviMuxer}: %s\n", error.message.c_str());
}

int AviMuxer::openFile(const std::string& name) {
    AVFormatContext* format = nullptr;
    int result = avformat_alloc_output_context2(&format, nullptr, "avi", name.c_str());
    if (result < 0) return result;
    state->format.reset(format);
    if (state->packet == nullptr) return AVERROR(ENOMEM);
    return avio_open(&format->pb, name.c_str(), AVIO_FLAG_WRITE);
}

int AviMuxer::createVideoStream(int width, int height, int frameRate) {
    if (width <= 0 || height <= 0 || frameRate <= 0) return AVERROR(EINVAL);
    state->video = avformat_new_stream(state->format.get(), nullptr);
    if (state->video == nullptr) return AVERROR(ENOMEM);
    state->width = width;
    state->height = height;
    state->frameRate = frameRate;
    state->video->time_base = AVRational{1, frameRate};
    state->video->avg_frame_rate = AVRational{frameRate, 1};
    return 0;
}

int AviMuxer::setupCompression(const std::string& codec) {
    State& s = *state;
    AVCodecParameters* const params = s.video->codecpar;
    if (codec == "raw") {
        // The plain bitmap: 24 bits, compression 0, rows bottom to top (the muxer writes a
        // positive height), and 4 zero bytes after the header, which makes its size field 44.
        s.raw = true;
        params->codec_type = AVMEDIA_TYPE_VIDEO;
        params->codec_id = AV_CODEC_ID_RAWVIDEO;
        params->codec_tag = 0;
        params->format = AV_PIX_FMT_BGR24;
        params->width = s.width;
        params->height = s.height;
        params->bits_per_coded_sample = 24;
        params->extradata = static_cast<uint8_t*>(av_mallocz(4 + AV_INPUT_BUFFER_PADDING_SIZE));
        if (params->extradata == nullptr) return AVERROR(ENOMEM);
        params->extradata_size = 4;
        return 0;
    }
    EncoderSetup setup{};
    if (!encoderSetupFor(codec, setup)) return AVERROR_ENCODER_NOT_FOUND;
    const AVCodec* const encoder = avcodec_find_encoder_by_name(setup.encoder);
    if (encoder == nullptr) return AVERROR_ENCODER_NOT_FOUND;
    s.encoder.reset(avcodec_alloc_context3(encoder));
    s.picture.reset(av_frame_alloc());
    if (s.encoder == nullptr || s.picture == nullptr) return AVERROR(ENOMEM);
    AVCodecContext& context = *s.encoder;
    context.width = s.width;
    context.height = s.height;
    context.pix_fmt = setup.pixels;
    context.time_base = AVRational{1, s.frameRate};
    context.framerate = AVRational{s.frameRate, 1};
    context.thread_count = 0; // as many as the machine has
    context.max_b_frames = 0; // the AVI index has no room for reordered frames
    context.gop_size = 10 * s.frameRate;
    if (codec == "mjpeg") {
        context.color_range = AVCOL_RANGE_JPEG;
        context.flags |= AV_CODEC_FLAG_QSCALE;
        context.global_quality = FF_QP2LAMBDA * 3;
    }
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_parse_string(&options, setup.options, "=", ":", 0);
    int result = avcodec_open2(&context, encoder, &options);
    av_dict_free(&options); // what the encoder did not take
    if (result < 0) return result;
    result = avcodec_parameters_from_context(params, &context);
    if (result < 0) return result;
    s.picture->format = setup.pixels;
    s.picture->width = s.width;
    s.picture->height = s.height;
    result = av_frame_get_buffer(s.picture.get(), 0);
    if (result < 0) return result;
    s.scaler.reset(sws_getContext(s.width, s.height, AV_PIX_FMT_BGR24, s.width, s.height,
                                  setup.pixels, SWS_BICUBIC, nullptr, nullptr, nullptr));
    return s.scaler == nullptr ? AVERROR(EINVAL) : 0;
}

int AviMuxer::createSoundStream(int sampleRate, int channels, int bitsPerSample) {
    if (sampleRate <= 0 || channels <= 0 || bitsPerSample != 16) return AVERROR(EINVAL);
    AVStream* const stream = avformat_new_stream(state->format.get(), nullptr);
    if (stream == nullptr) return AVERROR(ENOMEM);
    AVCodecParameters* const params = stream->codecpar;
    params->codec_type = AVMEDIA_TYPE_AUDIO;
    params->codec_id = AV_CODEC_ID_PCM_S16LE;
    params->sample_rate = sampleRate;
    av_channel_layout_default(&params->ch_layout, channels);
    params->bits_per_coded_sample = bitsPerSample;
    params->block_align = channels * bitsPerSample / 8;
    params->bit_rate = static_cast<int64_t>(sampleRate) * params->block_align * 8;
    stream->time_base = AVRational{1, sampleRate};
    state->sound = stream;
    state->sampleRate = sampleRate;
    return 0;
}

int AviMuxer::start() {
    State& s = *state;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "flipped_raw_rgb", "1", 0); // raw bitmaps: bottom-up, height > 0
    const int result = avformat_write_header(s.format.get(), &options);
    av_dict_free(&options);
    if (result < 0) return result;
    s.headerWritten = true;
    s.worker = std::thread([this] { state->runWorker(); });
    return 0;
}

bool AviMuxer::storesBottomUp() const {
    return state->raw;
}

size_t AviMuxer::frameBytes() const {
    return static_cast<size_t>(state->width) * static_cast<size_t>(state->height) * 3;
}

std::vector<uint8_t> AviMuxer::takeFrameBlock() {
    const size_t bytes = frameBytes() + framePadding;
    std::lock_guard<std::mutex> hold(state->lock);
    if (state->spareBlocks.empty()) return std::vector<uint8_t>(bytes);
    std::vector<uint8_t> block = std::move(state->spareBlocks.back());
    state->spareBlocks.pop_back();
    block.resize(bytes); // the padding stays zero: frames only write their pixels
    return block;
}

void AviMuxer::submitFrame(std::vector<uint8_t> frame, int64_t index) {
    if (frame.size() < frameBytes() + framePadding) frame.resize(frameBytes() + framePadding);
    state->submit(Job{Job::Frame, std::move(frame), index});
}

void AviMuxer::submitSound(std::vector<uint8_t> pcm, int64_t firstSample) {
    if (state->sound != nullptr && !pcm.empty())
        state->submit(Job{Job::Sound, std::move(pcm), firstSample});
}

bool AviMuxer::failed(AviMuxerError& error) const {
    std::lock_guard<std::mutex> hold(state->lock);
    error = state->error;
    return error.code != 0;
}

int AviMuxer::finish(AviMuxerError& error) {
    State& s = *state;
    if (s.finished) return failed(error) ? error.code : 0;
    s.finished = true;
    if (s.worker.joinable()) {
        s.submit(Job{Job::End, {}, 0});
        s.worker.join();
    }
    if (s.headerWritten) {
        // Even after a failed write the index is written, so that the frames before it play.
        int result = 0;
        if (s.encoder != nullptr && !s.hasFailed()) {
            result = avcodec_send_frame(s.encoder.get(), nullptr);
            if (result >= 0) result = s.drainEncoder();
        }
        if (result < 0) s.recordFailure("Couldn't write to avi stream", result);
        result = av_write_trailer(s.format.get());
        if (result < 0) s.recordFailure("Couldn't write to avi stream", result);
    }
    if (s.format != nullptr && s.format->pb != nullptr) {
        const int result = avio_closep(&s.format->pb);
        if (result < 0) s.recordFailure("Couldn't close video-stream", result);
    }
    return failed(error) ? error.code : 0;
}

std::string aviErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (code >= 0 || av_strerror(code, text, sizeof text) < 0) return "";
    return text;
}
