// The file kinds of video mode's export: which containers it writes and the video and sound
// codecs each one holds.
#pragma once

#include <string>
#include <vector>

// One container the export writes, found by the file name's extension.
struct ExportContainer {
    std::string extension;    // ".mp4"; "-" for NUT on standard output
    std::string muxer;        // libavformat's name of the container ("matroska" for .mkv)
    std::string defaultCodec; // the video codec when nobody chooses
    std::string soundEncoder; // libavcodec's encoder: "pcm_s16le", "aac", "libopus", "flac"
    int soundRate;            // sample frames per second of the sound in the file
    int soundBitRate;         // bits per second for the lossy sound encoders, else 0
    int defaultScale;         // how many times each pixel is enlarged when scale= is not given
    bool forSharing;          // the sharing settings: BT.709 tags, closed GOP of 15, faststart
    bool needsItsEnd;         // unreadable without what is written last (the index of MP4/MOV)
    bool holdsChapters;       // the scenes go into the file as chapters
};

// One video codec: the word after codec=, libavcodec's encoder (null for raw frames, which
// need none), a line for the chooser and the crf= values its encoder really takes.
struct ExportCodec {
    const char* name;
    const char* encoder;
    const char* summary;
    int lowestCrf = -1;          // crf= from lowestCrf to highestCrf; -1: the codec has no crf=
    int highestCrf = -1;         // (its encoder's own scale: lower is better and larger)
    int defaultCrf = -1;         // without crf=
    bool losslessAtZero = false; // crf=0 is lossless
};
const std::vector<ExportCodec>& exportCodecs();
const ExportCodec* findExportCodec(const std::string& name); // null for unknown names

// Every container, in the order they are listed to the user: .avi, .mkv, .mp4, .mov, .webm,
// .nut.
const std::vector<ExportContainer>& exportContainers();
// The container for a file name (or "-"), by its extension through libavformat. Null when
// libavformat does not know the extension or the export does not write that kind; error then
// says so and lists what is on offer.
const ExportContainer* containerForName(const std::string& name, std::string& error);

// The video codecs this build can write into the container (the encoder is installed and
// the container holds the codec), in the order they are offered.
std::vector<std::string> codecsForContainer(const ExportContainer& container);
// "" when the container takes the codec; else a message naming what is on offer.
std::string checkCodecForContainer(const std::string& codec, const ExportContainer& container);
// "" when crf is -1 (not given) or within the range the codec's encoder takes; else why not:
// the codec's range, or for a codec without crf= the codecs of the container that have one.
// h264's crf=0 (lossless) needs libx264rgb; without it h264 takes 1 to 51.
std::string checkCrfFor(int crf, const std::string& codec, const ExportContainer& container);
// The encoder for the codec at this crf: libx264rgb for h264 at crf=0 (lossless in RGB, as
// x264's lossless mode is not in the High profile), else the codec's own; null for raw.
const char* encoderFor(const ExportCodec& codec, int crf);
