// The hint tarn-sim adds to a failed run of an explicit fixed-step method (Euler, RK2, RK4, AB2).
#ifndef TARN_TOOLS_EXPLICIT_STEP_HINT_H
#define TARN_TOOLS_EXPLICIT_STEP_HINT_H

#include <cstdint>
#include <string>

namespace tarn::sim {

// After a run of an explicit fixed-step method that ended in an exception: the step the method
// needs on this model, estimated from the fastest mode at the start of the run, and the ways to
// get there; empty for the other methods. Runs the initial section again, so the instance is
// left at the start of a run.
std::string ExplicitStepHint(uint32_t instance);

}  // namespace tarn::sim

#endif  // TARN_TOOLS_EXPLICIT_STEP_HINT_H
