// The show as one value: the picture buffers, the sixteen pictures, the random sequence, the
// scene index and every effect's and scene's state. Nothing of a show lives anywhere else, so
// any number of shows can be made, stepped and dropped in one process, each giving the frames
// of a show run alone.
//
// Driving a show: make it, call loadPictures once (it reads the process's open pack), then
// call step once per frame with that frame's clock readings until it returns false; the frame
// of that last step is shown too:
//
//     Show show;
//     show.loadPictures();
//     for (bool more = true; more;) {
//         more = show.step(clockReadings(), {surfacePixels, pitch});
//         present();
//     }
//
// - A browser main loop makes one step per callback; a show keeps nothing on the stack.
// - A player that skips ahead steps with a null target (nothing is drawn, every effect still
//   runs), then drawPicture puts the current picture on its surface: the same pixels stepping
//   with a target would have left there.
// - An exporter makes a show per export, steps it and drops it; the destructor frees all.
//
// The show never reads a clock. The caller owns the pacing: in real time the readings come from
// the millisecond counter, in video mode from the frame count.
#pragma once

#include "app/SceneTable.h"
#include "effects/FadeToBlack.h"
#include "effects/ImageCascade.h"
#include "effects/NoiseBloom.h"
#include "effects/NoisyBlur.h"
#include "effects/Pictures.h"
#include "effects/PixelCrawl.h"
#include "effects/SineWarps.h"
#include "effects/SmearToNoise.h"

#include <cstdint>

// Where a frame is drawn: 480 rows of 640 4-byte pixels (0x00RRGGBB), pitch bytes apart. A null
// pixels pointer draws nothing.
struct FrameTarget {
    uint8_t* pixels = nullptr;
    int pitch = 640 * 4; // bytes, at least 2,560
};

// What the scenes carry from one frame to the next.
struct SceneState {
    float sweepOdds = 700.0f; // scene 4
    float sweepOdds5 = 1.0f;  // scene 5
    bool canvasSaved = false; // scene 5
    int crawlBudget = 0;      // scene 6
    int crawlCap = 100;       // scene 6
    uint8_t* canvas7 = nullptr;
    int crawlCount7 = 6000;
    float warpMix = 0.0f; // scene 7
    uint8_t* canvas8 = nullptr;
    float shuffleMix = 1.0f; // scene 8
};

// Every effect's state, one member per effect.
struct EffectStates {
    NoiseBloomState noiseBloom;
    ImageCascadeState imageCascade;
    SmearToNoiseState smearToNoise;
    NoisyBlurState noisyBlur;
    SineWarpState sineWarp;
    SineSweepState sineSweep;
    PixelCrawlState pixelCrawl;
    BreathingWarpState breathingWarp;
    FadeToBlackState fadeToBlack;
};

class Show {
  public:
    // A show at its first frame, its pictures black until loadPictures.
    Show() = default;
    Show(const Show&) = delete;
    Show& operator=(const Show&) = delete;

    // Loads the sixteen pictures from the process's pack and prepares their buffers; throws as
    // OImage does for a missing or unusable picture.
    void loadPictures();
    // The same, holding one decoded picture at a time and none after (a browser page, whose
    // memory is counted).
    void loadPicturesOneByOne() { pictures.loadImagesOneByOne(); }

    // Runs the current scene for one frame at the given clock readings and draws the picture
    // into target. On a scene's end tick the scene hands on to the next without drawing: the
    // target keeps the previous picture. Returns whether the show goes on; false once the last
    // scene has handed on (the caller still shows that frame, then stops).
    bool step(const FrameTime& time, FrameTarget target);
    // Draws the current picture, line-doubled, into target.
    void drawPicture(FrameTarget target) const;
    // Whether the last scene has handed on.
    bool finished() const { return sceneIndex >= sceneCount; }

    // Runs scene index (0 ... 8) for one frame without changing sceneIndex; returns the index
    // of the scene to run next (sceneCount ends the show).
    int runScene(int index, const FrameTime& time, FrameTarget target);

    // The state is open to tests and tools; during a show only step changes it.
    Pictures pictures;
    RandomSequence random;
    int sceneIndex = 0; // the scene routine to run next frame
    SceneState sceneState;
    EffectStates effects;

  private:
    EffectContext context(const FrameTime& time) { return {random, time, pictures}; }
    void blitDoubled(FrameTarget target) const;

    int scene0(const FrameTime& time, FrameTarget target);
    int scene1(const FrameTime& time, FrameTarget target);
    int scene2(const FrameTime& time, FrameTarget target);
    int scene3(const FrameTime& time, FrameTarget target);
    int scene4(const FrameTime& time, FrameTarget target);
    int scene5(const FrameTime& time, FrameTarget target);
    int scene6(const FrameTime& time, FrameTarget target);
    int scene7(const FrameTime& time, FrameTarget target);
    int scene8(const FrameTime& time, FrameTarget target);
};
