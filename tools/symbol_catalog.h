// The model's symbols as tarn-sim presents them: names of symbol and data types, which symbols a
// user may set (parameters, run settings, states), values parsed from and formatted as text with
// the range rules of the run settings, and the table formats. Everything goes through the public
// C interface; TarnInitialize must have been called.
#ifndef TARN_TOOLS_SYMBOL_CATALOG_H
#define TARN_TOOLS_SYMBOL_CATALOG_H

#include <array>
#include <cstdint>
#include <string>

#include "tarn/tarn.h"

namespace tarn::sim {

// Exit statuses of tarn-sim.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the run failed, or the output could not be written
constexpr int kExitUsage = 2;    // a bad command line

struct AlgorithmName {
  const char* name;
  int32_t code;
};

// Integration algorithms by name; "odepack" is a second name for DLSODES.
inline constexpr std::array<AlgorithmName, 12> kAlgorithms{{
    {"adams-moulton", 1}, {"gear", 2},      {"euler", 3},      {"rk2", 4},
    {"rk4", 5},           {"rkf12", 8},     {"rkf45", 9},      {"rosenbrock", 12},
    {"ab2", 13},          {"dlsodes", 14},  {"odepack", 14},   {"cvode", 15},
}};

// "state", "variable", ...; "invalid" for a code outside 0..13.
const char* SymbolTypeName(uint32_t symbolType);

// "double", "long", "logical", ...; "invalid" for an unknown code.
const char* DataTypeName(uint32_t dataType);

// The description of symbol `index`; false for a bad index.
bool Describe(uint32_t index, TarnSymbolInfo* info);

bool IsScalar(const TarnSymbolInfo& info);

// A symbol whose value in the data block is a default given by the model program.
bool HasDefault(const TarnSymbolInfo& info);

// One of the model's data tables.
bool IsTable(const TarnSymbolInfo& info);

// A variable with a default value that is not a table (tstop is one).
bool IsParameter(const TarnSymbolInfo& info);

// cint, ialg, nstp, maxt, mint and the integrator controls.
bool IsRunSetting(const TarnSymbolInfo& info);

// What a user may set: scalar parameters, run settings and states.
bool IsSettable(const TarnSymbolInfo& info);

// Element count of a symbol: the product of its extents up to the first 0.
uint32_t ElementCount(const TarnSymbolInfo& info);

// Parses a code or a name (any case) of a known algorithm.
bool ParseAlgorithm(const std::string& text, int32_t* code);

// The known algorithms as "name (code), ..." for messages and help.
std::string AlgorithmList();

// A finite number parsed from the whole of `text`.
bool ParseDouble(const std::string& text, double* value);

// A value for symbol `index` parsed from text: a finite number for a double, an integer for a
// long, true/false or 1/0 for a logical, then checked against the range of the run settings
// (cint, tstop and maxt positive, mint not negative, nstp at least 1, ialg a known algorithm).
// Returns false with a message naming the symbol when the symbol cannot be set or the text is
// not such a value.
bool ParseValue(uint32_t index, const std::string& text, TarnSymbolValue* value,
                std::string* error);

// Stores a value that ParseValue returned for the same symbol.
void WriteValue(uint32_t instance, uint32_t index, const TarnSymbolValue& value);

// A scalar's present value as text: doubles with ten significant digits, integers, and logicals
// as 1 or 0. Strings and arrays give an empty text.
std::string FormatValue(uint32_t instance, uint32_t index);

// Tables on standard output are comma- or tab-separated.
enum class TableFormat { kCsv, kTsv };

bool ParseTableFormat(const std::string& text, TableFormat* format);

char Separator(TableFormat format);

}  // namespace tarn::sim

#endif  // TARN_TOOLS_SYMBOL_CATALOG_H
