// tarn-sim params, symbols, outputs and info: what the model's symbols are and mean.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "symbol_catalog.h"
#include "tarn/tarn.h"

namespace tarn::sim {

const char kParamsUsage[] =
    "usage: tarn-sim params [--format csv|tsv]\n"
    "\n"
    "Writes every parameter of the model (the values a run starts from and --set changes)\n"
    "with its default value, unit, bounds (interval notation; {0, 1} for a switch), group and\n"
    "description.\n";

const char kSymbolsUsage[] =
    "usage: tarn-sim symbols [--type TYPE] [--format csv|tsv]\n"
    "\n"
    "Writes the symbol table: index, name, symbol type, data type, array extents, and the\n"
    "unit, bounds, group and description the model records for the symbols a user touches.\n"
    "TYPE selects one symbol type by code or name: independent (0), independent-initial (1),\n"
    "state (2), derivative (3), initial-condition (4), variable (5), comm-interval (6),\n"
    "algorithm (7), steps-per-interval (8), max-step (9), min-step (10), error-flag (11),\n"
    "runtime-flag (12), integration-control (13); or 'parameter' for the parameters.\n";

const char kOutputsUsage[] =
    "usage: tarn-sim outputs [--format csv|tsv]\n"
    "\n"
    "Writes the outputs worth plotting (names for run --out) with their unit, group and\n"
    "description.\n";

const char kInfoUsage[] =
    "usage: tarn-sim info NAME [--flags]\n"
    "\n"
    "Describes one symbol (name in any case): what it means, its unit, group and bounds, its\n"
    "index, symbol and data types, shape, role, its value before any run, for a state the\n"
    "parameter it starts from, its derivative or initial condition, and tolerances.\n"
    "--flags adds the raw attribute flags.\n";

namespace {

// A double that the model has not computed yet holds this marker.
constexpr double kNotComputedMarker = 5.5555e+33;
constexpr uint32_t kSymbolTypeCount = 14;

// Which symbols `symbols` lists: every one, one symbol type, or the parameters.
struct SymbolFilter {
  bool parametersOnly = false;
  int symbolType = -1;  // -1: any

  bool Accepts(const TarnSymbolInfo& info) const {
    if (parametersOnly) return IsParameter(info);
    return symbolType < 0 || info.symbolType == static_cast<uint32_t>(symbolType);
  }
};

bool ParseSymbolFilter(const std::string& text, SymbolFilter* filter) {
  if (text == "parameter") {
    filter->parametersOnly = true;
    return true;
  }
  for (uint32_t type = 0; type < kSymbolTypeCount; ++type) {
    if (text == SymbolTypeName(type) || text == std::to_string(type)) {
      filter->symbolType = static_cast<int>(type);
      return true;
    }
  }
  return false;
}

// The options common to the table commands; `type` only where the command takes --type.
struct TableOptions {
  TableFormat format = TableFormat::kCsv;
  SymbolFilter filter;
};

// Returned by ParseTableOptions when the command goes on to write its table.
constexpr int kWriteTable = -1;

// Parses a table command's options and writes its usage for --help. Returns kWriteTable, or the
// exit status when the command is done (help shown, or a usage error).
int ParseTableOptions(const Arguments& arguments, bool takesType, const char* usage,
                      TableOptions* options) {
  bool help = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      help = true;
    } else if (argument == "--format" || (takesType && argument == "--type")) {
      if (i + 1 == arguments.size()) return UsageError("option " + argument + " needs a value");
      const std::string& value = arguments[++i];
      if (argument == "--format" && !ParseTableFormat(value, &options->format)) {
        return UsageError("--format is csv or tsv, not '" + value + "'");
      }
      if (argument == "--type" && !ParseSymbolFilter(value, &options->filter)) {
        return UsageError("unknown symbol type '" + value +
                          "'; see 'tarn-sim symbols --help' for the types");
      }
    } else {
      return UsageError("unknown option '" + argument + "'");
    }
  }
  if (help) {
    std::fputs(usage, stdout);
    return kExitSuccess;
  }
  return kWriteTable;
}

