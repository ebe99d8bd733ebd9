// tarn-sim: command-line host of the Tarn library. Runs the model and writes the time course of
// chosen outputs as CSV to standard output; status messages go to standard error.
//
//   tarn-sim [--set NAME=VALUE ...] [--out NAME,...] [--alg CODE|NAME] [--help]
//
// Every argument is checked before anything runs: an unknown symbol, a value that does not parse,
// an unknown algorithm or an unknown option ends the program with status 2 and a message naming
// what was wrong. A run that ends with an error state ends it with status 1.
#include <strings.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include "tarn/tarn.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Outputs a pharmacokineticist looks at first: plasma iodide and perchlorate concentrations of
// mother and infant, thyroid iodide stores, and the thyroid hormones T4 and T3.
const char* const kDefaultOutputs[] = {"ca_i", "ca_ni",  "ca_p", "ca_np", "athyt_i", "atgi_n",
                                       "ct4",  "ct3",    "ct4_n", "ct3_n"};

struct AlgorithmName {
  const char* name;
  int32_t code;
};

const AlgorithmName kAlgorithms[] = {
    {"adams-moulton", 1}, {"gear", 2},       {"euler", 3},  {"rk2", 4},
    {"rk4", 5},           {"rkf12", 8},      {"rkf45", 9},  {"rosenbrock", 12},
    {"ab2", 13},          {"dlsodes", 14},   {"odepack", 14}, {"cvode", 15},
};

const char kUsage[] =
    "usage: tarn-sim [--set NAME=VALUE ...] [--out NAME,...] [--alg CODE|NAME] [--help]\n"
    "\n"
    "Runs the lactation iodide/perchlorate model from t = 0 to tstop (24 h by default) and\n"
    "writes one CSV row per communication interval (cint, 0.05 h by default).\n"
    "\n"
    "  --set NAME=VALUE  set a scalar symbol before the run (any case), e.g. --set pdose=0.01;\n"
    "                    logicals take true/false or 1/0; repeatable\n"
    "  --out NAME,...    the columns after t (default: ca_i,ca_ni,ca_p,ca_np,athyt_i,atgi_n,\n"
    "                    ct4,ct3,ct4_n,ct3_n)\n"
    "  --alg ALG         integration algorithm, by code or name: adams-moulton (1), gear (2),\n"
    "                    euler (3), rk2 (4), rk4 (5), rkf12 (8), rkf45 (9), rosenbrock (12),\n"
    "                    ab2 (13), dlsodes (14, default), cvode (15)\n"
    "  --help            this text\n";

struct Assignment {
  uint32_t index;
  std::string name;
  std::string value;
};

struct Options {
  std::vector<Assignment> assignments;
  std::vector<uint32_t> outputs;
  int32_t algorithm = 0;  // 0: the model's own choice
  bool help = false;
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tarn-sim: %s\n", message.c_str());
  std::fprintf(stderr, "Try 'tarn-sim --help'.\n");
  return kExitUsage;
}

bool ParseDouble(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtod(text.c_str(), &end);
  return *end == '\0' && errno != ERANGE;
}

bool ParseLong(const std::string& text, int32_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  *value = static_cast<int32_t>(parsed);
  return true;
}

bool ParseLogical(const std::string& text, TarnLogical* value) {
  if (strcasecmp(text.c_str(), "true") == 0 || text == "1") {
    *value = 1;
  } else if (strcasecmp(text.c_str(), "false") == 0 || text == "0") {
    *value = 0;
  } else {
    return false;
  }
  return true;
}

// Checks that `value` parses for the symbol's data type; writes it when `instance` is not 0.
bool ApplyAssignment(uint32_t instance, const Assignment& assignment, std::string* error) {
  const uint32_t index = assignment.index;
  switch (TarnGetSymbolDatatype(index)) {
    case TARN_DATA_DOUBLE: {
      double value;
      if (!ParseDouble(assignment.value, &value)) break;
      if (instance != 0) TarnSetDouble(instance, index, value);
      return true;
    }
    case TARN_DATA_LONG: {
      int32_t value;
      if (!ParseLong(assignment.value, &value)) break;
      if (instance != 0) TarnSetLong(instance, index, value);
      return true;
    }
    case TARN_DATA_LOGICAL: {
      TarnLogical value;
      if (!ParseLogical(assignment.value, &value)) break;
      if (instance != 0) TarnSetBool(instance, index, value);
      return true;
    }
    default:
      *error = "symbol '" + assignment.name + "' cannot be set from the command line";
      return false;
  }
  const char* kind = TarnGetSymbolDatatype(index) == TARN_DATA_DOUBLE ? "a number"
                     : TarnGetSymbolDatatype(index) == TARN_DATA_LONG ? "an integer"
                                                                       : "true or false";
  *error = "value '" + assignment.value + "' for '" + assignment.name + "' is not " + kind;
  return false;
}

