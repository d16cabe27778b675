// Scene 1: the dovari pictures soak into the picture one after another.
#pragma once

#include <cstdint>

struct ImageCascadeState {
    float cascadeCount = 100.0f; // pixel steps per call, rounded up
};
extern ImageCascadeState imageCascadeState;

void imageCascade(uint8_t* buffer, int width, int height);
