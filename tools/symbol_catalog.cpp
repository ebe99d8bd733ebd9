// Symbol descriptions, value parsing and formatting for tarn-sim.
#include "symbol_catalog.h"

#include <strings.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarn::sim {
namespace {

constexpr std::array<const char*, 14> kSymbolTypeNames = {
    "independent", "independent-initial", "state",        "derivative",         "initial-condition",
    "variable",    "comm-interval",       "algorithm",    "steps-per-interval", "max-step",
    "min-step",    "error-flag",          "runtime-flag", "integration-control"};

constexpr std::array<const char*, 7> kDataTypeNames = {"short",  "long",    "double", "float",
                                                       "double", "logical", "string"};

// Attribute flags of the symbol table.
constexpr int kHasDefaultFlag = 1;
constexpr int kTableFlag = 10;

// A number as a person writes it: an optional sign, then a digit or a point. This keeps out what
// the C conversions would also take: leading blanks, hexadecimal, "inf" and "nan".
bool LooksDecimal(const std::string& text) {
  const size_t first = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (first >= text.size()) return false;
  const char c = text[first];
  return (c >= '0' && c <= '9') || c == '.';
}

bool ParseLogical(const std::string& text, uint8_t* value) {
  if (strcasecmp(text.c_str(), "true") == 0 || text == "1") {
    *value = 1;
  } else if (strcasecmp(text.c_str(), "false") == 0 || text == "0") {
    *value = 0;
  } else {
    return false;
  }
  return true;
}

std::string Formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Number(double value) {
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  return Formatted("%g", value);
}

// What a value outside the bounds breaks, in words: "must be positive", "must be 0 or 1", ...
std::string Requirement(uint32_t flags, double minimum, double maximum) {
  const bool hasMinimum = (flags & TARN_BOUND_MINIMUM) != 0;
  const bool hasMaximum = (flags & TARN_BOUND_MAXIMUM) != 0;
  const bool minimumExcluded = (flags & TARN_BOUND_MINIMUM_EXCLUSIVE) != 0;
  const bool maximumExcluded = (flags & TARN_BOUND_MAXIMUM_EXCLUSIVE) != 0;
  if ((flags & TARN_BOUND_WHOLE) != 0 && hasMinimum && hasMaximum && minimum + 1 == maximum) {
    return "must be " + Number(minimum) + " or " + Number(maximum);
  }
  std::string lower;
  if (hasMinimum && minimum == 0) {
    lower = minimumExcluded ? "be positive" : "not be negative";
  } else if (hasMinimum) {
    lower = (minimumExcluded ? "be above " : "be at least ") + Number(minimum);
  }
  std::string upper;
  if (hasMaximum) upper = (maximumExcluded ? "below " : "at most ") + Number(maximum);
  if (lower.empty()) return upper.empty() ? "" : "must be " + upper;
  if (upper.empty()) return "must " + lower;
  return "must " + lower + (lower.rfind("be ", 0) == 0 ? " and " : " and be ") + upper;
}

}  // namespace

const char* SymbolTypeName(uint32_t symbolType) {
  return symbolType < kSymbolTypeNames.size() ? kSymbolTypeNames[symbolType] : "invalid";
}

const char* DataTypeName(uint32_t dataType) {
  return dataType < kDataTypeNames.size() ? kDataTypeNames[dataType] : "invalid";
}

bool Describe(uint32_t index, TarnSymbolInfo* info) { return TarnGetSymbolInfo(index, info); }

bool IsScalar(const TarnSymbolInfo& info) { return info.numberDimensions == 0; }

bool HasDefault(const TarnSymbolInfo& info) { return info.attributes[kHasDefaultFlag] != 0; }

bool IsTable(const TarnSymbolInfo& info) { return info.attributes[kTableFlag] != 0; }

bool IsParameter(const TarnSymbolInfo& info) {
  return info.symbolType == TARN_SYMBOL_VARIABLE && HasDefault(info) && !IsTable(info);
}

