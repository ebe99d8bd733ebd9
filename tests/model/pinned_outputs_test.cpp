// The model's results pinned to the bit: the default run to t = 24 and the lactation run to
// t = 4320 (perchlorate in the mother's water and the infant's formula), each with DLSODES and
// with CVODE. After each run every computed double of the model (states, derivatives, initial
// conditions and every variable that is not a constant) must hold exactly the value recorded in
// pinned_outputs.inc. Rewriting the derivative section for speed must leave these untouched; a
// change of the model's results shows here, symbol by symbol, as the lines to record instead.
#include <bit>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model/model_fixture.h"
#include "tarn/tarn.h"

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

}  // namespace
}  // namespace tarn::test
