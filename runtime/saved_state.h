// A saved state of an instance (TarnSaveState): every symbol's value and what the solver needs to
// go on from them.
#ifndef TARN_RUNTIME_SAVED_STATE_H
#define TARN_RUNTIME_SAVED_STATE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "solver/ode_solver.h"
#include "tarn/tarn.h"

struct TarnState {
  uint32_t symbolCount = 0;  // N of the model the state was saved from
  // [N + 1] the bytes of symbol i (empty for an unbound symbol), and where the symbol lived in the
  // saved instance: borrowed pointers of saved events are moved into the restoring instance's
  // storage by their offset within their symbol.
  std::vector<std::vector<std::byte>> values;
  std::vector<const void*> addresses;
  // Empty when the instance had not been run (its solver had no integrator).
  std::optional<tarn::OdeSolver::RunRecord> run;
  uint32_t intervalCount = 0;
};

namespace tarn {

// The byte form of a state, for a host to keep or send to another process of the same build, and
// a state made from it again: null when the bytes are not a whole, well-formed state.
std::vector<std::byte> StateToBytes(const TarnState& state);
std::unique_ptr<TarnState> StateFromBytes(const std::byte* bytes, size_t size);

}  // namespace tarn

#endif  // TARN_RUNTIME_SAVED_STATE_H
