// Keeps exceptions from crossing the C interface: every exported host function runs its body
// through Guarded, which turns anything thrown into the function's sentinel result.
#ifndef TARN_API_GUARD_H
#define TARN_API_GUARD_H

#include <type_traits>

namespace tarn {

template <typename Body, typename Result = std::invoke_result_t<Body>>
Result Guarded(Result sentinel, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return sentinel;
  }
}

template <typename Body>
void Guarded(Body body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace tarn

#endif  // TARN_API_GUARD_H
