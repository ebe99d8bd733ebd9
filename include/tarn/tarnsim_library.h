/* Tarn model-language operator library: C-linkage functions that generated model code calls.
 * Included by tarnsim.h.
 *
 * Types: `long` of the model language is int32_t, a logical is TarnLogical (one byte, 0 or 1,
 * any non-zero byte reads as true), reals are doubles. Pointer arguments address storage that the
 * model owns (one set per call site for the operators with memory); they must not be null.
 *
 * Operators that take an instance number do nothing when no instance of that number exists.
 * Operators with memory update it only in the evaluation at the start of an integration step,
 * so the intermediate stages of a multi-stage step never move it.
 *
 * Threads: call these from model code, on the thread that runs the simulation. Tables and the
 * random generator keep no per-instance state: the generator's one state is shared by every
 * instance without a lock. */
#ifndef TARN_TARNSIM_LIBRARY_H
#define TARN_TARNSIM_LIBRARY_H

#include <stdint.h>

#include "tarn/tarn_export.h"
#include "tarn/tarn_types.h"

/* Parameter list of the operators that accept and ignore whatever generated code passes. */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 202311L)
#define TARN_IGNORED_ARGUMENTS ...
#else
#define TARN_IGNORED_ARGUMENTS
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Pure numeric operators ---------------------------------------------------------------- */

/* Integer part of x, truncated toward zero. */
TARN_API double aint(double x);
/* Nearest whole number: trunc(x + 0.5) for x >= -0.5; below, halves round away from zero. */
TARN_API double anint(double x);
/* Nearest integer, halves away from zero; saturates at the int32 range, NaN gives 0. */
TARN_API int32_t nint(double x);
/* x truncated toward zero; saturates at the int32 range, NaN gives 0. */
TARN_API int32_t zzint(double x);
/* x widened to double. */
TARN_API double dble(float x);
/* x rounded to single precision, returned as double. */
TARN_API double real(double x);
/* Positive difference: a - b if a > b, else 0. */
TARN_API double dim(double a, double b);
/* a - b * trunc(a / b): remainder with the sign of a. */
TARN_API double mod(double a, double b);
/* 1 if x > 0, -1 if x < 0, else 0 (also for NaN). */
TARN_API double sgn(double x);
/* Magnitude of a with the sign of b: |a| if b > 0, -|a| if b < 0, 0 if b is 0 or NaN. */
TARN_API double sign(double a, double b);
/* Signed square root: sgn(x) * sqrt(|x|). */
TARN_API double ssqrt(double x);
/* The model language's fsqrt: x / sqrt(e) when e > |x|, else sqrt(|x|) with the sign of x.
 * Named with the zz prefix because the C library's math header declares its own fsqrt. */
TARN_API double zzfsqrt(double x, double e);
/* a if a > b, else b (ties and NaN give b). */
TARN_API double zzmax(double a, double b);
/* a if b > a, else b (ties and NaN give b). */
TARN_API double zzmin(double a, double b);

/* ---- Switches and limiters ------------------------------------------------------------------ */

/* x limited to [lower, upper]; lower when upper <= lower. */
TARN_API double bound(double lower, double upper, double x);
/* Dead zone: 0 inside (lower, upper], else the distance of x beyond the nearer edge. */
TARN_API double dead(double lower, double upper, double x);
/* a if p < 0, c if p > 0, b otherwise (p = 0 or NaN). */
TARN_API double fcnsw(double p, double a, double b, double c);
/* x rounded to the nearest multiple of q (halves away from zero); x itself when q = 0. */
TARN_API double qntzr(double q, double x);
/* i if l, else j. */
TARN_API int32_t lsw(TarnLogical l, int32_t i, int32_t j);
/* a if l, else b. */
TARN_API double rsw(TarnLogical l, double a, double b);

/* ---- Sources (t is the independent variable) ----------------------------------------------- */

