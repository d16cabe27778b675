// make-assets: writes a complete default asset set (the pack _.dat with the sixteen pictures,
// and the soundtrack velmorin.mp3) into a folder. The output is the same, byte for byte, on
// every run.
#include "tools/make-assets/JpegEncoder.h"
#include "tools/make-assets/Pictures.h"
#include "tools/make-assets/Soundtrack.h"
#include "tools/pack/PackFormat.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

namespace {

const char* const usage =
    "usage: make-assets [--seconds N] DIR\n"
    "\n"
    "Writes DIR/_.dat (the sixteen show pictures as 640 x 240 JPEGs in a pack) and\n"
    "DIR/velmorin.mp3 (the 900-second soundtrack, 44.1 kHz stereo). DIR and its parents are\n"
    "created if missing.\n"
    "--seconds N writes only the first N seconds of the soundtrack (1 to 900).\n";

constexpr int jpegQuality = 92;

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writePictures(const std::string& path) {
    std::vector<pack::Entry> entries;
    for (const NamedPicture& picture : showPictures()) {
        const std::vector<uint8_t> rgb = picture.draw().toBytes();
        // Full-resolution colour keeps the figure's outline crisp for the green key.
        entries.push_back({picture.name, encodeJpeg(rgb.data(), pictureWidth, pictureHeight, 3,
                                                    jpegQuality, true)});
    }
    writeFile(path, pack::buildPack(entries));
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    int seconds = soundtrackSeconds;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 1 || value > soundtrackSeconds) {
                std::cerr << usage;
                return 2;
            }
            seconds = static_cast<int>(value);
        } else if (argv[i][0] == '-' || !folder.empty()) {
            std::cerr << usage;
            return 2;
        } else {
            folder = argv[i];
        }
    }
    if (folder.empty()) {
        std::cerr << usage;
        return 2;
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::cerr << "make-assets: cannot create " << folder << ": " << error.message() << "\n";
        return 1;
    }
    try {
        auto start = std::chrono::steady_clock::now();
        writePictures(folder + "/_.dat");
        std::cout << "make-assets: " << folder << "/_.dat (16 pictures, " << secondsSince(start)
                  << " s)\n";
        start = std::chrono::steady_clock::now();
        writeSoundtrack(folder + "/velmorin.mp3", seconds);
        std::cout << "make-assets: " << folder << "/velmorin.mp3 (" << seconds << " s of music, "
                  << secondsSince(start) << " s)\n";
    } catch (const std::exception& error) {
        std::cerr << "make-assets: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
