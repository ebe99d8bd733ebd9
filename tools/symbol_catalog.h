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
    {"adams-moulton", 1},
    {"gear", 2},
    {"euler", 3},
    {"rk2", 4},
    {"rk4", 5},
    {"rkf12", 8},
    {"rkf45", 9},
    {"rosenbrock", 12},
    {"ab2", 13},
    {"dlsodes", 14},
    {"odepack", 14},
    {"cvode", 15},
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

// What a user may set: scalar parameters, run settings and states (states only during a run: a
// run starts them from their initial values, see StateRefusal).
bool IsSettable(const TarnSymbolInfo& info);

// The bounds of a value of symbol `index` in interval notation ("(0, inf)", "[0, 1]", "{0, 1}"
// for a switch); empty when it has none.
std::string BoundsText(uint32_t index);

// The unit of symbol `index`; empty for a pure number or when the model records none.
std::string UnitText(uint32_t index);

// Why state `index` cannot be set before a run, naming the parameter to set instead.
std::string StateRefusal(uint32_t index);

// A warning when a run from `start` to `end` (hours) leaves the model's validity range; empty
// when it stays inside or the model records no range.
std::string ValidityWarning(double start, double end);

// A field of a csv or tsv table: the text, quoted when it holds the separator, a quote or a line
// break.
std::string Field(const std::string& text, char separator);

// Element count of a symbol: the product of its extents up to the first 0.
uint32_t ElementCount(const TarnSymbolInfo& info);

// A finite decimal number (no hexadecimal, blanks, infinity or NaN); false for other text.
bool ParseNumber(const std::string& text, double* value);

enum class IntegerText { kInteger, kNotInteger, kOutOfRange };

// A decimal integer from lowest to highest; kOutOfRange for a larger or smaller one.
IntegerText ParseInteger(const std::string& text, int64_t lowest, int64_t highest, int64_t* value);

// Parses a code or a name (any case) of a known algorithm.
bool ParseAlgorithm(const std::string& text, int32_t* code);

// The known algorithms as "name (code), ..." for messages and help.
std::string AlgorithmList();

// A value for symbol `index` parsed from text: a finite number for a double, an integer for a
// long, true/false or 1/0 for a logical, then checked against the symbol's bounds (ialg: a known
// algorithm). Returns false with a message naming the symbol (and the bound it breaks) when the
// symbol cannot be set or the text is not such a value.
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
