// Instrument voices: band-limited wavetable oscillators, FM bells, filtered noise drums.
#include "tools/make-assets/Synth.h"

#include "tools/make-assets/Soundtrack.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double twoPi = 6.283185307179586;
constexpr int tableSize = 4096; // entries per cycle, 2^12
constexpr int indexShift = 20;  // 32 - 12
constexpr uint32_t fractionMask = (1u << indexShift) - 1;

// One cycle of a waveform, summed from sine harmonics (harmonic n at amplitude weight(n)).
struct Wavetable {
    std::vector<float> values; // tableSize + 1 (the first value repeated)

    template <typename Weight> Wavetable(int harmonics, Weight weight) : values(tableSize + 1) {
        double peak = 0;
        std::vector<double> sum(tableSize, 0.0);
        for (int i = 0; i < tableSize; ++i) {
            for (int n = 1; n <= harmonics; ++n)
                sum[i] += weight(n) * std::sin(twoPi * n * i / tableSize);
            peak = std::max(peak, std::abs(sum[i]));
        }
        for (int i = 0; i < tableSize; ++i)
            values[i] = static_cast<float>(sum[i] / peak);
        values[tableSize] = values[0];
    }

    // phase: one turn is 2^32; the top bits pick the entry, the rest interpolate.
    float at(uint32_t phase) const {
        const uint32_t i = phase >> indexShift;
        const float fraction =
            static_cast<float>(phase & fractionMask) * (1.0f / (fractionMask + 1.0f));
        return values[i] + (values[i + 1] - values[i]) * fraction;
    }
};

const Wavetable sineWave(1, [](int) { return 1.0; });
const Wavetable sawWave(24, [](int n) { return 1.0 / n; });
const Wavetable squareWave(19, [](int n) { return n % 2 ? 1.0 / n : 0.0; });

// Returns the phase and advances it by increment; both in 2^32 per turn, wrapping on overflow.
inline uint32_t advance(uint32_t& phase, uint32_t increment) {
    const uint32_t current = phase;
    phase += increment;
    return current;
}

// Phase increment per frame of a frequency in Hz.
uint32_t incrementOf(double frequency) {
    return static_cast<uint32_t>(static_cast<int64_t>(frequency / soundtrackRate * 4294967296.0));
}

float onePoleCoefficient(float cutoff) {
    return 1.0f - static_cast<float>(std::exp(-twoPi * cutoff / soundtrackRate));
}

float seconds(int64_t frames) {
    return static_cast<float>(frames) / soundtrackRate;
}

// Release time of each instrument, seconds.
float releaseOf(Instrument instrument) {
    switch (instrument) {
    case Instrument::Pad:
        return 2.5f;
    case Instrument::Bell:
        return 2.0f;
    case Instrument::Lead:
        return 0.25f;
    case Instrument::Kick:
        return 0.6f;
    case Instrument::Snare:
        return 0.4f;
    case Instrument::OpenHat:
        return 0.3f;
    case Instrument::Hat:
        return 0.1f;
    case Instrument::Riser:
        return 0.05f;
    default:
        return 0.12f;
    }
}

} // namespace

float midiFrequency(float note) {
    return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f);
}

Voice::Voice(const NoteEvent& event) : note(event) {
    end = note.length + static_cast<int64_t>(releaseOf(note.instrument) * soundtrackRate);
    const float angle = (std::clamp(note.pan, -1.0f, 1.0f) + 1.0f) * 0.785398f;
    gainLeft = std::cos(angle) * note.velocity;
    gainRight = std::sin(angle) * note.velocity;
    switch (note.instrument) {
    case Instrument::Bell:
        sendLevel = 0.5f;
        break;
    case Instrument::Arp:
        sendLevel = 0.45f;
        break;
    case Instrument::Lead:
        sendLevel = 0.35f;
        break;
    case Instrument::Snare:
        sendLevel = 0.15f;
        break;
    case Instrument::Pad:
        sendLevel = 0.2f;
        break;
    default:
        sendLevel = 0.0f;
        break;
    }
    noiseState = static_cast<uint32_t>(note.start * 2654435761u) | 1u;
    phase[1] = 1331439862u; // about 0.31 of a turn
    phase[2] = 2877628088u; // about 0.67 of a turn
}

