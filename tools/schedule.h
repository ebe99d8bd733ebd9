// The dosing schedule of tarn-sim run: values written to symbols and amounts added to states at
// given times (--at TIME NAME=VALUE, --at TIME NAME+=AMOUNT, --schedule FILE.csv), and the run
// that applies them, the same way as the Python package's schedules.
//
// A scheduled run starts from the initial conditions, ends the communication interval in
// progress exactly at each change time, writes the changes between intervals and goes on. Rows
// lie on the grid of an unscheduled run, plus one at each change time off the grid and one at
// tstop; a row at the time of a change shows the values after it. Inputs changed at the start time
// are written before the initial section; states are changed after the initial conditions.
#ifndef TARN_TOOLS_SCHEDULE_H
#define TARN_TOOLS_SCHEDULE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tarn/tarn.h"

namespace tarn::sim {

struct ScheduledChange {
  double time;
  uint32_t index;
  TarnSymbolValue value;
  bool add;  // adds value.doubleValue to a state instead of writing the value
};

class Schedule final {
 public:
  // Adds the change "NAME=VALUE" or "NAME+=AMOUNT" (a state) at `time`; returns 0 or the usage
  // error's status.
  int AddAt(const std::string& time, const std::string& change);

  // Adds the rows of a CSV file with the header time,name,value and optionally action (set or
  // add), ii and addl (the change repeats every ii hours, addl more times); lines starting with
  // '#' are comments. Returns 0 or the usage error's status.
  int ReadCsv(const std::string& path);

  bool empty() const { return changes_.empty(); }

  // Every change sorted by time; changes at one time keep the order they were given in.
  std::vector<ScheduledChange> Sorted() const;

 private:
  int Add(double time, const std::string& name, const std::string& value, bool add,
          const std::string& where);

  std::vector<ScheduledChange> changes_;
};

// Runs `instance` from its initial conditions to tstop with the schedule's changes; rows reach
// the instance's tick callbacks, of which the last at each time is the row to write. Returns
// when the run has reached tstop or stopped early (a failure, which the caller detects as for an
// unscheduled run).
void RunScheduled(uint32_t instance, const Schedule& schedule);

}  // namespace tarn::sim

#endif  // TARN_TOOLS_SCHEDULE_H
