// Debugger breakpoints: model source lines, matched on line and block name.
#ifndef TARN_RUNTIME_BREAKPOINT_LIST_H
#define TARN_RUNTIME_BREAKPOINT_LIST_H

#include <cstdint>
#include <string>
#include <vector>

namespace tarn {

struct Breakpoint {
  uint32_t line = 0;
  std::string blockName;
  std::string fileName;  // kept for the host; takes no part in matching
};

class BreakpointList {
 public:
  // True when a breakpoint has this line and exactly this block name; the file name is ignored.
  bool ContainsBreakpoint(uint32_t line, const char* fileName, const char* blockName) const;
  // Appends a breakpoint unless one with this line and block name exists.
  void AddBreakpoint(uint32_t line, const char* fileName, const char* blockName);
  // Removes the first breakpoint with this line and block name.
  void RemoveBreakpoint(uint32_t line, const char* fileName, const char* blockName);
  void ClearAllBreakpoints();
  size_t Count() const { return breakpoints_.size(); }

 private:
  std::vector<Breakpoint> breakpoints_;
};

}  // namespace tarn

#endif  // TARN_RUNTIME_BREAKPOINT_LIST_H