bool IsRunSetting(const TarnSymbolInfo& info) {
  switch (info.symbolType) {
    case TARN_SYMBOL_COMM_INTERVAL:
    case TARN_SYMBOL_ALGORITHM:
    case TARN_SYMBOL_STEPS_PER_INTERVAL:
    case TARN_SYMBOL_MAX_STEP:
    case TARN_SYMBOL_MIN_STEP:
    case TARN_SYMBOL_INTEGRATION_CONTROL:
      return true;
    default:
      return false;
  }
}

bool IsSettable(const TarnSymbolInfo& info) {
  return IsScalar(info) &&
         (IsParameter(info) || IsRunSetting(info) || info.symbolType == TARN_SYMBOL_STATE);
}

std::string BoundsText(uint32_t index) {
  double minimum = 0;
  double maximum = 0;
  const uint32_t flags = TarnGetSymbolBounds(index, &minimum, &maximum);
  if (flags == 0) return "";
  if ((flags & TARN_BOUND_WHOLE) != 0 && minimum + 1 == maximum) {
    return "{" + Number(minimum) + ", " + Number(maximum) + "}";
  }
  return ((flags & TARN_BOUND_MINIMUM_EXCLUSIVE) != 0 || std::isinf(minimum) ? "(" : "[") +
         Number(minimum) + ", " + Number(maximum) +
         ((flags & TARN_BOUND_MAXIMUM_EXCLUSIVE) != 0 || std::isinf(maximum) ? ")" : "]");
}

std::string UnitText(uint32_t index) {
  const char* unit = TarnGetSymbolUnit(index);
  return unit != nullptr && std::strcmp(unit, "1") != 0 ? unit : "";
}

std::string StateRefusal(uint32_t index) {
  const std::string name = TarnGetSymbolName(index);
  if (const uint32_t parameter = TarnGetStateInitialParameter(index); parameter != 0) {
    return name + " is a state; set its initial amount with " + TarnGetSymbolName(parameter);
  }
  return name + " is a state that every run starts at 0; it cannot be set before a run";
}

std::string ValidityWarning(double start, double end) {
  double validFrom = 0;
  double validTo = 0;
  if (!TarnGetValidityRange(&validFrom, &validTo) || (start >= validFrom && end <= validTo)) {
    return "";
  }
  return "warning: the run from t = " + Number(start) + " h to " + Number(end) +
         " h leaves the model's validity range, " + Number(validFrom) + " to " + Number(validTo) +
         " h after birth; beyond it the model extrapolates its physiological tables and its "
         "results can be impossible";
}

