// The export's containers and codecs, checked against what libavformat and libavcodec offer.
#include "media/ExportFormats.h"

#include "engine/Text.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

// Which video codecs each container offers, the default first; codecs the installed
// libraries lack are left out when asked.
const std::vector<std::string>& candidateCodecs(const std::string& muxer) {
    static const std::vector<std::string> avi = {"utvideo", "ffv1",  "raw",
                                                 "huffyuv", "mjpeg", "h264"};
    static const std::vector<std::string> mkv = {"utvideo", "ffv1", "huffyuv",
                                                 "h264",    "h265", "av1"};
    static const std::vector<std::string> mp4 = {"h264", "h265", "av1"};
    static const std::vector<std::string> mov = {"h264", "h265"};
    static const std::vector<std::string> webm = {"vp9", "av1"};
    static const std::vector<std::string> nut = {"raw"};
    if (muxer == "avi") return avi;
    if (muxer == "matroska") return mkv;
    if (muxer == "mp4") return mp4;
    if (muxer == "mov") return mov;
    if (muxer == "webm") return webm;
    return nut;
}

std::string containerList() {
    std::string text;
    for (const ExportContainer& container : exportContainers())
        if (container.extension != "-") text += " " + container.extension;
    return text;
}

} // namespace

const std::vector<ExportContainer>& exportContainers() {
    static const std::vector<ExportContainer> containers = {
        {".avi", "avi", "utvideo", "pcm_s16le", 44100, 0, 1, false},
        {".mkv", "matroska", "utvideo", "flac", 44100, 0, 1, false},
        {".mp4", "mp4", "h264", "aac", 48000, 320000, 2, true},
        {".mov", "mov", "h264", "aac", 48000, 320000, 2, true},
        {".webm", "webm", "vp9", "libopus", 48000, 256000, 2, true},
        {".nut", "nut", "raw", "pcm_s16le", 44100, 0, 1, false},
        {"-", "nut", "raw", "pcm_s16le", 44100, 0, 1, false},
    };
    return containers;
}

const ExportContainer* containerForName(const std::string& name, std::string& error) {
    if (name == "-") return &exportContainers().back();
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    const std::string extension =
        dot == std::string::npos || (slash != std::string::npos && dot < slash)
            ? ""
            : lowered(name.substr(dot));
    const AVOutputFormat* const format = av_guess_format(nullptr, name.c_str(), nullptr);
    if (format != nullptr)
        for (const ExportContainer& container : exportContainers())
            if (container.extension == extension && container.muxer == format->name)
                return &container;
    error = "Unknown kind of video file '" + (extension.empty() ? name : extension) +
            "' - out= takes a name ending in" + containerList() +
            ", or - for NUT on standard output";
    return nullptr;
}

std::vector<std::string> codecsForContainer(const ExportContainer& container) {
    const AVOutputFormat* const format = av_guess_format(container.muxer.c_str(), nullptr, nullptr);
    std::vector<std::string> codecs;
    if (format == nullptr) return codecs;
    // Matroska holds the codecs of AVI files (utvideo, huffyuv) in its VFW compatibility
    // mode, which libavformat counts as unofficial; FFmpeg, VLC and mkvtoolnix read it.
    const int compliance =
        container.muxer == "matroska" ? FF_COMPLIANCE_UNOFFICIAL : FF_COMPLIANCE_NORMAL;
    for (const std::string& codec : candidateCodecs(container.muxer)) {
        const ExportCodec* const known = findExportCodec(codec);
        if (known == nullptr) continue;
        const AVCodec* const encoder =
            known->encoder != nullptr ? avcodec_find_encoder_by_name(known->encoder) : nullptr;
        const AVCodecID id = encoder != nullptr ? encoder->id : AV_CODEC_ID_RAWVIDEO;
        if (known->encoder != nullptr && encoder == nullptr) continue;
        if (avformat_query_codec(format, id, compliance) != 1) continue;
        codecs.push_back(codec);
    }
    return codecs;
}

std::string checkCodecForContainer(const std::string& codec, const ExportContainer& container) {
    const std::vector<std::string> codecs = codecsForContainer(container);
    for (const std::string& offered : codecs)
        if (offered == codec) return "";
    const std::string kind = container.extension == "-" ? "standard output" : container.extension;
    std::string text = (findExportCodec(codec) != nullptr ? "A " + kind + " file cannot hold '"
                                                          : "Unknown video codec '") +
                       codec + "' - codec= takes one of:";
    for (const std::string& offered : codecs)
        text += " " + offered;
    return text;
}

const std::vector<ExportCodec>& exportCodecs() {
    static const std::vector<ExportCodec> codecs = {
        {"raw", nullptr, "uncompressed 24-bit frames: huge, plays anywhere"},
        {"ffv1", "ffv1", "lossless, slow to write"},
        {"utvideo", "utvideo", "lossless, fast to write and to edit"},
        {"huffyuv", "huffyuv", "lossless, fast, large"},
        {"mjpeg", "mjpeg", "lossy JPEG frames, small"},
        {"h264", "libx264", "lossy H.264 (x264), small, plays everywhere"},
        {"h265", "libx265", "lossy H.265 (x265), smaller, slower"},
        {"av1", "libsvtav1", "lossy AV1 (SVT-AV1), smallest"},
        {"vp9", "libvpx-vp9", "lossy VP9 (libvpx), for the web"},
    };
    return codecs;
}

const ExportCodec* findExportCodec(const std::string& name) {
    for (const ExportCodec& codec : exportCodecs())
        if (name == codec.name) return &codec;
    return nullptr;
}
