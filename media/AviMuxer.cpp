// The export file over libavformat: container, streams, encoder set-up and the encoding worker.
#include "media/AviMuxer.h"

#include "engine/BoundedQueue.h"
#include "media/ExportChapters.h"
#include "media/ExportFormats.h"
#include "media/SoundEncoder.h"

#include "media/LibavPointers.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

struct Job {
    enum Kind { Frame, Sound } kind;
    std::vector<uint8_t> data;
    int64_t position; // frame index, or first sample frame
};

constexpr size_t queueCapacity = 8; // jobs; a frame with its sound takes two
constexpr int x264Threads = 8;

static_assert(AviMuxer::framePadding >= AV_INPUT_BUFFER_PADDING_SIZE,
              "frame blocks carry at least the padding FFmpeg asks of its inputs");

// How each codec is fed: the pixel format it gets and its private options. AVI keeps the
// settings it always had; the other containers get the sharing settings. h264 at crf=0 is
// libx264rgb, fed the frames' own bytes.
struct EncoderSetup {
    AVPixelFormat pixels;
    std::string options; // "key=value:key=value" for the encoder's private options
};

EncoderSetup encoderSetupFor(const std::string& codec, bool avi, int crf) {
    if (codec == "ffv1") return {AV_PIX_FMT_BGR0, "level=3:slicecrc=1"};
    if (codec == "utvideo") return {AV_PIX_FMT_GBRP, ""};
    if (codec == "huffyuv") return {AV_PIX_FMT_RGB24, ""};
    if (codec == "mjpeg") return {AV_PIX_FMT_YUVJ420P, ""};
    if (codec == "h264" && crf == 0)
        return {AV_PIX_FMT_BGR24, avi ? "preset=fast" : "preset=medium"};
    if (codec == "h264" && avi) return {AV_PIX_FMT_YUV420P, "preset=fast"};
    if (codec == "h264") return {AV_PIX_FMT_YUV420P, "preset=medium:profile=high"};
    if (codec == "h265")
        return {AV_PIX_FMT_YUV420P, "preset=medium:x265-params=log-level=error:open-gop=0"};
    if (codec == "av1") return {AV_PIX_FMT_YUV420P, "preset=8"};
    if (codec == "vp9") return {AV_PIX_FMT_YUV420P, "row-mt=1:deadline=good:cpu-used=4"};
    return {AV_PIX_FMT_NONE, ""};
}

const ExportContainer& aviContainer() {
    return exportContainers().front();
}

// The place of a file to be written: its folder exists and is a folder, the name is not a
// folder, and the file (or, for a new one, its folder) may be written. 0 or the system's
// reason as an AVERROR code.
int checkPlace(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : name.substr(0, slash);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) return AVERROR(errno);
    if (!S_ISDIR(info.st_mode)) return AVERROR(ENOTDIR);
    if (stat(name.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return AVERROR(EISDIR);
        return access(name.c_str(), W_OK) == 0 ? 0 : AVERROR(errno);
    }
    return access(folder.c_str(), W_OK) == 0 ? 0 : AVERROR(errno);
}

// Whether writes to the output go into a pipe or a socket, whose reader may go away.
bool writesIntoAPipe(const std::string& name) {
    struct stat info {};
    const int result = name == "-" ? fstat(STDOUT_FILENO, &info) : stat(name.c_str(), &info);
    return result == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

// Whether the output may be removed when it is not to be kept: a file the export makes or
// replaces. A pipe, a device or a link the user named is left where it is.
bool removableOutput(const std::string& name) {
    struct stat info {};
    if (name == "-") return false;
    if (lstat(name.c_str(), &info) != 0) return errno == ENOENT;
    return S_ISREG(info.st_mode);
}

} // namespace

void enlargeFrame24(const uint8_t* source, int width, int height, int scale, uint8_t* target) {
    const size_t targetRow = static_cast<size_t>(width) * scale * 3; // bytes
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = source + static_cast<size_t>(y) * width * 3;
        uint8_t* const first = target + static_cast<size_t>(y) * scale * targetRow;
        uint8_t* out = first;
        for (int x = 0; x < width; ++x, in += 3)
            for (int k = 0; k < scale; ++k, out += 3) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
        for (int k = 1; k < scale; ++k)
            std::memcpy(first + k * targetRow, first, targetRow);
    }
}

