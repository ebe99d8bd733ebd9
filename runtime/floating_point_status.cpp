// Floating-point status over the C++ <cfenv> flags; on x86-64 the flags are cleared directly.
#include "runtime/floating_point_status.h"

#include <cfenv>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace tarn {

#if defined(__x86_64__)
namespace {
// The six exception flags of MXCSR, the SSE control and status register.
constexpr unsigned int kSseExceptionFlags = 0x3f;
}  // namespace

// feclearexcept stores and reloads the whole x87 environment to clear its flags, which costs more
// than a short evaluation of a model; fnclex clears the x87 flags alone.
void ClearFloatingPointStatus() {
  asm volatile("fnclex" ::: "memory");
  _mm_setcsr(_mm_getcsr() & ~kSseExceptionFlags);
}
#else
void ClearFloatingPointStatus() { std::feclearexcept(FE_ALL_EXCEPT); }
#endif

bool FloatingPointFaultRaised() {
  return std::fetestexcept(FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID) != 0;
}

bool FloatingPointFlagOtherThanInexactRaised() {
  return std::fetestexcept(FE_ALL_EXCEPT & ~FE_INEXACT) != 0;
}

}  // namespace tarn
