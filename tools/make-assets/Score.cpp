// Composition: section plans, chord progressions and the patterns of each part.
#include "tools/make-assets/Score.h"

#include "tools/make-assets/Canvas.h"
#include "tools/make-assets/Soundtrack.h"

#include <algorithm>
#include <cmath>

namespace {

enum Part : unsigned {
    Pad = 1,
    Bass = 2,
    Bell = 4,
    Arp = 8,
    Lead = 16,
    Kick = 32,
    FourKick = 64,
    Snare = 128,
    Hat = 256,
    Riser = 512,
};

struct Entry {
    unsigned part;
    int fromBar; // the part plays from this bar of the section on
};

struct SectionPlan {
    double bpm;
    int key;         // MIDI note of the key's root in the bass octave
    int progression; // index into progressions
    int barsPerChord;
    std::vector<Entry> band;
};

struct Chord {
    int root; // semitones above the key
    bool minor;
};

const Chord progressions[4][4] = {
    {{0, true}, {8, false}, {3, false}, {10, false}}, // i VI III VII
    {{0, true}, {5, true}, {8, false}, {7, false}},   // i iv VI V
    {{0, true}, {10, false}, {8, false}, {10, false}},
    {{8, false}, {10, false}, {0, true}, {0, true}},
};

// One plan per scene: out of the smoke, the cascade, the smear, the noisy break, the fast warps,
// the silhouette, the crawl, the climax, the burn-out.
const std::vector<SectionPlan>& plans() {
    static const std::vector<SectionPlan> list = {
        {84, 45, 0, 2, {{Pad, 0}, {Bell, 16}, {Bass, 32}, {Riser, 0}}},
        {96,
         45,
         1,
         1,
         {{Pad, 0}, {Bass, 0}, {Bell, 0}, {Kick, 4}, {Hat, 8}, {Arp, 16}, {Riser, 0}}},
        {96, 38, 2, 1, {{Pad, 0}, {Bass, 0}, {Hat, 0}, {Snare, 8}, {Kick, 0}, {Riser, 0}}},
        {96, 38, 2, 2, {{Pad, 0}, {Kick, 0}, {Snare, 0}, {Bell, 4}, {Riser, 0}}},
        {124,
         45,
         0,
         1,
         {{Pad, 0},
          {Bass, 0},
          {FourKick, 0},
          {Snare, 0},
          {Hat, 0},
          {Arp, 8},
          {Lead, 16},
          {Riser, 0}}},
        {80, 41, 3, 2, {{Pad, 0}, {Bell, 0}}},
        {112, 41, 3, 1, {{Pad, 0}, {Arp, 0}, {Bass, 4}, {Hat, 8}, {Kick, 12}, {Riser, 0}}},
        {128,
         47,
         1,
         1,
         {{Pad, 0},
          {Bass, 0},
          {FourKick, 0},
          {Snare, 0},
          {Hat, 0},
          {Arp, 0},
          {Lead, 8},
          {Bell, 32},
          {Riser, 0}}},
        {84, 45, 0, 2, {{Pad, 0}, {Bell, 0}, {Bass, 0}}},
    };
    return list;
}

// The chord's notes as semitones above the chord root: triad plus seventh.
int chordTone(const Chord& chord, int index) {
    static const int minorTones[4] = {0, 3, 7, 10};
    static const int majorTones[4] = {0, 4, 7, 11};
    const int octave = index / 4;
    const int step = ((index % 4) + 4) % 4;
    return (chord.minor ? minorTones[step] : majorTones[step]) + 12 * octave;
}

class Writer {
  public:
    Writer(std::vector<NoteEvent>& notes, int64_t sectionEnd)
        : notes(notes), sectionEnd(sectionEnd) {}

    void add(int64_t start, int64_t length, Instrument instrument, float midi, float velocity,
             float pan) {
        if (start >= sectionEnd) return;
        length = std::max<int64_t>(1, std::min(length, sectionEnd - start));
        notes.push_back({start, length, instrument, midiFrequency(midi), velocity, pan});
    }

