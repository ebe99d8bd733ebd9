// The model's results pinned to the bit: the default run to t = 24 and the lactation run to
// t = 4320 (perchlorate in the mother's water and the infant's formula), each with DLSODES and
// with CVODE. After each run every computed double of the model (states, derivatives, initial
// conditions and every variable that is not a constant) must hold exactly the value recorded in
// pinned_outputs.inc. Rewriting the derivative section for speed must leave these untouched; a
// change of the model's results shows here, symbol by symbol, as the lines to record instead.
//
// The evaluations and library calls the runtime leaves out for a model with memoryless derivative
// sections must not show either: every algorithm runs with the model's declaration and without
// it, and every symbol holds the same bits at every output point.
#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "model/model_fixture.h"
#include "tarn/tarn.h"
#include "tarn/tarnsim.h"

namespace tarn::test {
namespace {

struct PinnedValue {
  const char* run;
  const char* symbol;
  double value;
};

constexpr PinnedValue kPinned[] = {
#define PINNED(run, symbol, value) {run, symbol, value},
#include "model/pinned_outputs.inc"
#undef PINNED
};

// Attribute flag 2 marks the model's constants, the table arrays among them.
constexpr std::size_t kConstantFlag = 1;

struct Actual {
  std::string symbol;
  double value;
};

class PinnedOutputsTest : public ModelTest {
 protected:
  // Every scalar double that a run computes, in index order.
  static std::vector<Actual> ComputedValues(uint32_t instance) {
    std::vector<Actual> values;
    const uint32_t count = TarnGetNumberSymbols();
    for (uint32_t index = 1; index <= count; ++index) {
      TarnSymbolInfo info{};
      if (!TarnGetSymbolInfo(index, &info)) continue;
      const bool computed = info.symbolType >= TARN_SYMBOL_STATE &&
                            info.symbolType <= TARN_SYMBOL_VARIABLE &&
                            info.attributes[kConstantFlag] == 0;
      if (!computed || info.dataType != TARN_DATA_DOUBLE || info.numberDimensions != 0) continue;
      values.push_back({info.name, TarnGetDouble(instance, index)});
    }
    return values;
  }

  // Runs to tstop with `algorithm` and compares with the values pinned for `run`. A difference is
  // reported as the line that would pin the new value.
  void RunAndCompare(const char* run, int32_t algorithm) const {
    TarnSetLong(instance_, Index("ialg"), algorithm);
    TarnStartBlocking(instance_);
    ASSERT_EQ(Double("t"), Double("tstop")) << run << " stopped early";

    std::vector<const PinnedValue*> pinned;
    for (const PinnedValue& value : kPinned) {
      if (std::string(value.run) == run) pinned.push_back(&value);
    }
    const std::vector<Actual> actual = ComputedValues(instance_);
    EXPECT_EQ(pinned.size(), actual.size()) << run << ": number of pinned values";
    int differences = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
      const bool same =
          i < pinned.size() && actual[i].symbol == pinned[i]->symbol &&
          std::bit_cast<uint64_t>(actual[i].value) == std::bit_cast<uint64_t>(pinned[i]->value);
      if (same) continue;
      ++differences;
      char line[160];
      std::snprintf(line, sizeof line, "PINNED(\"%s\", \"%s\", %a)", run, actual[i].symbol.c_str(),
                    actual[i].value);
      ADD_FAILURE() << line;
    }
    EXPECT_EQ(differences, 0) << run;
  }

  // Perchlorate in the drinking water of the mother and the infant's formula.
  void DosePerchlorate() const {
    SetDouble("pdose", 0.01);
    SetDouble("pdose_n", 0.001);
    SetDouble("conc", 5);
  }

