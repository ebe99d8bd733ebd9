// Progress bar of a run on standard error.
#include "progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace tarn::sim {
namespace {

constexpr std::chrono::milliseconds kShowAfter{1000};
constexpr std::chrono::milliseconds kRedrawInterval{100};
constexpr int kWidth = 30;

bool Enabled(ProgressMode mode) {
  switch (mode) {
    case ProgressMode::kAuto:
      return isatty(STDERR_FILENO) == 1 && isatty(STDOUT_FILENO) == 0;
    case ProgressMode::kAlways:
      return true;
    case ProgressMode::kNever:
      return false;
  }
  return false;
}

}  // namespace

ProgressBar::ProgressBar(double start, double end, ProgressMode mode)
    : enabled_(Enabled(mode) && end > start),
      showAfter_(mode == ProgressMode::kAuto ? kShowAfter : Clock::duration::zero()),
      start_(start),
      end_(end),
      started_(Clock::now()) {}

void ProgressBar::Update(double t) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - started_ < showAfter_ || (shown_ && now - drawnAt_ < kRedrawInterval)) return;
  const double fraction = std::clamp((t - start_) / (end_ - start_), 0.0, 1.0);
  const int filled = static_cast<int>(fraction * kWidth + 0.5);
  const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, '.');
  // The line is cleared after the text: a shorter line leaves nothing of a longer one behind.
  std::fprintf(stderr, "\r[%s] %3.0f%%  t = %g of %g h\033[K", bar.c_str(), 100 * fraction, t,
               end_);
  std::fflush(stderr);
  shown_ = true;
  drawnAt_ = now;
}

void ProgressBar::Clear() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace tarn::sim
