// The engine's sines, cosines, arc tangent and powers. The C libraries of the
// platforms round these differently in the last bit now and then, and a last
// bit is enough to move a vertex across a pixel edge; the engine's frames must
// be the same bits on every platform, so it computes them with one
// implementation built from source (core/libm/README) instead.
#ifndef VANTOREL_CORE_MATHFN_H
#define VANTOREL_CORE_MATHFN_H

extern "C" {
double mth_sin(double x);
double mth_cos(double x);
float mth_sinf(float x);
float mth_cosf(float x);
double mth_atan2(double y, double x);
double mth_pow(double x, double y);
}

#endif
