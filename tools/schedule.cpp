// Dosing schedules of tarn-sim run: parsing (--at, --schedule) and the scheduled run.
#include "schedule.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>

#include "commands.h"
#include "symbol_catalog.h"

namespace tarn::sim {
namespace {

// The model's derivative section, evaluated by TarnCalcDeriv.
constexpr uint32_t kDerivativeSection = 500;

// Two times closer than this fraction of the larger of their magnitude and cint are the same time.
constexpr double kTimeTolerance = 1e-9;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t comma = line.find(',', start);
    fields.push_back(Trimmed(line.substr(start, comma - start)));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

bool IsState(uint32_t index) {
  TarnSymbolInfo info;
  return Describe(index, &info) && info.symbolType == TARN_SYMBOL_STATE;
}

double ReadDouble(uint32_t instance, const char* name) {
  return TarnGetDouble(instance, TarnGetSymbolIndex(name));
}

void Apply(uint32_t instance, const std::vector<ScheduledChange>& changes) {
  for (const ScheduledChange& change : changes) {
    if (change.add) {
      TarnSetDouble(instance, change.index,
                    TarnGetDouble(instance, change.index) + change.value.doubleValue);
    } else {
      WriteValue(instance, change.index, change.value);
    }
  }
}

// Evaluates the model's outputs from the values just changed, so that the row at a change shows
// them, then puts back the derivatives the solver evaluated last: a solver notices a change made
// between intervals by comparing them with a fresh evaluation (and restarts on it).
void EvaluateOutputs(uint32_t instance) {
  std::vector<std::pair<uint32_t, double>> solved;
  const uint32_t count = TarnGetNumberSymbols();
  for (uint32_t index = 1; index <= count; ++index) {
    TarnSymbolInfo info;
    if (Describe(index, &info) && info.symbolType == TARN_SYMBOL_STATE) {
      solved.emplace_back(info.derivativeIndex, TarnGetDouble(instance, info.derivativeIndex));
    }
  }
  TarnCalcDeriv(instance, kDerivativeSection);
  for (const auto& [index, value] : solved) TarnSetDouble(instance, index, value);
}

// Advances a started instance on the communication grid start + k·cint, and ends an interval
// at any other time asked for.
class GridRunner final {
 public:
  GridRunner(uint32_t instance, double start, double cint)
      : instance_(instance), start_(start), cint_(cint) {}

  // False when the run stopped before `target` (a failure).
  bool AdvanceTo(double target) {
    const double tolerance = Tolerance(target);
    while (Grid(index_ + 1) < target + tolerance) {
      const double next = Grid(index_ + 1);
      if (onGrid_) {
        TarnStep(instance_);  // a whole interval, exactly as an unscheduled run takes it
      } else {
        TarnRunToTime(instance_, next);
        onGrid_ = true;
      }
      ++index_;
      if (Now() < next - Tolerance(next)) return false;
    }
    if (std::fabs(Now() - target) > tolerance) {
      TarnRunToTime(instance_, target);
      onGrid_ = false;
      if (Now() < target - tolerance) return false;
    }
    return true;
  }

 private:
  double Grid(uint64_t index) const { return start_ + static_cast<double>(index) * cint_; }
  double Now() const { return ReadDouble(instance_, "t"); }
  double Tolerance(double t) const { return kTimeTolerance * std::max(std::fabs(t), cint_); }

