// Shared pieces of the sound tests.
#include "tests/media/SoundTestSupport.h"

#include "tools/mp3encode/Mp3Encode.h"

#include <mpg123.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    std::random_device seed;
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("sound-test-" + std::to_string(seed()));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.string();
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    std::error_code error;
    fs::remove_all(path_, error);
}

WorkingDirectory::WorkingDirectory(const std::string& path) : previous_(fs::current_path()) {
    fs::current_path(path);
}

WorkingDirectory::~WorkingDirectory() {
    std::error_code error;
    fs::current_path(previous_, error);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        hadValue_ = true;
        previous_ = old;
    }
    setenv(name, value, 1);
}

ScopedEnv::~ScopedEnv() {
    if (hadValue_)
        setenv(name_.c_str(), previous_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

std::vector<uint8_t> referenceDecode(const std::string& path) {
    std::vector<uint8_t> pcm;
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr) return pcm;
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
    mpg123_format_none(handle);
    mpg123_format(handle, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(handle, path.c_str()) == MPG123_OK) {
        uint8_t block[16384];
        for (;;) {
            size_t done = 0;
            int result = mpg123_read(handle, block, sizeof block, &done);
            pcm.insert(pcm.end(), block, block + done);
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT) break;
        }
        mpg123_close(handle);
    }
    mpg123_delete(handle);
    return pcm;
}

std::string writeToneMp3(const ScratchDir& dir, const std::string& name, int rate, int channels,
                         double seconds, bool id3v2) {
    const std::string path = dir.file(name);
    writeBytes(path,
               encodeMp3(makeTone(rate, channels, seconds, 440.0), rate, channels, 128, id3v2));
    return path;
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

bool waitUntilInactive(SoundHandle stream) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (soundChannelIsActive(stream) != 0) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void CollectingDsp::callback(SoundHandle, SoundHandle, void* buffer, uint32_t length, void* user) {
    auto* self = static_cast<CollectingDsp*>(user);
    std::lock_guard<std::mutex> lock(self->mutex);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    self->bytes.insert(self->bytes.end(), bytes, bytes + length);
    ++self->blocks;
    if (length % 4 != 0) ++self->oddBlocks;
    if (self->zero) std::memset(buffer, 0, length);
}

std::vector<uint8_t> CollectingDsp::collected() {
    std::lock_guard<std::mutex> lock(mutex);
    return bytes;
}

SampleDifference compareSamples(const std::vector<uint8_t>& a, const uint8_t* b, size_t bBytes) {
    SampleDifference d;
    d.samples = std::min(a.size(), bBytes) / 2;
    for (size_t i = 0; i < d.samples; ++i) {
        const int x = static_cast<int16_t>(a[2 * i] | (a[2 * i + 1] << 8));
        const int y = static_cast<int16_t>(b[2 * i] | (b[2 * i + 1] << 8));
        if (x != y) {
            ++d.differing;
            d.largest = std::max(d.largest, std::abs(x - y));
        }
    }
    return d;
}

bool equalAfterASeek(const std::vector<uint8_t>& seen, const uint8_t* expected,
                     size_t expectedBytes, SampleDifference* difference) {
    const SampleDifference d = compareSamples(seen, expected, expectedBytes);
    if (difference != nullptr) *difference = d;
    return seen.size() == expectedBytes && d.largest <= 1 && d.differing * 1000 < d.samples;
}
