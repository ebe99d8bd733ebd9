// tarn-sim: command-line host of the Tarn library. Loads the model, creates an instance and prints
// a summary of the model's symbol table: symbol counts, the control block with its values and the
// dosing parameters.
#include <cinttypes>
#include <cstdio>
#include <initializer_list>

#include "tarn/tarn.h"

namespace {

const char* SymbolTypeName(TarnSymbolType type) {
  switch (type) {
    case TARN_SYMBOL_INDEPENDENT: return "independent variable";
    case TARN_SYMBOL_INDEPENDENT_INITIAL: return "initial time";
    case TARN_SYMBOL_STATE: return "state";
    case TARN_SYMBOL_DERIVATIVE: return "derivative";
    case TARN_SYMBOL_INITIAL_CONDITION: return "initial condition";
    case TARN_SYMBOL_VARIABLE: return "variable";
    case TARN_SYMBOL_COMM_INTERVAL: return "communication interval";
    case TARN_SYMBOL_ALGORITHM: return "algorithm";
    case TARN_SYMBOL_STEPS_PER_INTERVAL: return "steps per interval";
    case TARN_SYMBOL_MAX_STEP: return "maximum step";
    case TARN_SYMBOL_MIN_STEP: return "minimum step";
    case TARN_SYMBOL_ERROR_FLAG: return "error flag";
    case TARN_SYMBOL_RUNTIME_FLAG: return "runtime flag";
    case TARN_SYMBOL_INTEGRATION_CONTROL: return "integration control";
    default: return "invalid";
  }
}

void PrintValue(uint32_t instance, uint32_t index) {
  const char* name = TarnGetSymbolName(index);
  switch (TarnGetSymbolDatatype(index)) {
    case TARN_DATA_DOUBLE:
      std::printf("  %-12s %.10g\n", name, TarnGetDouble(instance, index));
      break;
    case TARN_DATA_LONG:
      std::printf("  %-12s %" PRId32 "\n", name, TarnGetLong(instance, index));
      break;
    case TARN_DATA_LOGICAL:
      std::printf("  %-12s %s\n", name, TarnGetBool(instance, index) ? "true" : "false");
      break;
    default:
      std::printf("  %-12s (%s)\n", name, SymbolTypeName(TarnGetSymbolType(index)));
      break;
  }
}

}  // namespace

int main() {
  TarnInitialize();
  const uint32_t instance = TarnCreate();
  if (instance == 0) {
    std::fprintf(stderr, "tarn-sim: could not create a model instance\n");
    return 1;
  }

  const uint32_t symbolCount = TarnGetNumberSymbols();
  uint32_t countByType[TARN_SYMBOL_INVALID + 1] = {};
  uint32_t parameterCount = 0;
  for (uint32_t index = 1; index <= symbolCount; ++index) {
    ++countByType[TarnGetSymbolType(index)];
    TarnSymbolInfo info;
    if (TarnGetSymbolInfo(index, &info) && info.symbolType == TARN_SYMBOL_VARIABLE &&
        info.attributes[1] != 0 && info.attributes[10] == 0) {
      ++parameterCount;
    }
  }
  std::printf("Tarn %" PRIu32 ".%" PRIu32 ": %" PRIu32 " symbols, %" PRIu32 " states, %" PRIu32
              " variables (%" PRIu32 " constants and parameters), %" PRIu32
              " derivative and %" PRIu32 " discrete sections\n",
              TarnGetVersion() >> 16, TarnGetVersion() & 0xffff, symbolCount,
              countByType[TARN_SYMBOL_STATE], countByType[TARN_SYMBOL_VARIABLE], parameterCount,
              TarnGetNumberDerivativeSections(), TarnGetNumberDiscreteSections());

  std::printf("\nControl block:\n");
  for (uint32_t index = TarnGetSymbolIndex("cint"); index != 0 && index <= symbolCount; ++index) {
    PrintValue(instance, index);
  }

  std::printf("\nDosing and body:\n");
  for (const char* name : {"tstop", "idose", "pdose", "conc", "pdstart", "pdlength", "ppuls",
                           "bwpre", "bw_n0", "breastfed", "formulafed"}) {
    if (uint32_t index = TarnGetSymbolIndex(name)) PrintValue(instance, index);
  }

  TarnFinalize();
  return 0;
}