  private:
    std::vector<NoteEvent>& notes;
    int64_t sectionEnd;
};

void composeSection(int index, std::vector<NoteEvent>& notes) {
    const SectionPlan& plan = plans()[static_cast<size_t>(index)];
    const int64_t start = frameOfTick(sectionTick(index));
    const int64_t end = frameOfTick(sectionTick(index + 1));
    Writer out(notes, end);
    Random random(1000 + static_cast<uint64_t>(index));
    const double beat = 60.0 / plan.bpm * soundtrackRate; // frames
    const double bar = 4 * beat;
    const int bars = static_cast<int>(std::ceil((end - start) / bar));
    auto at = [&](int barIndex, double beats) {
        return start + static_cast<int64_t>(std::llround(barIndex * bar + beats * beat));
    };
    unsigned parts = 0;
    for (int b = 0; b < bars; ++b) {
        for (const Entry& e : plan.band)
            if (e.fromBar == b) parts |= e.part;
        const Chord& chord = progressions[plan.progression][(b / plan.barsPerChord) % 4];
        const int root = plan.key + chord.root;

        if ((parts & Pad) && b % plan.barsPerChord == 0) {
            const int64_t length = at(b + plan.barsPerChord, 0) - at(b, 0);
            for (int i = 0; i < 4; ++i) {
                int midi = root + 12 + chordTone(chord, i);
                while (midi > plan.key + 27)
                    midi -= 12;
                out.add(at(b, 0), length, Instrument::Pad, static_cast<float>(midi), 0.11f,
                        -0.6f + 0.4f * i);
            }
        }
        if (parts & Bass) {
            static const int pattern[8] = {0, 0, 12, 0, 7, 0, 12, 7};
            for (int i = 0; i < 8; ++i)
                out.add(at(b, i * 0.5), static_cast<int64_t>(beat * 0.4), Instrument::Bass,
                        static_cast<float>(root - 12 + pattern[i]), i % 4 == 0 ? 0.32f : 0.24f,
                        0.0f);
        }
        if (parts & Arp) {
            static const int order[16] = {0, 1, 2, 3, 4, 3, 2, 1, 0, 2, 4, 6, 5, 4, 2, 1};
            for (int i = 0; i < 16; ++i)
                out.add(at(b, i * 0.25), static_cast<int64_t>(beat * 0.2), Instrument::Arp,
                        static_cast<float>(root + 24 + chordTone(chord, order[i])), 0.07f,
                        i % 2 ? 0.45f : -0.45f);
        }
        if (parts & Bell) {
            for (int i = 0; i < 8; ++i)
                if (random.uniform() < 0.3f)
                    out.add(at(b, i * 0.5), static_cast<int64_t>(beat), Instrument::Bell,
                            static_cast<float>(root + 24 + chordTone(chord, random.below(7))),
                            random.range(0.05f, 0.09f), random.range(-0.8f, 0.8f));
        }
        if (parts & Lead) {
            // A one-bar motif per position in the four-bar cycle, so the tune comes round again.
            Random motif(500 + static_cast<uint64_t>(index) * 10 + static_cast<uint64_t>(b % 4));
            static const int scale[5] = {0, 3, 5, 7, 10};
            for (int slot = 0; slot < 8;) {
                const int length = motif.uniform() < 0.4f ? 2 : 1;
                if (motif.uniform() < 0.75f) {
                    const int midi =
                        slot % 4 == 0 ? root + 24 + chordTone(chord, motif.below(3))
                                      : plan.key + 24 + scale[motif.below(5)] + 12 * motif.below(2);
                    out.add(at(b, slot * 0.5), static_cast<int64_t>(beat * 0.5 * length * 0.9),
                            Instrument::Lead, static_cast<float>(midi), 0.09f, 0.1f);
                }
                slot += length;
            }
        }
        const bool four = parts & FourKick;
        for (int i = 0; i < 4; ++i) {
            if ((four || ((parts & Kick) && i % 2 == 0)))
                out.add(at(b, i), static_cast<int64_t>(beat * 0.8), Instrument::Kick, 0, 0.55f,
                        0.0f);
            if ((parts & Snare) && i % 2 == 1)
                out.add(at(b, i), static_cast<int64_t>(beat * 0.5), Instrument::Snare, 0, 0.3f,
                        0.05f);
        }
        if (parts & Hat)
            for (int i = 0; i < 8; ++i)
                out.add(at(b, i * 0.5), static_cast<int64_t>(beat * 0.25),
                        i % 2 ? Instrument::OpenHat : Instrument::Hat, 0, i % 2 ? 0.08f : 0.06f,
                        -0.25f);
    }
    // A noise sweep over the last four bars, into the next scene.
    if (parts & Riser) {
        const int64_t length = static_cast<int64_t>(4 * bar);
        out.add(std::max(start, end - length), std::min(length, end - start), Instrument::Riser, 0,
                0.12f, 0.0f);
    }
}

} // namespace

int64_t frameOfTick(int64_t tick) {
    return tick * soundtrackRate / soundtrackTicksPerSecond;
}

std::vector<NoteEvent> composeScore() {
    std::vector<NoteEvent> notes;
    for (int i = 0; i < sectionCount; ++i)
        composeSection(i, notes);
    std::stable_sort(notes.begin(), notes.end(),
                     [](const NoteEvent& a, const NoteEvent& b) { return a.start < b.start; });
    return notes;
}

float masterLevel(int64_t frame) {
    const double t = static_cast<double>(frame) / soundtrackRate;
    const double total =
        static_cast<double>(frameOfTick(sectionTick(sectionCount))) / soundtrackRate;
    const double fadeIn = std::min(t / 6.0, 1.0);
    const double fadeOut = std::clamp((total - t) / 40.0, 0.0, 1.0);
    return static_cast<float>(fadeIn * fadeOut);
}
