// The text the solver and its integrator collect during one communication interval; the runtime
// delivers it to the status callbacks at the interval's end.
#ifndef TARN_SOLVER_MESSAGE_BUFFER_H
#define TARN_SOLVER_MESSAGE_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarn {

// The most text one buffer holds before its interval ends. An interval of millions of steps that
// each explain themselves (a failing error test at the minimum step, tracing turned on) would
// otherwise grow the text without bound before anything is delivered; messages past the limit
// are only counted.
inline constexpr std::size_t kMessageBufferLimit = std::size_t{1} << 20;

// Appends `text` and a line end to `buffer`, or counts the message in `leftOut` once the buffer
// holds kMessageBufferLimit bytes.
inline void AppendMessageLine(std::string& buffer, uint64_t& leftOut, std::string_view text) {
  if (buffer.size() >= kMessageBufferLimit) {
    ++leftOut;
    return;
  }
  buffer.append(text);
  buffer += '\n';
}

}  // namespace tarn

#endif  // TARN_SOLVER_MESSAGE_BUFFER_H