/* 1 if t >= tz, else 0. */
TARN_API double step(double t, double tz);
/* t - tz if t >= tz, else 0. */
TARN_API double ramp(double t, double tz);
/* From tz on, 1 during the first w of every period p, else 0; 0 before tz. */
TARN_API double pulse(double t, double tz, double p, double w);
/* sin(w * (t - tz) + p) if t >= tz, else 0. */
TARN_API double harm(double t, double tz, double w, double p);

/* ---- Array operators ------------------------------------------------------------------------ */

/* Stores value into array[0 .. n-1]; nothing when n <= 0. */
TARN_API void seti(int32_t value, int32_t* array, int32_t n);
/* Stores value into array[0 .. n-1]; nothing when n <= 0. */
TARN_API void setr(double value, double* array, int32_t n);
/* Copies n integers from source to destination (overlap allowed); nothing when n <= 0. */
TARN_API void xferbi(int32_t* destination, const int32_t* source, int32_t n);
/* Copies n doubles from source to destination (overlap allowed); nothing when n <= 0. */
TARN_API void xferbr(double* destination, const double* source, int32_t n);
/* Stores value into *destination. */
TARN_API void zzicst(double* destination, double value);
/* Copies the zero-terminated source, terminator included, to destination (overlap allowed). */
TARN_API void zzstrcpy(char* destination, const char* source);

/* ---- Runtime operators ---------------------------------------------------------------------- */

/* Run initialisation of the instance, then execution state 3; text is not used. */
TARN_API void zznits(uint32_t instance, const char* text);
/* End of the initial section: derivatives evaluated in initialisation mode, initial conditions
 * copied into the states, zzstopflag cleared; a pending pre-step request sets zzstepstop. */
TARN_API void zzrset(uint32_t instance);
/* Ends the run: writes text as a status message unless zzstopflag is already set, then sets it. */
TARN_API void zztrmt(uint32_t instance, const char* text);
/* Writes text as a status message of the instance. */
TARN_API void disstr(uint32_t instance, const char* text);
/* Writes text as a status message of the instance. */
TARN_API void wem(uint32_t instance, const char* text);
/* Asks the instance's solver to restart integration; time becomes its next step size. */
TARN_API void zzrstart(uint32_t instance, double time);
/* One debugger tick of the execution manager; may throw the run's "debug stopped" exception. */
TARN_API void zzdebugtick(void);

/* ---- Operators with memory ------------------------------------------------------------------ */

/* Limited integrator: returns rate, or 0 after clamping *state into [lower, upper] when the state
 * is outside (lower, upper) and the rate drives it further out. */
TARN_API double zzlimf(double* state, double rate, double lower, double upper);
/* Backlash of half width halfWidth around x (instance 1's integrator); *memory holds the
 * position, starting from initialValue; *output receives it. */
TARN_API void zzbkls(double* output, double* memory, double initialValue, double halfWidth,
                     double x);
/* *output = y - *memory, where *memory (from *initialValue) takes y whenever x is outside
 * (lower, upper) and y moves further out. */
TARN_API void zzdlim(uint32_t instance, double* output, double* memory, const double* initialValue,
                     double x, double y, double lower, double upper);
/* Derivative estimate of x: slope between the last two step starts, initialSlope at the first. */
TARN_API void zzxdot(uint32_t instance, double x, double initialSlope, double* output,
                     double* previousX, double* previousT, double* slope);
/* Exponential switch with time constant tau: *output rises towards 1 while input is true and
 * falls towards 0 while it is false, continuous at every switch; evaluated at every call. */
TARN_API void zzexp(uint32_t instance, double tau, double initialValue, TarnLogical input,
                    TarnLogical* previousInput, double* output, double* switchTime, double* value);

/* ---- Operators that do nothing -------------------------------------------------------------- */

