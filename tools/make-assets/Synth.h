// The soundtrack's instruments: each note is a voice with its own state that renders itself,
// block by block, into a stereo mix bus and an echo send bus.
#pragma once

#include <cstdint>

enum class Instrument { Pad, Bass, Bell, Arp, Lead, Kick, Snare, Hat, OpenHat, Riser };

struct NoteEvent {
    int64_t start = 0;  // frame the note begins at
    int64_t length = 0; // frames the key is held; the release follows
    Instrument instrument = Instrument::Pad;
    float frequency = 440; // Hz
    float velocity = 0.5f; // linear amplitude
    float pan = 0;         // -1 left .. 1 right
};

class Voice {
  public:
    explicit Voice(const NoteEvent& note);

    // Adds the note's frames in [blockStart, blockStart + frames) to dry and send (interleaved
    // stereo floats, frames x 2). Returns false once the note has fully died away.
    bool render(int64_t blockStart, int frames, float* dry, float* send);

  private:
    // Slowly changing values, worked out every few frames: amplitudes are interpolated between
    // two of these, the rest is held.
    struct Control {
        float amplitude[3] = {0, 0, 0};
        float coefficient = 0;  // low-pass coefficient
        double frequency = 0;   // Hz
        uint32_t increment = 0; // phase step per frame, 2^32 per turn
    };
    Control control(int64_t t) const; // at t frames after the start
    float envelope(int64_t t) const;
    // frames mono samples into out; amplitudes move in a straight line from `from` to `to`,
    // everything else is held at `from`.
    void renderChunk(const Control& from, const Control& to, int frames, float* out);

    NoteEvent note;
    int64_t end; // first frame after the release, relative to start
    float gainLeft, gainRight;
    float sendLevel;               // share of the note that also goes to the echo
    uint32_t phase[3] = {0, 0, 0}; // oscillator phases, 2^32 per turn
    float filter = 0, filter2 = 0; // low-pass states
    float previousNoise = 0;
    uint32_t noiseState;
};

// Frequency of a MIDI note number (69 = A 440 Hz).
float midiFrequency(float note);