std::string Field(const std::string& text, char separator) {
  if (text.find_first_of(std::string{separator, '"', '\n'}) == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

uint32_t ElementCount(const TarnSymbolInfo& info) {
  uint32_t count = 1;
  for (uint32_t d = 0; d < info.numberDimensions; ++d) count *= info.extents[d];
  return count;
}

bool ParseNumber(const std::string& text, double* value) {
  if (!LooksDecimal(text) || text.find_first_of("xX") != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return *end == '\0' && errno != ERANGE && std::isfinite(*value);
}

IntegerText ParseInteger(const std::string& text, int64_t lowest, int64_t highest, int64_t* value) {
  if (!LooksDecimal(text)) return IntegerText::kNotInteger;
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0') return IntegerText::kNotInteger;
  if (errno == ERANGE || parsed < lowest || parsed > highest) return IntegerText::kOutOfRange;
  *value = parsed;
  return IntegerText::kInteger;
}

bool ParseAlgorithm(const std::string& text, int32_t* code) {
  for (const AlgorithmName& algorithm : kAlgorithms) {
    if (strcasecmp(text.c_str(), algorithm.name) == 0) {
      *code = algorithm.code;
      return true;
    }
  }
  int64_t number;
  if (ParseInteger(text, INT32_MIN, INT32_MAX, &number) != IntegerText::kInteger) return false;
  for (const AlgorithmName& algorithm : kAlgorithms) {
    if (algorithm.code == number) {
      *code = number;
      return true;
    }
  }
  return false;
}

std::string AlgorithmList() {
  std::string list;
  for (const AlgorithmName& algorithm : kAlgorithms) {
    if (std::strcmp(algorithm.name, "odepack") == 0) continue;
    if (!list.empty()) list += ", ";
    list += std::string(algorithm.name) + " (" + std::to_string(algorithm.code) + ")";
  }
  return list;
}

bool ParseValue(uint32_t index, const std::string& text, TarnSymbolValue* value,
                std::string* error) {
  TarnSymbolInfo info;
  if (!Describe(index, &info)) {
    *error = "no symbol " + std::to_string(index);
    return false;
  }
  const std::string name = info.name;
  if (!IsSettable(info)) {
    *error = "symbol '" + name + "' cannot be set: it is " +
             (IsScalar(info) ? std::string("a ") + SymbolTypeName(info.symbolType) +
                                   " symbol computed or managed by the model"
                             : std::string("a table")) +
             ", not a parameter, a run setting or a state";
    return false;
  }
  double number = 0;
  switch (info.dataType) {
    case TARN_DATA_DOUBLE:
      if (!ParseNumber(text, &value->doubleValue)) {
        *error = "value '" + text + "' for '" + name + "' is not a finite number";
        return false;
      }
      number = value->doubleValue;
      break;
    case TARN_DATA_LONG:
      if (name == "ialg") {
        if (ParseAlgorithm(text, &value->longValue)) return true;
        *error = "unknown algorithm '" + text + "'; known: " + AlgorithmList();
        return false;
      }
      switch (int64_t integer = 0; ParseInteger(text, INT32_MIN, INT32_MAX, &integer)) {
        case IntegerText::kInteger:
          value->longValue = static_cast<int32_t>(integer);
          break;
        case IntegerText::kOutOfRange:
          *error = "value '" + text + "' for '" + name + "' is out of range (" +
                   std::to_string(INT32_MIN) + " to " + std::to_string(INT32_MAX) + ")";
          return false;
        case IntegerText::kNotInteger:
          *error = "value '" + text + "' for '" + name + "' is not an integer";
          return false;
      }
      number = value->longValue;
      break;
    case TARN_DATA_LOGICAL:
      if (!ParseLogical(text, &value->logicalValue)) {
        *error = "value '" + text + "' for '" + name + "' is not true or false";
        return false;
      }
      return true;
    default:
      *error = "symbol '" + name + "' holds " + DataTypeName(info.dataType) +
               " values, which cannot be set from the command line";
      return false;
  }
  if (!TarnIsWithinSymbolBounds(index, number)) {
    double minimum = 0;
    double maximum = 0;
    const uint32_t flags = TarnGetSymbolBounds(index, &minimum, &maximum);
    const std::string unit = UnitText(index);
    *error = name + " " + Requirement(flags, minimum, maximum) + ", not " + text +
             ": its bounds are " + BoundsText(index) + (unit.empty() ? "" : " " + unit);
    return false;
  }
  return true;
}

void WriteValue(uint32_t instance, uint32_t index, const TarnSymbolValue& value) {
  switch (TarnGetSymbolDatatype(index)) {
    case TARN_DATA_DOUBLE:
      TarnSetDouble(instance, index, value.doubleValue);
      break;
    case TARN_DATA_LONG:
      TarnSetLong(instance, index, value.longValue);
      break;
    case TARN_DATA_LOGICAL:
      TarnSetBool(instance, index, value.logicalValue);
      break;
    default:
      break;
  }
}

std::string FormatValue(uint32_t instance, uint32_t index) {
  switch (TarnGetSymbolDatatype(index)) {
    case TARN_DATA_DOUBLE:
      return Formatted("%.10g", TarnGetDouble(instance, index));
    case TARN_DATA_FLOAT:
      return Formatted("%.7g", TarnGetFloat(instance, index));
    case TARN_DATA_LONG:
      return std::to_string(TarnGetLong(instance, index));
    case TARN_DATA_SHORT:
      return std::to_string(TarnGetShort(instance, index));
    case TARN_DATA_LOGICAL:
      return TarnGetBool(instance, index) != 0 ? "1" : "0";
    default:
      return "";
  }
}

bool ParseTableFormat(const std::string& text, TableFormat* format) {
  if (text == "csv") {
    *format = TableFormat::kCsv;
  } else if (text == "tsv") {
    *format = TableFormat::kTsv;
  } else {
    return false;
  }
  return true;
}

char Separator(TableFormat format) { return format == TableFormat::kCsv ? ',' : '\t'; }

}  // namespace tarn::sim