float Voice::envelope(int64_t t) const {
    const float time = seconds(t);
    float attack = 0.005f, decay = 1e9f, sustain = 1.0f;
    switch (note.instrument) {
    case Instrument::Pad:
        attack = 1.2f;
        break;
    case Instrument::Bass:
        decay = 0.35f, sustain = 0.35f;
        break;
    case Instrument::Arp:
        decay = 0.12f, sustain = 0.0f;
        break;
    case Instrument::Lead:
        attack = 0.02f, decay = 0.3f, sustain = 0.7f;
        break;
    case Instrument::Riser:
        attack = seconds(note.length);
        break;
    default:
        attack = 0.001f;
        break;
    }
    float level = std::min(time / attack, 1.0f);
    if (time > attack) level = sustain + (1.0f - sustain) * std::exp(-(time - attack) / decay);
    if (t >= note.length) {
        const float held = seconds(note.length);
        const float atRelease =
            held < attack ? held / attack
                          : sustain + (1.0f - sustain) * std::exp(-(held - attack) / decay);
        level = atRelease * std::max(0.0f, 1.0f - (time - held) / releaseOf(note.instrument));
    }
    return level;
}

Voice::Control Voice::control(int64_t t) const {
    const float time = seconds(t);
    const float level = envelope(t);
    const double f = note.frequency;
    Control c;
    c.frequency = f;
    c.amplitude[0] = level;
    switch (note.instrument) {
    case Instrument::Pad:
        c.coefficient = onePoleCoefficient(900.0f + 500.0f * std::sin(time * 0.4f));
        break;
    case Instrument::Bass:
        c.coefficient = onePoleCoefficient(400.0f + 1200.0f * std::exp(-time * 8.0f));
        break;
    case Instrument::Bell:
        c.amplitude[0] = level * std::exp(-time * 1.6f) * std::min(time / 0.002f, 1.0f);
        c.amplitude[1] = 3.0f * std::exp(-time * 3.0f); // modulation index, radians
        break;
    case Instrument::Arp:
        c.coefficient = onePoleCoefficient(2500.0f * std::exp(-time * 10.0f) + 300.0f);
        break;
    case Instrument::Lead:
        c.coefficient = onePoleCoefficient(2200.0f);
        c.frequency =
            f * (1.0 + 0.006 * std::min(time / 0.4f, 1.0f) * std::sin(twoPi * 5.0 * time));
        break;
    case Instrument::Kick:
        c.frequency = 48.0 + 110.0 * std::exp(-time / 0.035f);
        c.amplitude[0] = level * std::exp(-time / 0.28f);
        break;
    case Instrument::Snare:
        c.amplitude[1] = 0.5f * std::exp(-time / 0.05f);
        c.amplitude[2] = 0.8f * std::exp(-time / 0.11f);
        c.frequency = 185.0;
        break;
    case Instrument::Hat:
        c.amplitude[0] = level * 0.5f * std::exp(-time / 0.025f);
        break;
    case Instrument::OpenHat:
        c.amplitude[0] = level * 0.5f * std::exp(-time / 0.11f);
        break;
    case Instrument::Riser: {
        const float progress = std::min(time / std::max(seconds(note.length), 0.01f), 1.0f);
        c.coefficient = onePoleCoefficient(200.0f + 6000.0f * progress * progress);
        c.amplitude[0] = level * 1.5f;
        break;
    }
    }
    c.increment = incrementOf(c.frequency);
    return c;
}

