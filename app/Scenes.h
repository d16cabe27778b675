// The scene sequencer: nine scene routines, each returning the index of the scene to run next.
#pragma once

struct SceneState {
    float sweepOdds = 700.0f; // scene 4
    float sweepOdds5 = 1.0f;  // scene 5
    bool canvasSaved = false; // scene 5
    int crawlBudget = 0;      // scene 6
    int crawlCap = 100;       // scene 6
    unsigned char* canvas7 = nullptr;
    int crawlCount7 = 6000;
    float warpMix = 0.0f; // scene 7
    unsigned char* canvas8 = nullptr;
    float shuffleMix = 1.0f; // scene 8
};
extern SceneState sceneState;

constexpr int sceneCount = 9;
// The end tick of each scene: it returns the next index on the first frame at or past it.
extern const int sceneEndTicks[sceneCount];

// Runs scene index (0...8) for one frame; returns the next scene index (9 ends the show).
int runScene(int index);

int scene0();
int scene1();
int scene2();
int scene3();
int scene4();
int scene5();
int scene6();
int scene7();
int scene8();