  void UseLactationPeriod() const {
    SetDouble("cint", 1);
    SetDouble("tstop", 4320);
    DosePerchlorate();
  }
};

TEST_F(PinnedOutputsTest, DefaultRunWithDlsodes) { RunAndCompare("day_dlsodes", 14); }

TEST_F(PinnedOutputsTest, DefaultRunWithCvode) { RunAndCompare("day_cvode", 15); }

TEST_F(PinnedOutputsTest, LactationRunWithDlsodes) {
  UseLactationPeriod();
  RunAndCompare("lactation_dlsodes", 14);
}

TEST_F(PinnedOutputsTest, LactationRunWithCvode) {
  UseLactationPeriod();
  RunAndCompare("lactation_cvode", 15);
}

// One algorithm's run for the comparison with and without the declaration.
struct DeclarationCase {
  int32_t algorithm;
  double tstop;
  double cint;
  int32_t nstp;
};

void PrintTo(const DeclarationCase& c, std::ostream* out) {
  *out << "ialg " << c.algorithm << " to " << c.tstop << " h";
}

// Every symbol's bytes at every output point of a run, and after its end.
class MemorylessDeclarationTest : public PinnedOutputsTest,
                                  public ::testing::WithParamInterface<DeclarationCase> {
 protected:
  // Runs the case with pulsed perchlorate dosing, switched on and off between output points, and
  // a host write halfway (the water concentration, which changes the derivatives while dosing).
  std::vector<uint8_t> Record(bool declared) {
    const DeclarationCase& c = GetParam();
    TarnSimSetSystemProperties(declared ? TARN_SYSTEM_MEMORYLESS_DERIVATIVES : 0);
    snapshot_->Restore(instance_);
    TarnSetLong(instance_, Index("ialg"), c.algorithm);
    TarnSetLong(instance_, Index("nstp"), c.nstp);
    SetDouble("cint", c.cint);
    SetDouble("tstop", c.tstop);
    DosePerchlorate();
    SetDouble("conc", 2);
    TarnSetBool(instance_, Index("ppuls"), 1);
    SetDouble("pdstart", 0.33 * c.tstop);
    SetDouble("pdlength", 0.2 * c.tstop);

    recorded_.clear();
    hostWritten_ = false;
    TarnAddTickCallbackFunction(instance_, 0, &RecordOutputPoint);
    TarnStartBlocking(instance_);
    TarnRemoveTickCallbackFunction(instance_, 0, &RecordOutputPoint);
    EXPECT_EQ(Double("t"), c.tstop) << "stopped early";
    EXPECT_TRUE(hostWritten_);
    AppendSymbols(instance_);
    TarnSimSetSystemProperties(TARN_SYSTEM_MEMORYLESS_DERIVATIVES);
    return recorded_;
  }

 private:
  static void RecordOutputPoint(uint32_t instance, uint32_t, TarnTickType type) {
    if (type != TARN_TICK_OUTPUT) return;
    AppendSymbols(instance);
    const uint32_t t = TarnGetSymbolIndex("t");
    if (!hostWritten_ &&
        TarnGetDouble(instance, t) >= 0.5 * TarnGetDouble(instance, TarnGetSymbolIndex("tstop"))) {
      TarnSetDouble(instance, TarnGetSymbolIndex("conc"), 5);
      hostWritten_ = true;
    }
  }

  // The bytes of every symbol (the model's arrays are of doubles).
  static void AppendSymbols(uint32_t instance) {
    const uint32_t count = TarnGetNumberSymbols();
    for (uint32_t index = 1; index <= count; ++index) {
      TarnDataType dataType;
      TarnSymbolValue value;
      uint32_t extents[6] = {};
      std::memset(&value, 0, sizeof value);
      if (!TarnGetSymbolValue(instance, index, &dataType, &value, extents)) continue;
      const auto* bytes = reinterpret_cast<const uint8_t*>(&value);
      std::size_t size = sizeof value;
      if (extents[0] != 0) {
        bytes = static_cast<const uint8_t*>(value.address);
        size = extents[0] * sizeof(double);
      }
      recorded_.insert(recorded_.end(), bytes, bytes + size);
    }
  }

  static inline std::vector<uint8_t> recorded_;
  static inline bool hostWritten_ = false;
};

TEST_P(MemorylessDeclarationTest, EverySymbolAtEveryOutputPointIsTheSameToTheBit) {
  const std::vector<uint8_t> undeclared = Record(false);
  const std::vector<uint8_t> declared = Record(true);
  ASSERT_EQ(declared.size(), undeclared.size());
  const std::size_t first =
      std::mismatch(declared.begin(), declared.end(), undeclared.begin()).first - declared.begin();
  EXPECT_EQ(first, declared.size()) << "first different byte";
}

// The runtime's methods only over half an hour (RK4 and Euler need steps of 5e-5 h on this
// model); the libraries over the default day and the lactation period.
INSTANTIATE_TEST_SUITE_P(
    Algorithms, MemorylessDeclarationTest,
    ::testing::Values(DeclarationCase{1, 0.5, 0.05, 10}, DeclarationCase{2, 0.5, 0.05, 10},
                      DeclarationCase{3, 0.5, 0.05, 1000}, DeclarationCase{4, 0.5, 0.05, 1000},
                      DeclarationCase{5, 0.5, 0.05, 1000}, DeclarationCase{8, 0.5, 0.05, 10},
                      DeclarationCase{9, 0.5, 0.05, 10}, DeclarationCase{12, 0.5, 0.05, 10},
                      DeclarationCase{13, 0.05, 0.005, 10}, DeclarationCase{14, 24, 0.05, 10},
                      DeclarationCase{15, 24, 0.05, 10}, DeclarationCase{14, 4320, 1, 10},
                      DeclarationCase{15, 4320, 1, 10}));

}  // namespace
}  // namespace tarn::test