struct AviMuxer::State {
    LibavPointer<AVFormatContext> format;
    const ExportContainer* container = nullptr;
    std::string name;                     // the file, "-" for standard output
    AVStream* video = nullptr;            // owned by format
    AVStream* sound = nullptr;            // owned by format
    LibavPointer<AVCodecContext> encoder; // null for raw
    LibavPointer<SwsContext> scaler;
    LibavPointer<AVFrame> picture; // the encoder's input
    LibavPointer<AVPacket> packet;
    std::unique_ptr<SoundEncoder> soundEncoder; // null for PCM sound
    std::vector<ExportChapter> chapters;        // added with the trailer (chaptersWithTrailer)
    std::vector<uint8_t> enlarged;              // the frame after scaling; empty at scale 1
    int width = 0, height = 0;                  // pixels of the frames handed in
    int scale = 1;                              // the file's frames are scale times larger
    int frameRate = 0;                          // frames per second
    int sampleRate = 0;                         // sample frames per second handed in
    bool raw = false;
    int64_t bytes = 0; // the file's size once closed
    bool fileOpened = false;
    bool headerWritten = false;
    bool finished = false;
    bool removed = false;        // finish() removed the file
    bool removable = false;      // the output is a regular file the export makes or replaces
    int64_t framesSubmitted = 0; // main thread
    int64_t framesEncoded = 0;   // handed to the encoder (the worker, then finish)
    bool framesSettled = false;  // the encoder is flushed and nothing of it goes to the file
    bool pipeSignalIgnored = false;
    struct sigaction previousPipeAction {};

    void restorePipeSignal() {
        if (!pipeSignalIgnored) return;
        sigaction(SIGPIPE, &previousPipeAction, nullptr);
        pipeSignalIgnored = false;
    }

    std::thread worker;
    BoundedQueue<Job> jobs{queueCapacity};
    mutable std::mutex lock; // guards spareBlocks and error
    std::vector<std::vector<uint8_t>> spareBlocks;
    AviMuxerError error;

