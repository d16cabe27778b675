// Synthetic frames and FFmpeg's command-line tools as the independent reader of the files.
#include "ExportTestSupport.h"

#include "app/CommandLine.h"
#include "media/AviWriter.h"
#include "media/ExportFormats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

ExportOptions optionsOf(const std::string& words) {
    return readRunOptions("video " + words).exportOptions;
}

bool offered(const std::string& name, const std::string& codec) {
    std::string error;
    const ExportContainer* container = containerForName(name, error);
    if (container == nullptr) return false;
    const std::vector<std::string> codecs = codecsForContainer(*container);
    return std::find(codecs.begin(), codecs.end(), codec) != codecs.end();
}

size_t occurrences(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// The chapters of a file as ffprobe reads them.
std::vector<ProbedChapter> probedChapters(const std::string& path) {
    std::istringstream lines(commandOutput(
        "ffprobe -v error -show_entries chapter=start_time,end_time:chapter_tags=title "
        "-of csv=p=0 '" +
        path + "'"));
    std::vector<ProbedChapter> chapters;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string start, end;
        ProbedChapter chapter;
        if (std::getline(fields, start, ',') && std::getline(fields, end, ',') &&
            std::getline(fields, chapter.title)) {
            chapter.start = std::atof(start.c_str());
            chapter.end = std::atof(end.c_str());
            chapters.push_back(chapter);
        }
    }
    return chapters;
}

void noUserAround() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (std::freopen("/dev/null", "r", stdin) == nullptr) std::_Exit(98);
}

namespace {
AviWriter* theExitingWriter = nullptr;

void deleteWriterAtExit() {
    delete theExitingWriter;
    theExitingWriter = nullptr;
}
} // namespace

std::vector<uint8_t>& startExitingWriter(const std::string& path, const std::string& words) {
    noUserAround();
    static std::vector<uint8_t> frameBuffer(frameBytes);
    theExitingWriter = new AviWriter(nullptr, path.c_str(), frameWidth, frameHeight, false, 31,
                                     44100, 16, optionsOf(words));
    std::atexit(deleteWriterAtExit);
    theExitingWriter->attachFrameBuffer(frameBuffer.data(), nullptr);
    return frameBuffer;
}

AviWriter* exitingWriter() {
    return theExitingWriter;
}

std::vector<uint8_t> syntheticFrame(int index) {
    std::vector<uint8_t> frame(frameBytes);
    uint32_t noise = 0x9E3779B9u * static_cast<uint32_t>(index + 1);
    for (int y = 0; y < frameHeight; ++y)
        for (int x = 0; x < frameWidth; ++x) {
            uint8_t* pixel = &frame[(size_t{static_cast<size_t>(y)} * frameWidth + x) * 3];
            noise = noise * 1664525u + 1013904223u;
            const bool bar = ((x + 7 * index) / 40) % 2 == 0;
            pixel[0] = static_cast<uint8_t>(x + index);                               // blue
            pixel[1] = static_cast<uint8_t>(y * 2 + (bar ? 60 : 0));                  // green
            pixel[2] = static_cast<uint8_t>((noise >> 24) & (y < 240 ? 0x0F : 0xFF)); // red
        }
    return frame;
}

std::string scratchPath(const std::string& name) {
    const std::string dir = std::string(DEMO_BINARY_DIR) + "/tests/media/export/scratch";
    mkdir(dir.c_str(), 0755);
    const std::string path = dir + "/" + name;
    std::remove(path.c_str());
    return path;
}

std::string commandOutput(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        output.append(chunk, got);
    const int result = pclose(pipe);
    if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}

std::map<std::string, std::string> probeStreams(const std::string& path) {
    std::map<std::string, std::string> values;
    std::istringstream lines(
        commandOutput("ffprobe -v error -count_frames -show_streams -of flat '" + path + "'"));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos || line.compare(0, 8, "streams.") != 0) continue;
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
        values[line.substr(8, equals - 8)] = value;
    }
    return values;
}

namespace {
std::vector<std::string> md5Column(const std::string& framemd5) {
    std::vector<std::string> sums;
    std::istringstream lines(framemd5);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        const size_t comma = line.rfind(',');
        if (comma != std::string::npos) sums.push_back(line.substr(comma + 2));
    }
    return sums;
}
} // namespace

std::vector<std::string> decodedFrameMd5s(const std::string& path) {
    return md5Column(
        commandOutput("ffmpeg -v error -i '" + path + "' -map 0:v -f framemd5 -pix_fmt bgr24 -"));
}

std::vector<std::string> frameMd5s(const std::vector<std::vector<uint8_t>>& frames) {
    const std::string raw = scratchPath("frames-" + std::to_string(getpid()) + ".raw");
    {
        std::ofstream out(raw, std::ios::binary);
        for (const auto& frame : frames)
            out.write(reinterpret_cast<const char*>(frame.data()),
                      static_cast<std::streamsize>(frame.size()));
    }
    std::vector<std::string> sums = md5Column(commandOutput(
        "ffmpeg -v error -f rawvideo -pix_fmt bgr24 -s 640x480 -i '" + raw + "' -f framemd5 -"));
    std::remove(raw.c_str());
    return sums;
}

std::string decodedSound(const std::string& path) {
    return commandOutput("ffmpeg -v error -i '" + path + "' -map 0:a -f s16le -");
}

std::vector<int> soundChunkSizes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto le32 = [&bytes](size_t at) {
        uint32_t value = 0;
        std::memcpy(&value, bytes.data() + at, 4);
        return value;
    };
    std::vector<int> sizes;
    const size_t movi = bytes.find("movi");
    if (movi < 8 || bytes.compare(movi - 8, 4, "LIST") != 0) return sizes;
    const size_t end = std::min(bytes.size(), movi + le32(movi - 4)); // the list's end
    for (size_t at = movi + 4; at + 8 <= end;) {
        const uint32_t size = le32(at + 4);
        if (bytes.compare(at, 4, "01wb") == 0) sizes.push_back(static_cast<int>(size));
        at += 8 + size + (size & 1);
    }
    return sizes;
}
