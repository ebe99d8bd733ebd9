// tarn-sim run: runs the model and writes the time course of chosen outputs as a table on
// standard output; status messages go to standard error.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "progress_bar.h"
#include "schedule.h"
#include "symbol_catalog.h"
#include "tarn/tarn.h"

namespace tarn::sim {

const char kRunUsage[] =
    "usage: tarn-sim [run] [--set NAME=VALUE ...] [--out NAME,...] [--alg CODE|NAME]\n"
    "                [--tstop HOURS] [--cint HOURS] [--every N] [--format csv|tsv]\n"
    "                [--progress auto|always|never] [--at TIME NAME=VALUE ...]\n"
    "                [--schedule FILE.csv]\n"
    "\n"
    "Runs the lactation iodide/perchlorate model from t = 0 to tstop (24 h by default) and\n"
    "writes one row per communication interval (cint, 0.05 h by default) to standard output;\n"
    "status messages go to standard error.\n"
    "\n"
    "  --set NAME=VALUE  set a parameter, run setting or state before the run (any case),\n"
    "                    e.g. --set pdose=0.01; logicals take true/false or 1/0; repeatable\n"
    "  --out NAME,...    the columns after t (default: ca_i,ca_ni,ca_p,ca_np,athyt_i,atgi_n,\n"
    "                    ct4,ct3,ct4_n,ct3_n)\n"
    "  --alg ALG         integration algorithm, by code or name: adams-moulton (1), gear (2),\n"
    "                    euler (3), rk2 (4), rk4 (5), rkf12 (8), rkf45 (9), rosenbrock (12),\n"
    "                    ab2 (13), dlsodes (14, default), cvode (15)\n"
    "  --tstop HOURS     end of the run (the same as --set tstop=HOURS)\n"
    "  --cint HOURS      communication interval (the same as --set cint=HOURS)\n"
    "  --every N         write only every Nth row; the last row is always written\n"
    "  --format FORMAT   csv (default) or tsv\n"
    "  --progress WHEN   progress bar on standard error: auto (default) draws it once the run\n"
    "                    has taken a second, when standard error is a terminal and standard\n"
    "                    output is not; always draws it from the start; never\n"
    "  --at TIME NAME=VALUE  write a value at TIME hours during the run; NAME+=AMOUNT adds\n"
    "                    an amount to a state (a bolus); repeatable\n"
    "  --schedule FILE   the changes of a CSV file with the columns time,name,value and\n"
    "                    optionally action (set or add), ii and addl (repeat every ii hours,\n"
    "                    addl more times). Each change ends the interval in progress at its\n"
    "                    time; a row at that time shows the values after it\n"
    "  --help            this text\n"
    "\n"
    "Exit status: 0 when the run reaches tstop, 1 when it fails (the reason on standard\n"
    "error), 2 on bad usage.\n";

namespace {

// Outputs a pharmacokineticist looks at first: plasma iodide and perchlorate concentrations of
// mother and infant, thyroid iodide stores, and the thyroid hormones T4 and T3.
constexpr std::array<const char*, 10> kDefaultOutputs = {
    "ca_i", "ca_ni", "ca_p", "ca_np", "athyt_i", "atgi_n", "ct4", "ct3", "ct4_n", "ct3_n"};

// Two times closer than this fraction of the larger of tstop and cint are the same time.
constexpr double kTimeTolerance = 1e-9;

struct Assignment {
  uint32_t index;
  TarnSymbolValue value;
};

struct RunOptions {
  std::vector<Assignment> assignments;
  std::vector<uint32_t> outputs;
  Schedule schedule;
  uint32_t every = 1;
  TableFormat format = TableFormat::kCsv;
  ProgressMode progress = ProgressMode::kAuto;
  bool help = false;
};

// Checks NAME=VALUE and adds it to the assignments; 0 or the usage error's status.
int AddAssignment(const std::string& name, const std::string& text, RunOptions* options) {
  const uint32_t index = TarnGetSymbolIndex(name.c_str());
  if (index == 0) return UsageError("unknown symbol '" + name + "'");
  Assignment assignment{index, {}};
  std::string error;
  if (!ParseValue(index, text, &assignment.value, &error)) return UsageError(error);
  options->assignments.push_back(assignment);
  return 0;
}

int AddOutputs(const std::string& list, RunOptions* options) {
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    const std::string name = list.substr(start, comma - start);
    start = comma + 1;
    if (name.empty()) continue;
    TarnSymbolInfo info;
    const uint32_t index = TarnGetSymbolIndex(name.c_str());
    if (index == 0 || !Describe(index, &info)) return UsageError("unknown output '" + name + "'");
    if (!IsScalar(info)) return UsageError("output '" + name + "' is an array");
    options->outputs.push_back(index);
  }
  if (options->outputs.empty()) return UsageError("--out names no symbol");
  return 0;
}

int ParseEvery(const std::string& text, RunOptions* options) {
  char* end = nullptr;
  const unsigned long every = std::strtoul(text.c_str(), &end, 10);
  if (text.empty() || text[0] == '-' || *end != '\0' || every == 0 || every > UINT32_MAX) {
    return UsageError("--every takes a whole number of rows from 1 up, not '" + text + "'");
  }
  options->every = static_cast<uint32_t>(every);
  return 0;
}

int ParseProgressMode(const std::string& text, RunOptions* options) {
  if (text == "auto") {
    options->progress = ProgressMode::kAuto;
  } else if (text == "always") {
    options->progress = ProgressMode::kAlways;
  } else if (text == "never") {
    options->progress = ProgressMode::kNever;
  } else {
    return UsageError("--progress is auto, always or never, not '" + text + "'");
  }
  return 0;
}

int ParseRunArguments(const Arguments& arguments, RunOptions* options) {
  bool outputsGiven = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const std::string* value = nullptr;
    auto needsValue = [&](const char* option) {
      if (i + 1 < arguments.size()) {
        value = &arguments[++i];
        return 0;
      }
      return UsageError(std::string("option ") + option + " needs a value");
    };
    int status = 0;
    if (argument == "--help" || argument == "-h") {
      options->help = true;
    } else if (argument == "--set") {
      if ((status = needsValue("--set")) != 0) return status;
      const size_t equals = value->find('=');
      if (equals == std::string::npos || equals == 0) {
        return UsageError("--set takes NAME=VALUE, not '" + *value + "'");
      }
      status = AddAssignment(value->substr(0, equals), value->substr(equals + 1), options);
    } else if (argument == "--at") {
      if (i + 2 >= arguments.size()) return UsageError("option --at needs TIME NAME=VALUE");
      status = options->schedule.AddAt(arguments[i + 1], arguments[i + 2]);
      i += 2;
    } else if (argument == "--schedule") {
      if ((status = needsValue("--schedule")) != 0) return status;
      status = options->schedule.ReadCsv(*value);
    } else if (argument == "--out") {
      if ((status = needsValue("--out")) != 0) return status;
      outputsGiven = true;
      status = AddOutputs(*value, options);
    } else if (argument == "--alg") {
      if ((status = needsValue("--alg")) != 0) return status;
      status = AddAssignment("ialg", *value, options);
    } else if (argument == "--tstop" || argument == "--cint") {
      if ((status = needsValue(argument.c_str())) != 0) return status;
      status = AddAssignment(argument.substr(2), *value, options);
    } else if (argument == "--every") {
      if ((status = needsValue("--every")) != 0) return status;
      status = ParseEvery(*value, options);
    } else if (argument == "--format") {
      if ((status = needsValue("--format")) != 0) return status;
      if (!ParseTableFormat(*value, &options->format)) {
        return UsageError("--format is csv or tsv, not '" + *value + "'");
      }
    } else if (argument == "--progress") {
      if ((status = needsValue("--progress")) != 0) return status;
      status = ParseProgressMode(*value, options);
    } else {
      return UsageError("unknown option '" + argument + "'");
    }
    if (status != 0) return status;
  }
  if (!outputsGiven) {
    for (const char* name : kDefaultOutputs) options->outputs.push_back(TarnGetSymbolIndex(name));
  }
  return 0;
}

