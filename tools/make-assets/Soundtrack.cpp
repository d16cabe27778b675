// Renders the score block by block (voices, echo, master level, soft limiter) and encodes the
// result with libmp3lame.
#include "tools/make-assets/Soundtrack.h"

#include "engine/BoundedQueue.h"

#include "tools/make-assets/Score.h"
#include "tools/make-assets/Synth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include <lame/lame.h>

namespace {

constexpr int blockFrames = 4096;

// A stereo echo: left and right repeat at different delays and feed each other.
class Echo {
  public:
    Echo() : left(leftDelay, 0.0f), right(rightDelay, 0.0f) {}

    // Adds the echo of send to dry, frame by frame.
    void process(const float* send, float* dry, int frames) {
        for (int i = 0; i < frames; ++i) {
            const float outLeft = left[leftPos], outRight = right[rightPos];
            left[leftPos] = send[2 * i] + feedback * outRight;
            right[rightPos] = send[2 * i + 1] + feedback * outLeft;
            leftPos = (leftPos + 1) % leftDelay;
            rightPos = (rightPos + 1) % rightDelay;
            dry[2 * i] += wet * outLeft;
            dry[2 * i + 1] += wet * outRight;
        }
    }

  private:
    static constexpr int leftDelay = soundtrackRate * 3 / 8; // frames
    static constexpr int rightDelay = soundtrackRate / 2;    // frames
    static constexpr float feedback = 0.38f;
    static constexpr float wet = 0.6f;
    std::vector<float> left, right;
    int leftPos = 0, rightPos = 0;
};

// Gentle saturation that stays linear for quiet signals and never exceeds 1.
float limit(float x) {
    const float a = std::abs(x);
    if (a <= 0.7f) return x;
    const float over = (a - 0.7f) / 0.3f;
    const float shaped = 0.7f + 0.3f * over / (1.0f + over);
    return x < 0 ? -shaped : shaped;
}

struct LameDeleter {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

void renderSoundtrack(int seconds,
                      const std::function<void(const int16_t* samples, int frames)>& sink) {
    const std::vector<NoteEvent> score = composeScore();
    const int64_t total = static_cast<int64_t>(seconds) * soundtrackRate;
    std::vector<Voice> voices;
    size_t next = 0;
    Echo echo;
    std::vector<float> dry(blockFrames * 2), send(blockFrames * 2);
    std::vector<int16_t> samples(blockFrames * 2);
    for (int64_t blockStart = 0; blockStart < total; blockStart += blockFrames) {
        const int frames = static_cast<int>(std::min<int64_t>(blockFrames, total - blockStart));
        std::fill(dry.begin(), dry.end(), 0.0f);
        std::fill(send.begin(), send.end(), 0.0f);
        while (next < score.size() && score[next].start < blockStart + frames)
            voices.emplace_back(score[next++]);
        for (size_t i = 0; i < voices.size();) {
            if (voices[i].render(blockStart, frames, dry.data(), send.data())) {
                ++i;
            } else {
                voices.erase(voices.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        echo.process(send.data(), dry.data(), frames);
        for (int i = 0; i < frames; ++i) {
            const float level = masterLevel(blockStart + i);
            for (int c = 0; c < 2; ++c) {
                const float v = limit(dry[2 * i + c] * level);
                samples[2 * i + c] = static_cast<int16_t>(std::lround(v * 32767.0f));
            }
        }
        sink(samples.data(), frames);
    }
}

void writeSoundtrack(const std::string& path, int seconds) {
    std::unique_ptr<lame_global_flags, LameDeleter> lame(lame_init());
    if (!lame) throw std::runtime_error("cannot initialise the MP3 encoder");
    lame_set_in_samplerate(lame.get(), soundtrackRate);
    lame_set_num_channels(lame.get(), 2);
    lame_set_num_samples(lame.get(), static_cast<unsigned long>(seconds) * soundtrackRate);
    lame_set_brate(lame.get(), 128);
    lame_set_mode(lame.get(), JOINT_STEREO);
    lame_set_quality(lame.get(), 7); // fast; encoding is the main cost of generating the assets
    lame_set_bWriteVbrTag(lame.get(), 0);
    if (lame_init_params(lame.get()) < 0) throw std::runtime_error("cannot set up the MP3 encoder");

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) throw std::runtime_error("cannot create " + path);

    // The music is rendered on a second thread while this one encodes; the blocks are encoded
    // in order, so the file does not depend on the timing.
    BoundedQueue<std::vector<int16_t>> queue(64); // blocks of samples waiting for the encoder
    bool rendered = true;
    std::thread renderer([&queue, &rendered, seconds] {
        try {
            renderSoundtrack(seconds, [&queue](const int16_t* samples, int frames) {
                queue.push(std::vector<int16_t>(samples, samples + 2 * frames));
            });
        } catch (...) {
            rendered = false; // read after join
        }
        queue.close();
    });
    std::vector<unsigned char> mp3(blockFrames * 5 / 4 + 7200);
    bool ok = true;
    std::vector<int16_t> block;
    while (queue.pop(block)) {
        const int frames = static_cast<int>(block.size() / 2);
        const int bytes = lame_encode_buffer_interleaved(lame.get(), block.data(), frames,
                                                         mp3.data(), static_cast<int>(mp3.size()));
        if (bytes < 0 || std::fwrite(mp3.data(), 1, static_cast<size_t>(bytes), file.get()) !=
                             static_cast<size_t>(bytes))
            ok = false;
    }
    renderer.join();
    if (!rendered) ok = false;
    const int bytes = lame_encode_flush(lame.get(), mp3.data(), static_cast<int>(mp3.size()));
    if (bytes < 0 || std::fwrite(mp3.data(), 1, static_cast<size_t>(bytes), file.get()) !=
                         static_cast<size_t>(bytes))
        ok = false;
    if (std::fclose(file.release()) != 0) ok = false;
    if (!ok) throw std::runtime_error("cannot encode or write " + path);
}
