// What a viewer asks of a playing show through the display (keys, the mouse on the timeline),
// and what the display is told to show on its timeline. Plain values, no platform's types.
#pragma once

#include <array>
#include <cstdint>

struct ViewerCommand {
    enum Kind {
        TogglePause, // Space, k
        SeekBy,      // value: seconds, forward when positive (arrows, j, l)
        SeekTo,      // value: a tick (Home: 0; a click or drag on the timeline)
        StepFrame,   // value: +1 or -1 video frames, while paused (. and ,)
        GoToScene,   // value: a scene index, 0 ... 8 (keys 1 to 9)
        SceneBy,     // value: +1 the next scene, -1 the previous one (Page Down, Page Up)
        SaveFrame,   // s
        ToggleMute,  // m
    };
    Kind kind = TogglePause;
    int value = 0;
};

inline bool operator==(const ViewerCommand& a, const ViewerCommand& b) {
    return a.kind == b.kind && a.value == b.value;
}

// The timeline's contents: a bar across the bottom of the picture with a mark at each scene's
// start, the position, the time as mm:ss of the whole length and the scene's number.
struct TimelineState {
    int ticks = 0;       // the position shown
    int lengthTicks = 0; // the whole show; 0: no timeline
    int ticksPerSecond = 71;
    std::array<int, 9> sceneStarts{}; // ticks
    int scene = 1;                    // the number shown, 1 ... 9
    bool paused = false;              // shown, with a pause mark, for as long as it holds
    bool reveal = false;              // shown for a while from now on (after a seek)
};

inline bool operator==(const TimelineState& a, const TimelineState& b) {
    return a.ticks == b.ticks && a.lengthTicks == b.lengthTicks &&
           a.ticksPerSecond == b.ticksPerSecond && a.sceneStarts == b.sceneStarts &&
           a.scene == b.scene && a.paused == b.paused && a.reveal == b.reveal;
}