// What the callbacks of one run write and observe. Callbacks carry only a number, so the run in
// progress is reached through `activeRun`.
class RunWriter final {
 public:
  RunWriter(const RunOptions& options, std::vector<uint32_t> columns, double start, double end)
      : columns_(std::move(columns)),
        every_(options.every),
        separator_(Separator(options.format)),
        timeIndex_(TarnGetSymbolIndex("t")),
        progress_(start, end, options.progress) {}

  void WriteHeader() const {
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (i != 0) std::putchar(separator_);
      std::fputs(TarnGetSymbolName(columns_[i]), stdout);
    }
    std::putchar('\n');
  }

  // Each output point's row is held until the next point: of several at one time (a stepped
  // run ticks again when a step returns and when the next begins) the last is the row.
  void OnOutput(uint32_t instance) {
    std::string row;
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (i != 0) row += separator_;
      row += FormatValue(instance, columns_[i]);
    }
    row += '\n';
    const double t = TarnGetDouble(instance, timeIndex_);
    if (!heldRow_.empty() && t != heldTime_) Emit(std::move(heldRow_));
    heldRow_ = std::move(row);
    heldTime_ = t;
    progress_.Update(t);
  }

  // Messages of blanks only (the model's termination message is one) are not shown.
  void OnStatus(const char* text) {
    if (text[std::strspn(text, " \t\r\n")] == '\0') return;
    progress_.Clear();
    const size_t length = std::strlen(text);
    std::fprintf(stderr, "%s%s", text, length != 0 && text[length - 1] == '\n' ? "" : "\n");
  }

  void OnException() { exceptionRaised_ = true; }

  void Finish() {
    progress_.Clear();
    if (!heldRow_.empty()) Emit(std::move(heldRow_));
    heldRow_.clear();
    if (!pendingRow_.empty()) std::fputs(pendingRow_.c_str(), stdout);
    pendingRow_.clear();
  }

  bool exceptionRaised() const { return exceptionRaised_; }

 private:
  // Every `every`-th row is written at once; the latest other one is kept so that the run's last
  // row is written whatever the decimation.
  void Emit(std::string row) {
    if (outputCount_ % every_ == 0) {
      std::fputs(row.c_str(), stdout);
      pendingRow_.clear();
    } else {
      pendingRow_ = std::move(row);
    }
    ++outputCount_;
  }

  std::vector<uint32_t> columns_;
  uint32_t every_;
  char separator_;
  uint32_t timeIndex_;
  ProgressBar progress_;
  uint64_t outputCount_ = 0;
  std::string heldRow_;
  double heldTime_ = 0;
  std::string pendingRow_;
  bool exceptionRaised_ = false;
};

