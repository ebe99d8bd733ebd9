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
    "independent",        "independent-initial", "state",    "derivative",
    "initial-condition",  "variable",            "comm-interval", "algorithm",
    "steps-per-interval", "max-step",            "min-step", "error-flag",
    "runtime-flag",       "integration-control"};

constexpr std::array<const char*, 7> kDataTypeNames = {"short",   "long",    "double", "float",
                                                       "double",  "logical", "string"};

// Attribute flags of the symbol table.
constexpr int kHasDefaultFlag = 1;
constexpr int kTableFlag = 10;

// A run setting outside its range: the run could not proceed.
struct RangeRule {
  const char* name;
  bool (*accepts)(double value);
  const char* requirement;
};

constexpr std::array<RangeRule, 5> kRangeRules{{
    {"cint", [](double v) { return v > 0; }, "must be positive"},
    {"tstop", [](double v) { return v > 0; }, "must be positive"},
    {"maxt", [](double v) { return v > 0; }, "must be positive"},
    {"mint", [](double v) { return v >= 0; }, "must not be negative"},
    {"nstp", [](double v) { return v >= 1; }, "must be at least 1"},
}};

bool ParseLong(const std::string& text, int32_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
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

}  // namespace

bool ParseDouble(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return *end == '\0' && errno != ERANGE && std::isfinite(*value);
}

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

uint32_t ElementCount(const TarnSymbolInfo& info) {
  uint32_t count = 1;
  for (uint32_t d = 0; d < info.numberDimensions; ++d) count *= info.extents[d];
  return count;
}

bool ParseAlgorithm(const std::string& text, int32_t* code) {
  for (const AlgorithmName& algorithm : kAlgorithms) {
    if (strcasecmp(text.c_str(), algorithm.name) == 0) {
      *code = algorithm.code;
      return true;
    }
  }
  int32_t number;
  if (!ParseLong(text, &number)) return false;
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
      if (!ParseDouble(text, &value->doubleValue)) {
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
      if (!ParseLong(text, &value->longValue)) {
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
  for (const RangeRule& rule : kRangeRules) {
    if (name == rule.name && !rule.accepts(number)) {
      *error = name + " " + rule.requirement + ", not " + text;
      return false;
    }
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
