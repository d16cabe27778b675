// The last 400 ticks: the picture is scaled down a little more every frame.
#pragma once

struct FadeToBlackState {
    float fadeLevel = 1.0f; // the factor applied this frame
};
extern FadeToBlackState fadeToBlackState;

// Works on effectBuffer.
void fadeToBlack();
