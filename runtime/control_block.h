// The run-time control symbols of a model, reached by their fixed position after the model's other
// variables. The runtime reads and writes them by position, never by name.
#ifndef TARN_RUNTIME_CONTROL_BLOCK_H
#define TARN_RUNTIME_CONTROL_BLOCK_H

#include <atomic>
#include <cstdint>

namespace tarn {

// Position of each control symbol in the block, and its storage type.
enum class Control : uint32_t {
  kCint = 0,         // double: communication interval
  kIalg = 1,         // long: integration algorithm
  kNstp = 2,         // long: steps per communication interval
  kMaxt = 3,         // double: maximum step size
  kMint = 4,         // double: minimum step size
  kZzierr = 5,       // logical: minimum step violated
  kZzstopflag = 6,   // logical: stop request
  kZzrnfl = 7,       // logical
  kZznist = 8,       // long
  kZznblk = 9,       // long
  kZzfrfl = 10,      // logical
  kZzjefl = 11,      // logical
  kZzndst = 12,      // long
  kZzicon = 13,      // long: continue (skip the initial section)
  kZzicfl = 14,      // logical
  kZznavr = 15,      // long
  kZzinstidx = 16,   // long: instance number of the run
  kZzstepstop = 17,  // logical: end the dynamic loop after the current pass
  kNciout = 18,      // long: communication intervals per output
  kCioitg = 19,      // long: current integration order
  kCjvitg = 20,      // logical
  kCssitg = 21,      // double: current actual step size
  kDpsitg = 22,      // logical
  kEcsitg = 23,      // logical
  kFdeitg = 24,      // logical
  kMxoitg = 25,      // long: maximum integration order
  kNrwitg = 26,      // logical
  kNxeitg = 27,      // logical
  kTjnitg = 28,      // double: Jacobian nonlinearity threshold
  kTsmitg = 29,      // logical
  kWeditg = 30,      // logical: write event descriptions
  kWesitg = 31,      // logical: write error summary (statistics)
  kWnditg = 32,      // logical
  kWxditg = 33,      // logical
  kCieitg = 34,      // logical: communication interval on event
  kUbwitg = 35,      // long: Jacobian upper bandwidth
  kLbwitg = 36,      // long: Jacobian lower bandwidth
  kOmfitg = 37,      // long: ODEPACK method flag
  kCmd = 38,         // long
  kDis = 39,         // long
  kNdbug = 40,       // long: number of debug dumps
  kPlt = 41,         // long
  kPrn = 42,         // long
  kMalprn = 43,      // long
  kRrr = 44,         // long
  kSave = 45,        // long
  kZzticg = 46,      // double: initial value of the independent variable
};

inline constexpr uint32_t kControlSymbolCount = 47;

// The control block of one instance: the address-table entries of its 47 control symbols. Empty
// (every accessor null) when the model registered no complete control block.
class ControlBlock {
 public:
  ControlBlock() = default;
  // `entries` is the address-table entry of the first control symbol (cint).
  explicit ControlBlock(void** entries) : entries_(entries) {}

  bool IsBound() const { return entries_ != nullptr; }
  void** Entries() const { return entries_; }
  void* Address(Control symbol) const {
    return entries_ ? entries_[static_cast<uint32_t>(symbol)] : nullptr;
  }

  double* Double(Control symbol) const { return static_cast<double*>(Address(symbol)); }
  int32_t* Long(Control symbol) const { return static_cast<int32_t*>(Address(symbol)); }
  uint8_t* Logical(Control symbol) const { return static_cast<uint8_t*>(Address(symbol)); }

  // Writes a logical control symbol, or the lowest byte of a long one (the run flags are written
  // as single bytes). Nothing when the symbol is not bound. The flags are accessed atomically:
  // the host's thread sets the stop flag while the worker polls and clears it.
  void SetFlag(Control symbol, uint8_t value) const {
    if (auto* byte = static_cast<uint8_t*>(Address(symbol))) {
      std::atomic_ref<uint8_t>(*byte).store(value, std::memory_order_relaxed);
    }
  }
  // Reads a logical control symbol, or the lowest byte of a long one; 0 when not bound.
  uint8_t Flag(Control symbol) const {
    auto* byte = static_cast<uint8_t*>(Address(symbol));
    return byte ? std::atomic_ref<uint8_t>(*byte).load(std::memory_order_relaxed) : 0;
  }

 private:
  void** entries_ = nullptr;  // borrowed: points into the instance's address table
};

class IntegratorSettings;

// Points every setting of `settings` at its control symbol in `control`; a setting whose symbol
// is not bound keeps what it pointed at.
void BindSettings(IntegratorSettings& settings, const ControlBlock& control);

}  // namespace tarn

#endif  // TARN_RUNTIME_CONTROL_BLOCK_H
