#include "runtime/breakpoint_list.h"

#include <algorithm>

namespace tarn {
namespace {

const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

bool BreakpointList::ContainsBreakpoint(uint32_t line, const char* /*fileName*/,
                                        const char* blockName) const {
  const char* block = TextOrEmpty(blockName);
  return std::any_of(breakpoints_.begin(), breakpoints_.end(),
                     [&](const Breakpoint& b) { return b.line == line && b.blockName == block; });
}

void BreakpointList::AddBreakpoint(uint32_t line, const char* fileName, const char* blockName) {
  if (ContainsBreakpoint(line, fileName, blockName)) return;
  breakpoints_.push_back({line, TextOrEmpty(blockName), TextOrEmpty(fileName)});
}

void BreakpointList::RemoveBreakpoint(uint32_t line, const char* /*fileName*/,
                                      const char* blockName) {
  const char* block = TextOrEmpty(blockName);
  auto found = std::find_if(breakpoints_.begin(), breakpoints_.end(), [&](const Breakpoint& b) {
    return b.line == line && b.blockName == block;
  });
  if (found != breakpoints_.end()) breakpoints_.erase(found);
}

void BreakpointList::ClearAllBreakpoints() { breakpoints_.clear(); }

}  // namespace tarn
