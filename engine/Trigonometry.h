// The show's own sine and cosine: the same bits on every compiler, C library and CPU, so that
// the warps' source rows and columns never depend on which libm the program was linked with.
#pragma once

namespace trig {

// sin x and cos x in double precision, error below one unit in the last place; NaN for an
// infinite or NaN argument. Pure functions: no state, no floating-point environment read.
double sin(double x);
double cos(double x);

// Reduces x by multiples of pi / 2: returns n and writes y[0] + y[1] = x - n pi / 2 with
// |y[0] + y[1]| <= pi / 4 (about), y[1] the tail below y[0]'s last place. For every finite x.
// Exposed for the tests.
int reducePiOver2(double x, double y[2]);

} // namespace trig
