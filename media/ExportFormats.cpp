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
        // Matroska, WebM, NUT and AVI files cut short still play up to where they end.
        {".avi", "avi", "utvideo", "pcm_s16le", 44100, 0, 1, false, false, false},
        {".mkv", "matroska", "utvideo", "flac", 44100, 0, 1, false, false, true},
        {".mp4", "mp4", "h264", "aac", 48000, 320000, 2, true, true, true},
        {".mov", "mov", "h264", "aac", 48000, 320000, 2, true, true, true},
        {".webm", "webm", "vp9", "libopus", 48000, 256000, 2, true, false, true},
        {".nut", "nut", "raw", "pcm_s16le", 44100, 0, 1, false, false, false},
        {"-", "nut", "raw", "pcm_s16le", 44100, 0, 1, false, false, false},
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
        // x264 and x265 clip crf= to 51 (8 bits); SVT-AV1 reads crf=0 as "not given", its
        // own default; libvpx's crf=0 without a bit rate is its lossless quantizer.
        {"h264", "libx264", "lossy H.264 (x264), small, plays everywhere", 0, 51, 18, true},
        {"h265", "libx265", "lossy H.265 (x265), smaller, slower", 0, 51, 20, false},
        {"av1", "libsvtav1", "lossy AV1 (SVT-AV1), smallest", 1, 63, 30, false},
        {"vp9", "libvpx-vp9", "lossy VP9 (libvpx), for the web", 0, 63, 24, true},
    };
    return codecs;
}

const ExportCodec* findExportCodec(const std::string& name) {
    for (const ExportCodec& codec : exportCodecs())
        if (name == codec.name) return &codec;
    return nullptr;
}

namespace {

// The lowest crf= the installed encoders take for a codec with a range: h264's lossless 0 needs
// libx264rgb.
int lowestCrf(const ExportCodec& codec) {
    if (codec.lowestCrf != 0) return codec.lowestCrf;
    const char* const encoder = encoderFor(codec, 0);
    return encoder != nullptr && avcodec_find_encoder_by_name(encoder) != nullptr ? 0 : 1;
}

// "0 to 51", or with what 0 means "0 (lossless) to 51": the crf= values of a codec with a range.
std::string crfRange(const ExportCodec& codec, bool sayLossless) {
    const int lowest = lowestCrf(codec);
    const bool lossless = sayLossless && lowest == 0 && codec.losslessAtZero;
    return std::to_string(lowest) + (lossless ? " (lossless)" : "") + " to " +
           std::to_string(codec.highestCrf);
}

} // namespace

const char* encoderFor(const ExportCodec& codec, int crf) {
    if (crf == 0 && std::string(codec.name) == "h264") return "libx264rgb";
    return codec.encoder;
}

std::string checkCrfFor(int crf, const std::string& codec, const ExportContainer& container) {
    if (crf < 0) return "";
    const ExportCodec* const chosen = findExportCodec(codec);
    const std::string word = "crf=" + std::to_string(crf);
    if (chosen != nullptr && chosen->highestCrf >= 0) {
        if (crf >= lowestCrf(*chosen) && crf <= chosen->highestCrf) return "";
        return word + " is outside " + codec + "'s range - " + codec + " takes crf= from " +
               crfRange(*chosen, true);
    }
    std::string offered;
    for (const std::string& name : codecsForContainer(container)) {
        const ExportCodec* const other = findExportCodec(name);
        if (other->highestCrf >= 0)
            offered += (offered.empty() ? "" : ", ") + name + " (" + crfRange(*other, false) + ")";
    }
    const std::string kind = container.extension == "-" ? "NUT on standard output"
                                                        : "a " + container.extension + " file";
    return word + ": " + codec + " has no crf= setting - " +
           (offered.empty() ? kind + " holds no codec with a crf= setting"
                            : "crf= is for " + offered);
}
