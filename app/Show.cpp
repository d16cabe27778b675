// Loading, stepping and drawing one show.
#include "app/Show.h"

void Show::loadPictures() {
    pictures.preloadImages();
    pictures.prepareImages();
}

bool Show::step(const FrameTime& time, FrameTarget target) {
    if (!finished()) sceneIndex = runScene(sceneIndex, time, target);
    return !finished();
}

void Show::drawPicture(FrameTarget target) const {
    blitDoubled(target);
}

void Show::blitDoubled(FrameTarget target) const {
    if (target.pixels != nullptr) ::blitDoubled(pictures.effectBuffer, target.pixels, target.pitch);
}