    bool isAvi() const { return container->muxer == "avi"; }
    bool bitexact() const { return !isAvi(); } // AVI files stay as they always were

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
            // libx265 gives its first packets the decoding time of their frame less the time
            // between its first and third frames: of an encode of one or two frames it has
            // none, and the time is whatever its memory held (which the MP4 and MOV muxers
            // refuse: "pts/dts pair unsupported"). One or two frames are never reordered, so
            // each is decoded at its own time.
            if (encoder->codec_id == AV_CODEC_ID_HEVC && framesEncoded < 3)
                packet->dts = packet->pts;
            result = mux(packet.get(), video, encoder->time_base);
            if (result < 0) return result;
        }
    }

    int writeFrame(const Job& job) {
        const uint8_t* pixels = job.data.data();
        if (scale > 1) {
            enlargeFrame24(pixels, width, height, scale, enlarged.data());
            pixels = enlarged.data();
        }
        const int outWidth = width * scale, outHeight = height * scale;
        const size_t bytes = static_cast<size_t>(outWidth) * outHeight * 3;
        if (raw) {
            int result = av_new_packet(packet.get(), static_cast<int>(bytes));
            if (result < 0) return result;
            std::memcpy(packet->data, pixels, bytes);
            packet->pts = packet->dts = job.position;
            packet->duration = 1;
            packet->flags |= AV_PKT_FLAG_KEY;
            return mux(packet.get(), video, AVRational{1, frameRate});
        }
        int result = av_frame_make_writable(picture.get());
        if (result < 0) return result;
        // The block's padding lets the converter read past the last pixel.
        const uint8_t* const rows[1] = {pixels};
        const int pitch[1] = {outWidth * 3}; // bytes per row
        sws_scale(scaler.get(), rows, pitch, 0, outHeight, picture->data, picture->linesize);
        picture->pts = job.position;
        picture->quality = encoder->global_quality;
        ++framesEncoded;
        result = avcodec_send_frame(encoder.get(), picture.get());
        return result < 0 ? result : drainEncoder();
    }

    int writeSound(const Job& job) {
        if (soundEncoder != nullptr)
            return soundEncoder->encode(reinterpret_cast<const int16_t*>(job.data.data()),
                                        static_cast<int>(job.data.size() / 4),
                                        [this](AVPacket* out) { return muxSound(out); });
        int result = av_new_packet(packet.get(), static_cast<int>(job.data.size()));
        if (result < 0) return result;
        std::memcpy(packet->data, job.data.data(), job.data.size());
        packet->pts = packet->dts = job.position;
        packet->duration = static_cast<int64_t>(job.data.size()) / sound->codecpar->block_align;
        packet->flags |= AV_PKT_FLAG_KEY;
        return mux(packet.get(), sound, AVRational{1, sampleRate});
    }

    int muxSound(AVPacket* out) { return mux(out, sound, soundEncoder->context()->time_base); }

    // Until finish closes the queue and everything queued is written.
    void runWorker() {
        Job job;
        while (jobs.pop(job)) {
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

    void submit(Job job) { jobs.push(std::move(job)); }

    // SVT-AV1 (1.4) never returns from flushing or closing an encoder that was given no frame:
    // such an encoder gets one frame, whose packets are dropped, before it is closed.
    void settleUnusedEncoder() {
        if (av_frame_make_writable(picture.get()) < 0) return;
        const ptrdiff_t linesizes[4] = {picture->linesize[0], picture->linesize[1],
                                        picture->linesize[2], picture->linesize[3]};
        av_image_fill_black(picture->data, linesizes, static_cast<AVPixelFormat>(picture->format),
                            AVCOL_RANGE_MPEG, picture->width, picture->height);
        picture->pts = 0;
        if (avcodec_send_frame(encoder.get(), picture.get()) < 0) return;
        if (avcodec_send_frame(encoder.get(), nullptr) < 0) return;
        while (avcodec_receive_packet(encoder.get(), packet.get()) >= 0)
            av_packet_unref(packet.get());
        framesSettled = true;
    }

    // Adds the chapters to the file's context, which owns them from then on.
    int addChapters(const std::vector<ExportChapter>& list) {
        AVFormatContext& context = *format;
        for (const ExportChapter& chapter : list) {
            auto* const added = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
            if (added == nullptr) return AVERROR(ENOMEM);
            void* const grown =
                av_realloc_array(context.chapters, context.nb_chapters + 1, sizeof(AVChapter*));
            if (grown == nullptr) {
                av_free(added);
                return AVERROR(ENOMEM);
            }
            // The context owns the chapter (and its title) from here on.
            context.chapters = static_cast<AVChapter**>(grown);
            context.chapters[context.nb_chapters++] = added;
            added->id = chapter.scene; // Matroska's chapter UIDs must not be 0
            added->time_base = AVRational{1, frameRate};
            added->start = chapter.start;
            added->end = chapter.end;
            const int result = av_dict_set(&added->metadata, "title", chapter.title().c_str(), 0);
            if (result < 0) return result;
        }
        return 0;
    }

    // MP4 and MOV write chapters given after the header with the trailer (Matroska writes them
    // with the header): theirs are added last, as far as the frames go.
    bool chaptersWithTrailer() const {
        return container->muxer == "mp4" || container->muxer == "mov";
    }

    int setupRaw(AVCodecParameters* params) {
        raw = true;
        params->codec_type = AVMEDIA_TYPE_VIDEO;
        params->codec_id = AV_CODEC_ID_RAWVIDEO;
        params->codec_tag = 0;
        params->format = AV_PIX_FMT_BGR24;
        params->width = width * scale;
        params->height = height * scale;
        params->bits_per_coded_sample = 24;
        if (!isAvi()) {
            params->codec_tag = avcodec_pix_fmt_to_codec_tag(AV_PIX_FMT_BGR24); // "BGR" 24
            return 0;
        }
        // The plain bitmap: 24 bits, compression 0, rows bottom to top (the muxer writes a
        // positive height), and 4 zero bytes after the header, which makes its size field 44.
        params->extradata = static_cast<uint8_t*>(av_mallocz(4 + AV_INPUT_BUFFER_PADDING_SIZE));
        if (params->extradata == nullptr) return AVERROR(ENOMEM);
        params->extradata_size = 4;
        return 0;
    }

    // The sharing settings: a closed GOP of half a second, BT.709 with limited range.
    void shareable(AVCodecContext& context) {
        context.gop_size = frameRate / 2; // 15 frames at 31 per second
        context.flags |= AV_CODEC_FLAG_CLOSED_GOP;
        context.color_primaries = AVCOL_PRI_BT709;
        context.color_trc = AVCOL_TRC_BT709;
        context.colorspace = AVCOL_SPC_BT709;
        context.color_range = AVCOL_RANGE_MPEG;
    }

    int openScaler(AVPixelFormat pixels, bool bt709) {
        const int w = width * scale, h = height * scale;
        scaler.reset(sws_getContext(w, h, AV_PIX_FMT_BGR24, w, h, pixels,
                                    SWS_BICUBIC | (bt709 ? SWS_ACCURATE_RND : 0), nullptr, nullptr,
                                    nullptr));
        if (scaler == nullptr) return AVERROR(EINVAL);
        if (!bt709) return 0;
        const int* const matrix = sws_getCoefficients(SWS_CS_ITU709);
        return sws_setColorspaceDetails(scaler.get(), matrix, 1, matrix, 0, 0, 1 << 16, 1 << 16) < 0
                   ? AVERROR(EINVAL)
                   : 0;
    }
};

AviMuxer::AviMuxer() : state(new State) {
    // The encoders' statistics would run through the progress line; warnings still show.
    av_log_set_level(AV_LOG_WARNING);
    state->packet.reset(av_packet_alloc());
}

AviMuxer::~AviMuxer() {
    AviMuxerError error;
    if (!state->finished && finish(error) != 0)
        std::fprintf(stderr, "{AviMuxer::~AviMuxer}: %s\n", error.message.c_str());
}

int AviMuxer::openFile(const std::string& name, const ExportContainer* container) {
    State& s = *state;
    s.container = container != nullptr ? container : &aviContainer();
    s.name = name;
    AVFormatContext* format = nullptr;
    int result = avformat_alloc_output_context2(&format, nullptr, s.container->muxer.c_str(),
                                                name == "-" ? nullptr : name.c_str());
    if (result < 0) return result;
    s.format.reset(format);
    if (s.packet == nullptr) return AVERROR(ENOMEM);
    if (s.bitexact()) format->flags |= AVFMT_FLAG_BITEXACT;
    return name == "-" ? 0 : checkPlace(name);
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

int AviMuxer::setupCompression(const VideoEncoding& encoding) {
    State& s = *state;
    if (encoding.scale < 1 || encoding.scale > 4) return AVERROR(EINVAL);
    s.scale = encoding.scale;
    // The colour converter may read a little past the last row, hence the padding.
    if (s.scale > 1)
        s.enlarged.resize(static_cast<size_t>(s.width) * s.height * 3 * s.scale * s.scale +
                          AV_INPUT_BUFFER_PADDING_SIZE);
    AVCodecParameters* const params = s.video->codecpar;
    if (encoding.codec == "raw") return s.setupRaw(params);
    const ExportCodec* const known = findExportCodec(encoding.codec);
    const EncoderSetup setup = encoderSetupFor(encoding.codec, s.isAvi(), encoding.crf);
    const char* const encoderName = known != nullptr ? encoderFor(*known, encoding.crf) : nullptr;
    if (encoderName == nullptr || setup.pixels == AV_PIX_FMT_NONE) return AVERROR_ENCODER_NOT_FOUND;
    const AVCodec* const encoder = avcodec_find_encoder_by_name(encoderName);
    if (encoder == nullptr) return AVERROR_ENCODER_NOT_FOUND;
    s.encoder.reset(avcodec_alloc_context3(encoder));
    s.picture.reset(av_frame_alloc());
    if (s.encoder == nullptr || s.picture == nullptr) return AVERROR(ENOMEM);
    AVCodecContext& context = *s.encoder;
    context.width = s.width * s.scale;
    context.height = s.height * s.scale;
    context.pix_fmt = setup.pixels;
    context.time_base = AVRational{1, s.frameRate};
    context.framerate = AVRational{s.frameRate, 1};
    // As many threads as the machine has, except for x264, whose stream depends on its thread
    // count: eight everywhere, so that an export gives the same bytes on any machine (on two
    // cores eight were as fast as any other count).
    context.thread_count = encoding.codec == "h264" ? x264Threads : 0;
    const bool withCrf = known->highestCrf >= 0;
    const bool lossy = withCrf || encoding.codec == "mjpeg";
    const bool rgb = setup.pixels == AV_PIX_FMT_BGR24; // lossless h264: no matrix at all
    if (s.isAvi()) {
        context.max_b_frames = 0; // the AVI index has no room for reordered frames
        context.gop_size = 10 * s.frameRate;
    } else if (lossy) {
        s.shareable(context);
    }
    if (rgb) {
        context.colorspace = AVCOL_SPC_RGB;
        context.color_range = AVCOL_RANGE_JPEG;
    }
    if (encoding.codec == "mjpeg") {
        context.color_range = AVCOL_RANGE_JPEG;
        context.flags |= AV_CODEC_FLAG_QSCALE;
        context.global_quality = FF_QP2LAMBDA * 3;
    }
    if (s.bitexact()) context.flags |= AV_CODEC_FLAG_BITEXACT;
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER) context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_parse_string(&options, setup.options.c_str(), "=", ":", 0);
    if (withCrf)
        av_dict_set_int(&options, "crf", encoding.crf >= 0 ? encoding.crf : known->defaultCrf, 0);
    if (encoding.codec == "vp9") context.bit_rate = 0; // constant quality alone
    int result = avcodec_open2(&context, encoder, &options);
    av_dict_free(&options); // what the encoder did not take
    if (result < 0) return result;
    result = avcodec_parameters_from_context(params, &context);
    if (result < 0) return result;
    // H.265 in MP4 and MOV under the tag that every player takes.
    if (encoding.codec == "h265" && s.container->forSharing)
        params->codec_tag = MKTAG('h', 'v', 'c', '1');
    s.picture->format = setup.pixels;
    s.picture->width = context.width;
    s.picture->height = context.height;
    result = av_frame_get_buffer(s.picture.get(), 0);
    if (result < 0) return result;
    return s.openScaler(setup.pixels, !s.isAvi() && lossy && encoding.codec != "mjpeg" && !rgb);
}

int AviMuxer::createSoundStream(int sampleRate, int channels, int bitsPerSample) {
    State& s = *state;
    if (sampleRate <= 0 || channels != 2 || bitsPerSample != 16) return AVERROR(EINVAL);
    AVStream* const stream = avformat_new_stream(s.format.get(), nullptr);
    if (stream == nullptr) return AVERROR(ENOMEM);
    s.sound = stream;
    s.sampleRate = sampleRate;
    AVCodecParameters* const params = stream->codecpar;
    if (s.container->soundEncoder != "pcm_s16le") {
        s.soundEncoder = std::make_unique<SoundEncoder>();
        const int result = s.soundEncoder->open(
            s.container->soundEncoder.c_str(), sampleRate, s.container->soundRate,
            s.container->soundBitRate, (s.format->oformat->flags & AVFMT_GLOBALHEADER) != 0,
            s.bitexact());
        if (result < 0) return result;
        stream->time_base = s.soundEncoder->context()->time_base;
        return avcodec_parameters_from_context(params, s.soundEncoder->context());
    }
    params->codec_type = AVMEDIA_TYPE_AUDIO;
    params->codec_id = AV_CODEC_ID_PCM_S16LE;
    params->sample_rate = sampleRate;
    av_channel_layout_default(&params->ch_layout, channels);
    params->bits_per_coded_sample = bitsPerSample;
    params->block_align = channels * bitsPerSample / 8;
    params->bit_rate = static_cast<int64_t>(sampleRate) * params->block_align * 8;
    stream->time_base = AVRational{1, sampleRate};
    return 0;
}

int AviMuxer::setChapters(const std::vector<ExportChapter>& chapters) {
    State& s = *state;
    if (!s.container->holdsChapters || s.frameRate <= 0) return 0;
    if (s.chaptersWithTrailer()) {
        s.chapters = chapters;
        return 0;
    }
    return s.addChapters(chapters);
}

int AviMuxer::start() {
    State& s = *state;
    const bool toStandardOutput = s.name == "-";
    s.removable = removableOutput(s.name);
    if (writesIntoAPipe(s.name)) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        s.pipeSignalIgnored = sigaction(SIGPIPE, &ignore, &s.previousPipeAction) == 0;
    }
    int result =
        avio_open(&s.format->pb, toStandardOutput ? "pipe:1" : s.name.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) {
        s.restorePipeSignal();
        return result;
    }
    s.fileOpened = true;
    AVDictionary* options = nullptr;
    if (s.isAvi()) av_dict_set(&options, "flipped_raw_rgb", "1", 0); // bottom-up, height > 0
    if (s.container->forSharing && s.container->muxer != "webm")
        av_dict_set(&options, "movflags", "+faststart", 0); // the index before the media data
    result = avformat_write_header(s.format.get(), &options);
    av_dict_free(&options);
    if (result < 0) {
        avio_closep(&s.format->pb);
        if (s.removable) unlink(s.name.c_str());
        s.restorePipeSignal();
        return result;
    }
    s.headerWritten = true;
    s.worker = std::thread([this] { state->runWorker(); });
    return 0;
}

