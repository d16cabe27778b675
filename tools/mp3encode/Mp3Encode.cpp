// Makes MP3 files in memory with libmp3lame, for tests and benchmarks.
#include "tools/mp3encode/Mp3Encode.h"

#include <lame/lame.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct LameDeleter {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

// "ID3" v2.3, no flags, one TIT2 (title) frame.
std::vector<uint8_t> makeId3v2Tag() {
    const std::string title = "Test tone";
    std::vector<uint8_t> frame = {
        'T', 'I', 'T', '2', 0, 0, 0, static_cast<uint8_t>(title.size() + 1), 0, 0, 0};
    frame.insert(frame.end(), title.begin(), title.end());
    const size_t body = frame.size() + 64; // the frame and some padding
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7) // sync-safe size
        tag.push_back(static_cast<uint8_t>((body >> shift) & 0x7f));
    tag.insert(tag.end(), frame.begin(), frame.end());
    tag.resize(10 + body, 0);
    return tag;
}

} // namespace

std::vector<int16_t> makeTone(int rate, int channels, double seconds, double hertz) {
    const size_t frames = static_cast<size_t>(rate * seconds);
    std::vector<int16_t> samples(frames * static_cast<size_t>(channels));
    const double pi = 3.14159265358979323846;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        samples[i * channels] = static_cast<int16_t>(8000.0 * std::sin(2.0 * pi * hertz * t));
        if (channels == 2)
            samples[i * 2 + 1] =
                static_cast<int16_t>(8000.0 * std::sin(2.0 * pi * 1.5 * hertz * t));
    }
    return samples;
}

std::vector<uint8_t> encodeMp3(const std::vector<int16_t>& samples, int rate, int channels,
                               int kbps, bool id3v2) {
    if (channels != 1 && channels != 2) return {};
    std::unique_ptr<lame_global_flags, LameDeleter> lame(lame_init());
    if (!lame) return {};
    lame_set_in_samplerate(lame.get(), rate);
    lame_set_out_samplerate(lame.get(), rate);
    lame_set_num_channels(lame.get(), channels);
    lame_set_mode(lame.get(), channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(lame.get(), kbps);
    lame_set_bWriteVbrTag(lame.get(), 1);
    lame_set_write_id3tag_automatic(lame.get(), 0);
    if (lame_init_params(lame.get()) < 0) return {};

    const int frames = static_cast<int>(samples.size() / static_cast<size_t>(channels));
    std::vector<uint8_t> mp3(static_cast<size_t>(frames) * 5 / 4 + 7200 + 16384);
    std::vector<int16_t> copy(samples); // the encoder takes non-const buffers
    int written = 0;
    if (channels == 2)
        written = lame_encode_buffer_interleaved(lame.get(), copy.data(), frames, mp3.data(),
                                                 static_cast<int>(mp3.size()));
    else
        written = lame_encode_buffer(lame.get(), copy.data(), copy.data(), frames, mp3.data(),
                                     static_cast<int>(mp3.size()));
    if (written < 0) return {};
    const int flushed =
        lame_encode_flush(lame.get(), mp3.data() + written, static_cast<int>(mp3.size()) - written);
    if (flushed < 0) return {};
    mp3.resize(static_cast<size_t>(written + flushed));

    // The first frame was written as a placeholder for the info frame: fill it in.
    uint8_t info[4096];
    const size_t infoSize = lame_get_lametag_frame(lame.get(), info, sizeof info);
    if (infoSize > 0 && infoSize <= mp3.size()) std::memcpy(mp3.data(), info, infoSize);

    if (!id3v2) return mp3;
    std::vector<uint8_t> tagged = makeId3v2Tag();
    tagged.insert(tagged.end(), mp3.begin(), mp3.end());
    return tagged;
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}