  uint32_t instance_;
  double start_;
  double cint_;
  uint64_t index_ = 0;  // the grid point the run is at or last passed
  bool onGrid_ = true;
};

}  // namespace

int Schedule::AddAt(const std::string& time, const std::string& change) {
  double at = 0;
  if (!ParseNumber(time, &at)) {
    return UsageError("--at takes a time in hours, not '" + time + "'");
  }
  const size_t equals = change.find('=');
  if (equals == std::string::npos || equals == 0) {
    return UsageError("--at takes TIME NAME=VALUE or TIME NAME+=AMOUNT, not '" + change + "'");
  }
  const bool add = change[equals - 1] == '+';
  return Add(at, change.substr(0, equals - (add ? 1 : 0)), change.substr(equals + 1), add, "");
}

int Schedule::Add(double time, const std::string& name, const std::string& value, bool add,
                  const std::string& where) {
  const uint32_t index = TarnGetSymbolIndex(name.c_str());
  if (index == 0) return UsageError(where + "unknown symbol '" + name + "'");
  ScheduledChange change{time, index, {}, add};
  if (add) {
    if (!IsState(index)) {
      return UsageError(where + "'" + name +
                        "' is not a state: a schedule adds amounts to states only");
    }
    if (!ParseNumber(value, &change.value.doubleValue)) {
      return UsageError(where + "amount '" + value + "' for '" + name + "' is not a number");
    }
  } else {
    std::string error;
    if (!ParseValue(index, value, &change.value, &error)) return UsageError(where + error);
  }
  changes_.push_back(change);
  return 0;
}

int Schedule::ReadCsv(const std::string& path) {
  std::ifstream file(path);
  if (!file) return UsageError("cannot read the schedule '" + path + "'");
  std::map<std::string, size_t> columns;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    const std::string content = Trimmed(line);
    if (content.empty() || content[0] == '#') continue;
    const std::vector<std::string> fields = SplitFields(content);
    const std::string where = path + " line " + std::to_string(number) + ": ";
    if (columns.empty()) {
      for (size_t i = 0; i < fields.size(); ++i) columns[fields[i]] = i;
      for (const char* required : {"time", "name", "value"}) {
        if (columns.count(required) == 0) {
          return UsageError(where + "the header names no column '" + required +
                            "' (columns: time,name,value[,action,ii,addl])");
        }
      }
      continue;
    }
    auto field = [&](const char* column) {
      const auto found = columns.find(column);
      return found != columns.end() && found->second < fields.size() ? fields[found->second]
                                                                     : std::string();
    };
    double time = 0;
    if (!ParseNumber(field("time"), &time)) {
      return UsageError(where + "time '" + field("time") + "' is not a number of hours");
    }
    const std::string action = field("action");
    if (!action.empty() && action != "set" && action != "add") {
      return UsageError(where + "action is set or add, not '" + action + "'");
    }
    double addl = 0;
    if (!field("addl").empty() &&
        (!ParseNumber(field("addl"), &addl) || addl < 0 || addl != std::floor(addl))) {
      return UsageError(where + "addl is a whole number from 0 up, not '" + field("addl") + "'");
    }
    double ii = 0;
    if (addl > 0 && (!ParseNumber(field("ii"), &ii) || ii <= 0)) {
      return UsageError(where + "repeats need an interval ii of more than 0 hours, not '" +
                        field("ii") + "'");
    }
    // Each time from its count, so that long series do not drift.
    for (double k = 0; k <= addl; ++k) {
      if (const int status =
              Add(time + k * ii, field("name"), field("value"), action == "add", where);
          status != 0) {
        return status;
      }
    }
  }
  if (columns.empty()) return UsageError("the schedule '" + path + "' has no header");
  return 0;
}

std::vector<ScheduledChange> Schedule::Sorted() const {
  std::vector<ScheduledChange> sorted = changes_;
  std::stable_sort(
      sorted.begin(), sorted.end(),
      [](const ScheduledChange& a, const ScheduledChange& b) { return a.time < b.time; });
  return sorted;
}

void RunScheduled(uint32_t instance, const Schedule& schedule) {
  const double start = ReadDouble(instance, "zzticg");
  const double tstop = ReadDouble(instance, "tstop");
  const double cint = ReadDouble(instance, "cint");
  std::vector<ScheduledChange> initial;
  std::vector<ScheduledChange> later;
  for (ScheduledChange change : schedule.Sorted()) {
    if (change.time > tstop + kTimeTolerance * std::max(std::fabs(tstop), cint)) continue;
    change.time = std::max(change.time, start);
    const bool beforeInitialSection = change.time <= start && !IsState(change.index);
    (beforeInitialSection ? initial : later).push_back(change);
  }

  Apply(instance, initial);
  TarnPreStep(instance);
  GridRunner runner(instance, start, cint);
  for (auto group = later.begin(); group != later.end();) {
    const auto end = std::find_if(group, later.end(), [&](const ScheduledChange& change) {
      return change.time != group->time;
    });
    if (!runner.AdvanceTo(group->time)) return;
    Apply(instance, std::vector<ScheduledChange>(group, end));
    EvaluateOutputs(instance);
    group = end;
  }
  if (!runner.AdvanceTo(tstop)) return;
  // The pass of the model's run loop at tstop computes the last row and ends the run.
  TarnStep(instance);
}

}  // namespace tarn::sim