bool IsScalar(uint32_t index) {
  uint32_t extents[6];
  TarnGetSymbolDimensions(index, 0, extents);
  return GetNumberDimensions(extents) == 0;
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

// Parses and checks every argument; returns 0 or the exit status of a usage error.
int ParseArguments(int argc, char** argv, Options* options) {
  bool outputsGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    auto value = [&](const char* option) -> const char* {
      if (i + 1 < argc) return argv[++i];
      UsageError(std::string("option ") + option + " needs a value");
      return nullptr;
    };
    if (argument == "--help" || argument == "-h") {
      options->help = true;
    } else if (argument == "--set") {
      const char* text = value("--set");
      if (text == nullptr) return kExitUsage;
      const std::string assignment = text;
      const size_t equals = assignment.find('=');
      if (equals == std::string::npos || equals == 0) {
        return UsageError("--set takes NAME=VALUE, not '" + assignment + "'");
      }
      Assignment parsed{0, assignment.substr(0, equals), assignment.substr(equals + 1)};
      parsed.index = TarnGetSymbolIndex(parsed.name.c_str());
      if (parsed.index == 0) return UsageError("unknown symbol '" + parsed.name + "'");
      if (!IsScalar(parsed.index)) {
        return UsageError("symbol '" + parsed.name + "' is an array; only scalars can be set");
      }
      std::string error;
      if (!ApplyAssignment(0, parsed, &error)) return UsageError(error);
      options->assignments.push_back(parsed);
    } else if (argument == "--out") {
      const char* text = value("--out");
      if (text == nullptr) return kExitUsage;
      outputsGiven = true;
      std::string list = text;
      size_t start = 0;
      while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        start = comma + 1;
        if (name.empty()) continue;
        const uint32_t index = TarnGetSymbolIndex(name.c_str());
        if (index == 0) return UsageError("unknown output '" + name + "'");
        if (!IsScalar(index)) return UsageError("output '" + name + "' is an array");
        options->outputs.push_back(index);
      }
      if (options->outputs.empty()) return UsageError("--out names no symbol");
    } else if (argument == "--alg") {
      const char* text = value("--alg");
      if (text == nullptr) return kExitUsage;
      if (!ParseAlgorithm(text, &options->algorithm)) {
        return UsageError(std::string("unknown algorithm '") + text + "'");
      }
    } else {
      return UsageError("unknown option '" + argument + "'");
    }
  }
  if (!outputsGiven) {
    for (const char* name : kDefaultOutputs) {
      options->outputs.push_back(TarnGetSymbolIndex(name));
    }
  }
  return 0;
}

// What the run reports through the callbacks.
struct RunReport {
  std::vector<uint32_t> columns;
  bool failed = false;
};
RunReport report;

void WriteValue(uint32_t instance, uint32_t index) {
  switch (TarnGetSymbolDatatype(index)) {
    case TARN_DATA_DOUBLE:
      std::printf("%.10g", TarnGetDouble(instance, index));
      break;
    case TARN_DATA_LONG:
      std::printf("%" PRId32, TarnGetLong(instance, index));
      break;
    case TARN_DATA_LOGICAL:
      std::printf("%d", TarnGetBool(instance, index));
      break;
    default:
      break;
  }
}

void WriteRow(uint32_t instance, uint32_t, TarnTickType type) {
  if (type != TARN_TICK_OUTPUT) return;
  for (size_t i = 0; i < report.columns.size(); ++i) {
    if (i != 0) std::putchar(',');
    WriteValue(instance, report.columns[i]);
  }
  std::putchar('\n');
}

void WriteStatus(uint32_t, uint32_t, const char* text) {
  const size_t length = std::strlen(text);
  std::fprintf(stderr, "%s%s", text, length != 0 && text[length - 1] == '\n' ? "" : "\n");
}

void WatchState(uint32_t, uint32_t, TarnExecutionState, TarnExecutionState next) {
  if (next == TARN_STATE_EXCEPTION) report.failed = true;
}

}  // namespace

int main(int argc, char** argv) {
  TarnInitialize();
  Options options;
  if (const int status = ParseArguments(argc, argv, &options); status != 0) return status;
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  const uint32_t instance = TarnCreate();
  if (instance == 0) {
    std::fprintf(stderr, "tarn-sim: could not create a model instance\n");
    return kExitFailure;
  }
  for (const Assignment& assignment : options.assignments) {
    std::string error;
    ApplyAssignment(instance, assignment, &error);
  }
  if (options.algorithm != 0) TarnSetLong(instance, TarnGetSymbolIndex("ialg"), options.algorithm);

  report.columns.push_back(TarnGetSymbolIndex("t"));
  report.columns.insert(report.columns.end(), options.outputs.begin(), options.outputs.end());
  for (size_t i = 0; i < report.columns.size(); ++i) {
    std::printf("%s%s", i == 0 ? "" : ",", TarnGetSymbolName(report.columns[i]));
  }
  std::putchar('\n');

  TarnAddTickCallbackFunction(instance, 0, WriteRow);
  TarnAddStatusCallback(instance, 0, WriteStatus);
  TarnAddExecutionStateChangeCallbackFunction(instance, 0, WatchState);
  TarnStartBlocking(instance);
  // A solver failure raises the stop flag before the end time: the run ended early.
  const double t = TarnGetDouble(instance, TarnGetSymbolIndex("t"));
  const double tstop = TarnGetDouble(instance, TarnGetSymbolIndex("tstop"));
  const double cint = TarnGetDouble(instance, TarnGetSymbolIndex("cint"));
  if (!(t >= tstop - 1e-9 * std::max(std::fabs(tstop), cint))) report.failed = true;
  TarnFinalize();

  if (report.failed) {
    std::fprintf(stderr, "tarn-sim: the run ended with an error\n");
    return kExitFailure;
  }
  return 0;
}