bool AviMuxer::fileOpened() const {
    return state->fileOpened;
}

bool AviMuxer::removedFile() const {
    return state->removed;
}

bool AviMuxer::storesBottomUp() const {
    return state->raw && state->isAvi();
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
    ++state->framesSubmitted;
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

int AviMuxer::finish(AviMuxerError& error, bool keepFile) {
    State& s = *state;
    if (s.finished) return failed(error) ? error.code : 0;
    s.finished = true;
    if (s.worker.joinable()) {
        s.jobs.close();
        s.worker.join();
    }
    if (s.encoder != nullptr && s.framesSubmitted == 0 && s.encoder->codec_id == AV_CODEC_ID_AV1)
        s.settleUnusedEncoder();
    const bool toFile = s.name != "-";
    // A file that is to go is not completed: nothing more is written to it.
    const bool discarded = toFile && !keepFile;
    if (s.headerWritten && !discarded && !(toFile && s.hasFailed() && s.container->needsItsEnd)) {
        // Even after a failed write the index is written, so that the frames before it play.
        int result = 0;
        if (s.encoder != nullptr && !s.hasFailed() && !s.framesSettled) {
            result = avcodec_send_frame(s.encoder.get(), nullptr);
            if (result >= 0) result = s.drainEncoder();
        }
        if (result < 0) s.recordFailure("Couldn't write to avi stream", result);
        if (s.soundEncoder != nullptr && !s.hasFailed()) {
            result = s.soundEncoder->finish([&s](AVPacket* out) { return s.muxSound(out); });
            if (result < 0) s.recordFailure("Couldn't write audio to avi stream", result);
        }
        // The chapters end with the frames in the file: of an export ended early (a Cancel)
        // the scenes not reached are left out and the last one ends with the last frame, so
        // that players take the file's length from its frames, not from the range asked for.
        if (!s.hasFailed() && !s.chapters.empty()) {
            std::vector<ExportChapter> reached;
            for (ExportChapter chapter : s.chapters) {
                if (!reached.empty() && chapter.start >= s.framesSubmitted) break;
                chapter.end = std::min(chapter.end, s.framesSubmitted);
                reached.push_back(chapter);
            }
            result = s.addChapters(reached);
            if (result < 0) s.recordFailure("Couldn't write to avi stream", result);
        }
        result = av_write_trailer(s.format.get());
        if (result < 0) s.recordFailure("Couldn't write to avi stream", result);
    }
    if (s.format != nullptr && s.format->pb != nullptr) {
        s.bytes = avio_tell(s.format->pb);
        const int result = avio_closep(&s.format->pb);
        if (result < 0 && !discarded) s.recordFailure("Couldn't close video-stream", result);
    }
    if (s.headerWritten && toFile && (discarded || (s.hasFailed() && s.container->needsItsEnd)))
        s.removed = s.removable && unlink(s.name.c_str()) == 0;
    s.restorePipeSignal();
    return failed(error) ? error.code : 0;
}

int64_t AviMuxer::bytesWritten() const {
    const State& s = *state;
    if (s.format != nullptr && s.format->pb != nullptr) return avio_tell(s.format->pb);
    return s.bytes;
}

std::string aviErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (code >= 0 || av_strerror(code, text, sizeof text) < 0) return "";
    return text;
}