std::string Extents(const TarnSymbolInfo& info) {
  std::string text;
  for (uint32_t d = 0; d < info.numberDimensions; ++d) {
    if (d != 0) text += 'x';
    text += std::to_string(info.extents[d]);
  }
  return text;
}

// The unit, bounds, group and description columns of symbol `index`.
std::string Meaning(uint32_t index, char separator) {
  return Field(UnitText(index), separator) + separator + Field(BoundsText(index), separator) +
         separator + Field(TarnGetSymbolGroup(index), separator) + separator +
         Field(TarnGetSymbolDescription(index), separator);
}

std::string Role(const TarnSymbolInfo& info) {
  if (IsParameter(info)) return "parameter";
  if (IsRunSetting(info)) return "run setting";
  switch (info.symbolType) {
    case TARN_SYMBOL_STATE:
      return "state (integrated)";
    case TARN_SYMBOL_DERIVATIVE:
      return "derivative of a state";
    case TARN_SYMBOL_INITIAL_CONDITION:
      return "initial condition of a state";
    case TARN_SYMBOL_INDEPENDENT:
      return "independent variable (time in hours)";
    case TARN_SYMBOL_VARIABLE:
      return IsTable(info) ? "table" : "computed by the model";
    default:
      return "managed by the runtime";
  }
}

// The state whose derivative or initial condition is `index`; 0 when none.
uint32_t OwningState(uint32_t index) {
  TarnSymbolInfo info;
  for (uint32_t state = 1; Describe(state, &info); ++state) {
    if (info.symbolType == TARN_SYMBOL_STATE &&
        (info.derivativeIndex == index || info.initialConditionIndex == index)) {
      return state;
    }
  }
  return 0;
}

std::string InitialValue(uint32_t instance, uint32_t index, const TarnSymbolInfo& info) {
  if (!IsScalar(info)) {
    std::string values;
    if (info.dataType == TARN_DATA_DOUBLE && info.numberDimensions == 1) {
      char text[32];
      for (uint32_t k = 1; k <= ElementCount(info); ++k) {
        std::snprintf(text, sizeof text, "%.10g", TarnGetDouble1(instance, index, k));
        values += (k == 1 ? "" : ", ") + std::string(text);
      }
    }
    return values;
  }
  if (info.dataType == TARN_DATA_DOUBLE && TarnGetDouble(instance, index) == kNotComputedMarker) {
    return "none (computed during a run)";
  }
  return FormatValue(instance, index);
}

}  // namespace

int ParamsCommand(const Arguments& arguments) {
  TableOptions options;
  if (const int status = ParseTableOptions(arguments, false, kParamsUsage, &options);
      status != kWriteTable) {
    return status;
  }
  const uint32_t instance = TarnCreate();
  if (instance == 0) {
    std::fprintf(stderr, "tarn-sim: could not create a model instance\n");
    return kExitFailure;
  }
  const char s = Separator(options.format);
  std::printf("name%cdefault%cunit%cbounds%cgroup%cdescription\n", s, s, s, s, s);
  TarnSymbolInfo info;
  for (uint32_t index = 1; Describe(index, &info); ++index) {
    if (!IsParameter(info)) continue;
    std::printf("%s%c%s%c%s\n", info.name, s, FormatValue(instance, index).c_str(), s,
                Meaning(index, s).c_str());
  }
  return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
}

int SymbolsCommand(const Arguments& arguments) {
  TableOptions options;
  if (const int status = ParseTableOptions(arguments, true, kSymbolsUsage, &options);
      status != kWriteTable) {
    return status;
  }
  const char s = Separator(options.format);
  std::printf("index%cname%ctype%cdata_type%cextents%cunit%cbounds%cgroup%cdescription\n", s, s, s,
              s, s, s, s, s);
  TarnSymbolInfo info;
  for (uint32_t index = 1; Describe(index, &info); ++index) {
    if (!options.filter.Accepts(info)) continue;
    std::printf("%u%c%s%c%s%c%s%c%s%c%s\n", index, s, info.name, s, SymbolTypeName(info.symbolType),
                s, DataTypeName(info.dataType), s, Extents(info).c_str(), s,
                Meaning(index, s).c_str());
  }
  return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
}

