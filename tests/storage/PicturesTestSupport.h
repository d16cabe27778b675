// Test helpers for the picture suites: JPEG bytes made in the test, and a
// process-wide DebugServer and FileServer serving a pack built from those bytes.
#pragma once

#include "engine/DebugServer.h"
#include "storage/FileServer.h"
#include "tests/storage/StorageTestSupport.h"
#include "tools/make-assets/JpegEncoder.h"
#include "tools/pack/PackFormat.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

inline std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A width x height RGB picture with structure in every channel: gradients and a checker.
inline std::vector<uint8_t> testPattern(int width, int height) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / (width - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height - 1));
            p[2] = ((x / 32 + y / 32) % 2) ? 200 : 40;
        }
    return rgb;
}

inline std::vector<uint8_t> colourJpeg(int width, int height) {
    const std::vector<uint8_t> rgb = testPattern(width, height);
    return encodeJpeg(rgb.data(), width, height, 3, 95, true);
}

// A DebugServer and a FileServer in pack mode over a pack of the given files, installed as the
// process's servers for the test's lifetime.
class PackFixture {
  public:
    explicit PackFixture(const std::vector<pack::Entry>& files, uint8_t logMode = 0,
                         int8_t threshold = 11) {
        debug = std::make_unique<DebugServer>(threshold, logMode);
        server = std::make_unique<FileServer>(debug.get(), 200);
        writeBytes(folder.file("_.dat"), pack::buildPack(files));
        server->open(folder.file("_.dat"));
        setProcessDebugServer(debug.get());
        setProcessFileServer(server.get());
    }
    ~PackFixture() {
        setProcessFileServer(nullptr);
        setProcessDebugServer(nullptr);
    }
    PackFixture(const PackFixture&) = delete;
    PackFixture& operator=(const PackFixture&) = delete;

    std::string packPath() const { return folder.file("_.dat"); }

    ScratchDir folder;
    std::unique_ptr<DebugServer> debug;
    std::unique_ptr<FileServer> server;
};
