// The show's nine scenes on its clock: where each ends, and so where the next begins. The
// assets tool lays the soundtrack's sections out on the same ticks.
#pragma once

constexpr int sceneCount = 9;
// The end tick of each scene: it hands on to the next on the first frame at or past it. The
// last one is the end of the show.
inline constexpr int sceneEndTicks[sceneCount] = {12500, 19000, 25000, 27000, 41000,
                                                  42500, 47000, 59000, 63900};