RunWriter* activeRun = nullptr;

void OnTick(uint32_t instance, uint32_t, TarnTickType type) {
  if (type == TARN_TICK_OUTPUT && activeRun != nullptr) activeRun->OnOutput(instance);
}

void OnStatus(uint32_t, uint32_t, const char* text) {
  if (activeRun != nullptr) activeRun->OnStatus(text);
}

void OnStateChange(uint32_t, uint32_t, TarnExecutionState, TarnExecutionState next) {
  if (next == TARN_STATE_EXCEPTION && activeRun != nullptr) activeRun->OnException();
}

double ReadDouble(uint32_t instance, const char* name) {
  return TarnGetDouble(instance, TarnGetSymbolIndex(name));
}

}  // namespace

int RunCommand(const Arguments& arguments) {
  RunOptions options;
  if (const int status = ParseRunArguments(arguments, &options); status != 0) return status;
  if (options.help) {
    std::fputs(kRunUsage, stdout);
    return kExitSuccess;
  }

  const uint32_t instance = TarnCreate();
  if (instance == 0) {
    std::fprintf(stderr, "tarn-sim: could not create a model instance\n");
    return kExitFailure;
  }
  for (const Assignment& assignment : options.assignments) {
    WriteValue(instance, assignment.index, assignment.value);
  }

  std::vector<uint32_t> columns{TarnGetSymbolIndex("t")};
  columns.insert(columns.end(), options.outputs.begin(), options.outputs.end());
  const double tstop = ReadDouble(instance, "tstop");
  RunWriter writer(options, std::move(columns), ReadDouble(instance, "zzticg"), tstop);
  writer.WriteHeader();
  activeRun = &writer;
  TarnAddTickCallbackFunction(instance, 0, OnTick);
  TarnAddStatusCallback(instance, 0, OnStatus);
  TarnAddExecutionStateChangeCallbackFunction(instance, 0, OnStateChange);
  if (options.schedule.empty()) {
    TarnStartBlocking(instance);
  } else {
    RunScheduled(instance, options.schedule);
  }
  writer.Finish();
  activeRun = nullptr;

  // A solver failure raises the stop flag before the end time: the run ended early.
  const double t = ReadDouble(instance, "t");
  const double cint = ReadDouble(instance, "cint");
  int status = kExitSuccess;
  if (writer.exceptionRaised()) {
    std::fprintf(stderr, "tarn-sim: the run failed: the model raised an exception at t = %g h\n",
                 t);
    status = kExitFailure;
  } else if (t < tstop - kTimeTolerance * std::max(std::fabs(tstop), cint)) {
    std::fprintf(stderr, "tarn-sim: the run failed: it stopped at t = %g h, before tstop = %g h\n",
                 t, tstop);
    status = kExitFailure;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "tarn-sim: cannot write the output: %s\n", std::strerror(errno));
    status = kExitFailure;
  }
  return status;
}

}  // namespace tarn::sim
