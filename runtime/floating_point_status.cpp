// Floating-point status over the C++ <cfenv> flags.
#include "runtime/floating_point_status.h"

#include <cfenv>

namespace tarn {

void ClearFloatingPointStatus() { std::feclearexcept(FE_ALL_EXCEPT); }

bool FloatingPointFaultRaised() {
  return std::fetestexcept(FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID) != 0;
}

bool FloatingPointFlagOtherThanInexactRaised() {
  return std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT) != 0;
}

}  // namespace tarn