int OutputsCommand(const Arguments& arguments) {
  TableOptions options;
  if (const int status = ParseTableOptions(arguments, false, kOutputsUsage, &options);
      status != kWriteTable) {
    return status;
  }
  const char s = Separator(options.format);
  std::printf("name%cunit%cgroup%cdescription\n", s, s, s);
  TarnSymbolInfo info;
  for (uint32_t index = 1; Describe(index, &info); ++index) {
    if (!TarnIsSymbolOutput(index)) continue;
    std::printf("%s%c%s%c%s%c%s\n", info.name, s, Field(UnitText(index), s).c_str(), s,
                Field(TarnGetSymbolGroup(index), s).c_str(), s,
                Field(TarnGetSymbolDescription(index), s).c_str());
  }
  return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
}

int InfoCommand(const Arguments& arguments) {
  std::string name;
  bool showFlags = false;
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      std::fputs(kInfoUsage, stdout);
      return kExitSuccess;
    }
    if (argument == "--flags") {
      showFlags = true;
      continue;
    }
    if (!argument.empty() && argument[0] == '-') {
      return UsageError("unknown option '" + argument + "'");
    }
    if (!name.empty()) return UsageError("info takes one symbol name");
    name = argument;
  }
  if (name.empty()) return UsageError("info needs a symbol name");
  const uint32_t index = TarnGetSymbolIndex(name.c_str());
  TarnSymbolInfo info;
  if (index == 0 || !Describe(index, &info)) return UsageError("unknown symbol '" + name + "'");
  const uint32_t instance = TarnCreate();
  if (instance == 0) {
    std::fprintf(stderr, "tarn-sim: could not create a model instance\n");
    return kExitFailure;
  }

  std::printf("name: %s\n", info.name);
  if (const char* description = TarnGetSymbolDescription(index); *description != '\0') {
    std::printf("description: %s\n", description);
    std::printf("unit: %s\n", TarnGetSymbolUnit(index));
    std::printf("group: %s\n", TarnGetSymbolGroup(index));
  }
  if (const std::string bounds = BoundsText(index); !bounds.empty()) {
    std::printf("bounds: %s\n", bounds.c_str());
  }
  std::printf("index: %u\n", index);
  std::printf("type: %s (%u)\n", SymbolTypeName(info.symbolType), info.symbolType);
  std::printf("data type: %s (%u)\n", DataTypeName(info.dataType), info.dataType);
  std::printf("shape: %s\n", IsScalar(info) ? "scalar" : ("table of " + Extents(info)).c_str());
  std::printf("role: %s\n", Role(info).c_str());
  const bool hasDefault = HasDefault(info) || IsRunSetting(info);
  std::printf("%s: %s\n", hasDefault ? "default" : "value before a run",
              InitialValue(instance, index, info).c_str());
  if (info.symbolType == TARN_SYMBOL_STATE) {
    const uint32_t parameter = TarnGetStateInitialParameter(index);
    if (parameter != 0) {
      std::printf("initial value: parameter %s (a fresh run starts from it)\n",
                  TarnGetSymbolName(parameter));
    } else if (*TarnGetSymbolDescription(index) != '\0') {
      std::printf("initial value: 0 (every run starts from it)\n");
    }
    std::printf("derivative: %s\n", TarnGetSymbolName(info.derivativeIndex));
    std::printf("initial condition: %s\n", TarnGetSymbolName(info.initialConditionIndex));
  } else if (info.symbolType == TARN_SYMBOL_DERIVATIVE ||
             info.symbolType == TARN_SYMBOL_INITIAL_CONDITION) {
    if (const uint32_t state = OwningState(index); state != 0) {
      std::printf("state: %s\n", TarnGetSymbolName(state));
    }
  }
  std::printf("relative error: %g\n", TarnGetRelativeError(instance, index));
  std::printf("absolute error: %g\n", TarnGetAbsoluteError(instance, index));
  if (showFlags) {
    std::printf("attributes:");
    for (int flag = 0; flag < 11; ++flag) {
      std::printf("%s%u", flag == 0 ? " " : ",", info.attributes[flag]);
    }
    std::printf("\n");
  }
  return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace tarn::sim