/* Entries that generated code may reference; they read no argument and return nothing. */
TARN_API void logd(TARN_IGNORED_ARGUMENTS);
TARN_API void usedbv(TARN_IGNORED_ARGUMENTS);
TARN_API void agetr(TARN_IGNORED_ARGUMENTS);
TARN_API void ageti(TARN_IGNORED_ARGUMENTS);
TARN_API void agetl(TARN_IGNORED_ARGUMENTS);
TARN_API void agetd(TARN_IGNORED_ARGUMENTS);
TARN_API void agetc(TARN_IGNORED_ARGUMENTS);
TARN_API void aputr(TARN_IGNORED_ARGUMENTS);
TARN_API void aputi(TARN_IGNORED_ARGUMENTS);
TARN_API void aputl(TARN_IGNORED_ARGUMENTS);
TARN_API void aputd(TARN_IGNORED_ARGUMENTS);
TARN_API void aputc(TARN_IGNORED_ARGUMENTS);
TARN_API void debug(TARN_IGNORED_ARGUMENTS);
TARN_API void initd(TARN_IGNORED_ARGUMENTS);
TARN_API void listd(TARN_IGNORED_ARGUMENTS);
TARN_API void zzlnr1(TARN_IGNORED_ARGUMENTS);
TARN_API void zzscal(TARN_IGNORED_ARGUMENTS);
TARN_API void zzsmo1(TARN_IGNORED_ARGUMENTS);
TARN_API void zzhold(TARN_IGNORED_ARGUMENTS);
TARN_API void zzsmpl(TARN_IGNORED_ARGUMENTS);
TARN_API void zznita(TARN_IGNORED_ARGUMENTS);
TARN_API void zzntlg(TARN_IGNORED_ARGUMENTS);
TARN_API void zznitd(TARN_IGNORED_ARGUMENTS);

/* ---- Tables --------------------------------------------------------------------------------- */

/* Linear (bi-, trilinear) interpolation in a table of 1 to 3 arguments, extended linearly beyond
 * the end breakpoints. array holds the nx (nx*ny, nx*ny*nz) values, first argument fastest, then
 * the nx, ny, nz increasing breakpoints. A one-argument table passes ny = nz = 0, y = z = 0.
 * Returns 0 for another dimension count or when an extent in use is below 2. */
TARN_API double zztable(const double* array, int32_t dimensions, int32_t nx, int32_t ny, int32_t nz,
                        double x, double y, double z);

/* ---- Delays, random numbers and noise ------------------------------------------------------- */

/* Transport delay: *output = x as it was delay time units ago (initialValue before that), kept
 * in a ring of n (time, value) points at least minimumSpacing apart. *newest, *cursor and *flag
 * are the ring's bookkeeping; a set *flag makes the newest point follow x between step starts.
 * Writes a status message for a negative delay or a ring too small. */
TARN_API void zzdlym(uint32_t instance, double x, double initialValue, double delay, int32_t n,
                     double minimumSpacing, double* output, double* times, double* values,
                     int32_t* newest, int32_t* cursor, TarnLogical* flag);
/* Uniformly distributed number between a and b, never a itself. */
TARN_API double zzurv(double a, double b);
/* Approximately normal number of the given mean and standard deviation (sum of twelve uniforms). */
TARN_API double zzgrv(double mean, double deviation);
/* Seeds the shared generator; it moves for seeds 1 .. 2147483646. */
TARN_API void zzgausi(int32_t seed);
/* Seeds the shared generator; it moves for seeds 1 .. 2147483646. */
TARN_API void zzunifi(int32_t seed);
/* Ornstein-Uhlenbeck noise of time constant tau and deviation sigma around mean: *noise is the
 * deviation from the mean, advanced at each step start; *output = mean + *noise. */
TARN_API void zzou(uint32_t instance, double tau, double mean, double sigma, double* noise,
                   double* output, double* lastTime);

#ifdef __cplusplus
}
#endif

#endif /* TARN_TARNSIM_LIBRARY_H */
