// The model language's pure operators: numeric functions, switches and limiters, sources, array
// operators, and the entries that generated code may reference but that have no effect.
#include <cmath>
#include <cstring>

#include "library/discrete_functions.h"
#include "library/sources.h"
#include "tarn/tarnsim_library.h"

using tarn::DiscreteFunctions;
using tarn::Sources;

extern "C" {

// ---- Pure numeric operators -------------------------------------------------------------------

double aint(double x) { return std::trunc(x); }

double anint(double x) {
  if (x >= -0.5) return std::trunc(x + 0.5);
  // Below -0.5 the nearest whole number, halves away from zero as nint rounds them. Adding and
  // truncating would round -2.7 to -2.
  return std::round(x);
}

int32_t nint(double x) { return tarn::TruncateToInt32(x > 0 ? x + 0.5 : x - 0.5); }

int32_t zzint(double x) { return tarn::TruncateToInt32(x); }

double dble(float x) { return x; }

double real(double x) { return static_cast<float>(x); }

double dim(double a, double b) { return a > b ? a - b : 0; }

double mod(double a, double b) { return a - b * std::trunc(a / b); }

double sgn(double x) { return DiscreteFunctions::Sgn(x); }

double sign(double a, double b) { return DiscreteFunctions::Sign(a, b); }

double ssqrt(double x) { return DiscreteFunctions::Sgn(x) * std::sqrt(std::fabs(x)); }

double zzfsqrt(double x, double e) {
  if (e > std::fabs(x)) return x / std::sqrt(e);
  return DiscreteFunctions::Sign(std::sqrt(std::fabs(x)), x);
}

double zzmax(double a, double b) { return a > b ? a : b; }

double zzmin(double a, double b) { return b > a ? a : b; }

// ---- Switches and limiters --------------------------------------------------------------------

double bound(double lower, double upper, double x) {
  return DiscreteFunctions::Limiter(lower, upper, x, false);
}

double dead(double lower, double upper, double x) {
  return DiscreteFunctions::DeadSpace(lower, upper, x);
}

double fcnsw(double p, double a, double b, double c) {
  return DiscreteFunctions::FunctionSwitch(p, a, b, c);
}

double qntzr(double q, double x) { return DiscreteFunctions::Quantizer(q, x); }

int32_t lsw(TarnLogical l, int32_t i, int32_t j) {
  return DiscreteFunctions::LogicalSwitch(l, i, j);
}

double rsw(TarnLogical l, double a, double b) { return DiscreteFunctions::RealSwitch(l, a, b); }

// ---- Sources ----------------------------------------------------------------------------------

double step(double t, double tz) { return Sources::Step(t, tz); }

double ramp(double t, double tz) { return Sources::Ramp(t, tz); }

double pulse(double t, double tz, double p, double w) { return Sources::Pulse(t, tz, p, w); }

double harm(double t, double tz, double w, double p) { return Sources::Harmonic(t, tz, w, p); }

// ---- Array operators --------------------------------------------------------------------------

void seti(int32_t value, int32_t* array, int32_t n) {
  for (int32_t i = 0; i < n; ++i) array[i] = value;
}

void setr(double value, double* array, int32_t n) {
  for (int32_t i = 0; i < n; ++i) array[i] = value;
}

void xferbi(int32_t* destination, const int32_t* source, int32_t n) {
  if (n > 0) std::memmove(destination, source, static_cast<size_t>(n) * sizeof(int32_t));
}

void xferbr(double* destination, const double* source, int32_t n) {
  if (n > 0) std::memmove(destination, source, static_cast<size_t>(n) * sizeof(double));
}

void zzicst(double* destination, double value) { *destination = value; }

void zzstrcpy(char* destination, const char* source) {
  std::memmove(destination, source, std::strlen(source) + 1);
}

// ---- Operators that do nothing ----------------------------------------------------------------

void logd(...) {}
void usedbv(...) {}
void agetr(...) {}
void ageti(...) {}
void agetl(...) {}
void agetd(...) {}
void agetc(...) {}
void aputr(...) {}
void aputi(...) {}
void aputl(...) {}
void aputd(...) {}
void aputc(...) {}
void debug(...) {}
void initd(...) {}
void listd(...) {}
void zzlnr1(...) {}
void zzscal(...) {}
void zzsmo1(...) {}
void zzhold(...) {}
void zzsmpl(...) {}
void zznita(...) {}
void zzntlg(...) {}
void zznitd(...) {}

}  // extern "C"
