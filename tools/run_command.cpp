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
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"
#include "explicit_step_hint.h"
#include "progress_bar.h"
#include "schedule.h"
#include "symbol_catalog.h"
#include "tarn/tarn.h"

namespace tarn::sim {

const char kRunUsage[] =
    "usage: tarn-sim [run] [--set NAME=VALUE ...] [--out NAME,...] [--alg CODE|NAME]\n"
    "                [--tstop HOURS] [--cint HOURS] [--times HOURS,...] [--every N]\n"
    "                [--rtol [STATE=]VALUE ...] [--atol [STATE=]VALUE ...]\n"
    "                [--at TIME NAME=VALUE ...] [--schedule FILE.csv]\n"
    "                [--format csv|tsv] [--progress auto|always|never]\n"
    "\n"
    "Runs the lactation iodide/perchlorate model from t = 0 to tstop (24 h by default) and\n"
    "writes one row per communication interval (cint, 0.05 h by default) to standard output,\n"
    "the last interval shortened to end on tstop; status messages go to standard error.\n"
    "Options take their value as the next argument or after '=' (--tstop=48).\n"
    "t = 0 is the infant's birth; the model is valid to 4380 h (six months), and a run beyond\n"
    "that is warned about.\n"
    "\n"
    "  --set NAME=VALUE  set a parameter or run setting before the run (any case), e.g.\n"
    "                    --set conc=10; logicals take true/false or 1/0; repeatable; a value\n"
    "                    outside the parameter's bounds is refused ('tarn-sim params')\n"
    "  --out NAME,...    the columns after t (default: ca_i,ca_ni,ca_p,ca_np,athyt_i,atgi_n,\n"
    "                    ct4,ct3,ct4_n,ct3_n)\n"
    "  --alg ALG         integration algorithm, by code or name: adams-moulton (1), gear (2),\n"
    "                    euler (3), rk2 (4), rk4 (5), rkf12 (8), rkf45 (9), rosenbrock (12),\n"
    "                    ab2 (13), dlsodes (14, default), cvode (15)\n"
    "  --tstop HOURS     end of the run (the same as --set tstop=HOURS)\n"
    "  --cint HOURS      communication interval (the same as --set cint=HOURS)\n"
    "  --times HOURS,... rows at exactly these times (ascending) instead of every interval;\n"
    "                    without --tstop the run ends at the last\n"
    "  --rtol VALUE      relative error tolerance of every state, or of one with STATE=VALUE\n"
    "                    (1e-4 by default); repeatable\n"
    "  --atol VALUE      absolute error tolerance likewise (1e-4 by default)\n"
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

// An error tolerance of one state, or of every state when `index` is 0.
struct Tolerance {
  uint32_t index;
  double value;
};

struct RunOptions {
  std::vector<Assignment> assignments;
  std::vector<Tolerance> relativeTolerances;
  std::vector<Tolerance> absoluteTolerances;
  std::vector<double> times;  // empty: a row at every output point
  std::vector<uint32_t> outputs;
  Schedule schedule;
  uint32_t every = 1;
  TableFormat format = TableFormat::kCsv;
  ProgressMode progress = ProgressMode::kAuto;
  bool help = false;
};

// Checks NAME=VALUE and adds it to the assignments made before the run; 0 or the usage error's
// status. A state is refused: the run starts it from its initial value.
int AddAssignment(const std::string& name, const std::string& text, RunOptions* options) {
  const uint32_t index = TarnGetSymbolIndex(name.c_str());
  if (index == 0) return UsageError("unknown symbol '" + name + "'");
  if (TarnGetSymbolType(index) == TARN_SYMBOL_STATE) return UsageError(StateRefusal(index));
  Assignment assignment{index, {}};
  std::string error;
  if (!ParseValue(index, text, &assignment.value, &error)) return UsageError(error);
  options->assignments.push_back(assignment);
  return 0;
}

// The items of a comma-separated list, empty ones included.
std::vector<std::string> SplitAtCommas(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t comma = std::min(list.find(',', start), list.size());
    items.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return items;
}

int AddOutputs(const std::string& list, RunOptions* options) {
  for (const std::string& name : SplitAtCommas(list)) {
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
  int64_t every = 0;
  switch (ParseInteger(text, 1, UINT32_MAX, &every)) {
    case IntegerText::kInteger:
      options->every = static_cast<uint32_t>(every);
      return 0;
    case IntegerText::kOutOfRange:
      return UsageError("--every takes a whole number of rows from 1 to " +
                        std::to_string(UINT32_MAX) + "; " + text + " is out of range");
    case IntegerText::kNotInteger:
      break;
  }
  return UsageError("--every takes a whole number of rows from 1 up, not '" + text + "'");
}

// --rtol / --atol: VALUE for every state or STATE=VALUE for one.
int AddTolerance(const std::string& option, const std::string& text,
                 std::vector<Tolerance>* tolerances) {
  const size_t equals = text.find('=');
  Tolerance tolerance{0, 0};
  if (equals != std::string::npos) {
    const std::string name = text.substr(0, equals);
    tolerance.index = TarnGetSymbolIndex(name.c_str());
    if (tolerance.index == 0) return UsageError("unknown symbol '" + name + "'");
    if (TarnGetSymbolType(tolerance.index) != TARN_SYMBOL_STATE) {
      return UsageError(option + " is given per state, and '" + name + "' is not a state");
    }
  }
  const std::string number = equals == std::string::npos ? text : text.substr(equals + 1);
  const bool relative = option == "--rtol";
  if (!ParseNumber(number, &tolerance.value) || tolerance.value < 0 ||
      (relative && tolerance.value == 0)) {
    return UsageError(option + " takes " + (relative ? "a positive" : "a zero or positive") +
                      " number, not '" + number + "'");
  }
  tolerances->push_back(tolerance);
  return 0;
}

int ParseTimes(const std::string& list, RunOptions* options) {
  for (const std::string& text : SplitAtCommas(list)) {
    double time = 0;
    if (!ParseNumber(text, &time)) {
      return UsageError("--times takes numbers of hours separated by commas, not '" + text + "'");
    }
    if (!options->times.empty() && time <= options->times.back()) {
      return UsageError("--times must be in ascending order without repeats");
    }
    options->times.push_back(time);
  }
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
    } else if (argument == "--times") {
      if ((status = needsValue("--times")) != 0) return status;
      status = ParseTimes(*value, options);
    } else if (argument == "--rtol" || argument == "--atol") {
      if ((status = needsValue(argument.c_str())) != 0) return status;
      status = AddTolerance(
          argument, *value,
          argument == "--rtol" ? &options->relativeTolerances : &options->absoluteTolerances);
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
  if (!options->times.empty() && !options->schedule.empty()) {
    return UsageError("--times cannot be combined with --at or --schedule");
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

  // Output ticks record rows unless the rows come at chosen times (Record).
  void OnOutput(uint32_t instance) {
    if (writesTicks_) Record(instance);
  }

  void IgnoreTicks() { writesTicks_ = false; }

  // The run is stopped at the first row at or after `time`.
  void StopAt(double time) { stopAt_ = time; }

  // Each row is held until a row at a later time comes: of several at one time the last is the
  // row (a stepped run ticks again when a step returns and when the next begins, after a
  // scheduled change; a run stopped early and its continuation both tick at the stop).
  void Record(uint32_t instance) {
    const double t = TarnGetDouble(instance, timeIndex_);
    std::string row;
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (i != 0) row += separator_;
      row += FormatValue(instance, columns_[i]);
    }
    row += '\n';
    if (!heldRow_.empty() && t != heldTime_) Emit(std::move(heldRow_));
    heldRow_ = std::move(row);
    heldTime_ = t;
    progress_.Update(t);
    if (t >= stopAt_) {
      stopAt_ = kNever;
      stoppedEarly_ = true;
      TarnStop(instance);
    }
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
  bool stoppedEarly() const { return stoppedEarly_; }

 private:
  static constexpr double kNever = std::numeric_limits<double>::infinity();

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
  bool writesTicks_ = true;
  double stopAt_ = kNever;
  bool stoppedEarly_ = false;
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

double TimeTolerance(double t, double cint) {
  return kTimeTolerance * std::max(std::fabs(t), cint);
}

void SetTolerances(uint32_t instance, const std::vector<Tolerance>& tolerances,
                   void (*set)(uint32_t, uint32_t, double)) {
  const uint32_t count = TarnGetNumberSymbols();
  for (const Tolerance& tolerance : tolerances) {
    if (tolerance.index != 0) {
      set(instance, tolerance.index, tolerance.value);
      continue;
    }
    for (uint32_t index = 1; index <= count; ++index) {
      if (TarnGetSymbolType(index) == TARN_SYMBOL_STATE) set(instance, index, tolerance.value);
    }
  }
}

// Runs from the initial conditions with a row at every output point. When tstop is not a whole
// number of intervals from the start, the run is stopped at the last output point before it and
// continued with one shorter interval that ends on tstop.
void RunToTstop(uint32_t instance, RunWriter* writer, double start, double tstop, double cint) {
  const double lastPoint = start + std::floor((tstop - start) / cint + kTimeTolerance) * cint;
  if (tstop - lastPoint > TimeTolerance(tstop, cint)) {
    writer->StopAt(lastPoint - TimeTolerance(lastPoint, cint));
  }
  TarnStartBlocking(instance);
  if (writer->stoppedEarly() && !writer->exceptionRaised()) {
    TarnSetBool(instance, TarnGetSymbolIndex("zzstopflag"), 0);  // the continuation may run
    TarnRunToTime(instance, tstop);
  }
}

// Runs from the initial conditions with rows at exactly the given times; returns the last time
// the run was to reach.
double RunThroughTimes(uint32_t instance, RunWriter* writer, const std::vector<double>& times,
                       double cint) {
  writer->IgnoreTicks();
  TarnPreStep(instance);
  for (const double time : times) {
    const double t = ReadDouble(instance, "t");
    if (time > t + TimeTolerance(time, cint)) TarnRunToTime(instance, time);
    if (writer->exceptionRaised() || ReadDouble(instance, "t") < time - TimeTolerance(time, cint)) {
      return time;
    }
    writer->Record(instance);
  }
  return times.back();
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
  const uint32_t tstopIndex = TarnGetSymbolIndex("tstop");
  bool tstopSet = false;
  for (const Assignment& assignment : options.assignments) {
    WriteValue(instance, assignment.index, assignment.value);
    tstopSet = tstopSet || assignment.index == tstopIndex;
  }
  SetTolerances(instance, options.relativeTolerances, TarnSetRelativeError);
  SetTolerances(instance, options.absoluteTolerances, TarnSetAbsoluteError);
  const double start = ReadDouble(instance, "zzticg");
  const double cint = ReadDouble(instance, "cint");
  if (!options.times.empty()) {
    if (!tstopSet) TarnSetDouble(instance, tstopIndex, options.times.back());
    const double end = TarnGetDouble(instance, tstopIndex);
    if (options.times.front() < start - TimeTolerance(start, cint) ||
        options.times.back() > end + TimeTolerance(end, cint)) {
      const std::string range = FormatValue(instance, TarnGetSymbolIndex("zzticg")) +
                                " h, to tstop, " + FormatValue(instance, tstopIndex) + " h";
      TarnDestroy(instance);
      return UsageError("--times must lie from the start, " + range);
    }
  }
  const double tstop = TarnGetDouble(instance, tstopIndex);

  std::vector<uint32_t> columns{TarnGetSymbolIndex("t")};
  columns.insert(columns.end(), options.outputs.begin(), options.outputs.end());
  if (const std::string warning = ValidityWarning(start, tstop); !warning.empty()) {
    std::fprintf(stderr, "tarn-sim: %s\n", warning.c_str());
  }
  RunWriter writer(options, std::move(columns), start, tstop);
  writer.WriteHeader();
  activeRun = &writer;
  TarnAddTickCallbackFunction(instance, 0, OnTick);
  TarnAddStatusCallback(instance, 0, OnStatus);
  TarnAddExecutionStateChangeCallbackFunction(instance, 0, OnStateChange);
  double target = tstop;
  if (!options.schedule.empty()) {
    RunScheduled(instance, options.schedule);
  } else if (options.times.empty()) {
    RunToTstop(instance, &writer, start, tstop, cint);
  } else {
    target = RunThroughTimes(instance, &writer, options.times, cint);
  }
  writer.Finish();
  activeRun = nullptr;

  // A solver failure raises the stop flag before the end time: the run ended early.
  const double t = ReadDouble(instance, "t");
  int status = kExitSuccess;
  if (writer.exceptionRaised()) {
    std::fprintf(stderr, "tarn-sim: the run failed: the model raised an exception at t = %g h\n",
                 t);
    if (const std::string hint = ExplicitStepHint(instance); !hint.empty()) {
      std::fprintf(stderr, "%s\n", hint.c_str());
    }
    status = kExitFailure;
  } else if (t < target - TimeTolerance(target, cint)) {
    std::fprintf(stderr, "tarn-sim: the run failed: it stopped at t = %g h, before %s = %g h\n", t,
                 options.times.empty() ? "tstop" : "the time asked for", target);
    status = kExitFailure;
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "tarn-sim: cannot write the output: %s\n", std::strerror(errno));
    status = kExitFailure;
  }
  return status;
}

}  // namespace tarn::sim
