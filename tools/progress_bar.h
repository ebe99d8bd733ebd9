// A one-line progress bar of a run on standard error.
#ifndef TARN_TOOLS_PROGRESS_BAR_H
#define TARN_TOOLS_PROGRESS_BAR_H

#include <chrono>

namespace tarn::sim {

// When the bar is drawn: `kAuto` only when standard error is a terminal and standard output is
// not (rows written to the same terminal show the progress themselves), and only once the run has
// taken longer than a second; `kAlways` from the first output point on, wherever standard error
// goes; `kNever` not at all.
enum class ProgressMode { kAuto, kAlways, kNever };

// Shows how far the model time has come between its start and its end, redrawn at most ten times
// a second.
class ProgressBar final {
 public:
  ProgressBar(double start, double end, ProgressMode mode);

  // Called at each output point with the model time.
  void Update(double t);

  // Erases the bar, before other text goes to standard error and when the run ends.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;

  bool enabled_;
  Clock::duration showAfter_;
  double start_;
  double end_;
  Clock::time_point started_;
  Clock::time_point drawnAt_;
  bool shown_ = false;
};

}  // namespace tarn::sim

#endif  // TARN_TOOLS_PROGRESS_BAR_H
