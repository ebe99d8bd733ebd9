// Transport delay over a ring of (time, value) points that the model owns.
//
// Layout: times[0 .. size-1] and values[0 .. size-1] form one ring; *newest is the index of the
// newest point and the place after it (modulo size) holds the oldest one once the ring has been
// filled; *cursor remembers where the last lookup ended. Initialisation leaves two points: a
// sentinel at the most negative double time and the start point, both holding the initial value,
// so the output is the initial value until the delay has passed.
#ifndef TARN_LIBRARY_DELAY_LINE_H
#define TARN_LIBRARY_DELAY_LINE_H

#include <cstdint>

#include "library/evaluation_state.h"
#include "tarn/tarn_types.h"

namespace tarn {

class DelayLine {
 public:
  // Borrows the model's ring storage of `size` points and its bookkeeping.
  DelayLine(int32_t size, double* times, double* values, int32_t* newest, int32_t* cursor,
            TarnLogical* flag);
  DelayLine(const DelayLine&) = delete;
  DelayLine& operator=(const DelayLine&) = delete;

  // Sets *output to x as it was `delay` time units before state.t. While initializing the ring
  // restarts from initialValue. At a step start the point (t, x) is recorded when it lies more
  // than minimumSpacing after the newest one; outside a step start a set flag makes the newest
  // point follow (t, x). A negative delay, a ring of fewer than two points or a lookup older
  // than the ring leaves *output unchanged and writes a status message.
  void Evaluate(const EvaluationState& state, double x, double initialValue, double delay,
                double minimumSpacing, double* output);

 private:
  int32_t Next(int32_t index) const { return index + 1 == size_ ? 0 : index + 1; }
  int32_t Previous(int32_t index) const { return index == 0 ? size_ - 1 : index - 1; }
  void Store(int32_t index, double t, double x);
  // The place after `index`; after the newest point it first receives the present point, so
  // that a lookup between the newest point and now interpolates towards x.
  int32_t PlaceAfter(int32_t index, double t, double x);

  const int32_t size_;
  double* const times_;      // borrowed
  double* const values_;     // borrowed
  int32_t* const newest_;    // borrowed
  int32_t* const cursor_;    // borrowed
  TarnLogical* const flag_;  // borrowed
};

}  // namespace tarn

#endif  // TARN_LIBRARY_DELAY_LINE_H
