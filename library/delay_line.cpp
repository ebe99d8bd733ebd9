// Transport delay over a ring of (time, value) points, and its operator zzdlym.
#include "library/delay_line.h"

#include <cstdio>
#include <limits>

#include "library/library_messages.h"
#include "runtime/runtime.h"
#include "tarn/tarnsim_library.h"

namespace tarn {
namespace {

// Time of the sentinel point that stands for "before the run".
constexpr double kMostNegativeTime = -std::numeric_limits<double>::max();
// Room for the negative-delay message with any double printed in full.
constexpr size_t kMessageCapacity = 512;

void WriteMessage(uint32_t instance, const char* text) {
  TarnSimRuntime::GetInstance()->TarnSimWriteMessage(instance, text);
}

}  // namespace

DelayLine::DelayLine(int32_t size, double* times, double* values, int32_t* newest, int32_t* cursor,
                     TarnLogical* flag)
    : size_(size), times_(times), values_(values), newest_(newest), cursor_(cursor), flag_(flag) {}

void DelayLine::Store(int32_t index, double t, double x) {
  times_[index] = t;
  values_[index] = x;
}

int32_t DelayLine::PlaceAfter(int32_t index, double t, double x) {
  const int32_t next = Next(index);
  if (index == *newest_) Store(next, t, x);
  return next;
}

void DelayLine::Evaluate(const EvaluationState& state, double x, double initialValue, double delay,
                         double minimumSpacing, double* output) {
  if (delay < 0) {
    char text[kMessageCapacity];
    std::snprintf(text, sizeof text, kNegativeDelayFormat, delay);
    WriteMessage(state.instance, text);
    *cursor_ = *newest_;
    return;
  }
  if (state.initializing) {
    if (size_ < 2) {
      WriteMessage(state.instance, kInsufficientDelayArea);
      return;
    }
    Store(0, kMostNegativeTime, initialValue);
    Store(1, state.t, initialValue);
    *newest_ = 1;
    *cursor_ = 0;
  }
  // Until an initialisation has laid out the ring, the model's storage may hold anything; indexes
  // outside the ring are never followed.
  const auto inRing = [this](int32_t index) { return index >= 0 && index < size_; };
  if (size_ < 2 || !inRing(*newest_) || !inRing(*cursor_)) return;

  if (state.stepStart) {
    *flag_ = 0;
    if (state.t - times_[*newest_] > minimumSpacing) {
      *newest_ = Next(*newest_);
      Store(*newest_, state.t, x);
    }
  }
  if (*flag_ != 0) Store(*newest_, state.t, x);

  // Find the points c and d = c + 1 with times[c] < target <= times[d], starting from the cursor.
  const double target = state.t - delay;
  int32_t c = *cursor_;
  while (target <= times_[c]) {
    c = Previous(c);
    if (c == *newest_) {
      WriteMessage(state.instance, kInsufficientDelayArea);
      return;
    }
  }
  int32_t d = PlaceAfter(c, state.t, x);
  while (target > times_[d]) {
    c = d;
    d = PlaceAfter(c, state.t, x);
  }
  *cursor_ = c;
  // Anchored at d, so that a target on a stored point returns its value exactly.
  *output = values_[d] + (target - times_[d]) * (values_[c] - values_[d]) / (times_[c] - times_[d]);
}

}  // namespace tarn

extern "C" void zzdlym(uint32_t instance, double x, double initialValue, double delay, int32_t n,
                       double minimumSpacing, double* output, double* times, double* values,
                       int32_t* newest, int32_t* cursor, TarnLogical* flag) {
  if (const auto state = tarn::EvaluationStateOf(instance)) {
    tarn::DelayLine line(n, times, values, newest, cursor, flag);
    line.Evaluate(*state, x, initialValue, delay, minimumSpacing, output);
  }
}