void Voice::renderChunk(const Control& from, const Control& to, int frames, float* out) {
    const uint32_t f = from.increment;
    const uint32_t detunedDown = incrementOf(from.frequency * 0.996),
                   detunedUp = incrementOf(from.frequency * 1.004);
    const float k = from.coefficient;
    const float step = 1.0f / static_cast<float>(frames);
    float a0 = from.amplitude[0], a1 = from.amplitude[1], a2 = from.amplitude[2];
    const float d0 = (to.amplitude[0] - a0) * step, d1 = (to.amplitude[1] - a1) * step,
                d2 = (to.amplitude[2] - a2) * step;
    float y = filter, y2 = filter2;
    auto noise = [this]() {
        noiseState ^= noiseState << 13;
        noiseState ^= noiseState >> 17;
        noiseState ^= noiseState << 5;
        return static_cast<float>(noiseState) / 2147483648.0f - 1.0f;
    };
    switch (note.instrument) {
    case Instrument::Pad:
        for (int i = 0; i < frames; ++i, a0 += d0) {
            const float raw =
                (sawWave.at(advance(phase[0], detunedDown)) + sawWave.at(advance(phase[1], f)) +
                 sawWave.at(advance(phase[2], detunedUp))) *
                (1.0f / 3.0f);
            y += (raw - y) * k;
            out[i] = y * a0;
        }
        break;
    case Instrument::Bass:
        for (int i = 0; i < frames; ++i, a0 += d0) {
            const float s = sineWave.at(advance(phase[0], f));
            y += (squareWave.at(advance(phase[1], f)) - y) * k;
            const float x = 1.5f * (s + 0.6f * y);
            out[i] = std::clamp(x * (27.0f + x * x) / (27.0f + 9.0f * x * x), -1.0f, 1.0f) * a0;
        }
        break;
    case Instrument::Bell:
        for (int i = 0; i < frames; ++i, a0 += d0, a1 += d1) {
            const float modulator = sineWave.at(advance(phase[1], f * 7 / 2));
            // a1 * modulator radians, at most half a turn either way.
            const int32_t shift =
                static_cast<int32_t>(a1 * modulator * (2147483648.0f / 3.1415927f));
            out[i] = sineWave.at(advance(phase[0], f) + static_cast<uint32_t>(shift)) * a0;
        }
        break;
    case Instrument::Arp:
        for (int i = 0; i < frames; ++i, a0 += d0) {
            y += (squareWave.at(advance(phase[0], f)) - y) * k;
            out[i] = y * a0;
        }
        break;
    case Instrument::Lead:
        for (int i = 0; i < frames; ++i, a0 += d0) {
            const float raw = 0.6f * sawWave.at(advance(phase[0], f)) +
                              0.4f * squareWave.at(advance(phase[1], f + f / 333));
            y += (raw - y) * k;
            out[i] = y * a0;
        }
        break;
    case Instrument::Kick:
        for (int i = 0; i < frames; ++i, a0 += d0)
            out[i] = sineWave.at(advance(phase[0], f)) * a0;
        break;
    case Instrument::Snare:
        for (int i = 0; i < frames; ++i, a0 += d0, a1 += d1, a2 += d2) {
            const float body = sineWave.at(advance(phase[0], f)) * a1;
            y += (noise() - y) * 0.35f;
            out[i] = (body + y * a2) * a0;
        }
        break;
    case Instrument::Hat:
    case Instrument::OpenHat:
        for (int i = 0; i < frames; ++i, a0 += d0) {
            const float n = noise();
            out[i] = (n - previousNoise) * a0;
            previousNoise = n;
        }
        break;
    case Instrument::Riser:
        for (int i = 0; i < frames; ++i, a0 += d0) {
            y += (noise() - y) * k;
            y2 += (y - y2) * k;
            out[i] = y2 * a0;
        }
        break;
    }
    filter = y;
    filter2 = y2;
}

bool Voice::render(int64_t blockStart, int frames, float* dry, float* send) {
    constexpr int64_t controlFrames = 32;
    float chunkSamples[controlFrames];
    const int64_t first = std::max<int64_t>(note.start, blockStart) - note.start;
    const int64_t last = std::min<int64_t>(note.start + end, blockStart + frames) - note.start;
    const float sendLeft = gainLeft * sendLevel, sendRight = gainRight * sendLevel;
    for (int64_t chunk = first; chunk < last; chunk += controlFrames) {
        const int64_t chunkEnd = std::min(chunk + controlFrames, last);
        const int n = static_cast<int>(chunkEnd - chunk);
        renderChunk(control(chunk), control(chunkEnd), n, chunkSamples);
        float* d = dry + (chunk + note.start - blockStart) * 2;
        float* e = send + (chunk + note.start - blockStart) * 2;
        for (int i = 0; i < n; ++i) {
            const float s = chunkSamples[i];
            d[2 * i] += s * gainLeft;
            d[2 * i + 1] += s * gainRight;
            e[2 * i] += s * sendLeft;
            e[2 * i + 1] += s * sendRight;
        }
    }
    return note.start + end > blockStart + frames;
}
