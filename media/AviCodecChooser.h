// The video codecs of the AVI export and the chooser that picks one before the first frame.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

struct ExportContainer;

struct AviCodec {
    const char* name;    // the word after "codec=" on the command line
    const char* summary; // one line for the chooser
};

// Every codec this build can encode, in the order they are offered: utvideo (the default),
// ffv1, raw, huffyuv, mjpeg, and h264 when the installed libavcodec has libx264.
std::vector<AviCodec> availableAviCodecs();
// The same for any container of the export: only what it can hold, its default first.
std::vector<AviCodec> availableCodecsFor(const ExportContainer& container);

struct AviCodecChoice {
    enum Outcome { Chosen, Cancelled, Unknown } outcome;
    std::string name; // the chosen codec, or for Unknown the name that matches none
};

// The choice for the writer among the codecs the container holds: codecWord (codec=NAME,
// lower-cased) when it is not empty, Unknown when the container cannot hold it; else, with a
// display, a message box with one button per codec and Cancel; else, with a terminal on
// standard input, a numbered prompt; else the container's default codec.
AviCodecChoice chooseCodecFor(const ExportContainer& container, const std::string& codecWord);

// The numbered prompt: lists the codecs on out and reads answers from in until one is valid.
// An empty answer takes the default, 0 (or end of input) cancels. Returns the index into
// codecs, or codecs.size() for Cancel.
std::size_t askCodecByNumber(std::istream& in, std::ostream& out,
                             const std::vector<AviCodec>& codecs, std::size_t defaultIndex);
