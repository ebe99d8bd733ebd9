// The bouncing-ball test model: symbol table, binding, derivative and bounce sections, run loop.
#include "support/bounce_model.h"

#include "tarn/tarnsim.h"

namespace tarn::test {

BounceModel::Block BounceModel::block;
std::array<double, BounceModel::kMaxBounces> BounceModel::bounceTimes{};
bool BounceModel::flagRaisedInEveryBounce = true;
bool BounceModel::scheduleReturnedFalse = true;

namespace {

using M = BounceModel;

const SymbolRow kRows[] = {
    {"t", TARN_DATA_DOUBLE, TARN_SYMBOL_INDEPENDENT, &M::block.t},
    {"y", TARN_DATA_DOUBLE, TARN_SYMBOL_STATE, &M::block.y},
    {"v", TARN_DATA_DOUBLE, TARN_SYMBOL_STATE, &M::block.v},
    {"z99999", TARN_DATA_DOUBLE, TARN_SYMBOL_DERIVATIVE, &M::block.yRate},
    {"z99998", TARN_DATA_DOUBLE, TARN_SYMBOL_DERIVATIVE, &M::block.vRate},
    {"z99997", TARN_DATA_DOUBLE, TARN_SYMBOL_INITIAL_CONDITION, &M::block.yInitial},
    {"z99996", TARN_DATA_DOUBLE, TARN_SYMBOL_INITIAL_CONDITION, &M::block.vInitial},
    {"g", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.gravity},
    {"restitution", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.restitution},
    {"tstop", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.tstop},
    {"crossingType", TARN_DATA_LONG, TARN_SYMBOL_VARIABLE, &M::block.crossingType},
    {"bounces", TARN_DATA_LONG, TARN_SYMBOL_VARIABLE, &M::block.bounces},
    {"lastBounce", TARN_DATA_DOUBLE, TARN_SYMBOL_VARIABLE, &M::block.lastBounce},
    {"bouncing", TARN_DATA_LOGICAL, TARN_SYMBOL_VARIABLE, &M::block.bouncing},
};
static_assert(sizeof kRows / sizeof kRows[0] == M::kControl - 1);

uint32_t Bind(uint32_t instance) {
  return BindModelSymbols(instance, kRows, M::kControl, &M::block.control);
}

void Bounce(M::Block& b) {
  M::flagRaisedInEveryBounce = M::flagRaisedInEveryBounce && b.bouncing != 0;
  if (b.bounces >= 0 && static_cast<uint32_t>(b.bounces) < M::kMaxBounces) {
    M::bounceTimes[static_cast<uint32_t>(b.bounces)] = b.t;
  }
  ++b.bounces;
  b.lastBounce = b.t;
  b.v = -b.restitution * b.v;
  // On the ground: the crossing function starts the next step at exactly zero and does not fire
  // again on the way up.
  b.y = 0;
}

void Derivative(uint32_t instance, uint32_t section) {
  M::Block& b = M::block;
  if (section == M::kBounceSection) {
    Bounce(b);
    return;
  }
  if (section != TARN_SECTION_DERIVATIVE) return;
  b.yRate = b.v;
  b.vRate = -b.gravity;
  const auto type = static_cast<TarnScheduleType>(b.crossingType);
  const double crossing = type == TARN_SCHEDULE_CROSSING_RISING ? -b.y : b.y;
  const bool scheduled = TarnSimScheduleEvent(instance, M::kBounceEvent, M::kBounceSection, type,
                                              crossing, &b.bouncing);
  M::scheduleReturnedFalse = M::scheduleReturnedFalse && !scheduled;
}

void Simulation(uint32_t instance) {
  M::Block& b = M::block;
  if (b.control.zzicon == 0) {
    zznits(instance, "");
    zzrset(instance);
  }
  while (!b.control.zzstopflag && !b.control.zzstepstop) {
    if (b.t >= b.tstop) zztrmt(static_cast<uint32_t>(b.control.zzinstidx), " ");
    TarnSimIntegrate(instance);
  }
}

}  // namespace

void BounceModel::Register() {
  M::block = M::Block{};
  M::bounceTimes.fill(0);
  M::flagRaisedInEveryBounce = true;
  M::scheduleReturnedFalse = true;
  TarnSimSetSystemInfo(M::kSymbolCount, 2, 0, 0, M::kControl - M::kGravity, 1, 1, Bind, Simulation,
                       Derivative, 0);
  RegisterModelSymbols(kRows, M::kControl);
}

}  // namespace tarn::test
